// Move-only owners of the libcurl handles the transport uses.
#pragma once

#include <curl/curl.h>

#include <memory>

namespace tessaly {

struct CurlEasyCleanup {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlMultiCleanup {
  void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
struct CurlShareCleanup {
  void operator()(CURLSH* handle) const { curl_share_cleanup(handle); }
};
struct CurlSlistCleanup {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

using CurlEasy = std::unique_ptr<CURL, CurlEasyCleanup>;
using CurlMulti = std::unique_ptr<CURLM, CurlMultiCleanup>;
using CurlShare = std::unique_ptr<CURLSH, CurlShareCleanup>;
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistCleanup>;

}  // namespace tessaly
