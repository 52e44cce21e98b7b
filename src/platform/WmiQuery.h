#pragma once

#include <wbemcli.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/PropertySource.h"

namespace qf::platform {

// The COM runtime calls a query makes, with the arguments the system uses.
// Tests substitute them to reach paths that a runtime under test never takes.
class ComRuntime {
 public:
  virtual ~ComRuntime() = default;
  virtual HRESULT Initialize();          // CoInitialize: a single-threaded apartment
  virtual void Uninitialize();           // CoUninitialize
  virtual HRESULT InitializeSecurity();  // default authentication, impersonation allowed
  virtual HRESULT CreateLocator(IWbemLocator** locator);
};
ComRuntime& SystemComRuntime();

// Reads one property of the first instance of a WMI class as text. Each query
// makes and releases its own locator and connection, so nothing outlives it but
// COM on the calling thread and the process's security settings: COM stays
// initialised after a query that ran (results 0 and 7), and is uninitialised
// again after one that could not run (7 for locator or namespace, 4).
// Security is set once per object. Queries must run on the thread that
// initialised COM; the object never uninitialises COM when it goes, since it
// may be destroyed on another thread.
class WmiQuery final : public PropertySource {
 public:
  explicit WmiQuery(ComRuntime& runtime = SystemComRuntime()) : m_runtime(runtime) {}
  WmiQuery(const WmiQuery&) = delete;
  WmiQuery& operator=(const WmiQuery&) = delete;

  void SetNamespace(std::u16string_view wmiNamespace) { m_namespace = wmiNamespace; }
  // 0 when COM is initialised on this thread (also when it already was), else 1.
  int32_t InitializeCom();
  void UninitializeCom();

  void Prepare(std::u16string_view wmiNamespace) override;
  int32_t GetProperty(std::u16string_view className, std::u16string_view propertyName, std::u16string& out) override;

  uint32_t LastError() const override { return m_lastError; }
  bool ComInitialized() const { return m_comInitialized; }

 private:
  struct Outcome {
    int32_t result;
    bool uninitializeCom;
  };
  // Everything the query obtains is released when this returns.
  Outcome Query(std::u16string_view className, std::u16string_view propertyName, std::u16string& out);

  ComRuntime& m_runtime;
  std::u16string m_namespace;
  uint32_t m_lastError = 0;
  bool m_comInitialized = false;
  bool m_securityInitialized = false;
};

// The property of the first instance an enumeration yields: 0 with out
// unchanged when there is none; 4 when the enumeration fails; otherwise the
// result of PropertyText.
// A failed call's HRESULT goes to failure.
int32_t FirstInstanceProperty(IEnumWbemClassObject& instances, std::u16string_view propertyName, std::u16string& out,
                              HRESULT& failure);

// A property value as text: 0 with the text in out for a non-empty string
// (up to a NUL unit, cut at 255 units); otherwise 7 with out emptied. A
// VT_BSTR holding a null pointer is COM's empty string.
int32_t PropertyText(bool gotValue, const VARIANT& value, std::u16string& out);

}  // namespace qf::platform
