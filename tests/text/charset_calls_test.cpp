// How ConvertCharset drives iconv: how many calls, and that every converter it opens is closed.
// This binary interposes iconv_open, iconv and iconv_close to count the calls and, when asked,
// to make every conversion call run out of space without progress.

#include <gtest/gtest.h>

#include <cerrno>
#include <dlfcn.h>
#include <iconv.h>
#include <string>

#include "text/text.h"
#include "text/text_test_support.h"

namespace {

int openCount = 0;
int failedOpenCount = 0;
int closeCount = 0;
int conversionCalls = 0;
bool starve = false;

template <typename Function>
Function Real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" iconv_t iconv_open(const char* tocode, const char* fromcode) {
  static const auto real = Real<iconv_t (*)(const char*, const char*)>("iconv_open");
  const iconv_t handle = real(tocode, fromcode);
  if (handle == reinterpret_cast<iconv_t>(-1)) {
    ++failedOpenCount;
  } else {
    ++openCount;
  }
  return handle;
}

extern "C" size_t iconv(iconv_t cd, char** inbuf, size_t* inbytesleft, char** outbuf,
                        size_t* outbytesleft) {
  static const auto real = Real<size_t (*)(iconv_t, char**, size_t*, char**, size_t*)>("iconv");
  ++conversionCalls;
  if (starve) {
    errno = E2BIG;
    return static_cast<size_t>(-1);
  }
  return real(cd, inbuf, inbytesleft, outbuf, outbytesleft);
}

extern "C" int iconv_close(iconv_t cd) {
  static const auto real = Real<int (*)(iconv_t)>("iconv_close");
  ++closeCount;
  return real(cd);
}

namespace tarnisk {
namespace {

using testing_support::Repeat;

class ConvertCharsetCallsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    openCount = failedOpenCount = closeCount = conversionCalls = 0;
    starve = false;
  }
  void TearDown() override { starve = false; }
};

TEST_F(ConvertCharsetCallsTest, TwoEnlargementsTakeThreeCalls) {
  const ByteArray result = ConvertCharset(ByteArray{Repeat("\xC3\x80", 200)}, "UTF-8", "GB18030");
  EXPECT_EQ(BytesLength(result), 800);
  EXPECT_EQ(conversionCalls, 3);
  EXPECT_EQ(openCount, 1);
  EXPECT_EQ(closeCount, 1);
}

TEST_F(ConvertCharsetCallsTest, OneEnlargementTakesTwoCalls) {
  const ByteArray result = ConvertCharset(ByteArray{Repeat("\xC3\x80", 50)}, "UTF-8", "GB18030");
  EXPECT_EQ(BytesLength(result), 200);
  EXPECT_EQ(conversionCalls, 2);
  EXPECT_EQ(closeCount, 1);
}

TEST_F(ConvertCharsetCallsTest, StopsAfterTwelveCallsWithoutProgress) {
  starve = true;
  const ByteArray result = ConvertCharset(ByteArray{"abc"}, "UTF-8", "GB18030");
  EXPECT_EQ(result, ByteArray{});
  EXPECT_EQ(conversionCalls, 12);
  EXPECT_EQ(openCount, 1);
  EXPECT_EQ(closeCount, 1);
}

TEST_F(ConvertCharsetCallsTest, ClosesAfterInvalidInput) {
  EXPECT_EQ(ConvertCharset(ByteArray{"a\xFF" "b"}, "UTF-8", "GB18030"), ByteArray{});
  EXPECT_EQ(conversionCalls, 1);
  EXPECT_EQ(openCount, 1);
  EXPECT_EQ(closeCount, 1);
}

TEST_F(ConvertCharsetCallsTest, ClosesWhenTheInputIsEmpty) {
  EXPECT_EQ(ConvertCharset(ByteArray{}, "UTF-8", "GB18030"), ByteArray{});
  EXPECT_EQ(conversionCalls, 0);
  EXPECT_EQ(openCount, 1);
  EXPECT_EQ(closeCount, 1);
}

TEST_F(ConvertCharsetCallsTest, ClosesNothingWhenThePairIsRefused) {
  EXPECT_EQ(ConvertCharset(ByteArray{"abc"}, "UTF-8", "NO-SUCH-CHARSET"), ByteArray{});
  EXPECT_EQ(failedOpenCount, 1);
  EXPECT_EQ(openCount, 0);
  EXPECT_EQ(closeCount, 0);
  EXPECT_EQ(conversionCalls, 0);
}

}  // namespace
}  // namespace tarnisk
