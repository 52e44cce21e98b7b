#include <gtest/gtest.h>

#include "ProbeReport.h"
#include "platform/GivenMachine.h"
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

qf::test::Bytes WithMark(std::u16string_view text) { return qf::test::Utf16Le(u"\uFEFF" + std::u16string(text)); }

// A processor without CPUID, a BIOS query refused, a baseboard without instance:
// each line the installer's check would see, and the first failure ends it.
TEST(ProbeReport, ShowsWhatTheMachineSaysAndEachComparisonInTheInstallersOrder) {
  platform::GivenCpuid cpuid(u"TavixSilicon", platform::Signature(6, 8), /*available=*/false);
  platform::GivenProperties wmi;
  wmi.answers = {{u"Win32_Bios", {platform::kWmiSecurityFailed, u"Tavix Corp."}}, {u"Win32_BaseBoard", {}}};
  const settings::IniDocument document = settings::IniDocument::FromBytes(
      WithMark(u"[validate]\r\ncpu=1\r\nbios=1\r\nbaseboard=yes\r\n[cpu]\r\nProcessor=\r\nAdvanced=0\r\n[0]\r\n"
               u"Model_Number=0;11\r\n[bios]\r\nManufacturer=\r\n[executable]\r\nfile=setup.exe\r\nparam=-s\r\n"));
  const ProbeResult result = RunProbe(wmi, cpuid, &document, u"C:\\pkg\\$Settings.ini");
  EXPECT_EQ(
      result.text,
      u"warning: this processor has no CPUID instruction\r\ncpu.vendor: \"\"\r\ncpu.family: 0\r\ncpu.model: 0\r\n"
      u"bios.Manufacturer: \"\" (result 6, COM security could not be set)\r\n"
      u"baseboard.Manufacturer: \"\" (result 0, no instance)\r\nsettings: \"C:\\pkg\\$Settings.ini\"\r\n"
      u"executable.file: \"setup.exe\"\r\nexecutable.param: \"-s\"\r\nexecutable.silentparam: \"\" (silent runs use "
      u"param)\r\n"
      u"validate.cpu: \"1\" (on)\r\nvalidate.bios: \"1\" (on)\r\nvalidate.baseboard: \"yes\" (off)\r\n"
      u"check [cpu] Advanced: \"0\" vs family \"0\": pass\r\ncheck [0] Model_Number: \"0;11\" vs model \"0\": pass\r\n"
      u"check [cpu] Processor: \"\" vs vendor \"\": pass\r\n"
      u"check [bios] Manufacturer: \"\" vs Win32_Bios \"\" (result 6): fail\r\nverdict: fail\r\n");
  EXPECT_EQ(result.exitCode, kExitFailed);
}

#ifdef _WIN32
// quillfen-probe as an author runs it, on this machine. What the machine
// reports is read a second way (CPUID here, wmic) and never written into the test.
TEST(ProbeRun, ReportsWhatTheMachineSaysAndDecidesAsTheInstallerWould) {
  platform::CpuIdentity cpu;
  ASSERT_TRUE(cpu.Identify());
  const std::u16string vendor = cpu.Vendor(), family = sys::DecimalText(cpu.family),
                       model = sys::DecimalText(cpu.model), bios = qf::test::WmicManufacturer(L"bios");
  // Settings that match, inside a built installer; then with a blank after the vendor, in a file of their own.
  qf::test::TempDir dir;
  std::u16string settings = u"[validate]\r\ncpu=1\r\nbios=1\r\n[cpu]\r\nProcessor=" + vendor + u"\r\nAdvanced=" +
                            family + u"\r\n[" + family + u"]\r\nModel_Number=" + model +
                            u"\r\n[bios]\r\nManufacturer=Another;" + bios + u"\r\n";
  qf::test::WriteBytes(dir / "other.exe", qf::test::MinimalPe(qf::test::PeLayout{}));
  qf::test::WritePackage(dir / "setup.exe", qf::test::MinimalStub(qf::test::PeLayout{}),
                         {{u"x.exe", u"", {'x'}}, {u"$Settings.ini", u"", WithMark(settings)}});
  qf::test::WriteBytes(dir / "settings.ini", WithMark(settings.insert(settings.find(u"\r\nAdvanced"), u" ")));
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::filesystem::path probe =
      std::filesystem::path(self).parent_path() / QF_PROBE_DIRECTORY / "quillfen-probe.exe";
  // clang-format off
  const std::vector<std::tuple<std::vector<std::filesystem::path>, long, std::u16string>> runs = {  // arguments, exit, shown
      {{}, 0, u"cpu.vendor: \"" + vendor + u"\"\r\ncpu.family: " + family + u"\r\ncpu.model: " + model + u"\r\nbios.Manufacturer: \"" + bios + u"\" (result 0, read)\r\n"},
      {{dir / "setup.exe"}, 0, u"check [bios] Manufacturer: \"Another;" + bios + u"\" vs Win32_Bios \"" + bios + u"\" (result 0): pass\r\nverdict: pass\r\n"},
      {{dir / "settings.ini"}, 1, u"check [cpu] Processor: \"" + vendor + u" \" vs vendor \"" + vendor + u"\": fail\r\nverdict: fail\r\n"},
      {{dir / "absent.ini"}, 2, u"error: cannot open the settings file"}, {{dir / "other.exe"}, 2, u"\": not a Quillfen installer: no package"}, {{"a.ini", "b.ini"}, 2, u"Usage: quillfen-probe"},
      {{"--help"}, 0, u"Usage: quillfen-probe [SETTINGS.INI | INSTALLER.EXE]\r\n"},
  };
  // clang-format on
  for (auto [arguments, exit, shown] : runs) {
    arguments.insert(arguments.begin(), probe);
    const qf::test::Captured run = qf::test::RunCaptured(arguments);
    EXPECT_EQ(run.exitCode, exit) << run.output;
    EXPECT_NE(sys::Utf8ToUtf16(run.output).value_or(u"").find(shown), std::u16string::npos)
        << sys::Utf16ToUtf8Lossy(shown) << "\n--- in ---\n"
        << run.output;
  }
}
#endif

}  // namespace
}  // namespace qf::probe
