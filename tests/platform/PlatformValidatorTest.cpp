#include <gtest/gtest.h>

#include "FakeCpuid.h"
#include "FakePropertySource.h"
#include "platform/PlatformValidator.h"
#include "settings/SettingsFile.h"
#include "support/TestFiles.h"

namespace qf::platform {
namespace {

using test::FakeCpuid;
using test::FakePropertySource;
using test::Signature;

settings::IniDocument Settings(std::u16string_view text) {
  qf::test::Bytes bytes{0xFF, 0xFE};
  const qf::test::Bytes body = qf::test::Utf16Le(text);
  bytes.insert(bytes.end(), body.begin(), body.end());
  return settings::IniDocument::FromBytes(bytes);
}

const std::u16string kBiosQuery = u"Win32_Bios.Manufacturer";
const std::u16string kBoardQuery = u"Win32_BaseBoard.Manufacturer";

class RecordingObserver final : public ValidationObserver {
 public:
  void OnSwitches(std::u16string_view, std::u16string_view, std::u16string_view) override {}
  void OnStep(const CheckStep& step) override {
    keys.push_back(std::u16string(step.section) + u"/" + std::u16string(step.key));
  }
  std::vector<std::u16string> keys;
};

// A machine with a Tavix processor (family 6, model 8), a BIOS by "Tavix
// Corp." and a baseboard by "Tavix Corporation".
class PlatformValidatorTest : public ::testing::Test {
 protected:
  PlatformValidatorTest() {
    wmi.answers[u"Win32_Bios"] = {kWmiSuccess, u"Tavix Corp."};
    wmi.answers[u"Win32_BaseBoard"] = {kWmiSuccess, u"Tavix Corporation"};
  }

  int32_t Validate(std::u16string_view text) {
    const settings::IniDocument document = Settings(text);
    PlatformValidator validator(document, wmi, cpuid);
    validator.SetObserver(&observer);
    return validator.Validate();
  }

