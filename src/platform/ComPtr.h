#pragma once

#include <bits/functexcept.h>
#include <oleauto.h>
#include <windows.h>

#include <string_view>

#include "sys/Unique.h"

namespace qf::platform {

// Owners for what COM hands out, on the same move-only template as every OS handle.
template <class Interface>
struct ComTraits {
  using Handle = Interface*;
  static Handle None() { return nullptr; }
  static void Close(Handle p) { p->Release(); }
};
template <class Interface>
using ComPtr = sys::Unique<ComTraits<Interface>>;

struct BstrTraits {
  using Handle = BSTR;
  static Handle None() { return nullptr; }
  static void Close(Handle text) { ::SysFreeString(text); }
};
using UniqueBstr = sys::Unique<BstrTraits>;

// A text for a call that takes a BSTR; freed with the temporary after the call.
inline UniqueBstr MakeBstr(std::u16string_view text) {
  BSTR bstr = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
  // Out of memory, as for any allocation of the standard library.
  if (bstr == nullptr) std::__throw_bad_alloc();
  return UniqueBstr(bstr);
}

// A VARIANT that is initialised when made and cleared when it goes.
class UniqueVariant {
 public:
  UniqueVariant() { ::VariantInit(&m_value); }
  ~UniqueVariant() { ::VariantClear(&m_value); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;

  VARIANT* get() { return &m_value; }
  const VARIANT& value() const { return m_value; }

 private:
  VARIANT m_value;
};

}  // namespace qf::platform
