// Marker extraction in both modes, found and missing markers alike.

#include <gtest/gtest.h>

#include <string>

#include "text/text_test_support.h"
#include "text/text.h"

namespace tarnisk {
namespace {

using testing_support::RowName;

struct ExtractRow {
  const char* name;
  std::string text;
  std::string startMarker;
  std::string endMarker;
  bool fromEnd;
  std::string expected;
  friend void PrintTo(const ExtractRow& row, std::ostream* out) { *out << row.name; }
};

class ExtractBetweenTest : public ::testing::TestWithParam<ExtractRow> {};

TEST_P(ExtractBetweenTest, GivesWhatThePrimitivesMakeOfTheMarkers) {
  const ExtractRow& row = GetParam();
  EXPECT_EQ(ExtractBetween(row.text, row.startMarker, row.endMarker, row.fromEnd), row.expected);
}

const std::string Moved = "HTTP/1.1 301 Moved Permanently\r\nLocation: /x\r\n\r\n";
const std::string Ok = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n";
const std::string OldMoved = "HTTP/1.0 301 Moved Permanently\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Forward, ExtractBetweenTest,
    ::testing::Values(
        ExtractRow{"FirstStartFirstEndAfterIt", "x[u1] y[u2]", "[", "]", false, "u1"},
        ExtractRow{"EndMissing", "x[u1", "[", "]", false, ""},
        ExtractRow{"TwoByteStartMissing", "ab]cd]ef", "<<", "]", false, "ab"},
        ExtractRow{"ThreeByteStartMissing", "ab]cd]ef", "id=", "]", false, "b"},
        ExtractRow{"OneByteStartMissing", "ab]cd]ef", "#", "]", false, ""},
        ExtractRow{"StartMissingNoEndInRest", "abcdef", "<<", "]", false, ""},
        ExtractRow{"SameMarkerBothSides", "a>>b", ">", ">", false, ""},
        ExtractRow{"StartEndsAtLastByte", "abc[", "[", "]", false, ""},
        ExtractRow{"StatusOfARedirect", Moved, "HTTP/1.1 ", " Moved", false, "301"},
        ExtractRow{"StatusWithoutMoved", Ok, "HTTP/1.1 ", " Moved", false, ""},
        ExtractRow{"OlderProtocolVersion", OldMoved, "HTTP/1.1 ", " Moved", false, "0 301"},
        ExtractRow{"StartInsideDoubleByteIgnored", "\x81[a]b[c]", "[", "]", false, "c"},
        ExtractRow{"EmptyText", "", "[", "]", false, ""}),
    RowName{});

INSTANTIATE_TEST_SUITE_P(
    FromEnd, ExtractBetweenTest,
    ::testing::Values(
        ExtractRow{"LastEndLastStartBeforeIt", "a<b>12</i></b>x<b>7</i></b>", ">", "</i></b>", true, "7"},
        ExtractRow{"LastEndIsTheFirst", "a<b>12</i></b>x<b>7", ">", "</i></b>", true, "12"},
        ExtractRow{"PageNumber", ">3</span></strong>", ">", "</span></strong>", true, "3"},
        ExtractRow{"PageNumberInAPage",
                   "<strong><span>1</span></strong> <strong><span class=\"pc\">12</span></strong>",
                   ">", "</span></strong>", true, "12"},
        ExtractRow{"EndMissing", "a<b>12", ">", "</i></b>", true, ""},
        ExtractRow{"EndMissingLongStart", "a<b>12", "<b>", "</i></b>", true, ""},
        ExtractRow{"OneByteStartMissing", "abc</i></b>", ">", "</i></b>", true, "abc"},
        ExtractRow{"TwoByteStartMissing", "abc</i></b>", "<<", "</i></b>", true, "abc"},
        ExtractRow{"ThreeByteStartMissing", "abc</i></b>", "<b>", "</i></b>", true, "bc"},
        ExtractRow{"StartMissingLongerHead", "abcdef</i></b>", "xyz", "</i></b>", true, "bcdef"},
        ExtractRow{"StartRightBeforeEnd", "a<b></i></b>", "<b>", "</i></b>", true, ""},
        ExtractRow{"StartOnlyWhollyInsideHead", "<b>1<b>", "<b>", "b>", true, "1<"},
        ExtractRow{"EmptyText", "", ">", "<", true, ""}),
    RowName{});

}  // namespace
}  // namespace tarnisk
