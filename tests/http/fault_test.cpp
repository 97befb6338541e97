// FetchUrl and the cookie jar against servers and cookie files that misbehave: each gives a defined
// result, nothing crashes, and the cookie file keeps every cookie stored before.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "http/fetch.h"
#include "platform/http_client.h"
#include "platform/run_directory.h"
#include "support/loopback_server.h"
#include "support/program_folder.h"
#include "support/temp_folder.h"

namespace tarnisk {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using tarnisk::testing::LoopbackExchange;
using tarnisk::testing::LoopbackServer;
using tarnisk::testing::PlainResponse;
using tarnisk::testing::ReadFileBytes;
using tarnisk::testing::WriteFileBytes;

constexpr const char* Url = "http://www.example.test/page";

std::string Entry(std::string_view name, std::string_view value) {
  return std::string(name) + "=" + ScrambleCookieValue(value) + "\r\n";
}

// What every test starts with: two cookies of group 0 and one of group 7.
const std::string StoredFile =
    "[cookies0]\r\n" + Entry("keep", "1;") + Entry("also", "two words;") + "[cookies7]\r\n" + Entry("g7", "x;");
constexpr const char* StoredHeader = "keep=1;also=two words;";

// Each test runs with a folder of its own as the program's folder, so its cookie file is its own.
class FaultTest : public ::testing::Test {
 protected:
  void Map(const LoopbackServer& server) { platform::testing::MapHostToLoopback("www.example.test", 80, server.port()); }
  std::string CookieFile() const { return folder.File("Dat/cookies.dat"); }

  // Every cookie stored before is still read back, in its place and its group.
  void ExpectStoredCookiesKept() {
    const Text header = LoadCookieHeader(CookieFile(), 0);
    EXPECT_EQ(header.substr(0, std::string_view(StoredHeader).size()), StoredHeader) << header;
    EXPECT_EQ(LoadCookieHeader(CookieFile(), 7), "g7=x;");
  }

  tarnisk::testing::ProgramFolder folder;
};

struct ServerFaultRow {
  const char* name;
  std::function<void(LoopbackExchange&)> serve;
  std::chrono::milliseconds idleTimeout;
  const char* body;           // what FetchUrl gives
  const char* addedCookies;   // what the response adds to group 0
  std::size_t requests;       // how many requests the server sees
};

void PrintTo(const ServerFaultRow& row, std::ostream* out) { *out << row.name; }

class ServerFault : public FaultTest, public ::testing::WithParamInterface<ServerFaultRow> {};

TEST_P(ServerFault, GivesItsDefinedResultAndKeepsTheCookies) {
  const ServerFaultRow& row = GetParam();
  ASSERT_TRUE(WriteFileBytes(CookieFile(), StoredFile));
  LoopbackServer server([&](LoopbackExchange& exchange) { row.serve(exchange); });
  Map(server);
  platform::testing::SetHttpTimeouts(5s, row.idleTimeout);

  EXPECT_EQ(FetchUrl(Url, "", "", 0, false), row.body);

  EXPECT_EQ(server.RequestCount(), row.requests);
  ASSERT_GE(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].Header("Cookie"), StoredHeader);
  EXPECT_EQ(LoadCookieHeader(CookieFile(), 0), std::string(StoredHeader) + row.addedCookies);
  ExpectStoredCookiesKept();
}

