// WmiQuery against the WMI of the system it runs on. Expected values are read
// a second way, with the system's wmic, never written into the test.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "ConsoleRun.h"
#include "FakeCpuid.h"
#include "platform/ComPtr.h"
#include "platform/PlatformValidator.h"
#include "platform/WmiQuery.h"
#include "support/TestFiles.h"
#include "sys/Unique.h"

namespace qf::platform {
namespace {

qf::test::Bytes WithMark(std::u16string_view text) {
  qf::test::Bytes bytes{0xFF, 0xFE};
  const qf::test::Bytes body = qf::test::Utf16Le(text);
  bytes.insert(bytes.end(), body.begin(), body.end());
  return bytes;
}

// The system's runtime, with each call counted; the locator it hands out is
// wrapped so that its references can be counted too.
class CountingLocator final : public IWbemLocator {
 public:
  explicit CountingLocator(IWbemLocator* real) : m_real(real) {}
  ~CountingLocator() { m_real->Release(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (id == IID_IUnknown || id == IID_IWbemLocator) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR ns, const BSTR user, const BSTR password, const BSTR locale,
                                          LONG flags, const BSTR authority, IWbemContext* context,
                                          IWbemServices** services) override {
    const HRESULT hr = m_real->ConnectServer(ns, user, password, locale, flags, authority, context, services);
    if (SUCCEEDED(hr) && *services != nullptr) {
      (*services)->AddRef();
      connections.emplace_back(*services);
    }
    return hr;
  }

  ULONG references = 1;
  // One reference of the test's own to every connection made.
  std::vector<ComPtr<IWbemServices>> connections;

 private:
  IWbemLocator* m_real;
};

class CountingRuntime final : public ComRuntime {
 public:
  HRESULT Initialize() override {
    ++initializeCalls;
    return ComRuntime::Initialize();
  }
  void Uninitialize() override {
    ++uninitializeCalls;
    ComRuntime::Uninitialize();
  }
  HRESULT InitializeSecurity() override {
    ++securityCalls;
    return securityResult ? *securityResult : ComRuntime::InitializeSecurity();
  }
  HRESULT CreateLocator(IWbemLocator** locator) override {
    if (FAILED(locatorResult)) return locatorResult;
    IWbemLocator* real = nullptr;
    const HRESULT hr = ComRuntime::CreateLocator(&real);
    if (FAILED(hr)) return hr;
    locators.push_back(std::make_unique<CountingLocator>(real));
    *locator = locators.back().get();
    return hr;
  }

  // Every locator handed out has been released, and every connection too:
  // the test's own reference to it is the last one.
  void ExpectEverythingReleased() {
    for (auto& locator : locators) EXPECT_EQ(locator->references, 0u);
    for (auto& locator : locators) {
      for (auto& connection : locator->connections) EXPECT_EQ(connection.release()->Release(), 0u);
    }
  }

