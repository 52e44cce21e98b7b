// A process whose COM security was set before its first query: a program of
// its own, since the setting is process-wide and can be made only once.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include "platform/WmiQuery.h"

namespace qf::platform {
namespace {

HRESULT SetSecurity() {
  return CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_CONNECT, RPC_C_IMP_LEVEL_IDENTIFY,
                              nullptr, EOAC_NONE, nullptr);
}

TEST(WmiSecurity, QueryAfterSecurityWasSetElsewhereGives6WhereTheRuntimeRefuses) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  ASSERT_EQ(SetSecurity(), S_OK);
  // Whether this runtime refuses a second setting, as Windows does; Wine 8
  // accepts every call.
  const bool refuses = SetSecurity() == RPC_E_TOO_LATE;

  WmiQuery query;
  query.SetNamespace(kWmiNamespace);
  std::u16string out = u"kept";
  const int32_t result = query.GetProperty(kClassBios, kPropertyManufacturer, out);
  if (refuses) {
    EXPECT_EQ(result, kWmiSecurityFailed);
    EXPECT_EQ(out, u"kept");
    EXPECT_TRUE(query.ComInitialized());
  } else {
    EXPECT_EQ(result, kWmiSuccess);
    RecordProperty("runtime", "accepts CoInitializeSecurity more than once");
  }
  CoUninitialize();
}

}  // namespace
}  // namespace qf::platform
