// A heap array of run-time length whose storage is aligned to ALIGN bytes,
// for objects that hold SIMD vectors (the oversampler's channel processors
// need 16). Resizing keeps the elements up to the smaller length and
// value-initialises the new ones. Not copyable; it allocates only in its
// constructor and resize(), never on element access.
#pragma once

#include <cassert>
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

namespace kov {
namespace mem {

template <typename T, std::size_t ALIGN = alignof(T)>
class DynArray {
  static_assert(ALIGN > 0 && (ALIGN & (ALIGN - 1)) == 0, "alignment must be a power of 2");
  static_assert(ALIGN >= alignof(T), "alignment below the element's own");
  static_assert(std::is_nothrow_move_constructible<T>::value,
                "resize moves the elements and must not fail half-way");

 public:
  static constexpr std::size_t kAlignment = ALIGN;

  DynArray() noexcept = default;
  explicit DynArray(std::size_t len) { resize(len); }
  ~DynArray() { release(); }

  DynArray(const DynArray&) = delete;
  DynArray& operator=(const DynArray&) = delete;

  DynArray(DynArray&& other) noexcept
      : m_data(std::exchange(other.m_data, nullptr)), m_len(std::exchange(other.m_len, 0)) {}
  DynArray& operator=(DynArray&& other) noexcept {
    if (this != &other) {
      release();
      m_data = std::exchange(other.m_data, nullptr);
      m_len = std::exchange(other.m_len, 0);
    }
    return *this;
  }

  void resize(std::size_t len) {
    if (len == m_len) {
      return;
    }
    T* data = nullptr;
    if (len > 0) {
      data = static_cast<T*>(::operator new(sizeof(T) * len, std::align_val_t(ALIGN)));
      const std::size_t kept = len < m_len ? len : m_len;
      for (std::size_t i = 0; i < kept; ++i) {
        new (data + i) T(std::move(m_data[i]));
      }
      for (std::size_t i = kept; i < len; ++i) {
        new (data + i) T();
      }
    }
    release();
    m_data = data;
    m_len = len;
  }

  std::size_t size() const noexcept { return m_len; }
  std::size_t length() const noexcept { return m_len; }
  bool empty() const noexcept { return m_len == 0; }

  T* data() noexcept { return m_data; }
  const T* data() const noexcept { return m_data; }

  T& operator[](std::size_t pos) noexcept {
    assert(pos < m_len);
    return m_data[pos];
  }
  const T& operator[](std::size_t pos) const noexcept {
    assert(pos < m_len);
    return m_data[pos];
  }

 private:
  void release() noexcept {
    if (m_data != nullptr) {
      for (std::size_t i = m_len; i > 0; --i) {
        m_data[i - 1].~T();
      }
      ::operator delete(m_data, std::align_val_t(ALIGN));
    }
    m_data = nullptr;
    m_len = 0;
  }

  T* m_data = nullptr;
  std::size_t m_len = 0;
};

}  // namespace mem
}  // namespace kov