  int initializeCalls = 0, uninitializeCalls = 0, securityCalls = 0;
  std::optional<HRESULT> securityResult;
  HRESULT locatorResult = S_OK;
  std::vector<std::unique_ptr<CountingLocator>> locators;
};

// Each test runs on a thread of its own, whose COM state starts clean.
template <class Body>
void OnFreshThread(Body body) {
  std::thread(body).join();
}

TEST(WmiQuery, ManufacturersEqualWhatWmicPrints) {
  const std::u16string bios = test::WmicManufacturer(L"bios");
  const std::u16string board = test::WmicManufacturer(L"baseboard");
  ASSERT_FALSE(bios.empty());
  OnFreshThread([&] {
    CountingRuntime runtime;
    WmiQuery query(runtime);
    query.SetNamespace(kWmiNamespace);
    std::u16string out;
    EXPECT_EQ(query.GetProperty(kClassBios, kPropertyManufacturer, out), kWmiSuccess);
    EXPECT_EQ(out, bios);
    // The second query on the object skips COM and security, and makes its own locator and connection.
    out.clear();
    const int32_t boardResult = query.GetProperty(kClassBaseBoard, kPropertyManufacturer, out);
    EXPECT_EQ(out, board);
    // A machine whose board names no maker shows an empty column.
    if (board.empty()) {
      EXPECT_TRUE(boardResult == kWmiSuccess || boardResult == kWmiNoValue) << boardResult;
    } else {
      EXPECT_EQ(boardResult, kWmiSuccess);
    }
    EXPECT_EQ(runtime.initializeCalls, 1);
    EXPECT_EQ(runtime.securityCalls, 1);
    ASSERT_EQ(runtime.locators.size(), 2u);
    EXPECT_EQ(runtime.locators[0]->connections.size(), 1u);
    EXPECT_EQ(runtime.locators[1]->connections.size(), 1u);
    EXPECT_EQ(runtime.uninitializeCalls, 0);
    EXPECT_TRUE(query.ComInitialized());
    runtime.ExpectEverythingReleased();
    CoUninitialize();
  });
}

TEST(WmiQuery, ClassWithoutInstanceLeavesTheOutputUnchanged) {
  OnFreshThread([] {
    CountingRuntime runtime;
    WmiQuery query(runtime);
    query.SetNamespace(kWmiNamespace);
    // The class name follows "Select * from " unquoted, so a condition can ride along.
    std::u16string out = u"as passed";
    EXPECT_EQ(query.GetProperty(u"Win32_Bios where Manufacturer = 'no maker at all'", kPropertyManufacturer, out),
              kWmiSuccess);
    EXPECT_EQ(out, u"as passed");
    out.clear();
    EXPECT_EQ(query.GetProperty(u"Win32_Bios where Manufacturer = 'no maker at all'", kPropertyManufacturer, out),
              kWmiSuccess);
    EXPECT_EQ(out, u"");
    EXPECT_TRUE(query.ComInitialized());
    runtime.ExpectEverythingReleased();
    CoUninitialize();
  });
}

TEST(WmiQuery, PropertyWithoutTextGives7AndEmptiesTheOutput) {
  OnFreshThread([] {
    CountingRuntime runtime;
    WmiQuery query(runtime);
    query.SetNamespace(kWmiNamespace);
    std::u16string out = u"stale";
    EXPECT_EQ(query.GetProperty(kClassBios, u"NoSuchProperty", out), kWmiNoValue);
    EXPECT_EQ(out, u"");
    out = u"stale";
    EXPECT_EQ(query.GetProperty(kClassBios, u"SMBIOSMajorVersion", out), kWmiNoValue);  // a number
    EXPECT_EQ(out, u"");
    // The query itself went well: COM stays initialised.
    EXPECT_TRUE(query.ComInitialized());
    runtime.ExpectEverythingReleased();
    CoUninitialize();
  });
}

TEST(WmiQuery, FailuresBeforeTheInstanceUninitialiseComAndReleaseEverything) {
  OnFreshThread([] {
    CountingRuntime runtime;
    WmiQuery query(runtime);
    std::u16string out = u"kept";
    query.SetNamespace(kWmiNamespace);
    EXPECT_EQ(query.GetProperty(u"Win32_Bios where", kPropertyManufacturer, out), kWmiQueryFailed);
    EXPECT_FALSE(query.ComInitialized());
    query.SetNamespace(u"ROOT\\NOSUCHNAMESPACE");
    EXPECT_EQ(query.GetProperty(kClassBios, kPropertyManufacturer, out), kWmiNoValue);
    EXPECT_FALSE(query.ComInitialized());
    runtime.locatorResult = REGDB_E_CLASSNOTREG;
    EXPECT_EQ(query.GetProperty(kClassBios, kPropertyManufacturer, out), kWmiNoValue);
    EXPECT_FALSE(query.ComInitialized());
    EXPECT_EQ(out, u"kept");
    EXPECT_EQ(runtime.initializeCalls, 3);
    EXPECT_EQ(runtime.uninitializeCalls, 3);
    EXPECT_EQ(runtime.securityCalls, 1);
    runtime.ExpectEverythingReleased();
  });
}

TEST(WmiQuery, ComInitialisationFailureGives1) {
  OnFreshThread([] {
    // A thread already in the multi-threaded apartment cannot enter a single-threaded one.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CountingRuntime runtime;
    WmiQuery query(runtime);
    query.SetNamespace(kWmiNamespace);
    EXPECT_EQ(query.InitializeCom(), kWmiComFailed);
    std::u16string out = u"kept";
    EXPECT_EQ(query.GetProperty(kClassBios, kPropertyManufacturer, out), kWmiComFailed);
    EXPECT_EQ(out, u"kept");
    EXPECT_FALSE(query.ComInitialized());
    EXPECT_EQ(runtime.securityCalls, 0);
    EXPECT_TRUE(runtime.locators.empty());
    CoUninitialize();
  });
}

TEST(WmiQuery, SecurityAlreadySetGives6AndTheCheckFails) {
  OnFreshThread([] {
    // What the runtime answers when the process's security was set before.
    CountingRuntime runtime;
    runtime.securityResult = RPC_E_TOO_LATE;
    WmiQuery query(runtime);
    query.SetNamespace(kWmiNamespace);
    std::u16string out = u"kept";
    EXPECT_EQ(query.GetProperty(kClassBios, kPropertyManufacturer, out), kWmiSecurityFailed);
    EXPECT_EQ(out, u"kept");
    EXPECT_TRUE(query.ComInitialized());
    EXPECT_FALSE(query.SecurityInitialized());
    EXPECT_TRUE(runtime.locators.empty());

    test::FakeCpuid cpuid("TavixSilicon", test::Signature(6, 8));
    const settings::IniDocument document =
        settings::IniDocument::FromBytes(WithMark(u"[validate]\r\nbios=1\r\n[bios]\r\nManufacturer=\r\n"));
    PlatformValidator validator(document, query, cpuid);
    EXPECT_EQ(validator.Validate(), kCheckFailed);
    EXPECT_EQ(runtime.securityCalls, 2);  // not remembered as set: tried again, refused again
    CoUninitialize();
  });
}

TEST(WmiQuery, PrepareSetsTheNamespaceAndInitialisesCom) {
  OnFreshThread([] {
    CountingRuntime runtime;
    WmiQuery query(runtime);
    EXPECT_EQ(query.GetNamespace(), u"");
    query.Prepare(kWmiNamespace);
    EXPECT_EQ(query.GetNamespace(), u"ROOT\\CIMV2");
    EXPECT_TRUE(query.ComInitialized());
    EXPECT_EQ(query.InitializeCom(), kWmiSuccess);
    EXPECT_EQ(runtime.initializeCalls, 1);
    query.UninitializeCom();
    EXPECT_FALSE(query.ComInitialized());
  });
}

// An enumeration whose Next answers as told; the instances it yields are not needed.
class ScriptedInstances final : public IEnumWbemClassObject {
 public:
  explicit ScriptedInstances(HRESULT next) : m_next(next) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objects, ULONG* returned) override {
    EXPECT_EQ(timeout, static_cast<LONG>(WBEM_INFINITE));
    EXPECT_EQ(count, 1u);
    *objects = nullptr;
    *returned = 0;
    return m_next;
  }
  HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Skip(LONG, ULONG) override { return E_NOTIMPL; }
  ULONG references = 1;

