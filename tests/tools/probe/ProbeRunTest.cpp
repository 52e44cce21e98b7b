// quillfen-probe as an author runs it, on this machine. What the machine
// reports is read a second way (CPUID here, wmic) and never written into the test.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "ConsoleRun.h"
#include "platform/CpuIdentity.h"
#include "support/PackageFixture.h"
#include "support/PeImage.h"
#include "support/TestFiles.h"

namespace qf::probe {
namespace {

using platform::test::Captured;
using platform::test::RunCaptured;

std::wstring ProbePath() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self);
  path.erase(path.find_last_of(L'\\') + 1);
  return path + QF_PROBE_DIRECTORY + L"\\quillfen-probe.exe";
}

std::string Utf8(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    if (c >= 0x80) ADD_FAILURE() << "only ASCII is expected in these values";
    out.push_back(static_cast<char>(c));
  }
  return out;
}

class ProbeRunTest : public ::testing::Test {
 protected:
  ProbeRunTest() {
    platform::CpuIdentity identity;
    identity.Identify();
    vendor = identity.Vendor();
    family = platform::DecimalText(identity.family);
    model = platform::DecimalText(identity.model);
    bios = platform::test::WmicManufacturer(L"bios");
    board = platform::test::WmicManufacturer(L"baseboard");
  }

  // As the stub reads them (UTF-16LE with its mark) inside a built installer,
  // or as an author writes them, in UTF-8.
  std::wstring WriteSettings(std::u16string_view text, bool installer) {
    qf::test::Bytes bytes{0xFF, 0xFE};
    const qf::test::Bytes body = qf::test::Utf16Le(text);
    bytes.insert(bytes.end(), body.begin(), body.end());
    if (installer) {
      qf::test::WritePackage(dir / "setup.exe", qf::test::MinimalPe(qf::test::PeLayout{}),
                             {{u"x.exe", u"", {'x'}}, {u"$Settings.ini", u"", bytes}});
      return (dir / "setup.exe").wstring();
    }
    const std::string utf8 = Utf8(text);
    qf::test::WriteBytes(dir / "settings.ini", qf::test::Bytes(utf8.begin(), utf8.end()));
    return (dir / "settings.ini").wstring();
  }

  Captured Probe(const std::wstring& arguments) {
    return RunCaptured(L"\"" + ProbePath() + L"\"" + (arguments.empty() ? L"" : L" " + arguments));
  }

  std::u16string Matching() {
    // A board that names no maker is left unchecked: its query may give 7.
    return u"[validate]\r\ncpu=1\r\nbios=1\r\nbaseboard=" + std::u16string(board.empty() ? u"0" : u"1") +
           u"\r\n[cpu]\r\nProcessor=" + vendor + u"\r\nAdvanced=" + family + u"\r\n[" + family + u"]\r\nModel_Number=" +
           model + u"\r\n[bios]\r\nManufacturer=Another Maker;" + bios + u"\r\n[baseboard]\r\nManufacturer=" + board +
           u"\r\n";
  }

  qf::test::TempDir dir;
  std::u16string vendor, family, model, bios, board;
};

std::string Text(const Captured& c) { return std::string(c.output.begin(), c.output.end()); }

TEST_F(ProbeRunTest, ReportsWhatTheMachineSays) {
  const Captured run = Probe(L"");
  EXPECT_EQ(run.exitCode, 0u);
  const std::string expected = "cpu.vendor: \"" + Utf8(vendor) + "\"\r\ncpu.family: " + Utf8(family) +
                               "\r\ncpu.model: " + Utf8(model) + "\r\nbios.Manufacturer: \"" + Utf8(bios) +
                               "\" (result 0, read)\r\nbaseboard.Manufacturer: \"" + Utf8(board) + "\" (result ";
  const std::string text = Text(run);
  EXPECT_EQ(text.substr(0, expected.size()), expected);
  EXPECT_EQ(text.substr(text.size() - 3), ")\r\n");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
}

TEST_F(ProbeRunTest, MatchingSettingsPassWithExit0) {
  const Captured run = Probe(L"\"" + WriteSettings(Matching(), true) + L"\"");
  const std::string text = Text(run);
  EXPECT_EQ(run.exitCode, 0u) << text;
  for (const std::string& line :
       {"check [cpu] Advanced: \"" + Utf8(family) + "\" vs family \"" + Utf8(family) + "\": pass\r\n",
        "check [" + Utf8(family) + "] Model_Number: \"" + Utf8(model) + "\" vs model \"" + Utf8(model) + "\": pass\r\n",
        "check [cpu] Processor: \"" + Utf8(vendor) + "\" vs vendor \"" + Utf8(vendor) + "\": pass\r\n",
        "check [bios] Manufacturer: \"Another Maker;" + Utf8(bios) + "\" vs Win32_Bios \"" + Utf8(bios) +
            "\" (result 0): pass\r\n",
        board.empty() ? std::string("validate.baseboard: \"0\" (off)\r\n")
                      : "check [baseboard] Manufacturer: \"" + Utf8(board) + "\" vs Win32_BaseBoard \"" + Utf8(board) +
                            "\" (result 0): pass\r\n",
        std::string("verdict: pass\r\n")}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n--- in ---\n" << text;
  }
}

TEST_F(ProbeRunTest, MismatchFailsWithExit1AndStopsThere) {
  std::u16string settings = Matching();
  settings.replace(settings.find(u"Processor=" + vendor), 10 + vendor.size(), u"Processor=" + vendor + u" ");
  const Captured run = Probe(L"\"" + WriteSettings(settings, false) + L"\"");
  const std::string text = Text(run);
  EXPECT_EQ(run.exitCode, 1u) << text;
  EXPECT_NE(text.find("check [cpu] Processor: \"" + Utf8(vendor) + " \" vs vendor \"" + Utf8(vendor) + "\": fail\r\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("check [bios]"), std::string::npos) << text;
  EXPECT_NE(text.find("verdict: fail\r\n"), std::string::npos);
}

TEST_F(ProbeRunTest, UnusableArgumentsExit2AndHelpExits0) {
  const Captured missing = Probe(L"\"" + (dir / "absent.ini").wstring() + L"\"");
  EXPECT_EQ(missing.exitCode, 2u);
  EXPECT_NE(Text(missing).find("error: cannot open the settings file"), std::string::npos);
  EXPECT_EQ(Probe(L"a.ini b.ini").exitCode, 2u);
  const Captured help = Probe(L"--help");
  EXPECT_EQ(help.exitCode, 0u);
  EXPECT_EQ(Text(help).rfind("Usage: quillfen-probe [SETTINGS.INI | INSTALLER.EXE]\r\n", 0), 0u);
}

}  // namespace
}  // namespace qf::probe
