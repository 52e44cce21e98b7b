#include <gtest/gtest.h>

#include "ProbeReport.h"
#include "platform/FakeCpuid.h"
#include "platform/FakePropertySource.h"
#include "support/TestFiles.h"

namespace qf::probe {
namespace {

using platform::test::FakeCpuid;
using platform::test::FakePropertySource;
using platform::test::Signature;

settings::IniDocument Settings(std::u16string_view text) {
  qf::test::Bytes bytes{0xFF, 0xFE};
  const qf::test::Bytes body = qf::test::Utf16Le(text);
  bytes.insert(bytes.end(), body.begin(), body.end());
  return settings::IniDocument::FromBytes(bytes);
}

class ProbeReportTest : public ::testing::Test {
 protected:
  ProbeReportTest() {
    wmi.answers[u"Win32_Bios"] = {platform::kWmiSuccess, u"Tavix Corp."};
    wmi.answers[u"Win32_BaseBoard"] = {platform::kWmiSuccess, std::nullopt};
  }
  FakeCpuid cpuid{"TavixSilicon", Signature(6, 8)};
  FakePropertySource wmi;
};

constexpr std::u16string_view kMachine =
    u"cpu.vendor: \"TavixSilicon\"\r\n"
    u"cpu.family: 6\r\n"
    u"cpu.model: 8\r\n"
    u"bios.Manufacturer: \"Tavix Corp.\" (result 0, read)\r\n"
    u"baseboard.Manufacturer: \"\" (result 0, no instance)\r\n";

TEST_F(ProbeReportTest, WithoutSettingsReportsTheMachineOnly) {
  const ProbeResult result = RunProbe(wmi, cpuid, nullptr, u"");
  EXPECT_EQ(result.text, kMachine);
  EXPECT_EQ(result.exitCode, kExitPassed);
  EXPECT_EQ(wmi.prepared, (std::vector<std::u16string>{u"ROOT\\CIMV2"}));
}

TEST_F(ProbeReportTest, ShowsEveryComparisonInTheInstallersOrder) {
  const settings::IniDocument document = Settings(
      u"[validate]\r\ncpu=1\r\nbios=1\r\nbaseboard=yes\r\n[cpu]\r\nProcessor=TavixSilicon\r\nAdvanced=6;15\r\n"
      u"[6]\r\nModel_Number=8;11\r\n[bios]\r\nManufacturer=Other;Tavix Corp.\r\n");
  const ProbeResult result = RunProbe(wmi, cpuid, &document, u"C:\\pkg\\$Settings.ini");
  EXPECT_EQ(result.text, std::u16string(kMachine) +
                             u"settings: \"C:\\pkg\\$Settings.ini\"\r\n"
                             u"validate.cpu: \"1\" (on)\r\n"
                             u"validate.bios: \"1\" (on)\r\n"
                             u"validate.baseboard: \"yes\" (off)\r\n"
                             u"check [cpu] Advanced: \"6;15\" vs family \"6\": pass\r\n"
                             u"check [6] Model_Number: \"8;11\" vs model \"8\": pass\r\n"
                             u"check [cpu] Processor: \"TavixSilicon\" vs vendor \"TavixSilicon\": pass\r\n"
                             u"check [bios] Manufacturer: \"Other;Tavix Corp.\" vs Win32_Bios \"Tavix Corp.\" "
                             u"(result 0): pass\r\n"
                             u"verdict: pass\r\n");
  EXPECT_EQ(result.exitCode, kExitPassed);
}

TEST_F(ProbeReportTest, FailedQueryEndsTheChecksAndExits1) {
  wmi.answers[u"Win32_Bios"] = {platform::kWmiSecurityFailed, std::nullopt};
  const settings::IniDocument document =
      Settings(u"[validate]\r\nbios=1\r\nbaseboard=1\r\n[cpu]\r\nAdvanced=\r\n[bios]\r\nManufacturer=\r\n");
  const ProbeResult result = RunProbe(wmi, cpuid, &document, u"s.ini");
  const std::u16string tail =
      u"validate.baseboard: \"1\" (on)\r\n"
      u"check [bios] Manufacturer: \"\" vs Win32_Bios \"\" (result 6): fail\r\n"
      u"verdict: fail\r\n";
  ASSERT_GE(result.text.size(), tail.size());
  EXPECT_EQ(result.text.substr(result.text.size() - tail.size()), tail);
  EXPECT_NE(result.text.find(u"bios.Manufacturer: \"\" (result 6, COM security could not be set)\r\n"),
            std::u16string::npos);
  EXPECT_EQ(result.exitCode, kExitFailed);
}

TEST_F(ProbeReportTest, EmptyAdvancedIsShownAsNoRestriction) {
  const settings::IniDocument document =
      Settings(u"[validate]\r\ncpu=1\r\n[cpu]\r\nProcessor=tavixsilicon\r\nAdvanced=\r\n");
  const ProbeResult result = RunProbe(wmi, cpuid, &document, u"s.ini");
  EXPECT_NE(result.text.find(u"check [cpu] Advanced: \"\" -> no family or model restriction: pass\r\n"),
            std::u16string::npos);
  EXPECT_NE(result.text.find(u"check [cpu] Processor: \"tavixsilicon\" vs vendor \"TavixSilicon\": fail\r\n"),
            std::u16string::npos);
  EXPECT_EQ(result.exitCode, kExitFailed);
}

TEST_F(ProbeReportTest, FileWithoutMarkIsNamedAndPassesAsTheInstallerWould) {
  const qf::test::Bytes unmarked = qf::test::Utf16Le(u"[validate]\r\ncpu=1\r\n[cpu]\r\nProcessor=Nobody\r\n");
  const settings::IniDocument document = settings::IniDocument::FromBytes(unmarked);
  const ProbeResult result = RunProbe(wmi, cpuid, &document, u"s.ini");
  EXPECT_NE(result.text.find(u"warning: no UTF-16LE byte-order mark: the installer reads this file as empty\r\n"),
            std::u16string::npos);
  EXPECT_NE(result.text.find(u"validate.cpu: \"\" (off)\r\n"), std::u16string::npos);
  EXPECT_EQ(result.exitCode, kExitPassed);
}

TEST_F(ProbeReportTest, ProcessorWithoutCpuidIsNamed) {
  FakeCpuid none("TavixSilicon", Signature(6, 8), false);
  const ProbeResult result = RunProbe(wmi, none, nullptr, u"");
  const std::u16string expected =
      u"warning: this processor has no CPUID instruction\r\n"
      u"cpu.vendor: \"\"\r\ncpu.family: 0\r\ncpu.model: 0\r\n";
  EXPECT_EQ(result.text.substr(0, expected.size()), expected);
}

}  // namespace
}  // namespace qf::probe
