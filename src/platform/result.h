// Failures at the platform seam carry the Windows error code, so log lines
// can name it the same way on both backends.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

namespace vx {

// Windows error codes the program tests for by number.
enum : uint32_t {
  kErrorSuccess = 0,
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotEnoughMemory = 8,
  kErrorInvalidData = 13,
  kErrorWriteFault = 29,
  kErrorGenFailure = 31,
  kErrorNotSupported = 50,
  kErrorFileExists = 80,
  kErrorInvalidParameter = 87,
  kErrorDiskFull = 112,
  kErrorInsufficientBuffer = 122,
  kErrorBadPathname = 161,
  kErrorBusy = 170,
  kErrorAlreadyExists = 183,
  kErrorMoreData = 234,
  kErrorNoMoreItems = 259,
  kErrorBadConfiguration = 1610,
  kErrorUnsupportedType = 1630,
  kErrorKeyDeleted = 1018,
  kErrorBadDbFormat = 1011,  // ERROR_BADDB: the hive file is unreadable
  kErrorTimeout = 1460,
  kErrorInvalidWindowHandle = 1400,
};

// A value or the Windows error code explaining why there is none.
template <class T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
  static Result Fail(uint32_t code) { return Result(code, 0); }

  explicit operator bool() const { return value_.has_value(); }
  bool ok() const { return value_.has_value(); }
  uint32_t error() const { return error_; }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T value_or(T fallback) const { return value_ ? *value_ : std::move(fallback); }

 private:
  Result(uint32_t code, int) : error_(code == 0 ? kErrorGenFailure : code) {}
  std::optional<T> value_;
  uint32_t error_ = 0;
};

// Operations without a value report 0 for success, else the error code.
using Status = uint32_t;

}  // namespace vx
