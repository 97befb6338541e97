#include "http/fetch.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

#include "platform/http_client.h"
#include "platform/run_directory.h"
#include "support/loopback_server.h"
#include "support/program_folder.h"
#include "support/temp_folder.h"

namespace tarnisk {
namespace {

using namespace std::chrono_literals;
using tarnisk::testing::LoopbackExchange;
using tarnisk::testing::LoopbackServer;
using tarnisk::testing::PlainResponse;

const std::string AcceptLine =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*\r\n";

std::string ExpectedRequest(const std::string& verb, const std::string& target, const std::string& host,
                            const std::string& url, const std::string& body, const std::string& cookies) {
  std::string request = verb + " " + target + " HTTP/1.1\r\nHost: " + host +
                        "\r\nUser-Agent: " + std::string(UserAgentText) + "\r\n" + AcceptLine + "Referer: " + url +
                        "\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                        "Content-Length: " +
                        std::to_string(body.size()) + "\r\n";
  if (!cookies.empty()) request += "Cookie: " + cookies + "\r\n";
  return request + "\r\n" + (verb == "GET" ? "" : body);
}

// Every test runs with its own folder as the program's folder, so its cookie file is its own.
class FetchTest : public ::testing::Test {
 protected:
  void Map(const LoopbackServer& server, const char* host = "www.example.test", int port = 80) {
    platform::testing::MapHostToLoopback(host, port, server.port());
  }
  Text StoredCookies() { return LoadCookieHeader(CookieFilePath(), 0); }

  tarnisk::testing::ProgramFolder folder;
};

struct RequestRow {
  const char* name;
  const char* method;
  const char* body;
  const char* sentVerb;
};

void PrintTo(const RequestRow& row, std::ostream* out) { *out << row.name; }

class FetchRequest : public FetchTest, public ::testing::WithParamInterface<RequestRow> {};

TEST_P(FetchRequest, SendsTheExactRequest) {
  const RequestRow& row = GetParam();
  LoopbackServer server(tarnisk::testing::FixedResponse(PlainResponse(200, "OK", "page")));
  Map(server);
  const std::string url = "http://WWW.Example.test/s?ie=utf-8&wd=a+b";

  EXPECT_EQ(FetchUrl(url, row.method, row.body, 0, false), "page");

  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].raw,
            ExpectedRequest(row.sentVerb, "/s?ie=utf-8&wd=a+b", "www.example.test", url, row.body, ""));
}

INSTANTIATE_TEST_SUITE_P(Rows, FetchRequest,
                         ::testing::Values(RequestRow{"EmptyMethodIsGet", "", "", "GET"},
                                           RequestRow{"Get", "GET", "", "GET"},
                                           RequestRow{"PostWithBody", "POST", "a=1&b=%E4%B8%AD", "POST"},
                                           RequestRow{"PostEmptyBody", "POST", "", "POST"},
                                           RequestRow{"OtherVerbWithBody", "PUT", "payload", "PUT"}),
                         [](const ::testing::TestParamInfo<RequestRow>& info) { return std::string(info.param.name); });

TEST_F(FetchTest, SendsStoredCookiesOfItsGroupOnly) {
  LoopbackServer server(tarnisk::testing::FixedResponse(PlainResponse(200, "OK", "")));
  Map(server);
  SaveResponseCookies("Set-Cookie: sid=abc; path=/\r\nSet-Cookie: BAIDUID=X:FG=1; max-age=1\r\n", CookieFilePath(), 0);
  SaveResponseCookies("Set-Cookie: other=1;\r\n", CookieFilePath(), 5);

  FetchUrl("http://www.example.test/", "", "", 0, false);
  FetchUrl("http://www.example.test/", "", "", 2, false);

  ASSERT_EQ(server.RequestCount(), 2u);
  EXPECT_EQ(server.Requests()[0].raw,
            ExpectedRequest("GET", "/", "www.example.test", "http://www.example.test/", "", "sid=abc;BAIDUID=X:FG=1;"));
  EXPECT_FALSE(server.Requests()[1].HasHeader("Cookie"));
}

struct StatusRow {
  const char* name;
  const char* statusLine;
  bool followed;
};

void PrintTo(const StatusRow& row, std::ostream* out) { *out << row.name; }

class FetchStatus : public FetchTest, public ::testing::WithParamInterface<StatusRow> {};

