#include "http/url_parts.h"

#include <gtest/gtest.h>

#include <string>

namespace tessaly {
namespace {

struct HostCase {
  std::string name;
  std::string url;
  UrlHostOptions options;
  std::string host;
};

void PrintTo(const HostCase& row, std::ostream* out) {
  *out << row.name;
}

UrlHostOptions Options(bool shortDomain, bool keepPort, std::optional<int> domainLevels = {}) {
  UrlHostOptions options;
  options.shortDomain = shortDomain;
  options.keepPort = keepPort;
  options.domainLevels = domainLevels;
  return options;
}

class UrlHostTest : public ::testing::TestWithParam<HostCase> {};

TEST_P(UrlHostTest, GivesHost) {
  const HostCase& c = GetParam();
  EXPECT_EQ(UrlHost(Text(c.url), c.options).bytes(), c.host);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UrlHostTest,
    ::testing::Values(
        HostCase{"SchemeInCapitals_lowerCasesAndDropsPort", "HTTPS://One.Two.THREE:8443/a/b",
                 Options(false, false), "one.two.three"},
        HostCase{"KeepPort", "HTTPS://One.Two.THREE:8443/a/b", Options(false, true),
                 "one.two.three:8443"},
        HostCase{"ShortDomain_lastTwoLabels", "HTTPS://One.Two.THREE:8443/a/b",
                 Options(true, false), "two.three"},
        HostCase{"ShortDomain_singleLabelStays", "http://localhost/x", Options(true, false),
                 "localhost"},
        HostCase{"NoScheme_readAsHttp", "one.two.three/x", Options(false, false), "one.two.three"},
        HostCase{"NoPath_appendedSlashClosesHost", "http://two.three", Options(false, false),
                 "two.three"},
        HostCase{"Empty", "", Options(false, false), ""},
        HostCase{"Levels1Short", "http://a.b.two.three/x", Options(true, false, 1), "two.three"},
        HostCase{"Levels1", "http://a.b.two.three/x", Options(false, false, 1), "b.two.three"},
        HostCase{"Levels1Short_tooFewDots", "http://two.three", Options(true, false, 1),
                 "two.three"},
        HostCase{"Levels1_tooFewDots", "http://two.three", Options(false, false, 1), "two.three"},
        HostCase{"Levels0Short", "a.b.two.three", Options(true, false, 0), "three"},
        HostCase{"Levels0", "a.b.two.three", Options(false, false, 0), "two.three"},
        HostCase{"Levels0_portDroppedAfterCut", "https://a.b.two.three:81/x",
                 Options(false, false, 0), "two.three"},
        HostCase{"LevelsNegative_noStep", "a.b.two.three", Options(false, false, -3), "two.three"}),
    [](const auto& row) { return row.param.name; });

struct PortCase {
  std::string name;
  std::string url;
  int port;
};

void PrintTo(const PortCase& row, std::ostream* out) {
  *out << row.name;
}

class UrlPortTest : public ::testing::TestWithParam<PortCase> {};

TEST_P(UrlPortTest, GivesPort) {
  EXPECT_EQ(UrlPort(Text(GetParam().url)), GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(Cases, UrlPortTest,
                         ::testing::Values(PortCase{"Explicit", "http://host:8080/x", 8080},
                                           PortCase{"HttpDefault", "http://host/x", 80},
                                           PortCase{"HttpsAnyCase", "Https://host/", 443},
                                           PortCase{"HttpsExplicit80", "https://host:80/", 80},
                                           PortCase{"EmptyAfterColon", "http://host:/", 0},
                                           PortCase{"NoScheme", "host:81", 81}),
                         [](const auto& row) { return row.param.name; });

struct PathCase {
  std::string name;
  std::string url;
  std::string path;
};

void PrintTo(const PathCase& row, std::ostream* out) {
  *out << row.name;
}

class UrlPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(UrlPathTest, GivesPath) {
  EXPECT_EQ(UrlPath(Text(GetParam().url)).bytes(), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UrlPathTest,
    ::testing::Values(PathCase{"WithQuery", "http://host/a/b?x=1", "/a/b?x=1"},
                      PathCase{"KeepsLetterCase", "http://Host/Dir/", "/Dir/"},
                      PathCase{"NoPath", "http://host", "/"},
                      PathCase{"QueryWithoutSlashIsNotKept", "http://host?x=1", "/"},
                      PathCase{"HostInsideScheme_foundThereFirst", "http://h/x", "//h/x"},
                      PathCase{"WithPort", "http://host:8080/p?q", "/p?q"}),
    [](const auto& row) { return row.param.name; });

}  // namespace
}  // namespace tessaly
