#pragma once

#include <windows.h>

#include <string>
#include <utility>

namespace qf::sys {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wchar_t is UTF-16");

// Text crosses into Win32 here only.
inline const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline std::u16string FromWide(const wchar_t* text) { return std::u16string(reinterpret_cast<const char16_t*>(text)); }
inline std::u16string FromWide(const wchar_t* text, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

// One move-only owner for every kind of OS handle; the traits say what "none"
// is and how to close it.
template <class Traits>
class Unique {
 public:
  using Handle = typename Traits::Handle;

  Unique() = default;
  explicit Unique(Handle handle) : m_handle(handle) {}
  ~Unique() { reset(); }
  Unique(Unique&& other) noexcept : m_handle(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;

  Handle get() const { return m_handle; }
  // For APIs that return a handle through an out-parameter: closes the current one first.
  Handle* put() {
    reset();
    return &m_handle;
  }
  void reset(Handle handle = Traits::None()) {
    if (m_handle != Traits::None()) Traits::Close(m_handle);
    m_handle = handle;
  }
  Handle release() { return std::exchange(m_handle, Traits::None()); }
  explicit operator bool() const { return m_handle != Traits::None(); }

 private:
  Handle m_handle = Traits::None();
};

struct FileTraits {
  using Handle = HANDLE;
  static Handle None() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct HandleTraits {
  using Handle = HANDLE;
  static Handle None() { return nullptr; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct KeyTraits {
  using Handle = HKEY;
  static Handle None() { return nullptr; }
  static void Close(Handle h) { ::RegCloseKey(h); }
};
struct FindTraits {
  using Handle = HANDLE;
  static Handle None() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};

using UniqueFile = Unique<FileTraits>;      // CreateFileW and snapshots fail with INVALID_HANDLE_VALUE
using UniqueHandle = Unique<HandleTraits>;  // threads, processes, mutexes fail with null
using UniqueKey = Unique<KeyTraits>;
using UniqueFind = Unique<FindTraits>;

}  // namespace qf::sys