TEST_P(FetchStatus, FollowsOnlyA301MovedOfHttp11) {
  const StatusRow& row = GetParam();
  LoopbackServer server([&](LoopbackExchange& exchange) {
    if (exchange.index() == 0) {
      exchange.Send(std::string(row.statusLine) + "\r\nLocation: /second\r\nContent-Length: 5\r\n\r\nfirst");
    } else {
      exchange.Send(PlainResponse(200, "OK", "second"));
    }
  });
  Map(server);

  Text page = FetchUrl("http://www.example.test/first", "", "", 0, false);

  EXPECT_EQ(page, row.followed ? "second" : "first");
  EXPECT_EQ(server.RequestCount(), row.followed ? 2u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Rows, FetchStatus,
                         ::testing::Values(StatusRow{"MovedPermanently", "HTTP/1.1 301 Moved Permanently", true},
                                           StatusRow{"MovedAlone", "HTTP/1.1 301 Moved", true},
                                           StatusRow{"Found302", "HTTP/1.1 302 Found", false},
                                           StatusRow{"MovedTemporarily302", "HTTP/1.1 302 Moved Temporarily", false},
                                           StatusRow{"Http10", "HTTP/1.0 301 Moved Permanently", false},
                                           StatusRow{"LowerCaseReason", "HTTP/1.1 301 moved permanently", false},
                                           StatusRow{"OtherReason", "HTTP/1.1 301 Permanent Redirect", false}),
                         [](const ::testing::TestParamInfo<StatusRow>& info) { return std::string(info.param.name); });

TEST_F(FetchTest, StoresCookiesOfA301BeforeFollowingIt) {
  LoopbackServer server([](LoopbackExchange& exchange) {
    if (exchange.index() == 0) {
      exchange.Send(
          "HTTP/1.1 301 Moved Permanently\r\nSet-Cookie: hop=1; path=/\r\nLocation: /next?x=1\r\n"
          "Content-Length: 0\r\n\r\n");
    } else {
      exchange.Send(PlainResponse(200, "OK", "landed", {"Set-Cookie: end=2;"}));
    }
  });
  Map(server);

  EXPECT_EQ(FetchUrl("http://www.example.test/start", "", "", 0, false), "landed");

  ASSERT_EQ(server.RequestCount(), 2u);
  EXPECT_EQ(server.Requests()[1].raw,
            ExpectedRequest("GET", "/next?x=1", "www.example.test", "http://www.example.test/next?x=1", "", "hop=1;"));
  EXPECT_EQ(StoredCookies(), "hop=1;end=2;");
}

struct LocationRow {
  const char* name;
  const char* startUrl;
  const char* location;
  const char* followUrl;  // nullptr: not followed
  const char* followHost;
};

void PrintTo(const LocationRow& row, std::ostream* out) { *out << row.name; }

class FetchLocation : public FetchTest, public ::testing::WithParamInterface<LocationRow> {};

TEST_P(FetchLocation, FormsTheFollowUpUrl) {
  const LocationRow& row = GetParam();
  LoopbackServer server([&](LoopbackExchange& exchange) {
    if (exchange.index() == 0) {
      std::string head = "HTTP/1.1 301 Moved Permanently\r\n";
      if (row.location != nullptr) head += std::string("Location: ") + row.location + "\r\n";
      exchange.Send(head + "Content-Length: 4\r\n\r\nmove");
    } else {
      exchange.Send(PlainResponse(200, "OK", "there"));
    }
  });
  Map(server);
  Map(server, "www.example.test", 8080);
  Map(server, "other.test");
  Map(server, "other.test", 8080);

  Text page = FetchUrl(row.startUrl, "POST", "k=v", 0, false);

  if (row.followUrl == nullptr) {
    EXPECT_EQ(page, "");
    EXPECT_EQ(server.RequestCount(), 1u);
    return;
  }
  EXPECT_EQ(page, "there");
  ASSERT_EQ(server.RequestCount(), 2u);
  const std::string follow = row.followUrl;
  EXPECT_EQ(server.Requests()[1].raw, ExpectedRequest("POST", UrlPath(follow), row.followHost, follow, "k=v", ""));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FetchLocation,
    ::testing::Values(
        LocationRow{"PathOnSameHost", "http://www.example.test/a", "/b?c=d", "http://www.example.test/b?c=d",
                    "www.example.test"},
        LocationRow{"PathKeepsPort", "http://www.example.test:8080/a", "/b", "http://www.example.test:8080/b",
                    "www.example.test:8080"},
        LocationRow{"AbsoluteOtherHost", "http://www.example.test/a", "http://other.test/land",
                    "http://other.test/land", "other.test"},
        LocationRow{"AbsoluteWithPortAndBlanks", "http://www.example.test/a", "  http://other.test:8080/p ",
                    "http://other.test:8080/p", "other.test:8080"},
        LocationRow{"SchemeInCapitals", "http://www.example.test/a", "HTTP://other.test/x", "http://other.test/x",
                    "other.test"},
        LocationRow{"RelativeWithoutSlashEnds", "http://www.example.test/a", "next.html", nullptr, nullptr},
        LocationRow{"OtherSchemeEnds", "http://www.example.test/a", "ftp://other.test/x", nullptr, nullptr},
        LocationRow{"MissingLocationEnds", "http://www.example.test/a", nullptr, nullptr, nullptr}),
    [](const ::testing::TestParamInfo<LocationRow>& info) { return std::string(info.param.name); });

TEST_F(FetchTest, FollowsTenHopsAndGivesUpOnTheEleventh) {
  auto chain = [](std::size_t hops) {
    return [hops](LoopbackExchange& exchange) {
      if (exchange.index() < hops) {
        exchange.Send(
            PlainResponse(301, "Moved Permanently", "", {"Location: /hop" + std::to_string(exchange.index() + 1)}));
      } else {
        exchange.Send(PlainResponse(200, "OK", "end"));
      }
    };
  };
  {
    LoopbackServer server(chain(10));
    Map(server);
    EXPECT_EQ(FetchUrl("http://www.example.test/", "", "", 0, false), "end");
    EXPECT_EQ(server.RequestCount(), 11u);
  }
  {
    LoopbackServer server(chain(1000));
    Map(server);
    EXPECT_EQ(FetchUrl("http://www.example.test/", "", "", 0, false), "");
    EXPECT_EQ(server.RequestCount(), 11u);
  }
}

TEST_F(FetchTest, LongHeaderBlockKeepsCookiesAndRedirect) {
  LoopbackServer server([](LoopbackExchange& exchange) {
    if (exchange.index() == 0) {
      exchange.Send("HTTP/1.1 301 Moved Permanently\r\nX-Pad: " + std::string(9000, 'p') +
                    "\r\nSet-Cookie: late=1;\r\nLocation: /next\r\nContent-Length: 0\r\n\r\n");
    } else {
      exchange.Send(PlainResponse(200, "OK", "next"));
    }
  });
  Map(server);

  EXPECT_EQ(FetchUrl("http://www.example.test/", "", "", 0, false), "next");
  EXPECT_EQ(StoredCookies(), "late=1;");
}

struct BodyRow {
  const char* name;
  std::string body;
  bool decodeUtf8;
  std::string page;
};

void PrintTo(const BodyRow& row, std::ostream* out) { *out << row.name; }

class FetchBody : public FetchTest, public ::testing::WithParamInterface<BodyRow> {};

TEST_P(FetchBody, ConvertsOrCutsTheBody) {
  const BodyRow& row = GetParam();
  LoopbackServer server(tarnisk::testing::FixedResponse(PlainResponse(200, "OK", row.body)));
  Map(server);
  EXPECT_EQ(FetchUrl("http://www.example.test/", "", "", 0, row.decodeUtf8), row.page);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FetchBody,
    ::testing::Values(BodyRow{"RawCutAtZeroByte", std::string("ab\0cd", 5), false, "ab"},
                      BodyRow{"RawKeepsBytes", "\xE4\xB8\xAD\xFF", false, "\xE4\xB8\xAD\xFF"},
                      BodyRow{"Utf8Converted", "\xE4\xB8\xAD\xE6\x96\x87", true, "\xD6\xD0\xCE\xC4"},
                      BodyRow{"InvalidUtf8GivesEmpty",
                              "a\xFF"
                              "b",
                              true, ""},
                      BodyRow{"TruncatedUtf8GivesEmpty", "a\xE4\xB8", true, ""},
                      BodyRow{"LargeBodyWhole", std::string(300000, 'x'), false, std::string(300000, 'x')}),
    [](const ::testing::TestParamInfo<BodyRow>& info) { return std::string(info.param.name); });

TEST_F(FetchTest, EmptyUrlSendsNothing) {
  LoopbackServer server(tarnisk::testing::FixedResponse(PlainResponse(200, "OK", "x")));
  Map(server, "");
  EXPECT_EQ(FetchUrl("", "", "", 0, true), "");
  EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(FetchTest, RefusedConnectionGivesEmptyText) {
  platform::testing::MapHostToLoopback("www.example.test", 80, tarnisk::testing::UnusedLoopbackPort());
  EXPECT_EQ(FetchUrl("http://www.example.test/", "", "", 0, true), "");
  EXPECT_EQ(StoredCookies(), "");
}

struct HeadersOnlyRow {
  const char* name;
  const char* response;
  bool hang;
};

void PrintTo(const HeadersOnlyRow& row, std::ostream* out) { *out << row.name; }

class FetchHeadersOnly : public FetchTest, public ::testing::WithParamInterface<HeadersOnlyRow> {};

TEST_P(FetchHeadersOnly, StoresCookiesAndGivesEmptyText) {
  const HeadersOnlyRow& row = GetParam();
  LoopbackServer server([&](LoopbackExchange& exchange) {
    exchange.Send(row.response);
    if (row.hang) exchange.Hang();
  });
  Map(server);
  platform::testing::SetHttpTimeouts(5s, 300ms);

  EXPECT_EQ(FetchUrl("http://www.example.test/", "", "", 0, true), "");
  EXPECT_EQ(StoredCookies(), "only=1;");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FetchHeadersOnly,
    ::testing::Values(HeadersOnlyRow{"ZeroLength",
                                     "HTTP/1.1 200 OK\r\nSet-Cookie: only=1;\r\nContent-Length: 0\r\n\r\n", false},
                      HeadersOnlyRow{"ClosedAfterHeaders", "HTTP/1.1 200 OK\r\nSet-Cookie: only=1;\r\n\r\n", false},
                      HeadersOnlyRow{"SilentAfterHeaders",
                                     "HTTP/1.1 200 OK\r\nSet-Cookie: only=1;\r\nContent-Length: 9\r\n\r\n", true}),
    [](const ::testing::TestParamInfo<HeadersOnlyRow>& info) { return std::string(info.param.name); });

TEST_F(FetchTest, WindowEventsRunWhileTheResponseTrickles) {
  const std::string body(20, 'z');
  LoopbackServer server(
      [&](LoopbackExchange& exchange) { exchange.SendInPieces(PlainResponse(200, "OK", body), 8, 60ms); });
  Map(server);
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(20);

  EXPECT_EQ(FetchUrl("http://www.example.test/", "", "", 0, false), body);
  timer.stop();

  // About 20 pieces of 60 ms: a timer of 20 ms fires many times unless the fetch blocks it.
  EXPECT_GE(ticks, 10);
}

TEST_F(FetchTest, ParallelFetchesAndWritesLoseNoCookie) {
  LoopbackServer server([](LoopbackExchange& exchange) {
    const std::string tag = exchange.request().target.substr(1);
    exchange.Send(PlainResponse(200, "OK", tag, {"Set-Cookie: f" + tag + "=v" + tag + "; path=/"}));
  });
  Map(server);
  constexpr int Rounds = 15;
  std::thread fetchers[2];
  std::atomic<int> wrongBodies{0};
  for (int thread = 0; thread < 2; ++thread) {
    fetchers[thread] = std::thread([&, thread] {
      for (int round = 0; round < Rounds; ++round) {
        const std::string tag = std::to_string(thread) + "_" + std::to_string(round);
        if (FetchUrl("http://www.example.test/" + tag, "", "", 0, false) != tag) ++wrongBodies;
      }
    });
  }
  std::thread writer([&] {
    for (int i = 0; i < 2 * Rounds; ++i) {
      SaveResponseCookies("Set-Cookie: w" + std::to_string(i) + "=x" + std::to_string(i) + ";\r\n", CookieFilePath(),
                          0);
    }
  });
  for (auto& fetcher : fetchers) fetcher.join();
  writer.join();

  EXPECT_EQ(wrongBodies.load(), 0);
  std::set<std::string> expected;
  for (int thread = 0; thread < 2; ++thread) {
    for (int round = 0; round < Rounds; ++round) {
      const std::string tag = std::to_string(thread) + "_" + std::to_string(round);
      expected.insert("f" + tag + "=v" + tag + ";");
    }
  }
  for (int i = 0; i < 2 * Rounds; ++i)
    expected.insert(std::string("w").append(std::to_string(i)).append("=x").append(std::to_string(i)).append(";"));
  std::set<std::string> stored;
  const Text header = StoredCookies();
  std::size_t start = 0;
  for (std::size_t end = header.find(';'); end != std::string::npos; end = header.find(';', start)) {
    EXPECT_TRUE(stored.insert(header.substr(start, end + 1 - start)).second);
    start = end + 1;
  }
  EXPECT_EQ(start, header.size());
  EXPECT_EQ(stored, expected);
}

}  // namespace
}  // namespace tarnisk
