// Owners for libcurl's handles, shared by every libcurl user of the
// simulated machine.
#pragma once

#include <curl/curl.h>

#include "platform/handle.h"

namespace vx::sim {

struct CurlEasyTraits {
  using Type = CURL*;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { curl_easy_cleanup(h); }
};
using UniqueCurl = UniqueHandle<CurlEasyTraits>;

struct SlistOwner {
  SlistOwner() = default;
  SlistOwner(const SlistOwner&) = delete;
  SlistOwner& operator=(const SlistOwner&) = delete;
  ~SlistOwner() {
    if (list) curl_slist_free_all(list);
  }
  curl_slist* list = nullptr;
};

}  // namespace vx::sim