// 200 KiB of header lines, the cookie after all of them.
std::string LongHeaderBlockResponse() {
  std::string response = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; response.size() < 200 * 1024; ++i) {
    response += "X-Filler-" + std::to_string(i) + ": " + std::string(100, 'f') + "\r\n";
  }
  return response + "Set-Cookie: late=3; path=/\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ServerFault,
    ::testing::Values(
        // What arrived before the close is the body; the cookies of the headers are stored.
        ServerFaultRow{"ClosesMidBody",
                       [](LoopbackExchange& exchange) {
                         exchange.Send("HTTP/1.1 200 OK\r\nSet-Cookie: mid=1;\r\nContent-Length: 100\r\n\r\n0123456789");
                         exchange.Close();
                       },
                       2000ms, "0123456789", "mid=1;", 1},
        ServerFaultRow{"HeaderBlockOf200KiB",
                       [](LoopbackExchange& exchange) { exchange.Send(LongHeaderBlockResponse()); }, 2000ms, "ok",
                       "late=3;", 1},
        // One header line longer than the client takes: the response is dropped as a whole.
        ServerFaultRow{"SingleHeaderLineOf200KiB",
                       [](LoopbackExchange& exchange) {
                         exchange.Send("HTTP/1.1 200 OK\r\nSet-Cookie: huge=" + std::string(200 * 1024, 'h') +
                                       ";\r\nContent-Length: 2\r\n\r\nok");
                       },
                       2000ms, "", "", 1},
        // The fetch ends at the idle time-out with nothing.
        ServerFaultRow{"NeverAnswers", [](LoopbackExchange& exchange) { exchange.Hang(); }, 300ms, "", "", 1},
        // One byte a second against a shorter idle time-out: the fetch gives up after the first gap.
        ServerFaultRow{"TricklesOneByteASecond",
                       [](LoopbackExchange& exchange) {
                         exchange.SendInPieces(PlainResponse(200, "OK", "slow", {"Set-Cookie: slow=1;"}), 1, 1000ms);
                       },
                       300ms, "", "", 1},
        // A trickle quicker than the idle time-out is read to its end.
        ServerFaultRow{"TricklesWithinTheIdleTimeout",
                       [](LoopbackExchange& exchange) {
                         exchange.SendInPieces("HTTP/1.1 200 OK\r\nSet-Cookie: t=1;\r\nContent-Length: 2\r\n\r\nok", 1,
                                               20ms);
                       },
                       1000ms, "ok", "t=1;", 1},
        ServerFaultRow{"GarbageInsteadOfHttp",
                       [](LoopbackExchange& exchange) {
                         exchange.Send("\x00\xFF\x81garbage\r\nSet-Cookie: evil=1;\r\n\r\nbody"s);
                       },
                       1000ms, "", "", 1},
        // A name with "[" would end the section for the reader and hide the cookies after it.
        ServerFaultRow{"CookieNameWithABracket",
                       [](LoopbackExchange& exchange) {
                         exchange.Send(PlainResponse(200, "OK", "page", {"Set-Cookie: x[y=2;", "Set-Cookie: b=3;"}));
                       },
                       1000ms, "page", "b=3;", 1},
        ServerFaultRow{"StatusLineOnlyThenClose",
                       [](LoopbackExchange& exchange) { exchange.Send("HTTP/1.1 200 OK\r\n"); }, 1000ms, "", "", 1},
        ServerFaultRow{"ClosesWithoutAWord", [](LoopbackExchange& exchange) { exchange.Close(); }, 1000ms, "", "", 1},
        // Every hop sets a cookie; the chain ends after ten follows with the empty text, and the
        // cookies of every hop are kept.
        ServerFaultRow{"RedirectLoop",
                       [](LoopbackExchange& exchange) {
                         exchange.Send(PlainResponse(301, "Moved Permanently", "",
                                                     {"Location: /page", "Set-Cookie: hop=" +
                                                                             std::to_string(exchange.index()) + ";"}));
                       },
                       1000ms, "", "hop=10;", 11}),
    [](const ::testing::TestParamInfo<ServerFaultRow>& info) { return std::string(info.param.name); });

struct CookieFileRow {
  const char* name;
  std::string content;
  std::string headerBefore;  // the Cookie header the file gives as it is
  std::string headerAfter;   // after a response that sets fresh=2
};

void PrintTo(const CookieFileRow& row, std::ostream* out) { *out << row.name; }

class DamagedCookieFile : public FaultTest, public ::testing::WithParamInterface<CookieFileRow> {};

std::string AllByteValues() {
  std::string bytes;
  for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<char>(value));
  return bytes;
}

