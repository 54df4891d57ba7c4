#pragma once
// An owned pixel buffer of a fixed element count. Large zeroed buffers are mapped straight from the
// system, so the pages of an image that is never written (a fresh label, selection or division
// image) cost no memory traffic until the first edit. Copies are deep.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <type_traits>
#include <utility>

namespace morvex {

template <typename T>
class ImageBuffer {
  static_assert(std::is_trivially_copyable_v<T>, "pixel types only");

 public:
  ImageBuffer() = default;
  explicit ImageBuffer(std::size_t count) { reset(count); }
  ~ImageBuffer() { release(); }
  ImageBuffer(const ImageBuffer& other) { assign(other.data_, other.size_); }
  ImageBuffer& operator=(const ImageBuffer& other) {
    if (this != &other) assign(other.data_, other.size_);
    return *this;
  }
  ImageBuffer(ImageBuffer&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        mapped_(std::exchange(other.mapped_, false)) {}
  ImageBuffer& operator=(ImageBuffer&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(mapped_, other.mapped_);
    return *this;
  }

  // count elements, all zero.
  void reset(std::size_t count) { allocate(count, true); }
  // count elements with unspecified values, for a buffer that is filled right away.
  void resizeUninitialized(std::size_t count) { allocate(count, false); }
  void assign(const T* src, std::size_t count) {
    allocate(count, false);
    if (count) std::memcpy(data_, src, count * sizeof(T));
  }
  void clear() { allocate(0, false); }
  void fill(T value) { std::fill(begin(), end(), value); }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }

 private:
  static constexpr std::size_t kMapThreshold = 64 * 1024;

  void release() {
    if (mapped_)
      munmap(data_, size_ * sizeof(T));
    else
      std::free(data_);
    data_ = nullptr;
    size_ = 0;
    mapped_ = false;
  }

  void allocate(std::size_t count, bool zeroed) {
    release();
    if (count == 0) return;
    if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    const std::size_t bytes = count * sizeof(T);
    void* p = nullptr;
    if (zeroed && bytes >= kMapThreshold) {
      p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (p == MAP_FAILED) throw std::bad_alloc();
      mapped_ = true;
    } else {
      p = zeroed ? std::calloc(count, sizeof(T)) : std::malloc(bytes);
      if (!p) throw std::bad_alloc();
    }
    data_ = static_cast<T*>(p);
    size_ = count;
  }

  T* data_ = nullptr;
  std::size_t size_ = 0;
  bool mapped_ = false;
};

}  // namespace morvex
