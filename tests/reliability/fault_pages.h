// Pages in the site's markup for the fault tests, as raw response bytes, and
// the short transport limits every fault test runs with.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "demo-site/site_pages.h"
#include "http/http_transport.h"
#include "scripted_http_server.h"

namespace tessaly::testing {

// A stall ends after a second, not after half a minute.
inline TransportLimits ShortTransportLimits() {
  TransportLimits limits;
  limits.connectTimeout = std::chrono::milliseconds(1000);
  limits.noProgressTimeout = std::chrono::milliseconds(1000);
  return limits;
}

class ShortTransportLimitsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetTransportLimits(ShortTransportLimits()); }
  void TearDown() override { SetTransportLimits(TransportLimits()); }
};

// One result row whose gift code is `code`; name in the page's own bytes.
inline std::string RowLines(std::string_view code, std::string_view name = "name") {
  return demo::RenderRowLines({.pageName = "code/" + std::string(code),
                               .name = std::string(name),
                               .size = "1 GB",
                               .giftCode = std::string(code),
                               .date = "2026-12-01"},
                              name) +
         "\r\n";
}

inline std::string RowsOf(const std::vector<std::string>& codes) {
  std::string rows;
  for (const std::string& code : codes) rows += RowLines(code);
  return rows;
}

inline std::string HeaderCell(std::string_view title) {
  return "<th style=\"text-align:left;width:365px;\">" + std::string(title) + "</th>\r\n";
}

inline std::string Utf8Page(std::string_view body) {
  return test::HttpResponse("HTTP/1.1 200 OK", "Content-Type: text/html; charset=utf-8\r\n", body);
}

// No character set anywhere: the body is read as GBK.
inline std::string GbkPage(std::string_view body) {
  return test::HttpResponse("HTTP/1.1 200 OK", "Content-Type: text/html\r\n", body);
}

// A response head announcing `length` body bytes that may never come.
inline std::string HeadWithLength(std::size_t length) {
  return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(length) +
         "\r\n\r\n";
}

}  // namespace tessaly::testing
