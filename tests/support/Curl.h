// Owners of libcurl handles and the write callback that collects a body,
// for tests and benchmarks that talk HTTP without the product.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>

namespace tellavo::test {

struct CurlEasyCleanup {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct CurlListCleanup {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

using CurlEasy = std::unique_ptr<CURL, CurlEasyCleanup>;
using CurlList = std::unique_ptr<curl_slist, CurlListCleanup>;

// CURLOPT_WRITEFUNCTION that appends to the std::string given as
// CURLOPT_WRITEDATA.
inline size_t AppendToString(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

} // namespace tellavo::test
