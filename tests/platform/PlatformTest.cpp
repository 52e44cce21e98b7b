#include <gtest/gtest.h>

#include <array>
#include <regex>

#include "FakeMachine.h"
#include "platform/PlatformValidator.h"
#include "platform/ValueList.h"
#include "support/TestFiles.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fstream>
#endif

namespace qf::platform {
namespace {

using test::Answer;
using test::FakeCpuid;
using test::Signature;

TEST(CpuIdentity, FamilyAndModelFollowTheSystemsRules) {
  // clang-format off
  const std::vector<std::array<uint32_t, 3>> cases = {  // signature, family, model
      {Signature(6, 15), 6, 15}, {Signature(15, 2), 15, 2},
      {Signature(15, 2, 1), 31, 2},    // not 16
      {Signature(15, 1, 8), 143, 1},   // a vendor's family 23 reads as 143
      {Signature(15, 0, 0xFF, 0xF), 4095, 0},
      {Signature(6, 7, 0, 1), 6, 7},   // not 23: the extended model is never used
      {Signature(5, 4, 3), 5, 4}};     // extended family ignored below 15
  // clang-format on
  for (const auto& [signature, family, model] : cases) {
    EXPECT_EQ(FamilyFromSignature(signature), static_cast<int32_t>(family)) << std::hex << signature;
    EXPECT_EQ(ModelFromSignature(signature), static_cast<int32_t>(model)) << std::hex << signature;
  }
}

// This machine's processor, against what the operating system says about it:
// /proc/cpuinfo, or the registry on Windows. Both give the vendors' numbers
// (15 + extended family, the extended model in the upper bits).
TEST(CpuIdentity, MatchesWhatTheSystemReports) {
  std::string text;
#ifdef _WIN32
  for (const char* name : {"VendorIdentifier", "Identifier"}) {  // "AMD64 Family 23 Model 1 Stepping 2"
    char value[256] = {};
    DWORD size = sizeof value;
    RegGetValueA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", name, RRF_RT_REG_SZ,
                 nullptr, value, &size);
    text += std::string(value) + "\n";
  }
  const std::regex pattern("(.+)\n.*Family (\\d+) Model (\\d+)[\\s\\S]*");
#else
  std::ifstream in("/proc/cpuinfo");
  for (std::string line; std::getline(in, line) && !line.empty();) text += line + "\n";
  const std::regex pattern("[\\s\\S]*vendor_id\\s*: (.+?)\n[\\s\\S]*cpu family\\s*: (\\d+)\nmodel\\s*: (\\d+)\n[\\s\\S]*");
#endif
  std::smatch m;
  ASSERT_TRUE(std::regex_match(text, m, pattern)) << text;
  const int family = std::stoi(m[2]), model = std::stoi(m[3]);
  CpuIdentity identity;
  ASSERT_TRUE(identity.Identify());
  EXPECT_EQ(std::string(identity.vendorId), m[1].str());
  EXPECT_EQ(identity.family, family < 15 ? family : 15 + 16 * (family - 15)) << "system family " << family;
  EXPECT_EQ(identity.model, model & 0xF) << "system model " << model;
}

// Items are what lies between semicolons, blanks included; empty ones do not count.
TEST(ValueList, SplitsAtEachSemicolonAndTrimsNothing) {
  using Items = std::vector<std::u16string_view>;
  const std::vector<std::pair<std::u16string_view, Items>> lists = {
      {u"", {}}, {u";;;", {}}, {u"a", {u"a"}}, {u";a;;b;", {u"a", u"b"}}, {u" a ; b", {u" a ", u" b"}}, {u" ", {u" "}}};
  for (const auto& [list, items] : lists) EXPECT_EQ(ListItems(list), items) << list.size();
}

// On a machine with a TavixSilicon processor of family 6, model 8, a BIOS by
// "Tavix Corp." and a baseboard by "Tavix Corporation", unless a case says otherwise.
struct Case {
  std::u16string settings;
  int32_t verdict;
  uint32_t signature = Signature(6, 8);
  bool cpuid = true;
  Answer bios{kWmiSuccess, u"Tavix Corp."};
  Answer board{kWmiSuccess, u"Tavix Corporation"};
};

TEST(PlatformValidator, DecidesAsTheInstallerDoes) {
  const std::u16string vendor = u"[validate]\r\ncpu=1\r\n[cpu]\r\nProcessor=";
  const std::u16string family = vendor + u"TavixSilicon\r\nAdvanced=";
  const std::u16string bios = u"[validate]\r\nbios=1\r\n[bios]\r\nManufacturer=";
  const std::u16string board = u"[validate]\r\nbaseboard=1\r\n[baseboard]\r\nManufacturer=";
  const std::u16string failing =
      u"\r\n[cpu]\r\nProcessor=Nobody\r\n[bios]\r\nManufacturer=Nobody\r\n[baseboard]\r\nManufacturer=Nobody";
  const Answer noInstance{kWmiSuccess, std::nullopt};
  // clang-format off
  std::vector<Case> cases = {
      {failing, kCheckPassed}, {u"[validate]\r\ncpu=1" + failing, kCheckFailed}, {u"[validate]\r\nbios=1" + failing, kCheckFailed}, {u"[validate]\r\nbaseboard=1" + failing, kCheckFailed},
      {u"[validate]\r\ncpu=1\r\nbaseboard=1\r\n[cpu]\r\nProcessor=TavixSilicon\r\n[bios]\r\nManufacturer=Nobody\r\n[baseboard]\r\nManufacturer=Tavix Corporation", kCheckPassed},
      // The processor's vendor: one whole value, with its case.
      {vendor + u"TavixSilicon", kCheckPassed}, {vendor + u"tavixsilicon", kCheckFailed}, {vendor + u"TavixSilicon ", kCheckFailed}, {vendor + u"Other;TavixSilicon", kCheckFailed},
      {.settings = vendor + u"TavixSilicon", .verdict = kCheckFailed, .cpuid = false},
      // Families and their models, compared as decimal text.
      {family + u";;6;15\r\n[6]\r\nModel_Number=8;11", kCheckPassed}, {family + u"6;15\r\n[6]\r\nModel_Number=8;11", kCheckFailed, Signature(6, 9)},
      {family, kCheckPassed}, {family + u";;", kCheckFailed}, {family + u"6", kCheckFailed}, {family + u"6\r\n[6]\r\nModel_Number=", kCheckFailed},
      {family + u"06\r\n[06]\r\nModel_Number=8", kCheckFailed}, {family + u"6\r\n[6]\r\nModel_Number=08", kCheckFailed}, {family + u"6\r\n[6]\r\nModel_Number=8 ", kCheckFailed},
      {family + u"31\r\n[31]\r\nModel_Number=2", kCheckPassed, Signature(15, 2, 1)}, {family + u"16\r\n[16]\r\nModel_Number=2", kCheckFailed, Signature(15, 2, 1)},
      {.settings = u"[validate]\r\ncpu=1\r\n[cpu]\r\nAdvanced=0\r\n[0]\r\nModel_Number=0", .verdict = kCheckPassed, .cpuid = false},
      // Makers: whole items, with their case and blanks.
      {board + u"Other Inc.;Tavix Corporation", kCheckPassed}, {board + u"tavix corporation", kCheckFailed}, {board + u" Tavix Corporation", kCheckFailed}, {board + u"Tavix", kCheckFailed},
      {.settings = board + u"Tavix Corporation", .verdict = kCheckFailed, .board = {kWmiSuccess, u"Tavix Corporation "}},
      // An empty list accepts only a class without instance.
      {bios, kCheckFailed}, {bios + u";", kCheckFailed}, {u"[validate]\r\nbios=1", kCheckFailed},
      {.settings = bios, .verdict = kCheckPassed, .bios = noInstance}, {.settings = bios + u"Tavix Corp.", .verdict = kCheckFailed, .bios = noInstance},
  };
  // clang-format on
  for (const char16_t* notOn : {u"0", u"yes", u"01", u" 1", u"1 ", u""}) {
    const std::u16string on(notOn);
    cases.push_back({u"[validate]\r\ncpu=" + on + u"\r\nbios=" + on + u"\r\nbaseboard=" + on + failing, kCheckPassed});
  }
  for (int32_t failed : {kWmiComFailed, kWmiQueryFailed, kWmiSecurityFailed, kWmiNoValue}) {
    cases.push_back({.settings = bios, .verdict = kCheckFailed, .bios = {failed, u"Tavix Corp."}});
  }
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    FakeCpuid cpuid("TavixSilicon", c.signature, c.cpuid);
    test::FakePropertySource wmi;
    wmi.answers = {{u"Win32_Bios", c.bios}, {u"Win32_BaseBoard", c.board}};
    const qf::test::Bytes text = qf::test::Utf16Le(u"\uFEFF" + c.settings + u"\r\n");
    const settings::IniDocument document = settings::IniDocument::FromBytes(text);
    EXPECT_EQ(PlatformValidator(document, wmi, cpuid).Validate(), c.verdict) << "case " << i;
  }
}

}  // namespace
}  // namespace qf::platform
