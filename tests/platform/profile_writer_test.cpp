#include "platform/profile_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace tarnisk::platform {
namespace {

using tarnisk::testing::ReadFileBytes;
using tarnisk::testing::TempFolder;
using tarnisk::testing::WriteFileBytes;

struct WriteRow {
  const char* name;
  const char* before;  // nullptr: no file yet
  const char* section;
  const char* key;
  const char* value;
  const char* after;
};

void PrintTo(const WriteRow& row, std::ostream* out) { *out << row.name; }

class ProfileWriterRows : public ::testing::TestWithParam<WriteRow> {};

TEST_P(ProfileWriterRows, WritesEntryAndKeepsEveryOtherLine) {
  const WriteRow& row = GetParam();
  TempFolder folder;
  const std::string file = folder.File("profile.ini");
  if (row.before != nullptr) {
    ASSERT_TRUE(WriteFileBytes(file, row.before));
  }

  EXPECT_TRUE(WriteProfileString(row.section, row.key, row.value, file));
  EXPECT_EQ(ReadFileBytes(file), row.after);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ProfileWriterRows,
    ::testing::Values(
        WriteRow{"CreatesMissingFile", nullptr, "cookies0", "sid", "1,2", "[cookies0]\r\nsid=1,2\r\n"},
        WriteRow{"AddsMissingSectionAtEnd", "; note\r\n[other]\r\nx=1\r\n", "cookies0", "sid", "5",
                 "; note\r\n[other]\r\nx=1\r\n[cookies0]\r\nsid=5\r\n"},
        WriteRow{"ReplacesNameIgnoringAsciiCase", "[cookies0]\r\nSID=1\r\nb=2\r\n", "cookies0", "sid", "9",
                 "[cookies0]\r\nsid=9\r\nb=2\r\n"},
        WriteRow{"ReplacesOnlyInsideItsSection", "[a]\r\nk=1\r\n[b]\r\nk=2\r\n", "b", "k", "3",
                 "[a]\r\nk=1\r\n[b]\r\nk=3\r\n"},
        WriteRow{"AppendsNewNameAfterSectionEntries", "[a]\r\nx=1\r\n\r\n[b]\r\ny=2\r\n", "a", "z", "3",
                 "[a]\r\nx=1\r\nz=3\r\n\r\n[b]\r\ny=2\r\n"},
        WriteRow{"KeepsLineEndsAndOddLinesAsTheyWere", "junk line\n[a]\nx=1\r\nno equals\r\n", "a", "x", "2",
                 "junk line\n[a]\nx=2\r\nno equals\r\n"},
        WriteRow{"EndsUnterminatedLastLineBeforeAdding", "[a]\r\nx=1", "a", "y", "2", "[a]\r\nx=1\r\ny=2\r\n"},
        WriteRow{"FindsSectionHeaderWithBlanksAround", "  [a]  \r\nx=1\r\n", "a", "x", "7", "  [a]  \r\nx=7\r\n"},
        WriteRow{"SectionNamesCompareExactly", "[Cookies0]\r\nx=1\r\n", "cookies0", "x", "2",
                 "[Cookies0]\r\nx=1\r\n[cookies0]\r\nx=2\r\n"},
        WriteRow{"NameNeedsWholeMatchNotPrefix", "[a]\r\nsid2=1\r\n", "a", "sid", "2", "[a]\r\nsid2=1\r\nsid=2\r\n"},
        WriteRow{"EmptyValue", "[a]\r\nx=1\r\n", "a", "x", "", "[a]\r\nx=\r\n"}),
    [](const ::testing::TestParamInfo<WriteRow>& info) { return std::string(info.param.name); });

struct RefusedRow {
  const char* name;
  const char* section;
  const char* key;
  const char* value;
};

void PrintTo(const RefusedRow& row, std::ostream* out) { *out << row.name; }

class ProfileWriterRefuses : public ::testing::TestWithParam<RefusedRow> {};

TEST_P(ProfileWriterRefuses, InputThatWouldSpillIntoOtherLines) {
  const RefusedRow& row = GetParam();
  TempFolder folder;
  const std::string file = folder.File("profile.ini");
  const std::string before = "[cookies0]\r\na=1\r\n";
  ASSERT_TRUE(WriteFileBytes(file, before));

  EXPECT_FALSE(WriteProfileString(row.section, row.key, row.value, file));
  EXPECT_EQ(ReadFileBytes(file), before);
}

INSTANTIATE_TEST_SUITE_P(Rows, ProfileWriterRefuses,
                         ::testing::Values(RefusedRow{"LineBreakInName", "cookies0", "x\r\n[cookies0]\r\nb", "1"},
                                           RefusedRow{"LineFeedInValue", "cookies0", "x", "1\n[z]"},
                                           RefusedRow{"EqualsInName", "cookies0", "a=b", "1"},
                                           RefusedRow{"EmptyName", "cookies0", "", "1"},
                                           RefusedRow{"BracketInSection", "a]b", "x", "1"},
                                           RefusedRow{"NameStartingASection", "cookies0", "[x", "1"}),
                         [](const ::testing::TestParamInfo<RefusedRow>& info) { return std::string(info.param.name); });

TEST(ProfileWriter, MissingFolderWritesNothing) {
  TempFolder folder;
  const std::string file = folder.File("absent/profile.ini");
  EXPECT_FALSE(WriteProfileString("a", "x", "1", file));
  EXPECT_FALSE(std::filesystem::exists(folder.File("absent")));
}

TEST(ProfileWriter, LeavesNoTemporaryFileBehind) {
  TempFolder folder;
  const std::string file = folder.File("profile.ini");
  for (int i = 0; i < 5; ++i)
    ASSERT_TRUE(WriteProfileString("a", std::string("x").append(std::to_string(i)), "1", file));
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    ++entries;
    EXPECT_EQ(entry.path().filename(), "profile.ini");
  }
  EXPECT_EQ(entries, 1);
}

TEST(ProfileWriter, KeepsPermissionsOfTheFileItReplaces) {
  TempFolder folder;
  const std::string file = folder.File("profile.ini");
  ASSERT_TRUE(WriteFileBytes(file, "[a]\r\n"));
  std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                         std::filesystem::perms::others_read);
  ASSERT_TRUE(WriteProfileString("a", "x", "1", file));
  EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms::owner_read |
                                                             std::filesystem::perms::owner_write |
                                                             std::filesystem::perms::others_read);
}

}  // namespace
}  // namespace tarnisk::platform
