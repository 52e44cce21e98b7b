// Identify on this machine's processor, compared with what the operating
// system says about it: /proc/cpuinfo on Linux, the registry on Windows. Both
// report the vendors' numbers (15 + extended family, the extended model in the
// upper bits), from which the system's numbers follow.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "platform/CpuIdentity.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fstream>
#endif

namespace qf::platform {
namespace {

struct Reported {
  std::string vendor;
  int family = -1;
  int model = -1;
};

#ifdef _WIN32
std::string RegistryText(const wchar_t* name) {
  wchar_t buffer[256] = {};
  DWORD size = sizeof buffer;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", name, RRF_RT_REG_SZ,
                   nullptr, buffer, &size) != ERROR_SUCCESS) {
    return {};
  }
  std::string text;
  for (const wchar_t* p = buffer; *p != 0; ++p) text.push_back(static_cast<char>(*p));
  return text;
}

Reported FromSystem() {
  Reported r;
  r.vendor = RegistryText(L"VendorIdentifier");
  std::smatch m;
  const std::string identifier = RegistryText(L"Identifier");  // "AMD64 Family 23 Model 1 Stepping 2"
  if (std::regex_search(identifier, m, std::regex("Family (\\d+) Model (\\d+)"))) {
    r.family = std::stoi(m[1]);
    r.model = std::stoi(m[2]);
  }
  return r;
}
#else
Reported FromSystem() {
  Reported r;
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  std::smatch m;
  while (std::getline(in, line) && !line.empty()) {
    if (std::regex_match(line, m, std::regex("vendor_id\\s*: (.*)"))) r.vendor = m[1];
    if (std::regex_match(line, m, std::regex("cpu family\\s*: (\\d+)"))) r.family = std::stoi(m[1]);
    if (std::regex_match(line, m, std::regex("model\\s*: (\\d+)"))) r.model = std::stoi(m[1]);
  }
  return r;
}
#endif

TEST(CpuIdentityHardware, MatchesWhatTheSystemReports) {
  const Reported system = FromSystem();
  ASSERT_FALSE(system.vendor.empty());
  ASSERT_GE(system.family, 0);
  ASSERT_GE(system.model, 0);

  ASSERT_TRUE(ProcessorCpuid().Available());
  CpuIdentity identity;
  ASSERT_TRUE(identity.Identify());
  EXPECT_EQ(std::string(identity.vendorId), system.vendor);
  const int expectedFamily = system.family < 15 ? system.family : 15 + 16 * (system.family - 15);
  EXPECT_EQ(identity.family, expectedFamily) << "system family " << system.family;
  EXPECT_EQ(identity.model, system.model & 0xF) << "system model " << system.model;
}

}  // namespace
}  // namespace qf::platform
