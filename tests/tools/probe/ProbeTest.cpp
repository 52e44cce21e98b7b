#include <gtest/gtest.h>

#include "ProbeReport.h"
#include "platform/FakeMachine.h"
#include "support/TestFiles.h"

#ifdef _WIN32
#include <windows.h>

#include "ConsoleRun.h"
#include "support/PackageFixture.h"
#include "support/PeImage.h"
#include "sys/Text.h"
#endif

namespace qf::probe {
namespace {

using platform::test::FakeCpuid;
using platform::test::FakePropertySource;
using platform::test::Signature;

qf::test::Bytes WithMark(std::u16string_view text) { return qf::test::Utf16Le(u"\uFEFF" + std::u16string(text)); }

// On a machine with a TavixSilicon processor of family 6, model 8, a BIOS by
// "Tavix Corp." and a baseboard without instance, unless told otherwise.
ProbeResult Probe(const char16_t* settings, bool cpuid = true, int32_t bios = platform::kWmiSuccess, bool mark = true) {
  FakeCpuid processor("TavixSilicon", Signature(6, 8), cpuid);
  FakePropertySource wmi;
  wmi.answers = {{u"Win32_Bios", {bios, u"Tavix Corp."}}, {u"Win32_BaseBoard", {}}};
  std::optional<settings::IniDocument> document;
  if (settings != nullptr) document = settings::IniDocument::FromBytes(mark ? WithMark(settings) : qf::test::Utf16Le(settings));
  return RunProbe(wmi, processor, document ? &*document : nullptr, u"C:\\pkg\\$Settings.ini");
}

const std::u16string kMachine =
    u"cpu.vendor: \"TavixSilicon\"\r\ncpu.family: 6\r\ncpu.model: 8\r\n"
    u"bios.Manufacturer: \"Tavix Corp.\" (result 0, read)\r\nbaseboard.Manufacturer: \"\" (result 0, no instance)\r\n";

TEST(ProbeReport, ShowsTheMachineThenEveryComparisonInTheInstallersOrder) {
  const ProbeResult machine = Probe(nullptr);
  EXPECT_EQ(machine.text, kMachine);
  EXPECT_EQ(machine.exitCode, kExitPassed);
  const ProbeResult checked = Probe(
      u"[validate]\r\ncpu=1\r\nbios=1\r\nbaseboard=yes\r\n[cpu]\r\nProcessor=TavixSilicon\r\nAdvanced=6;15\r\n"
      u"[6]\r\nModel_Number=8;11\r\n[bios]\r\nManufacturer=Other;Tavix Corp.\r\n");
  EXPECT_EQ(checked.text, kMachine +
                              u"settings: \"C:\\pkg\\$Settings.ini\"\r\n"
                              u"validate.cpu: \"1\" (on)\r\nvalidate.bios: \"1\" (on)\r\nvalidate.baseboard: \"yes\" (off)\r\n"
                              u"check [cpu] Advanced: \"6;15\" vs family \"6\": pass\r\n"
                              u"check [6] Model_Number: \"8;11\" vs model \"8\": pass\r\n"
                              u"check [cpu] Processor: \"TavixSilicon\" vs vendor \"TavixSilicon\": pass\r\n"
                              u"check [bios] Manufacturer: \"Other;Tavix Corp.\" vs Win32_Bios \"Tavix Corp.\" (result 0): pass\r\n"
                              u"verdict: pass\r\n");
  EXPECT_EQ(checked.exitCode, kExitPassed);
}

TEST(ProbeReport, NamesWhatTheInstallerWouldNotSee) {
  // Without CPUID the processor is compared as empty and zero; a failed query ends the checks.
  const ProbeResult failed = Probe(u"[validate]\r\ncpu=1\r\nbios=1\r\nbaseboard=1\r\n[cpu]\r\nProcessor=\r\n", false,
                                   platform::kWmiSecurityFailed);
  EXPECT_EQ(failed.text,
            u"warning: this processor has no CPUID instruction\r\ncpu.vendor: \"\"\r\ncpu.family: 0\r\ncpu.model: 0\r\n"
            u"bios.Manufacturer: \"\" (result 6, COM security could not be set)\r\n"
            u"baseboard.Manufacturer: \"\" (result 0, no instance)\r\nsettings: \"C:\\pkg\\$Settings.ini\"\r\n"
            u"validate.cpu: \"1\" (on)\r\nvalidate.bios: \"1\" (on)\r\nvalidate.baseboard: \"1\" (on)\r\n"
            u"check [cpu] Advanced: \"\" -> no family or model restriction: pass\r\n"
            u"check [cpu] Processor: \"\" vs vendor \"\": pass\r\n"
            u"check [bios] Manufacturer: \"\" vs Win32_Bios \"\" (result 6): fail\r\nverdict: fail\r\n");
  EXPECT_EQ(failed.exitCode, kExitFailed);
  const ProbeResult unmarked = Probe(u"[validate]\r\ncpu=1\r\n", true, platform::kWmiSuccess, false);
  EXPECT_NE(unmarked.text.find(u"warning: no UTF-16LE byte-order mark: the installer reads this file as empty\r\n"
                               u"validate.cpu: \"\" (off)\r\n"),
            std::u16string::npos);
  EXPECT_EQ(unmarked.exitCode, kExitPassed);
}

#ifdef _WIN32
// quillfen-probe as an author runs it, on this machine. What the machine
// reports is read a second way (CPUID here, wmic) and never written into the test.
TEST(ProbeRun, ReportsWhatTheMachineSaysAndDecidesAsTheInstallerWould) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  auto run = [probe = std::filesystem::path(self).parent_path() / QF_PROBE_DIRECTORY / "quillfen-probe.exe"](
                 std::vector<std::filesystem::path> arguments) {
    arguments.insert(arguments.begin(), probe);
    const qf::test::Captured run = qf::test::RunCaptured(arguments);
    return std::pair{run.exitCode, sys::Utf8ToUtf16(run.output).value_or(u"<not UTF-8>")};
  };
  platform::CpuIdentity identity;
  ASSERT_TRUE(identity.Identify());
  const std::u16string vendor = identity.Vendor(), family = platform::DecimalText(identity.family),
                       model = platform::DecimalText(identity.model), bios = qf::test::WmicManufacturer(L"bios");
  const auto [reportExit, report] = run({});
  EXPECT_EQ(reportExit, 0);
  EXPECT_EQ(report.substr(0, report.find(u"baseboard")), u"cpu.vendor: \"" + vendor + u"\"\r\ncpu.family: " + family +
                                                            u"\r\ncpu.model: " + model + u"\r\nbios.Manufacturer: \"" +
                                                            bios + u"\" (result 0, read)\r\n");