  FakeCpuid cpuid{"TavixSilicon", Signature(6, 8)};
  FakePropertySource wmi;
  RecordingObserver observer;
};

constexpr std::u16string_view kReference =
    u"[validate]\r\ncpu=1\r\nbios=0\r\nbaseboard=1\r\n"
    u"[cpu]\r\nProcessor=TavixSilicon\r\nAdvanced=\r\n"
    u"[bios]\r\nManufacturer=Tavix Corp.\r\n"
    u"[baseboard]\r\nManufacturer=Tavix Corporation\r\n";

TEST_F(PlatformValidatorTest, NoValidateSectionRunsNoCheckButPreparesWmi) {
  EXPECT_EQ(Validate(u"[cpu]\r\nProcessor=Nobody\r\n"), kCheckPassed);
  EXPECT_EQ(wmi.prepared, (std::vector<std::u16string>{u"ROOT\\CIMV2"}));
  EXPECT_TRUE(wmi.queries.empty());
  EXPECT_TRUE(cpuid.leaves.empty());
}

TEST_F(PlatformValidatorTest, OnlyTheExactText1SwitchesACheckOn) {
  // Every check would fail if it ran.
  const std::u16string failing = u"[cpu]\r\nProcessor=Nobody\r\n[bios]\r\nManufacturer=Nobody\r\n";
  for (const char16_t* text : {u"0", u"yes", u"01", u" 1", u"1 ", u"true", u"", u"\u0661"}) {
    const std::u16string t(text);
    EXPECT_EQ(Validate(u"[validate]\r\ncpu=" + t + u"\r\nbios=" + t + u"\r\nbaseboard=" + t + u"\r\n" + failing),
              kCheckPassed)
        << t.size();
  }
  EXPECT_TRUE(wmi.queries.empty());
  EXPECT_EQ(Validate(u"[validate]\r\ncpu=1\r\n" + failing), kCheckFailed);
}

TEST_F(PlatformValidatorTest, ReferenceSettingsTestVendorAndBaseboardButNeverQueryTheBios) {
  EXPECT_EQ(Validate(kReference), kCheckPassed);
  EXPECT_EQ(wmi.queries, (std::vector<std::u16string>{kBoardQuery}));
  EXPECT_EQ(observer.keys, (std::vector<std::u16string>{u"cpu/Advanced", u"cpu/Processor", u"baseboard/Manufacturer"}));
}

TEST_F(PlatformValidatorTest, ChecksRunInOrderAndTheFirstFailureEnds) {
  const std::u16string all = u"[validate]\r\ncpu=1\r\nbios=1\r\nbaseboard=1\r\n[cpu]\r\nProcessor=TavixSilicon\r\n";
  wmi.answers[u"Win32_Bios"] = {kWmiSuccess, u""};
  wmi.answers[u"Win32_BaseBoard"] = {kWmiSuccess, u""};
  EXPECT_EQ(Validate(all + u"[bios]\r\nManufacturer=\r\n[baseboard]\r\nManufacturer=\r\n"), kCheckPassed);
  EXPECT_EQ(wmi.queries, (std::vector<std::u16string>{kBiosQuery, kBoardQuery}));

  // A failed processor check: no WMI query at all.
  wmi.queries.clear();
  EXPECT_EQ(Validate(u"[validate]\r\ncpu=1\r\nbios=1\r\nbaseboard=1\r\n[cpu]\r\nProcessor=Other\r\n"), kCheckFailed);
  EXPECT_TRUE(wmi.queries.empty());
}

TEST_F(PlatformValidatorTest, FailedBiosQueryStopsBeforeTheBaseboard) {
  for (int32_t code : {kWmiComFailed, kWmiQueryFailed, kWmiSecurityFailed, kWmiNoValue}) {
    wmi.queries.clear();
    wmi.answers[u"Win32_Bios"] = {code, u"Tavix Corp."};
    // Even an empty list, which would accept a class without instance, fails.
    EXPECT_EQ(Validate(u"[validate]\r\nbios=1\r\nbaseboard=1\r\n[bios]\r\nManufacturer=\r\n"), kCheckFailed) << code;
    EXPECT_EQ(wmi.queries, (std::vector<std::u16string>{kBiosQuery}));
  }
}

TEST_F(PlatformValidatorTest, FamilyAndModelListsSelectTheModelSection) {
  const std::u16string text =
      u"[validate]\r\ncpu=1\r\n[cpu]\r\nProcessor=TavixSilicon\r\nAdvanced=6;15\r\n[6]\r\nModel_Number=8;11\r\n";
  EXPECT_EQ(Validate(text), kCheckPassed);

  FakeCpuid model9("TavixSilicon", Signature(6, 9));
  const settings::IniDocument document = Settings(text);
  PlatformValidator validator(document, wmi, model9);
  RecordingObserver seen;
  validator.SetObserver(&seen);
  EXPECT_EQ(validator.Validate(), kCheckFailed);
  // The vendor is not even read after the model failed.
  EXPECT_EQ(seen.keys, (std::vector<std::u16string>{u"cpu/Advanced", u"6/Model_Number"}));
}

TEST_F(PlatformValidatorTest, AdvancedOfOnlySeparatorsFailsWhileEmptySkipsTheTest) {
  EXPECT_EQ(Validate(u"[validate]\r\ncpu=1\r\n[cpu]\r\nProcessor=TavixSilicon\r\nAdvanced=;\r\n"), kCheckFailed);
  EXPECT_EQ(Validate(u"[validate]\r\ncpu=1\r\n[cpu]\r\nProcessor=TavixSilicon\r\nAdvanced=;;;\r\n"), kCheckFailed);
  EXPECT_EQ(Validate(u"[validate]\r\ncpu=1\r\n[cpu]\r\nProcessor=TavixSilicon\r\nAdvanced=\r\n"), kCheckPassed);
  EXPECT_EQ(Validate(u"[validate]\r\ncpu=1\r\n[cpu]\r\nProcessor=TavixSilicon\r\n"), kCheckPassed);
}

TEST_F(PlatformValidatorTest, NumbersCompareAsTheirDecimalText) {
  const std::u16string head = u"[validate]\r\ncpu=1\r\n[cpu]\r\nProcessor=TavixSilicon\r\nAdvanced=";
  const std::u16string models = u"\r\n[6]\r\nModel_Number=8\r\n[06]\r\nModel_Number=8\r\n[ 6]\r\nModel_Number=8\r\n";
  EXPECT_EQ(Validate(head + u"06" + models), kCheckFailed);
  EXPECT_EQ(Validate(head + u" 6" + models), kCheckFailed);
  EXPECT_EQ(Validate(head + u"+6" + models), kCheckFailed);
  EXPECT_EQ(Validate(head + u";;6;" + models), kCheckPassed);
  EXPECT_EQ(Validate(head + u"6\r\n[6]\r\nModel_Number=08\r\n"), kCheckFailed);
  EXPECT_EQ(Validate(head + u"6\r\n[6]\r\nModel_Number=8 \r\n"), kCheckFailed);
}

TEST_F(PlatformValidatorTest, FamilyListedWithoutModelsFails) {
  EXPECT_EQ(Validate(u"[validate]\r\ncpu=1\r\n[cpu]\r\nProcessor=TavixSilicon\r\nAdvanced=6\r\n"), kCheckFailed);
  EXPECT_EQ(
      Validate(u"[validate]\r\ncpu=1\r\n[cpu]\r\nProcessor=TavixSilicon\r\nAdvanced=6\r\n[6]\r\nModel_Number=\r\n"),
      kCheckFailed);
}

TEST_F(PlatformValidatorTest, ProcessorIsOneWholeCaseSensitiveValue) {
  for (const char16_t* processor : {u"tavixsilicon", u"TAVIXSILICON", u"TavixSilicon ", u" TavixSilicon",
                                    u"TavixSilicon;", u"Other;TavixSilicon", u""}) {
    EXPECT_EQ(Validate(u"[validate]\r\ncpu=1\r\n[cpu]\r\nProcessor=" + std::u16string(processor) + u"\r\n"),
              kCheckFailed)
        << std::u16string(processor).size();
  }
  EXPECT_EQ(Validate(u"[validate]\r\ncpu=1\r\n[cpu]\r\nProcessor=TavixSilicon\r\n"), kCheckPassed);
}

TEST_F(PlatformValidatorTest, ManufacturerListsMatchWholeItemsExactly) {
  const std::u16string head = u"[validate]\r\nbaseboard=1\r\n[baseboard]\r\nManufacturer=";
  EXPECT_EQ(Validate(head + u"Other Inc.;Tavix Corporation\r\n"), kCheckPassed);
  EXPECT_EQ(Validate(head + u";Tavix Corporation;\r\n"), kCheckPassed);
  EXPECT_EQ(Validate(head + u"Other Inc.;tavix corporation\r\n"), kCheckFailed);
  EXPECT_EQ(Validate(head + u"Other Inc.;Tavix Corporation \r\n"), kCheckFailed);
  EXPECT_EQ(Validate(head + u"Other Inc.; Tavix Corporation\r\n"), kCheckFailed);
  EXPECT_EQ(Validate(head + u"Tavix\r\n"), kCheckFailed);
  wmi.answers[u"Win32_BaseBoard"] = {kWmiSuccess, u"Tavix Corporation "};
  EXPECT_EQ(Validate(head + u"Tavix Corporation\r\n"), kCheckFailed);
}

TEST_F(PlatformValidatorTest, EmptyManufacturerListPassesOnlyWithoutAnInstance) {
  const std::u16string empty = u"[validate]\r\nbios=1\r\n[bios]\r\nManufacturer=\r\n";
  EXPECT_EQ(Validate(empty), kCheckFailed);  // WMI reports "Tavix Corp."
  EXPECT_EQ(Validate(u"[validate]\r\nbios=1\r\n[bios]\r\nManufacturer=;\r\n"), kCheckFailed);
  EXPECT_EQ(Validate(u"[validate]\r\nbios=1\r\n"), kCheckFailed);  // no [bios] section at all
  wmi.answers[u"Win32_Bios"] = {kWmiSuccess, std::nullopt};        // no instance: output stays empty
  EXPECT_EQ(Validate(empty), kCheckPassed);
  EXPECT_EQ(Validate(u"[validate]\r\nbios=1\r\n"), kCheckPassed);
  EXPECT_EQ(Validate(u"[validate]\r\nbios=1\r\n[bios]\r\nManufacturer=Tavix Corp.\r\n"), kCheckFailed);
  wmi.answers[u"Win32_Bios"] = {kWmiNoValue, std::nullopt};  // instance without a text value
  EXPECT_EQ(Validate(empty), kCheckFailed);
}

TEST_F(PlatformValidatorTest, ExtendedFamilyCountsSixteenfold) {
  FakeCpuid family31("TavixSilicon", Signature(15, 2, 1));
  const std::u16string head = u"[validate]\r\ncpu=1\r\n[cpu]\r\nProcessor=TavixSilicon\r\nAdvanced=";
  for (const auto& [advanced, verdict] :
       {std::pair{u"31", kCheckPassed}, std::pair{u"16", kCheckFailed}, std::pair{u"15", kCheckFailed}}) {
    const settings::IniDocument document = Settings(head + advanced + u"\r\n[" + advanced + u"]\r\nModel_Number=2\r\n");
    PlatformValidator validator(document, wmi, family31);
    EXPECT_EQ(validator.Validate(), verdict) << std::u16string(advanced).size();
  }
}

TEST_F(PlatformValidatorTest, ProcessorWithoutCpuidComparesEmptyVendorAndZeros) {
  FakeCpuid none("TavixSilicon", Signature(6, 8), /*available=*/false);
  const auto run = [&](std::u16string_view text) {
    const settings::IniDocument document = Settings(text);
    PlatformValidator validator(document, wmi, none);
    return validator.Validate();
  };
  EXPECT_EQ(run(u"[validate]\r\ncpu=1\r\n[cpu]\r\nProcessor=TavixSilicon\r\n"), kCheckFailed);
  EXPECT_EQ(run(u"[validate]\r\ncpu=1\r\n[cpu]\r\nAdvanced=0\r\n[0]\r\nModel_Number=0\r\n"), kCheckPassed);
}

TEST_F(PlatformValidatorTest, SettingsFileGivesTheSameDocument) {
  qf::test::TempDir dir;
  qf::test::Bytes bytes{0xFF, 0xFE};
  const qf::test::Bytes body = qf::test::Utf16Le(kReference);
  bytes.insert(bytes.end(), body.begin(), body.end());
  qf::test::WriteBytes(dir / "$Settings.ini", bytes);
  const settings::SettingsFile file(dir.core() + u"\\$Settings.ini");
  PlatformValidator validator(file, wmi, cpuid);
  EXPECT_EQ(validator.Validate(), kCheckPassed);
  EXPECT_EQ(validator.Identity().Vendor(), u"TavixSilicon");
}

}  // namespace
}  // namespace qf::platform
