// Numbers keep their decimal point when the process locale writes decimal commas, as it does once
// the GUI toolkit has set the locale from a German or French user's environment.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "text/text.h"

extern char** environ;

namespace tarnisk {
namespace {

bool WritesDecimalComma() {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%g", 2.5);
  return std::string(buffer) == "2,5";
}

bool ActivateDecimalCommaLocale() {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE"}) {
    if (std::setlocale(LC_ALL, name) != nullptr && WritesDecimalComma()) return true;
  }
  std::setlocale(LC_ALL, "C");
  return false;
}

bool RunLocaledef(const std::string& outputPath) {
  const char* arguments[] = {"localedef", "-i", "de_DE", "-f", "UTF-8", outputPath.c_str(), nullptr};
  pid_t child = 0;
  if (posix_spawnp(&child, "localedef", nullptr, nullptr, const_cast<char**>(arguments), environ) != 0) {
    return false;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
  }
  // localedef exits with 1 when it only warned; the compiled locale is then still usable.
  return WIFEXITED(status) && WEXITSTATUS(status) <= 1;
}

// Most machines here carry only the C locales: compile de_DE from the `locales` package's sources
// into a private folder and point LOCPATH at it.
class DecimalCommaLocaleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (ActivateDecimalCommaLocale()) return;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                          "/tarnisk-locale-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return;
    folder_ = pattern;
    if (!RunLocaledef(pattern + "/de_DE.UTF-8")) return;
    const char* previous = std::getenv("LOCPATH");
    if (previous != nullptr) previousLocpath_ = previous;
    setenv("LOCPATH", pattern.c_str(), 1);
    ActivateDecimalCommaLocale();
  }

  static void TearDownTestSuite() {
    std::setlocale(LC_ALL, "C");
    if (previousLocpath_) {
      setenv("LOCPATH", previousLocpath_->c_str(), 1);
    } else {
      unsetenv("LOCPATH");
    }
    if (!folder_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(folder_, ignored);
    }
  }

  void SetUp() override {
    if (!WritesDecimalComma()) GTEST_SKIP() << "no decimal-comma locale could be made (localedef)";
    ASSERT_EQ(std::strtod("2.5", nullptr), 2.0) << "the C library should now read a decimal comma";
  }

  static inline std::string folder_;
  static inline std::optional<std::string> previousLocpath_;
};

TEST_F(DecimalCommaLocaleTest, NumberToTextWritesAPoint) {
  EXPECT_EQ(NumberToText(2.5), "2.5");
  EXPECT_EQ(NumberToText(-0.125), "-0.125");
  EXPECT_EQ(NumberToText(1234567.5), "1234567.5");
  EXPECT_EQ(NumberToText(1e13), "1e+013");
  EXPECT_EQ(NumberToText(1.5e-5), "1.5e-005");
  EXPECT_EQ(IntegerToText(-1234567), "-1234567");
}

TEST_F(DecimalCommaLocaleTest, TextToNumberReadsAPoint) {
  EXPECT_EQ(TextToNumber("2.5"), 2.5);
  EXPECT_EQ(TextToNumber("2,5"), 2.0);
  EXPECT_EQ(TextToNumber("\xA3\xB2\xA3\xAE\xA3\xB5"), 2.5);
  EXPECT_EQ(TextToNumber("1.5d2"), 150.0);
  EXPECT_EQ(TextToNumber("1.234,5"), 1.234);
}

}  // namespace
}  // namespace tarnisk
