// End-to-end runs of the packed stub under Wine: each scenario packs the stub
// with the test installer, starts it, follows its windows from the outside,
// dismisses its message boxes and checks what was left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <thread>

#include "StubDriver.h"
#include "platform/CpuIdentity.h"
#include "platform/WmiQuery.h"
#include "support/PackageFixture.h"
#include "sys/Text.h"

namespace qf::e2e {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::TestEntry;

constexpr wchar_t kCaptionInitializing[] = L"Quillfen - Initializing";
constexpr wchar_t kCaptionValidating[] = L"Quillfen - Validating the Installer";
constexpr wchar_t kCaptionExtracting[] = L"Quillfen - Extracting";
constexpr long long kFileTimeUnitsPerMs = 10000;

bool IsOrderedSubsequence(const std::vector<std::wstring>& seen, const std::vector<std::wstring>& order) {
  std::size_t next = 0;
  for (const auto& caption : seen) {
    while (next < order.size() && order[next] != caption) ++next;
    if (next == order.size()) return false;
  }
  return true;
}

std::string Joined(const std::vector<std::wstring>& texts) {
  std::string out;
  for (const auto& t : texts) out += "[" + std::string(t.begin(), t.end()) + "] ";
  return out;
}

void SetEnv(const wchar_t* name, const std::wstring& value) {
  ::SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
}

Bytes SettingsText(const std::u16string& lines) { return test::Utf16Le(u"\uFEFF" + lines); }

std::wstring TempSettingsPath() {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + L"$Settings.ini";
}

class StubRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_stub = test::ReadBytes(fs::path(OwnDirectory()) / "quillfen-stub.exe");
    s_installer = test::ReadBytes(fs::path(OwnDirectory()) / "qf_test_installer.exe");
    platform::CpuIdentity cpu;
    cpu.Identify();
    s_vendor = cpu.Vendor();
    platform::WmiQuery wmi;
    wmi.SetNamespace(u"ROOT\\CIMV2");
    s_baseboardResult = wmi.GetProperty(u"Win32_BaseBoard", u"Manufacturer", s_baseboard);
  }

  void SetUp() override {
    DeleteRunOnceValue();
    ::DeleteFileW(TempSettingsPath().c_str());
    m_before = WorkspaceCandidates();
    m_record = (m_dir.path() / "record.txt").wstring();
    SetEnv(L"QF_TEST_RECORD", m_record);
    SetEnv(L"QF_TEST_SLEEP_MS", L"0");
    SetEnv(L"QF_TEST_EXIT_CODE", L"0");
    SetEnv(L"QF_TEST_CHILD_MS", L"");
  }

  // Settings shaped like a real package's: the processor vendor and the
  // baseboard maker checked, with this machine's own values.
  std::u16string PassingSettings(const std::u16string& file = u"Installer.exe") const {
    const bool baseboard = s_baseboardResult == 0 && !s_baseboard.empty();
    return u"[validate]\r\ncpu=1\r\nbios=0\r\nbaseboard=" + std::u16string(baseboard ? u"1" : u"0") +
           u"\r\n[cpu]\r\nProcessor=" + s_vendor + u"\r\nAdvanced=\r\n[bios]\r\nManufacturer=Tavix Corp.\r\n"
           u"[baseboard]\r\nManufacturer=" + s_baseboard + u"\r\n[executable]\r\nfile=" + file +
           u"\r\nparam=-s\r\n[message]\r\nfail=Not on this machine.\r\n";
  }

  std::wstring Pack(const std::vector<TestEntry>& entries, const std::string& name = "setup.exe") {
    const fs::path path = m_dir.path() / name;
    test::WritePackage(path, s_stub, entries);
    return path.wstring();
  }

  std::wstring PackRaw(const Bytes& package) {
    const fs::path path = m_dir.path() / "setup.exe";
    Bytes file = s_stub;
    test::Append(file, package);
    test::WriteBytes(path, file);
    return path.wstring();
  }

  std::vector<TestEntry> Standard(const std::u16string& settings) const {
    return {{u"Installer.exe", u"", s_installer},
            {u"SetupHelper1.exe", u"", test::Pattern(300000, 3)},
            {u"$Settings.ini", u"", SettingsText(settings)}};
  }

  void ExpectNothingLeft() const {
    EXPECT_EQ(WorkspaceCandidates(), m_before) << "a workspace was left at the root of C:";
    EXPECT_FALSE(RunOnceValue().has_value()) << "the RunOnce value was left";
    EXPECT_FALSE(fs::exists(TempSettingsPath())) << "the settings were left in the temporary folder";
  }

  static Observation Run(const std::wstring& exe) { return RunStub(RunOptions(exe)); }

  static void ExpectOneBox(const Observation& seen, const std::wstring& caption, const std::wstring& text, Icon icon) {
    ASSERT_FALSE(seen.boxes.empty());
    const SeenBox& box = seen.boxes.back();
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.icon, icon);
  }

  static inline Bytes s_stub;
  static inline Bytes s_installer;
  static inline std::u16string s_vendor;
  static inline std::u16string s_baseboard;
  static inline int32_t s_baseboardResult = -1;

  test::TempDir m_dir;
  std::wstring m_record;
  std::set<std::wstring> m_before;
};

