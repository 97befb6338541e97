#include "platform/http_client.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/event_pump.h"
#include "support/loopback_server.h"

namespace tarnisk::platform {
namespace {

using namespace std::chrono_literals;
using tarnisk::testing::LoopbackExchange;
using tarnisk::testing::LoopbackServer;
using tarnisk::testing::PlainResponse;

class HttpClientTest : public ::testing::Test {
 protected:
  void TearDown() override {
    testing::ClearHostMappings();
    testing::ResetHttpTimeouts();
  }

  static HttpRequest Get(std::string host, int port, std::string path) {
    HttpRequest request;
    request.host = std::move(host);
    request.port = port;
    request.verb = "GET";
    request.path = std::move(path);
    request.userAgent = "Agent/1.0";
    request.headerBlock = "X-One: 1\r\nX-Two: 2\r\n";
    return request;
  }
};

TEST_F(HttpClientTest, SendsOnlyHostUserAgentAndTheCallersBlock) {
  LoopbackServer server(tarnisk::testing::FixedResponse(PlainResponse(200, "OK", "body")));
  testing::MapHostToLoopback("www.example.test", 80, server.port());

  HttpResponse response = PerformHttpRequest(Get("www.example.test", 80, "/s?wd=a+b&pn=10"));

  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].raw,
            "GET /s?wd=a+b&pn=10 HTTP/1.1\r\nHost: www.example.test\r\nUser-Agent: Agent/1.0\r\n"
            "X-One: 1\r\nX-Two: 2\r\n\r\n");
  EXPECT_EQ(response.body, "body");
}

TEST_F(HttpClientTest, SendsALargeBodyAtOnceWithoutExpectOrOwnContentType) {
  LoopbackServer server(tarnisk::testing::FixedResponse(PlainResponse(200, "OK", "")));
  testing::MapHostToLoopback("svc.test", 8080, server.port());
  HttpRequest request = Get("svc.test", 8080, "/post");
  request.verb = "PUT";
  request.body = std::string(5000, 'b');
  request.sendBody = true;
  request.headerBlock = "Content-Length: 5000\r\n";

  PerformHttpRequest(request);

  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].raw,
            "PUT /post HTTP/1.1\r\nHost: svc.test:8080\r\nUser-Agent: Agent/1.0\r\nContent-Length: 5000\r\n\r\n" +
                std::string(5000, 'b'));
}

TEST_F(HttpClientTest, RebuildsTheFinalHeaderBlockExactly) {
  const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
  const std::string headers =
      "HTTP/1.1 301 Moved Permanently\r\nSet-Cookie: a=b; path=/\r\nX-Odd:no space\r\n"
      "Location: /next\r\nContent-Length: 3\r\n\r\n";
  LoopbackServer server([&](LoopbackExchange& exchange) { exchange.Send(interim + headers + "abc"); });
  testing::MapHostToLoopback("h.test", 80, server.port());

  HttpResponse response = PerformHttpRequest(Get("h.test", 80, "/"));

  EXPECT_EQ(response.rawHeaders, headers);
  EXPECT_EQ(response.body, "abc");
}

TEST_F(HttpClientTest, CollectsATrickledBody) {
  std::string body;
  for (int i = 0; i < 3000; ++i) body += static_cast<char>(i % 251);
  LoopbackServer server([&](LoopbackExchange& exchange) {
    exchange.SendInPieces(PlainResponse(200, "OK", body), 700, 2ms);
  });
  testing::MapHostToLoopback("h.test", 80, server.port());

  EXPECT_EQ(PerformHttpRequest(Get("h.test", 80, "/")).body, body);
}

