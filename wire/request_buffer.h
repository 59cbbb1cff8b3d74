// A request buffer: exactly as long as its request, zero-filled, used as the
// input and the output of one synchronous I/O control, released on every way
// out. Allocation failure is a value, not an exception, because the callers
// report it with a result code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace koa {

class RequestBuffer {
 public:
  // Zero-filled; check ok() before use.
  explicit RequestBuffer(std::size_t size)
      : bytes_(new (std::nothrow) std::uint8_t[size]()), size_(bytes_ ? size : 0) {}

  [[nodiscard]] bool ok() const { return bytes_ != nullptr; }
  [[nodiscard]] std::uint8_t* data() { return bytes_.get(); }
  [[nodiscard]] const std::uint8_t* data() const { return bytes_.get(); }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] std::uint32_t size32() const { return static_cast<std::uint32_t>(size_); }

  // True when [offset, offset + length) lies inside the buffer; every read of
  // a field whose position comes from a driver's answer goes through this.
  [[nodiscard]] bool holds(std::uint64_t offset, std::uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }

  void zero() { std::memset(bytes_.get(), 0, size_); }
  // Zero-fills the first `length` bytes (at most size()): the whole of a
  // request shorter than the buffer (a shorter last piece), which is all of
  // the buffer that is sent and answered in.
  void zero(std::size_t length) { std::memset(bytes_.get(), 0, length < size_ ? length : size_); }

 private:
  std::unique_ptr<std::uint8_t[]> bytes_;
  std::size_t size_;
};

}  // namespace koa