// The installer hands over to a child that outlives it: the wait ends with the
// installer all the same.
TEST_F(StubRun, SuccessfulRunStartsTheInstallerWaitsAndCleansUp) {
  SetEnv(L"QF_TEST_SLEEP_MS", L"1500");
  SetEnv(L"QF_TEST_EXIT_CODE", L"42");
  SetEnv(L"QF_TEST_CHILD_MS", L"8000");
  const Observation seen = Run(Pack(Standard(PassingSettings())));

  ASSERT_TRUE(seen.exited);
  EXPECT_EQ(seen.exitCode, 42u) << "the stub ends with the installer's own exit code";
  EXPECT_TRUE(seen.boxes.empty());
  EXPECT_FALSE(seen.captions.empty());
  // The window is created with the template's caption an instant before the
  // dialog sets its own; the phases are then seen in order (a fast one may be
  // missed between two looks).
  EXPECT_TRUE(IsOrderedSubsequence(seen.captions, {L"Quillfen", kCaptionInitializing, kCaptionValidating,
                                                   kCaptionExtracting}))
      << Joined(seen.captions);
  EXPECT_EQ(seen.rangeLow, 0);
  EXPECT_EQ(seen.rangeHigh, 3);
  EXPECT_EQ(seen.lastPosition, 3);
  EXPECT_TRUE(seen.dialogHiddenWhileAlive);

  const auto record = ReadRecord(m_record);
  ASSERT_FALSE(record.empty()) << "the installer did not run";
  EXPECT_EQ(record.at("params"), "-s");
  EXPECT_EQ(record.at("settings_beside"), "0");
  EXPECT_EQ(record.at("settings_in_temp"), "0");
  EXPECT_EQ(record.at("beside"), "Installer.exe|SetupHelper1.exe");
  // Started without a working directory of its own: it inherits the stub's.
  EXPECT_EQ(fs::path(record.at("cwd")), m_dir.path());
  const std::string self = record.at("self");
  const std::string workspace = self.substr(0, self.find_last_of('\\'));
  EXPECT_EQ(workspace.size(), 18u);
  EXPECT_EQ(record.at("runonce"), "cmd /C rmdir /S /Q " + workspace);

  const long long lagMs =
      (static_cast<long long>(seen.exitedAt) - std::stoll(record.at("ended_at"))) / kFileTimeUnitsPerMs;
  std::printf("stub ended %lld ms after the installer\n", lagMs);
  EXPECT_LT(lagMs, 2000);
  HANDLE child = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, std::stoul(record.at("child_pid")));
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(::WaitForSingleObject(child, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the child should still run";
  ::TerminateProcess(child, 0);
  ::WaitForSingleObject(child, 5000);
  ::CloseHandle(child);
  ExpectNothingLeft();
}

// Every way a run can end but the plain one, and what it must survive: what
// the user sees, the exit code, whether the installer ran, and that nothing is
// left behind. A row may prepare the machine first and look at it afterwards.
TEST_F(StubRun, EachScenarioShowsItsOutcomeAndLeavesNothing) {
  struct Case {
    const char* what;
    std::function<std::wstring()> pack;
    DWORD code;  // 0: the installer ran and no box was shown
    const wchar_t* caption;
    const wchar_t* text;
    Icon icon;
    std::function<void()> check;
  };
  Bytes wrongVersion = test::RawRecord(0, 0, u"$Settings.ini", 13, u"", 0);
  test::Append(wrongVersion, test::RawTrailer(1, u"1.01"));
  // A name longer than any the format allows; what lies in front of a table
  // depends on the stub's own bytes, so the damage is in the record itself.
  Bytes corrupt = test::RawRecord(0, 0, u"$Settings.ini", 4000, u"", 0);
  test::Append(corrupt, test::RawTrailer(1));
  auto raw = [this](const Bytes& appended) { return [this, appended] { return PackRaw(appended); }; };
  auto packed = [this](std::vector<TestEntry> entries) { return [this, entries] { return Pack(entries); }; };
  auto withSettings = [this](const Bytes& settings) {
    auto entries = Standard(u"");
    entries.back().data = settings;
    return entries;
  };
  auto unwritable = Standard(PassingSettings());
  // The workspace path (18 units) + "\" + this name reaches 260 units.
  unwritable.insert(unwritable.begin() + 1, TestEntry{std::u16string(241, u'n'), u"", Bytes{1}});
  auto folder = Standard(PassingSettings(u"docs"));
  folder.insert(folder.begin(), TestEntry{u"readme.txt", u"docs\\", Bytes{'r'}});
  auto upperCase = Standard(PassingSettings());
  upperCase.back().name = u"$SETTINGS.INI";
  const std::string utf8 = sys::Utf16ToUtf8(PassingSettings()).value();
  const std::wstring leftover = L"C:\\qfleftoverzzzzz";
  const std::wstring stale = TempSettingsPath();

  // clang-format off
  const std::vector<Case> cases = {
      {"no package", raw({}), 1001, L"Quillfen Builder", L"The Signature Could not be verified", Icon::Stop, {}},
      {"wrong version", raw(wrongVersion), 1008, L"Quillfen Builder", L"Invalid Version of the Quillfen", Icon::Stop, {}},
      {"no entries", raw(test::RawTrailer(0)), 1004, L"Quillfen Builder", L"The Quillfen should have at least one file",
       Icon::Exclamation, {}},
      {"corrupt table", raw(corrupt), 1001, L"Quillfen Builder", L"The Signature Could not be verified", Icon::Stop, {}},
      {"platform refused",
       packed(Standard(u"[validate]\r\ncpu=1\r\n[cpu]\r\nProcessor=NotThisVendor\r\n[executable]\r\nfile=Installer.exe\r\n"
                       u"[message]\r\nfail=This software needs other hardware.~~Please contact your vendor.\r\n")),
       1101, L"Error - Quillfen ", L"This software needs other hardware.\r\nPlease contact your vendor.", Icon::Stop, {}},
      {"entry that cannot be written", packed(unwritable), 1005, L"Quillfen Builder", L"Extraction Failed", Icon::Stop, {}},
      // Settings the reader cannot take are no settings with every check off.
      {"settings in UTF-8", packed(withSettings(Bytes(utf8.begin(), utf8.end()))), 1005, L"Quillfen Builder",
       L"Extraction Failed", Icon::Stop, {}},
      {"empty settings", packed(withSettings({})), 1005, L"Quillfen Builder", L"Extraction Failed", Icon::Stop, {}},
      // One failure, one box: the shell shows none of its own.
      {"missing program", packed(Standard(PassingSettings(u"Missing.exe"))), 1103, L"Error - Quillfen ",
       L"Invalid Installer", Icon::Stop, {}},
      {"program is a folder", packed(folder), 1103, L"Error - Quillfen ", L"Invalid Installer", Icon::Stop, {}},
      {"no program named", packed(Standard(PassingSettings(u""))), 1103, L"Error - Quillfen ", L"Invalid Installer",
       Icon::Stop, {}},
      {"settings name in capitals", packed(upperCase), 0, nullptr, nullptr, Icon::None, {}},
      // A file of the settings' name in the temporary folder is the user's: never read, changed or in the way.
      {"stale read-only settings in the temporary folder",
       [&] {
         test::WriteBytes(fs::path(stale), Bytes{'o', 'l', 'd'});
         ::SetFileAttributesW(stale.c_str(), FILE_ATTRIBUTE_READONLY);
         return Pack(Standard(PassingSettings()));
       },
       0, nullptr, nullptr, Icon::None,
       [&] {
         EXPECT_EQ(test::ReadBytes(fs::path(stale)), (Bytes{'o', 'l', 'd'}));
         ::SetFileAttributesW(stale.c_str(), FILE_ATTRIBUTE_NORMAL);
         ::DeleteFileW(stale.c_str());
       }},
      // A run killed while its installer ran left its workspace named in the value.
      {"workspace left by a killed run",
       [&] {
         ::CreateDirectoryW(leftover.c_str(), nullptr);
         test::WriteBytes(fs::path(leftover) / "left.bin", Bytes{1});
         ::SetFileAttributesW(leftover.c_str(), FILE_ATTRIBUTE_HIDDEN);
         SetRunOnceValue(L"cmd /C rmdir /S /Q " + leftover);
         return Pack(Standard(PassingSettings()));
       },
       0, nullptr, nullptr, Icon::None,
       [&] {
         EXPECT_FALSE(fs::exists(leftover)) << "the leftover workspace stayed";
         m_before.erase(leftover);
       }},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(m_record);
    const Observation seen = Run(c.pack());
    EXPECT_TRUE(seen.exited);
    EXPECT_EQ(seen.exitCode, c.code);
    if (c.caption != nullptr) {
      EXPECT_EQ(seen.boxes.size(), 1u);
      if (!seen.boxes.empty()) ExpectOneBox(seen, c.caption, c.text, c.icon);
    } else {
      EXPECT_TRUE(seen.boxes.empty());
    }
    EXPECT_EQ(fs::exists(m_record), c.code == 0) << "whether the installer ran";
    if (c.code == 1001 || c.code == 1004 || c.code == 1008) {
      EXPECT_EQ(std::count(seen.captions.begin(), seen.captions.end(), kCaptionValidating), 0);
    }
    if (c.check) c.check();
    ExpectNothingLeft();
  }
}

// With /S nothing is shown and every outcome is the exit code; /LOG says why.
// Any other argument changes nothing.
TEST_F(StubRun, SilentRunsShowNothingAndTheLogSaysWhy) {
  struct Case {
    const char* what;
    std::u16string settings;
    std::wstring arguments;
    DWORD code;
    std::vector<std::string> logged;  // texts the log holds, in this order
  };
  const std::string vendor = sys::Utf16ToUtf8(s_vendor).value();
  SetEnv(L"QF_TEST_EXIT_CODE", L"42");
  // clang-format off
  const std::vector<Case> cases = {
      {"silent success", PassingSettings(), L"/S /LOG=run.log", 42,
       {"Quillfen stub ", ", silent", "package: 3 entries, format 1.00, not signed", "platform check: this machine is accepted",
        "workspace: C:\\", "entry 1 written: SetupHelper1.exe (300000 bytes)", "installer started: C:\\",
        "installer ended with exit code 42", "cleanup: removed C:\\", "exit code 42"}},
      {"silent refusal", u"[validate]\r\ncpu=1\r\n[cpu]\r\nProcessor=NotThisVendor\r\n[executable]\r\nfile=Installer.exe\r\n"
                         u"[message]\r\nfail=Other hardware.\r\n", L"/s \"/log=run.log\"", 1101,
       {"[cpu] Processor: accepted \"NotThisVendor\", this machine \"" + vendor + "\"; the processor's vendor; refused",
        "message (not shown, silent): \"Error - Quillfen \": Other hardware.", "exit code 1101"}},
      {"silent invalid installer", PassingSettings(u"Missing.exe"), L"/LOG=run.log /S", 1103,
       {"installer: \"Missing.exe\" is not a plain file the package wrote", "exit code 1103"}},
      {"log in a folder that does not exist", PassingSettings(), L"/S /LOG=no\\such\\folder\\run.log", 42, {}},
      {"unknown arguments", PassingSettings(), L"-x /SILENT /S=1 LOG=run.log", 42, {}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(m_dir.path() / "run.log");
    RunOptions options(Pack(Standard(c.settings)));
    options.arguments = c.arguments;
    const Observation seen = RunStub(options);
    EXPECT_TRUE(seen.exited);
    EXPECT_EQ(seen.exitCode, c.code);
    EXPECT_TRUE(seen.boxes.empty());
    const bool silent = c.arguments.find(L"/S ") != std::wstring::npos || c.arguments.find(L"/s ") != std::wstring::npos ||
                        c.arguments.ends_with(L"/S");
    EXPECT_EQ(seen.dialogSeen, !silent) << "the stub's dialog";
    if (silent) {
      EXPECT_FALSE(seen.windowVisible) << "a window of the stub's process was visible";
    }
    std::ifstream in(m_dir.path() / "run.log", std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t at = 0;
    for (const std::string& text : c.logged) {
      at = log.find(text, at);
      EXPECT_NE(at, std::string::npos) << "the log lacks, in order: " << text << "\n" << log;
      if (at == std::string::npos) break;
    }
    if (c.logged.empty()) {
      EXPECT_TRUE(log.empty()) << log;
    }
    ExpectNothingLeft();
  }
}

TEST_F(StubRun, SecondInstanceEndsAtOnceWithoutAWindow) {
  SetEnv(L"QF_TEST_SLEEP_MS", L"4000");
  SetEnv(L"QF_TEST_EXIT_CODE", L"7");
  const std::wstring exe = Pack(Standard(PassingSettings()));
  Observation first;
  std::thread firstRun([&] { first = Run(exe); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!fs::exists(m_record) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const auto started = std::chrono::steady_clock::now();
  const Observation second = Run(exe);
  const auto secondMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
  firstRun.join();

  ASSERT_TRUE(second.exited);
  EXPECT_EQ(second.exitCode, 1104u);
  EXPECT_TRUE(second.windows.empty());
  EXPECT_LT(secondMs, 3000);
  ASSERT_TRUE(first.exited);
  EXPECT_EQ(first.exitCode, 7u);
  EXPECT_TRUE(first.boxes.empty());
  ExpectNothingLeft();
}

// Ending the dialog while the worker extracts stops the worker before the
// workspace is deleted: nothing is left and nothing is written afterwards.
TEST_F(StubRun, EscapeOrCloseDuringExtractionLeavesNothingOnDisk) {
  std::vector<TestEntry> entries = {{u"Installer.exe", u"", s_installer}};
  for (int i = 0; i < 16; ++i) {
    entries.push_back({u"part" + std::u16string(1, char16_t(u'a' + i)) + u".bin", u"data\\", Bytes(32 << 20, 'x')});
  }
  entries.push_back({u"$Settings.ini", u"", SettingsText(PassingSettings())});
  const std::wstring exe = Pack(entries);
  for (bool close : {false, true}) {
    SCOPED_TRACE(close ? "WM_CLOSE" : "Escape");
    RunOptions options(exe);
    options.endAtPosition = 2;
    options.endWithClose = close;
    const Observation seen = RunStub(options);
    ASSERT_TRUE(seen.exited);
    EXPECT_TRUE(seen.endedEarly);
    EXPECT_EQ(seen.exitCode, 1105u);
    EXPECT_TRUE(seen.boxes.empty());
    EXPECT_FALSE(fs::exists(m_record)) << "the installer started: the early end came too late to test anything";
    ExpectNothingLeft();
  }
}

// Signing appends a certificate table after the package; the stub finds its
// package in front of it and runs as if unsigned.
TEST_F(StubRun, SignedInstallerRunsLikeAnUnsignedOne) {
  const std::wstring exe = Pack(Standard(PassingSettings()));
  const fs::path signedExe = m_dir.path() / "signed.exe";
  auto host = [](const fs::path& p) { return HostPath(p.wstring()); };
  ASSERT_FALSE(host(exe).empty()) << "not running under Wine";
  const std::string script =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=QuillfenTest -keyout '" + host(m_dir / "k.pem") +
      "' -out '" + host(m_dir / "c.pem") + "' >/dev/null 2>&1 && osslsigncode sign -certs '" + host(m_dir / "c.pem") +
      "' -key '" + host(m_dir / "k.pem") + "' -in '" + host(exe) + "' -out '" + host(m_dir / "signing.tmp") +
      "' >/dev/null 2>&1 && mv '" + host(m_dir / "signing.tmp") + "' '" + host(signedExe) + "'";
  ASSERT_TRUE(StartHostProgram(L"/bin/sh", L"sh -c \"" + std::wstring(script.begin(), script.end()) + L"\""));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!fs::exists(signedExe) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(fs::exists(signedExe)) << "signing with openssl and osslsigncode did not finish";
  ASSERT_GT(fs::file_size(signedExe), fs::file_size(exe));

  const Observation seen = Run(signedExe.wstring());
  ASSERT_TRUE(seen.exited);
  EXPECT_EQ(seen.exitCode, 0u);
  EXPECT_TRUE(seen.boxes.empty());
  EXPECT_EQ(ReadRecord(m_record).at("params"), "-s");
  ExpectNothingLeft();
}

// The dialog as the user sees it during extraction, kept beside the tests
// (bin/dialog-extracting.bmp) for the guide.
TEST_F(StubRun, DialogShowsTheBarDuringExtraction) {
  std::vector<TestEntry> entries = {{u"Installer.exe", u"", s_installer}};
  for (int i = 0; i < 6; ++i) {
    entries.push_back({u"part" + std::u16string(1, char16_t(u'a' + i)) + u".bin", u"", Bytes(48 << 20, 'x')});
  }
  entries.push_back({u"$Settings.ini", u"", SettingsText(PassingSettings())});
  RunOptions options(Pack(entries));
  options.screenshot = OwnDirectory() + L"\\dialog-extracting.bmp";
  const Observation seen = RunStub(options);
  ASSERT_TRUE(seen.exited);
  EXPECT_EQ(seen.exitCode, 0u);
  ASSERT_TRUE(seen.screenshotTaken);
  const Bytes image = test::ReadBytes(fs::path(options.screenshot));
  ASSERT_GT(image.size(), 54u);
  std::set<unsigned> colours;
  for (std::size_t i = 54; i + 2 < image.size(); i += 3) colours.insert(image[i] | image[i + 1] << 8 | image[i + 2] << 16);
  EXPECT_GT(colours.size(), 8u) << "the capture is blank";
  ExpectNothingLeft();
}

// The stub runs from a Downloads folder beside files it does not control: a
// DLL planted there under a system DLL's name must never be loaded. The test
// program runs with Wine told to prefer a native version.dll (see its CTest
// environment), as a planted one would be on Windows.
TEST_F(StubRun, PlantedDllBesideTheStubIsNeverLoaded) {
  const fs::path own = OwnDirectory();
  const std::wstring exe = Pack(Standard(PassingSettings()));
  fs::copy_file(own / "qf_planted_version.dll", m_dir.path() / "version.dll");
  fs::copy_file(own / "qf_load_plain.exe", m_dir.path() / "load-plain.exe");
  const fs::path marker = m_dir.path() / "planted-dll-was-loaded";
  SetEnv(L"QF_TEST_PLANT_MARKER", marker.wstring());

  // The control: an unprotected program beside it does load the plant.
  const Observation control = Run((m_dir.path() / "load-plain.exe").wstring());
  EXPECT_TRUE(control.exited);
  EXPECT_TRUE(fs::exists(marker)) << "the plant is not picked up at all, so this test could not fail";
  fs::remove(marker);

  const Observation seen = Run(exe);
  SetEnv(L"QF_TEST_PLANT_MARKER", L"");
  ASSERT_TRUE(seen.exited);
  EXPECT_EQ(seen.exitCode, 0u);
  EXPECT_FALSE(fs::exists(marker)) << "the stub loaded the DLL planted beside it";
  ExpectNothingLeft();
}

}  // namespace
}  // namespace qf::e2e
