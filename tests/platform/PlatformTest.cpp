#include <gtest/gtest.h>

#include <array>

#include "platform/GivenMachine.h"
#include "platform/PlatformValidator.h"
#include "support/TestFiles.h"

namespace qf::platform {
namespace {

using Answer = GivenAnswer;

TEST(CpuIdentity, FamilyAndModelFollowTheSystemsRules) {
  // clang-format off
  const std::vector<std::array<uint32_t, 3>> cases = {  // signature, family, model
      // 15 + 1 is 31, not 16; a vendor's family 23 reads as 143; the extended model is never used (6, 7 is not 23);
      // below 15 the extended family is ignored.
      {Signature(6, 15), 6, 15}, {Signature(15, 2), 15, 2}, {Signature(15, 2, 1), 31, 2}, {Signature(15, 1, 8), 143, 1},
      {Signature(15, 0, 0xFF, 0xF), 4095, 0}, {Signature(6, 7, 0, 1), 6, 7}, {Signature(5, 4, 3), 5, 4}};
  // clang-format on
  auto read = [](std::optional<uint32_t> s) {  // the family and model the stub reads; -1 when none
    return s ? std::array<int32_t, 2>{FamilyFromSignature(*s), ModelFromSignature(*s)} : std::array<int32_t, 2>{-1, -1};
  };
  for (const auto& [signature, family, model] : cases) {
    EXPECT_EQ(FamilyFromSignature(signature), static_cast<int32_t>(family)) << std::hex << signature;
    EXPECT_EQ(ModelFromSignature(signature), static_cast<int32_t>(model)) << std::hex << signature;
    EXPECT_EQ(read(SignatureOf(family, model)), (std::array<int32_t, 2>{int32_t(family), int32_t(model)})) << family;
  }
  // Linux's family and model as the stub reads them (-1: no processor reports them), and no pair the stub never reads.
  const std::vector<std::array<int32_t, 4>> fromLinux = {{25, 33, 175, 1}, {25, 1, 175, 1}, {6, 158, 6, 14},
                                                         {15, 2, 15, 2},   {16, 2, 31, 2},  {5, 15, 5, 15},
                                                         {5, 16, -1, -1},  {271, 0, -1, -1}};
  for (const auto& [family, model, stubFamily, stubModel] : fromLinux) {
    EXPECT_EQ(read(SignatureFromLinux(family, model)), (std::array<int32_t, 2>{stubFamily, stubModel})) << family;
  }
  EXPECT_FALSE(SignatureOf(20, 1) || SignatureOf(6, 16) || SignatureOf(-1, 0));
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
  const std::vector<Case> cases = {
      // Only the exact text "1" switches a check on.
      {failing, kCheckPassed}, {u"[validate]\r\ncpu=01\r\nbios= 1\r\nbaseboard=yes" + failing, kCheckPassed}, {u"[validate]\r\ncpu=1 \r\nbios=\r\nbaseboard=0" + failing, kCheckPassed},
      {u"[validate]\r\ncpu=1" + failing, kCheckFailed}, {u"[validate]\r\nbios=1" + failing, kCheckFailed}, {u"[validate]\r\nbaseboard=1" + failing, kCheckFailed},
      {u"[validate]\r\ncpu=1\r\nbaseboard=1\r\n[cpu]\r\nProcessor=TavixSilicon\r\n[bios]\r\nManufacturer=Nobody\r\n[baseboard]\r\nManufacturer=Tavix Corporation", kCheckPassed},
      // The processor's vendor: one whole value, with its case.
      {vendor + u"TavixSilicon", kCheckPassed}, {vendor + u"tavixsilicon", kCheckFailed}, {vendor + u"TavixSilicon ", kCheckFailed}, {vendor + u"Other;TavixSilicon", kCheckFailed},
      // Without CPUID the vendor is empty, family and model 0.
      {.settings = vendor + u"TavixSilicon", .verdict = kCheckFailed, .cpuid = false}, {.settings = u"[validate]\r\ncpu=1\r\n[cpu]\r\nAdvanced=0\r\n[0]\r\nModel_Number=0", .verdict = kCheckPassed, .cpuid = false},
      // Families and their models, compared as decimal text.
      {family + u";;6;15\r\n[6]\r\nModel_Number=8;11", kCheckPassed}, {family + u"6;15\r\n[6]\r\nModel_Number=8;11", kCheckFailed, Signature(6, 9)},
      {family, kCheckPassed}, {family + u";;", kCheckFailed}, {family + u"6", kCheckFailed}, {family + u"6\r\n[6]\r\nModel_Number=", kCheckFailed},
      {family + u"06\r\n[06]\r\nModel_Number=8", kCheckFailed}, {family + u"6\r\n[6]\r\nModel_Number=08", kCheckFailed}, {family + u"6\r\n[6]\r\nModel_Number=8 ", kCheckFailed},
      {family + u"31\r\n[31]\r\nModel_Number=2", kCheckPassed, Signature(15, 2, 1)}, {family + u"16\r\n[16]\r\nModel_Number=2", kCheckFailed, Signature(15, 2, 1)},
      // Makers: whole items, with their case and blanks.
      {board + u"Other Inc.;Tavix Corporation", kCheckPassed}, {board + u"tavix corporation", kCheckFailed}, {board + u" Tavix Corporation", kCheckFailed}, {board + u"Tavix", kCheckFailed},
      {.settings = board + u"Tavix Corporation", .verdict = kCheckFailed, .board = {kWmiSuccess, u"Tavix Corporation "}},
      // An empty list accepts only a class without instance.
      {bios, kCheckFailed}, {bios + u";", kCheckFailed}, {u"[validate]\r\nbios=1", kCheckFailed},
      {.settings = bios, .verdict = kCheckPassed, .bios = noInstance}, {.settings = bios + u"Tavix Corp.", .verdict = kCheckFailed, .bios = noInstance},
      // A query that failed fails the check, even with an empty list.
      {.settings = bios, .verdict = kCheckFailed, .bios = {kWmiComFailed, {}}}, {.settings = bios, .verdict = kCheckFailed, .bios = {kWmiQueryFailed, {}}},
      {.settings = bios, .verdict = kCheckFailed, .bios = {kWmiSecurityFailed, {}}}, {.settings = bios, .verdict = kCheckFailed, .bios = {kWmiNoValue, {}}},
  };
  // clang-format on
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    GivenCpuid cpuid(u"TavixSilicon", c.signature, c.cpuid);
    GivenProperties wmi;
    wmi.answers = {{u"Win32_Bios", c.bios}, {u"Win32_BaseBoard", c.board}};
    const auto document = settings::IniDocument::FromBytes(qf::test::Utf16Le(u"\uFEFF" + c.settings + u"\r\n"));
    EXPECT_EQ(PlatformValidator(document, wmi, cpuid).Validate(), c.verdict) << testing::PrintToString(c.settings);
  }
}

}  // namespace
}  // namespace qf::platform