TEST_F(HttpClientTest, ReturnsWhatArrivedWhenTheServerClosesMidBody) {
  LoopbackServer server([](LoopbackExchange& exchange) {
    exchange.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhalf");
    exchange.Close();
  });
  testing::MapHostToLoopback("h.test", 80, server.port());

  HttpResponse response = PerformHttpRequest(Get("h.test", 80, "/"));

  EXPECT_EQ(response.rawHeaders, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
  EXPECT_EQ(response.body, "half");
}

TEST_F(HttpClientTest, IdleResponseEndsAfterTheIdleTimeout) {
  LoopbackServer server([](LoopbackExchange& exchange) {
    exchange.Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab");
    exchange.Hang();
  });
  testing::MapHostToLoopback("h.test", 80, server.port());
  testing::SetHttpTimeouts(5s, 300ms);

  const auto started = std::chrono::steady_clock::now();
  HttpResponse response = PerformHttpRequest(Get("h.test", 80, "/"));
  const auto took = std::chrono::steady_clock::now() - started;

  EXPECT_EQ(response.body, "ab");
  EXPECT_GE(took, 300ms);
  EXPECT_LT(took, 5s);
}

TEST_F(HttpClientTest, RefusedConnectionGivesNothing) {
  testing::MapHostToLoopback("h.test", 80, tarnisk::testing::UnusedLoopbackPort());
  HttpResponse response = PerformHttpRequest(Get("h.test", 80, "/"));
  EXPECT_EQ(response.rawHeaders, "");
  EXPECT_EQ(response.body, "");
}

TEST_F(HttpClientTest, MappingAppliesToItsHostAndPortOnly) {
  LoopbackServer server(tarnisk::testing::FixedResponse(PlainResponse(200, "OK", "mapped")));
  testing::MapHostToLoopback("h.test", 80, server.port());
  testing::MapHostToLoopback("other.test", 80, tarnisk::testing::UnusedLoopbackPort());

  EXPECT_EQ(PerformHttpRequest(Get("h.test", 80, "/")).body, "mapped");
  EXPECT_EQ(PerformHttpRequest(Get("other.test", 80, "/")).body, "");
  testing::ClearHostMappings();
  testing::MapHostToLoopback("h.test", 81, server.port());
  EXPECT_EQ(PerformHttpRequest(Get("h.test", 81, "/")).body, "mapped");
  EXPECT_EQ(server.RequestCount(), 2u);
}

TEST_F(HttpClientTest, EncodesSpacesAndControlBytesOfThePath) {
  LoopbackServer server(tarnisk::testing::FixedResponse(PlainResponse(200, "OK", "")));
  testing::MapHostToLoopback("h.test", 80, server.port());

  PerformHttpRequest(Get("h.test", 80, "/a b\r\nX: y\xD6\xD0"));

  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].target, "/a%20b%0D%0AX:%20y\xD6\xD0");
}

struct RefusedRequestRow {
  const char* name;
  const char* host;
  const char* verb;
  const char* headerBlock;
};

void PrintTo(const RefusedRequestRow& row, std::ostream* out) { *out << row.name; }

class HttpClientRefuses : public HttpClientTest, public ::testing::WithParamInterface<RefusedRequestRow> {};

TEST_P(HttpClientRefuses, RequestsThatWouldBreakTheRequestHead) {
  const RefusedRequestRow& row = GetParam();
  LoopbackServer server(tarnisk::testing::FixedResponse(PlainResponse(200, "OK", "x")));
  testing::MapHostToLoopback(row.host, 80, server.port());
  HttpRequest request = Get(row.host, 80, "/");
  request.verb = row.verb;
  request.headerBlock = row.headerBlock;

  HttpResponse response = PerformHttpRequest(request);

  EXPECT_EQ(response.body, "");
  EXPECT_EQ(server.RequestCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HttpClientRefuses,
    ::testing::Values(RefusedRequestRow{"EmptyHost", "", "GET", ""},
                      RefusedRequestRow{"HostWithSpace", "h .test", "GET", ""},
                      RefusedRequestRow{"VerbWithSpace", "h.test", "GET /x", ""},
                      RefusedRequestRow{"BareLineFeedInHeader", "h.test", "GET", "Referer: a\nEvil: 1\r\n"},
                      RefusedRequestRow{"BareReturnInHeader", "h.test", "GET", "Referer: a\rEvil: 1\r\n"}),
    [](const ::testing::TestParamInfo<RefusedRequestRow>& info) { return std::string(info.param.name); });

TEST_F(HttpClientTest, WorkersFetchAtTheSameTime) {
  LoopbackServer server([](LoopbackExchange& exchange) {
    exchange.Send(PlainResponse(200, "OK", exchange.request().target));
  });
  testing::MapHostToLoopback("h.test", 80, server.port());
  std::string results[4];
  std::thread workers[4];
  for (int i = 0; i < 4; ++i) {
    workers[i] = std::thread([&, i] {
      for (int round = 0; round < 5; ++round) {
        results[i] += PerformHttpRequest(Get("h.test", 80, std::string("/").append(std::to_string(i)))).body;
      }
    });
  }
  for (auto& worker : workers) worker.join();
  for (int i = 0; i < 4; ++i) {
    const std::string one = std::string("/").append(std::to_string(i));
    EXPECT_EQ(results[i], one + one + one + one + one);
  }
}

// The shutdown flag cannot be cleared, so this runs in a child process.
TEST(HttpClientShutdownDeathTest, AFetchGivesUpOnceShutdownIsRequested) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        LoopbackServer server([](LoopbackExchange& exchange) {
          exchange.Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab");
          exchange.Hang();
        });
        testing::MapHostToLoopback("h.test", 80, server.port());
        std::thread stopper([] {
          std::this_thread::sleep_for(200ms);
          RequestShutdown();
        });
        const auto started = std::chrono::steady_clock::now();
        HttpRequest request;
        request.host = "h.test";
        request.verb = "GET";
        request.path = "/";
        HttpResponse response = PerformHttpRequest(request);
        stopper.join();
        const bool prompt = std::chrono::steady_clock::now() - started < 10s;
        std::exit(ShutdownRequested() && prompt && response.body == "ab" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tarnisk::platform