 private:
  HRESULT m_next;
};

TEST(FirstInstanceProperty, FailedEnumerationIsNoMissingInstance) {
  std::u16string out = u"kept";
  ScriptedInstances unknownClass(WBEM_E_INVALID_CLASS);
  EXPECT_EQ(FirstInstanceProperty(unknownClass, kPropertyManufacturer, out), kWmiQueryFailed);
  ScriptedInstances empty(WBEM_S_FALSE);
  EXPECT_EQ(FirstInstanceProperty(empty, kPropertyManufacturer, out), kWmiSuccess);
  EXPECT_EQ(out, u"kept");
  EXPECT_EQ(unknownClass.references, 1u);  // the caller's reference is the caller's to release
  EXPECT_EQ(empty.references, 1u);
}

TEST(PropertyText, OnlyANonEmptyStringIsText) {
  std::u16string out = u"stale";
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(PropertyText(true, v, out), kWmiNoValue);  // VT_EMPTY
  EXPECT_EQ(out, u"");
  v.vt = VT_NULL;
  out = u"stale";
  EXPECT_EQ(PropertyText(true, v, out), kWmiNoValue);
  EXPECT_EQ(out, u"");
  v.vt = VT_I4;
  v.lVal = 42;
  EXPECT_EQ(PropertyText(true, v, out), kWmiNoValue);
  v.vt = VT_BSTR;
  v.bstrVal = nullptr;  // COM's empty string
  out = u"stale";
  EXPECT_EQ(PropertyText(true, v, out), kWmiNoValue);
  EXPECT_EQ(out, u"");

  UniqueBstr empty = MakeBstr(u"");
  v.bstrVal = empty.get();
  EXPECT_EQ(PropertyText(true, v, out), kWmiNoValue);
  UniqueBstr maker = MakeBstr(u"Tavix Corp.");
  v.bstrVal = maker.get();
  EXPECT_EQ(PropertyText(true, v, out), kWmiSuccess);
  EXPECT_EQ(out, u"Tavix Corp.");
  out = u"stale";
  EXPECT_EQ(PropertyText(false, v, out), kWmiNoValue);  // Get failed: its output is not trusted
  EXPECT_EQ(out, u"");

  UniqueBstr longText = MakeBstr(std::u16string(300, u'm'));
  v.bstrVal = longText.get();
  EXPECT_EQ(PropertyText(true, v, out), kWmiSuccess);
  EXPECT_EQ(out, std::u16string(255, u'm'));
  UniqueBstr withNul = MakeBstr(std::u16string(u"ab\0cd", 5));
  v.bstrVal = withNul.get();
  EXPECT_EQ(PropertyText(true, v, out), kWmiSuccess);
  EXPECT_EQ(out, u"ab");
}

}  // namespace
}  // namespace qf::platform
