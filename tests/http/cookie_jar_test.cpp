#include "http/cookie_jar.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/run_directory.h"
#include "support/temp_folder.h"

namespace tarnisk {
namespace {

using tarnisk::testing::ReadFileBytes;
using tarnisk::testing::TempFolder;
using tarnisk::testing::WriteFileBytes;

std::string Entry(std::string_view name, std::string_view value) {
  return std::string(name) + "=" + ScrambleCookieValue(value) + "\r\n";
}

struct ReaderRow {
  const char* name;
  std::string file;  // empty: no file at all
  std::int32_t group;
  const char* header;
};

void PrintTo(const ReaderRow& row, std::ostream* out) { *out << row.name; }

class CookieReader : public ::testing::TestWithParam<ReaderRow> {};

TEST_P(CookieReader, BuildsTheHeaderFromItsSectionOnly) {
  const ReaderRow& row = GetParam();
  TempFolder folder;
  const std::string file = folder.File("cookies.dat");
  if (!row.file.empty()) {
    ASSERT_TRUE(WriteFileBytes(file, row.file));
  }
  EXPECT_EQ(LoadCookieHeader(file, row.group), row.header);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CookieReader,
    ::testing::Values(
        ReaderRow{"MissingFile", "", 0, ""}, ReaderRow{"NoSection", "[other]\r\n" + Entry("a", "1;"), 0, ""},
        ReaderRow{"EmptySection", "[cookies0]\r\n[cookies1]\r\n" + Entry("a", "1;"), 0, ""},
        ReaderRow{"EntriesInFileOrder", "[cookies0]\r\n" + Entry("sid", "abc;") + Entry("uid", "7;"), 0,
                  "sid=abc;uid=7;"},
        ReaderRow{"LinesAboveHeaderNotSent", Entry("early", "x;") + "[cookies0]\r\n" + Entry("a", "1;"), 0, "a=1;"},
        ReaderRow{"BracketEndsSection", "[cookies0]\r\n" + Entry("a", "1;") + "x[y\r\n" + Entry("b", "2;"), 0, "a=1;"},
        ReaderRow{"HeaderWithTextAround", "  [cookies0] ;c\r\n" + Entry("a", "1;"), 0, "a=1;"},
        ReaderRow{"GroupTenIsNotGroupOne", "[cookies10]\r\n" + Entry("a", "1;"), 1, ""},
        ReaderRow{"OtherGroup", "[cookies0]\r\n" + Entry("a", "1;") + "[cookies3]\r\n" + Entry("b", "2;"), 3, "b=2;"},
        ReaderRow{"LinesWithoutEqualsIgnored", "[cookies0]\r\nplain\r\n\r\n" + Entry("a", "1;"), 0, "a=1;"},
        ReaderRow{"LineFeedOnlyAndNoLastLineEnd", "[cookies0]\n" + Entry("a", "1;") + "b=" + ScrambleCookieValue("2;"),
                  0, "a=1;b=2;"},
        ReaderRow{"PiecesAfterSecondEqualsIgnored", "[cookies0]\r\na=" + ScrambleCookieValue("1;") + "=junk\r\n", 0,
                  "a=1;"},
        ReaderRow{"EmptyStoredValueNotSent", "[cookies0]\r\nempty=\r\n" + Entry("a", "1;"), 0, "a=1;"},
        ReaderRow{"ControlByteInNameNotSent",
                  "[cookies0]\r\nx\ty=" + ScrambleCookieValue("1;") + "\r\n" + Entry("a", "1;"), 0, "a=1;"},
        ReaderRow{"ZeroByteInNameNotSent",
                  std::string("[cookies0]\r\nx\0y=", 16) + ScrambleCookieValue("1;") + "\r\n" + Entry("a", "1;"), 0,
                  "a=1;"},
        ReaderRow{"LineBreakInValueNotSent", "[cookies0]\r\n" + Entry("a", "x\r\nEvil: 1;") + Entry("b", "2;"), 0,
                  "b=2;"}),
    [](const ::testing::TestParamInfo<ReaderRow>& info) { return std::string(info.param.name); });

class CookieWriter : public ::testing::Test {
 protected:
  TempFolder folder;
  const std::string file = folder.File("cookies.dat");
};

TEST_F(CookieWriter, StoresNameAndScrambledValueWithItsSemicolon) {
  SaveResponseCookies("HTTP/1.1 200 OK\r\nSet-Cookie: sid=abc; path=/\r\nContent-Length: 0\r\n\r\n", file, 0);
  EXPECT_EQ(ReadFileBytes(file), "[cookies0]\r\nsid=" + ScrambleCookieValue("abc;") + "\r\n");
  EXPECT_EQ(LoadCookieHeader(file, 0), "sid=abc;");
}

TEST_F(CookieWriter, LaterValueOfOneNameWins) {
  SaveResponseCookies("Set-Cookie: a=1;\r\nSet-Cookie: b=2;\r\nSet-Cookie: a=3;\r\n", file, 0);
  EXPECT_EQ(LoadCookieHeader(file, 0), "a=3;b=2;");
}

TEST_F(CookieWriter, ReplacesAcrossResponsesAndKeepsOtherSections) {
  ASSERT_TRUE(WriteFileBytes(file, "; kept\r\n[cookies1]\r\n" + Entry("a", "g1;")));
  SaveResponseCookies("Set-Cookie: a=old;\r\n", file, 0);
  SaveResponseCookies("Set-Cookie: a=new;\r\n", file, 0);
  EXPECT_EQ(ReadFileBytes(file),
            "; kept\r\n[cookies1]\r\n" + Entry("a", "g1;") + "[cookies0]\r\n" + Entry("a", "new;"));
  EXPECT_EQ(LoadCookieHeader(file, 1), "a=g1;");
}

TEST_F(CookieWriter, SkipsNamesHoldingUserRsExactly) {
  SaveResponseCookies("Set-Cookie: USER_RS=1;\r\nSet-Cookie: xUSER_RSy=2;\r\nSet-Cookie: user_rs=3;\r\n", file, 0);
  EXPECT_EQ(LoadCookieHeader(file, 0), "user_rs=3;");
}

TEST_F(CookieWriter, HeaderWithoutCookiesWritesNoFile) {
  SaveResponseCookies("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", file, 0);
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(CookieWriter, MissingFolderLosesTheCookieQuietly) {
  const std::string absent = folder.File("Dat/cookies.dat");
  SaveResponseCookies("Set-Cookie: a=1;\r\n", absent, 0);
  EXPECT_FALSE(std::filesystem::exists(absent));
  EXPECT_EQ(LoadCookieHeader(absent, 0), "");
}

TEST_F(CookieWriter, NameSpanningLinesIsNotWrittenIntoTheFile) {
  ASSERT_TRUE(WriteFileBytes(file, "[cookies0]\r\n" + Entry("a", "1;")));
  // "." crosses line ends, so this match's name runs into the next header line.
  SaveResponseCookies("Set-Cookie: broken\r\n[cookies0]\r\nX: z=2;\r\n", file, 0);
  EXPECT_EQ(ReadFileBytes(file), "[cookies0]\r\n" + Entry("a", "1;"));
}

TEST(CookieFile, LivesInDatUnderTheRunDirectory) {
  platform::testing::OverrideRunDirectory("/some/folder");
  EXPECT_EQ(CookieFilePath(), "/some/folder/Dat/cookies.dat");
  platform::testing::OverrideRunDirectory("");
  EXPECT_EQ(CookieFilePath(), platform::RunDirectory() + "/Dat/cookies.dat");
  EXPECT_TRUE(std::filesystem::is_directory(platform::RunDirectory()));
}

TEST(CookieScramble, KnownForms) {
  EXPECT_EQ(ScrambleCookieValue(""), "");
  EXPECT_EQ(UnscrambleCookieValue(""), "");
  EXPECT_EQ(ScrambleCookieValue("a"), std::to_string(2 * 97 + CookieKey));
  // Codes 97 98 exchanged to 98 97: 2*98+417 = 613, then 97-613+417 = -99.
  EXPECT_EQ(ScrambleCookieValue("ab"), "613,-99");
  EXPECT_EQ(UnscrambleCookieValue("613,-99"), "ab");
  // D6 D0 give -42 and -48.
  EXPECT_EQ(ScrambleCookieValue("\xD6\xD0"),
            std::to_string(2 * -48 + CookieKey) + "," + std::to_string(-42 - (2 * -48 + CookieKey) + CookieKey));
}

TEST(CookieScramble, RoundTripsEveryByteValue) {
  std::string all;
  for (int byte = 1; byte < 256; ++byte) {
    std::string one(1, static_cast<char>(byte));
    EXPECT_EQ(UnscrambleCookieValue(ScrambleCookieValue(one)), one) << byte;
    std::string pair = one + static_cast<char>(256 - byte);
    EXPECT_EQ(UnscrambleCookieValue(ScrambleCookieValue(pair)), pair) << byte;
    all += one;
  }
  const std::string stored = ScrambleCookieValue(all + all);
  EXPECT_EQ(stored.find_first_not_of("-,0123456789"), std::string::npos);
  EXPECT_EQ(UnscrambleCookieValue(stored), all + all);
  EXPECT_EQ(UnscrambleCookieValue(ScrambleCookieValue(all, 123), 123), all);
  EXPECT_NE(UnscrambleCookieValue(ScrambleCookieValue(all, 123), 124), all);
}

TEST(CookieScramble, LongValueStaysExact) {
  std::string value(100000, '\x80');
  for (std::size_t i = 0; i < value.size(); i += 2) value[i] = '\x7F';
  EXPECT_EQ(UnscrambleCookieValue(ScrambleCookieValue(value)), value);
}

}  // namespace
}  // namespace tarnisk