  // Settings that match, inside a built installer; then with a blank after the vendor, in UTF-8 as an author writes them.
  qf::test::TempDir dir;
  std::u16string settings = u"[validate]\r\ncpu=1\r\nbios=1\r\n[cpu]\r\nProcessor=" + vendor + u"\r\nAdvanced=" + family +
                            u"\r\n[" + family + u"]\r\nModel_Number=" + model + u"\r\n[bios]\r\nManufacturer=Another;" +
                            bios + u"\r\n";
  qf::test::WritePackage(dir / "setup.exe", qf::test::MinimalPe(qf::test::PeLayout{}),
                         {{u"x.exe", u"", {'x'}}, {u"$Settings.ini", u"", WithMark(settings)}});
  const auto [passExit, passed] = run({dir / "setup.exe"});
  EXPECT_EQ(passExit, 0);
  EXPECT_TRUE(passed.ends_with(u"check [bios] Manufacturer: \"Another;" + bios + u"\" vs Win32_Bios \"" + bios +
                               u"\" (result 0): pass\r\nverdict: pass\r\n"))
      << sys::Utf16ToUtf8Lossy(passed);
  settings.insert(settings.find(u"\r\nAdvanced"), u" ");
  const std::string utf8 = sys::Utf16ToUtf8Lossy(settings);
  qf::test::WriteBytes(dir / "settings.ini", qf::test::Bytes(utf8.begin(), utf8.end()));
  const auto [failExit, failed] = run({dir / "settings.ini"});
  EXPECT_EQ(failExit, 1);
  EXPECT_TRUE(failed.ends_with(u"check [cpu] Processor: \"" + vendor + u" \" vs vendor \"" + vendor +
                               u"\": fail\r\nverdict: fail\r\n"))
      << sys::Utf16ToUtf8Lossy(failed);

  // Settings that cannot be used, and help.
  const auto [missingExit, missing] = run({dir / "absent.ini"});
  EXPECT_EQ(missingExit, 2);
  EXPECT_NE(missing.find(u"error: cannot open the settings file"), std::u16string::npos);
  EXPECT_EQ(run({"a.ini", "b.ini"}).first, 2);
  const auto [helpExit, help] = run({"--help"});
  EXPECT_EQ(helpExit, 0);
  EXPECT_TRUE(help.starts_with(u"Usage: quillfen-probe [SETTINGS.INI | INSTALLER.EXE]\r\n"));
}
#endif

}  // namespace
}  // namespace qf::probe
