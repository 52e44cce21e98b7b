#pragma once

#include <windows.h>

namespace qf {

// An entry point of a module that is already loaded, typed; null when absent.
// The module is looked up, never loaded, so no DLL can be planted in its stead.
template <class Function>
Function LoadedEntryPoint(const wchar_t* module, const char* name) {
  const HMODULE handle = ::GetModuleHandleW(module);
  if (handle == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(handle, name)));
}

}  // namespace qf
