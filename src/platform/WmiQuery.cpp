#include "platform/WmiQuery.h"

#include <objbase.h>

#include "platform/ComPtr.h"
#include "settings/TextWidth.h"
#include "sys/Unique.h"

namespace qf::platform {
namespace {

constexpr std::u16string_view kQueryLanguage = u"WQL";
constexpr LONG kQueryFlags = WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY;
constexpr ULONG kOneObject = 1;
constexpr LONG kAllAuthenticationServices = -1;

ComRuntime systemRuntime;

}  // namespace

HRESULT ComRuntime::Initialize() { return ::CoInitialize(nullptr); }

void ComRuntime::Uninitialize() { ::CoUninitialize(); }

HRESULT ComRuntime::InitializeSecurity() {
  return ::CoInitializeSecurity(nullptr, kAllAuthenticationServices, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
}

HRESULT ComRuntime::CreateLocator(IWbemLocator** locator) {
  return ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                            reinterpret_cast<void**>(locator));
}

ComRuntime& SystemComRuntime() { return systemRuntime; }

int32_t WmiQuery::InitializeCom() {
  if (m_comInitialized) return kWmiSuccess;
  const HRESULT hr = m_runtime.Initialize();
  m_comInitialized = SUCCEEDED(hr);
  if (!m_comInitialized) m_lastError = static_cast<uint32_t>(hr);
  return m_comInitialized ? kWmiSuccess : kWmiComFailed;
}

void WmiQuery::UninitializeCom() {
  m_runtime.Uninitialize();
  m_comInitialized = false;
}

void WmiQuery::Prepare(std::u16string_view wmiNamespace) {
  SetNamespace(wmiNamespace);
  InitializeCom();
}

int32_t WmiQuery::GetProperty(std::u16string_view className, std::u16string_view propertyName, std::u16string& out) {
  m_lastError = 0;
  if (InitializeCom() != kWmiSuccess) return kWmiComFailed;
  if (!m_securityInitialized) {
    // Fails when the process's security was already set elsewhere; COM stays initialised.
    if (const HRESULT hr = m_runtime.InitializeSecurity(); FAILED(hr)) {
      m_lastError = static_cast<uint32_t>(hr);
      return kWmiSecurityFailed;
    }
    m_securityInitialized = true;
  }
  const Outcome outcome = Query(className, propertyName, out);
  if (outcome.uninitializeCom) UninitializeCom();
  return outcome.result;
}

WmiQuery::Outcome WmiQuery::Query(std::u16string_view className, std::u16string_view propertyName,
                                  std::u16string& out) {
  HRESULT hr = S_OK;
  const auto failed = [&](HRESULT result) {
    hr = result;
    return FAILED(result);
  };
  const auto outcome = [&](int32_t result, bool uninitializeCom) {
    if (FAILED(hr)) m_lastError = static_cast<uint32_t>(hr);
    return Outcome{result, uninitializeCom};
  };
  ComPtr<IWbemLocator> locator;
  if (failed(m_runtime.CreateLocator(locator.put())) || !locator) return outcome(kWmiNoValue, true);

  ComPtr<IWbemServices> services;
  if (failed(locator.get()->ConnectServer(MakeBstr(m_namespace).get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                          services.put())) ||
      !services) {
    return outcome(kWmiNoValue, true);
  }

  ComPtr<IEnumWbemClassObject> instances;
  if (failed(services.get()->ExecQuery(MakeBstr(kQueryLanguage).get(), MakeBstr(WqlSelectAll(className)).get(),
                                       kQueryFlags, nullptr, instances.put()))) {
    return outcome(kWmiQueryFailed, true);
  }
  if (!instances) return outcome(kWmiSuccess, false);

  const int32_t result = FirstInstanceProperty(*instances.get(), propertyName, out, hr);
  return outcome(result, result == kWmiQueryFailed);
}

int32_t FirstInstanceProperty(IEnumWbemClassObject& instances, std::u16string_view propertyName, std::u16string& out,
                              HRESULT& failure) {
  // Only the first instance is read; the wait has no limit. A query that
  // returns at once reports its errors here, an unknown class among them:
  // such a failure is no "class without instance", which an empty list of
  // accepted values would let pass.
  ComPtr<IWbemClassObject> instance;
  ULONG returned = 0;
  if (const HRESULT hr = instances.Next(WBEM_INFINITE, kOneObject, instance.put(), &returned); FAILED(hr)) {
    failure = hr;
    return kWmiQueryFailed;
  }
  if (returned == 0 || !instance) return kWmiSuccess;

  UniqueVariant value;
  const std::u16string name(propertyName);
  const HRESULT got = instance.get()->Get(sys::Wide(name), 0, value.get(), nullptr, nullptr);
  return PropertyText(SUCCEEDED(got), value.value(), out);
}

int32_t PropertyText(bool gotValue, const VARIANT& value, std::u16string& out) {
  if (gotValue && value.vt == VT_BSTR && value.bstrVal != nullptr) {
    const std::u16string_view text(reinterpret_cast<const char16_t*>(value.bstrVal), ::SysStringLen(value.bstrVal));
    const std::u16string_view cut = settings::CutToWidth(text.substr(0, text.find(u'\0')));
    if (!cut.empty()) {
      out.assign(cut);
      return kWmiSuccess;
    }
  }
  out.clear();
  return kWmiNoValue;
}

}  // namespace qf::platform
