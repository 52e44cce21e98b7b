// WmiQuery against the WMI of the system it runs on. Expected values are read
// a second way, with the system's wmic, never written into the test.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <thread>

#include "ConsoleRun.h"
#include "platform/WmiQuery.h"

namespace qf::platform {
namespace {

// The system's runtime. The process's security is set once: later queries of
// this test program find it set by the first. A case may say what it answers.
struct TestRuntime final : ComRuntime {
  HRESULT InitializeSecurity() override {
    if (security) return *security;
    const HRESULT hr = ComRuntime::InitializeSecurity();
    return hr == RPC_E_TOO_LATE ? S_OK : hr;
  }
  std::optional<HRESULT> security;
};

// COM stays initialised after a query that ran, and is uninitialised again
// after one that could not.
TEST(WmiQuery, ReadsWhatWmicPrintsOrSaysWhyNot) {
  const std::u16string bios = qf::test::WmicManufacturer(L"bios");
  const std::u16string board = qf::test::WmicManufacturer(L"baseboard");
  ASSERT_FALSE(bios.empty());
  struct Case {
    std::u16string_view wmiNamespace, className, property;
    int32_t result;
    std::u16string out;  // what "kept" became
    bool comStays;
    std::optional<HRESULT> security = std::nullopt;
    bool multithreaded = false;  // a thread in that apartment cannot enter a single-threaded one
  };
  // clang-format off
  std::vector<Case> cases = {
      {kWmiNamespace, kClassBios, kPropertyManufacturer, kWmiSuccess, bios, true},
      {kWmiNamespace, kClassBaseBoard, kPropertyManufacturer, kWmiSuccess, board, true},
      // The class name follows "Select * from " unquoted, so a condition can ride along.
      {kWmiNamespace, u"Win32_Bios where Manufacturer = 'no maker at all'", kPropertyManufacturer, kWmiSuccess, u"kept", true},
      {kWmiNamespace, kClassBios, u"SMBIOSMajorVersion", kWmiNoValue, u"", true},  // a number, no text
      {kWmiNamespace, u"Win32_Bios where", kPropertyManufacturer, kWmiQueryFailed, u"kept", false},
      {u"ROOT\\NOSUCHNAMESPACE", kClassBios, kPropertyManufacturer, kWmiNoValue, u"kept", false},
      {kWmiNamespace, kClassBios, kPropertyManufacturer, kWmiSecurityFailed, u"kept", true, RPC_E_TOO_LATE},
      {kWmiNamespace, kClassBios, kPropertyManufacturer, kWmiComFailed, u"kept", false, std::nullopt, true},
  };
  // clang-format on
  if (board.empty()) cases.erase(cases.begin() + 1);  // a board naming no maker may have no instance or no text
  for (const Case& c : cases) {
    // Each on a thread of its own, whose COM state starts clean.
    std::thread([&c] {
      SCOPED_TRACE(testing::PrintToString(std::u16string(c.className) + u"." + std::u16string(c.property) + u" in " +
                                          std::u16string(c.wmiNamespace)));
      ASSERT_EQ(c.multithreaded ? CoInitializeEx(nullptr, COINIT_MULTITHREADED) : S_OK, S_OK);
      TestRuntime runtime;
      runtime.security = c.security;
      WmiQuery query(runtime);
      query.SetNamespace(c.wmiNamespace);
      std::u16string out = u"kept";
      EXPECT_EQ(query.GetProperty(c.className, c.property, out), c.result);
      EXPECT_EQ(out, c.out);
      EXPECT_EQ(query.ComInitialized(), c.comStays);
      // A query that could not run, and a failed security call, keep the system's error code.
      EXPECT_EQ(query.LastError() != 0, !c.comStays || c.security.has_value());
      if (c.comStays || c.multithreaded) CoUninitialize();
    }).join();
  }
}

}  // namespace
}  // namespace qf::platform