TEST_P(DamagedCookieFile, IsReadAsFarAsItGoesAndKeptWhole) {
  const CookieFileRow& row = GetParam();
  ASSERT_TRUE(WriteFileBytes(CookieFile(), row.content));
  LoopbackServer server(tarnisk::testing::FixedResponse(PlainResponse(200, "OK", "page", {"Set-Cookie: fresh=2;"})));
  Map(server);

  EXPECT_EQ(LoadCookieHeader(CookieFile(), 0), row.headerBefore);
  EXPECT_EQ(FetchUrl(Url, "", "", 0, false), "page");

  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].Header("Cookie"), row.headerBefore);
  EXPECT_EQ(LoadCookieHeader(CookieFile(), 0), row.headerAfter);
  // Nothing of the damaged file is lost: the new entry is the only line added.
  const std::string after = ReadFileBytes(CookieFile());
  std::size_t kept = 0;
  for (std::size_t i = 0; i < after.size() && kept < row.content.size(); ++i) {
    if (after[i] == row.content[kept]) ++kept;
  }
  EXPECT_EQ(kept, row.content.size()) << "the file lost bytes it held";
  EXPECT_LE(after.size(), row.content.size() + Entry("fresh", "2;").size() + std::string("[cookies0]\r\n\r\n").size());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DamagedCookieFile,
    ::testing::Values(
        CookieFileRow{"Garbage",
                      "]] ==\r\n=garbage\r\n[[\r\nno line end here\r[cookies0]\r\n" + Entry("keep", "1;") +
                          "=\r\n==\r\ngarbage\r\n",
                      "keep=1;", "keep=1;fresh=2;"},
        CookieFileRow{"BinaryBytes",
                      AllByteValues() + "\r\n[cookies0]\r\n" + Entry("keep", "1;") + "[bin]\r\n" + AllByteValues(),
                      "keep=1;", "keep=1;fresh=2;"},
        CookieFileRow{"VeryLongLines",
                      std::string(1 << 20, '=') + "\r\n[cookies0]\r\n" + std::string(1 << 20, 'x') + "\r\n" +
                          Entry("keep", "1;") + Entry("long", std::string(200000, 'v') + ";"),
                      "keep=1;long=" + std::string(200000, 'v') + ";",
                      "keep=1;long=" + std::string(200000, 'v') + ";fresh=2;"},
        CookieFileRow{"SectionHeaderWithoutClosingBracket", "[cookies0\r\n" + Entry("lost", "1;"), "", "fresh=2;"},
        CookieFileRow{"HalfWrittenLastLine", "[cookies0]\r\n" + Entry("keep", "1;") + "[cook", "keep=1;",
                      "keep=1;fresh=2;"},
        CookieFileRow{"Empty", "", "", "fresh=2;"}),
    [](const ::testing::TestParamInfo<CookieFileRow>& info) { return std::string(info.param.name); });

TEST_F(FaultTest, ReadOnlyCookieFileIsReplacedWholeAndStaysReadOnly) {
  ASSERT_TRUE(WriteFileBytes(CookieFile(), StoredFile));
  ASSERT_EQ(chmod(CookieFile().c_str(), 0444), 0);
  LoopbackServer server(tarnisk::testing::FixedResponse(PlainResponse(200, "OK", "page", {"Set-Cookie: fresh=2;"})));
  Map(server);

  EXPECT_EQ(FetchUrl(Url, "", "", 0, false), "page");

  // The file is replaced through its folder, which the file's own mode does not guard; the mode
  // goes over to the new file.
  EXPECT_EQ(LoadCookieHeader(CookieFile(), 0), std::string(StoredHeader) + "fresh=2;");
  struct stat status {};
  ASSERT_EQ(stat(CookieFile().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0444u);
  ExpectStoredCookiesKept();
}

TEST_F(FaultTest, ReadOnlyDatFolderKeepsTheFileAsItWas) {
  ASSERT_TRUE(WriteFileBytes(CookieFile(), StoredFile));
  ASSERT_EQ(chmod(folder.File("Dat").c_str(), 0555), 0);
  // The superuser writes into a read-only folder all the same.
  const bool writable = access(folder.File("Dat").c_str(), W_OK) == 0;
  LoopbackServer server(tarnisk::testing::FixedResponse(PlainResponse(200, "OK", "page", {"Set-Cookie: fresh=2;"})));
  Map(server);

  EXPECT_EQ(FetchUrl(Url, "", "", 0, false), "page");

  if (writable) {
    EXPECT_EQ(LoadCookieHeader(CookieFile(), 0), std::string(StoredHeader) + "fresh=2;");
  } else {
    EXPECT_EQ(ReadFileBytes(CookieFile()), StoredFile);
  }
  ExpectStoredCookiesKept();
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.File("Dat")),
                          std::filesystem::directory_iterator()),
            1)
      << "a temporary file was left in Dat";
  chmod(folder.File("Dat").c_str(), 0755);
}

TEST_F(FaultTest, DatThatIsAFileGivesNoCookiesAndStaysAsItWas) {
  std::filesystem::remove(folder.File("Dat"));
  ASSERT_TRUE(WriteFileBytes(folder.File("Dat"), "not a folder\r\n"));
  LoopbackServer server(tarnisk::testing::FixedResponse(PlainResponse(200, "OK", "page", {"Set-Cookie: fresh=2;"})));
  Map(server);

  EXPECT_EQ(FetchUrl(Url, "", "", 0, false), "page");

  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_FALSE(server.Requests()[0].HasHeader("Cookie"));
  EXPECT_EQ(LoadCookieHeader(CookieFilePath(), 0), "");
  EXPECT_EQ(ReadFileBytes(folder.File("Dat")), "not a folder\r\n");
}

}  // namespace
}  // namespace tarnisk
