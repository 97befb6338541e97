#include "http/url.h"

#include <gtest/gtest.h>

namespace tarnisk {
namespace {

struct UrlRow {
  const char* name;
  const char* url;
  const char* host;
  const char* hostWithPort;
  std::int32_t port;
  const char* path;
};

void PrintTo(const UrlRow& row, std::ostream* out) { *out << row.name; }

class UrlSplitting : public ::testing::TestWithParam<UrlRow> {};

TEST_P(UrlSplitting, HostPortAndPath) {
  const UrlRow& row = GetParam();
  EXPECT_EQ(UrlHost(row.url), row.host);
  EXPECT_EQ(UrlHost(row.url, true), row.hostWithPort);
  EXPECT_EQ(UrlPort(row.url), row.port);
  EXPECT_EQ(UrlPath(row.url), row.path);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UrlSplitting,
    ::testing::Values(
        UrlRow{"MixedCaseHostWithPort", "http://WWW.Example.COM:8080/Path/A?Q=B", "www.example.com",
               "www.example.com:8080", 8080, "/Path/A?Q=B"},
        UrlRow{"NoPortMeans80", "http://www.baidu.com/s", "www.baidu.com", "www.baidu.com", 80, "/s"},
        UrlRow{"EndsAfterHost", "http://pan.baidu.com", "pan.baidu.com", "pan.baidu.com", 80, "/"},
        UrlRow{"QueryIsPartOfPath", "http://www.baidu.com/s?ie=utf-8&wd=%E4%B8%AD+site%3Apan",
               "www.baidu.com", "www.baidu.com", 80, "/s?ie=utf-8&wd=%E4%B8%AD+site%3Apan"},
        UrlRow{"NoSchemeStartsWithHost", "example.org/a/b", "example.org", "example.org", 80, "/a/b"},
        UrlRow{"PortDigitsThenLetters", "http://h:81ab/x", "h", "h:81ab", 81, "/x"},
        UrlRow{"EmptyPortGivesZero", "http://h:/x", "h", "h:", 0, "/x"},
        UrlRow{"SecureDefaultsTo443", "https://Secure.Example/p?q", "secure.example", "secure.example", 443, "/p?q"},
        UrlRow{"SecureSchemeInAnyCase", "HTTPS://h.test:8443/", "h.test", "h.test:8443", 8443, "/"},
        UrlRow{"SecureWithoutPath", "https://h.test", "h.test", "h.test", 443, "/"},
        UrlRow{"EmptyUrl", "", "", "", 80, "/"},
        UrlRow{"SchemeOnly", "http://", "", "", 80, "/"}),
    [](const ::testing::TestParamInfo<UrlRow>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarnisk
