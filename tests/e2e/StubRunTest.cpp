// Whole runs of the packed stub under Wine, one scenario per row: the package,
// the switches, what the user sees (captions, bar, boxes), the exit code,
// whether and how the test installer ran, and that nothing is left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "StubDriver.h"
#include "Win32Test.h"
#include "pack/lib/Branding.h"
#include "package/PackageReader.h"
#include "platform/CpuIdentity.h"
#include "platform/WmiQuery.h"
#include "support/PackageFixture.h"
#include "support/PeImage.h"
#include "sys/Text.h"
#include "sys/Unique.h"
#include "workspace/WorkspaceName.h"

namespace qf::e2e {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::TestEntry;

constexpr DWORD kKilled = 0xDEAD;
const std::wstring kBuilder = L"Quillfen Builder", kError = L"Error - Quillfen ";
const SeenBox kBadSignature{kBuilder, L"The Signature Could not be verified", Icon::Stop};
const SeenBox kExtractionFailed{kBuilder, L"Extraction Failed", Icon::Stop};
const SeenBox kInvalidInstaller{kError, L"Invalid Installer", Icon::Stop};
const std::u16string kRefusing =
    u"[validate]\r\ncpu=1\r\n[cpu]\r\nProcessor=NotThisVendor\r\n[executable]\r\nfile=Installer.exe\r\n"
    u"[message]\r\nfail=This software needs other hardware.~~Please contact your vendor.\r\n";

std::wstring TempSettings() {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + L"$Settings.ini";
}

// Ends the dialog from outside once the bar has moved, while the worker extracts.
std::function<void(RunOptions&)> EndDialog(UINT message, WPARAM wParam) {
  return [=](RunOptions& options) {
    options.actAtPosition = 2;
    options.action = [=](HANDLE, HWND dialog) { ::PostMessageW(dialog, message, wParam, 0); };
  };
}

enum class Installer { NotRun, Runs };
enum class Window { Shown, Silent };

struct Scenario {
  const char* what;
  std::function<std::wstring()> pack;  // writes the packed stub; its path
  std::wstring arguments = {};
  DWORD code = 0;  // the stub's exit code; the test installer, when it runs, returns it
  Installer installer = Installer::NotRun;
  Window window = Window::Shown;
  std::optional<SeenBox> box = {};
  std::vector<std::string> log = {};  // what run.log holds, in this order
  std::function<void(RunOptions&)> prepare = {};
  std::function<void(const Observation&)> check = {};
};

class StubRun : public ::testing::Test {
 protected:
  void SetUp() override {
    m_stub = test::ReadBytes(fs::path(test::OwnDirectory()) / "quillfen-stub.exe");
    m_installer = test::ReadBytes(fs::path(test::OwnDirectory()) / "qf_test_installer.exe");
    platform::CpuIdentity cpu;
    cpu.Identify();
    m_vendor = cpu.Vendor();
    m_family = sys::DecimalText(cpu.family);
    m_model = sys::DecimalText(cpu.model);
    platform::WmiQuery wmi;
    wmi.SetNamespace(u"ROOT\\CIMV2");
    if (wmi.GetProperty(u"Win32_BaseBoard", u"Manufacturer", m_baseboard) != 0) m_baseboard.clear();
    wmi.GetProperty(u"Win32_Bios", u"Manufacturer", m_bios);
  }

  // Settings shaped like a real package's: the processor's vendor, family and
  // model and the baseboard's maker checked against this machine's own.
  std::u16string Passing(const std::u16string& file = u"Installer.exe") const {
    return u"[validate]\r\ncpu=1\r\nbios=0\r\nbaseboard=" + std::u16string(m_baseboard.empty() ? u"0" : u"1") +
           u"\r\n[cpu]\r\nProcessor=" + m_vendor + u"\r\nAdvanced=" + m_family + u"\r\n[" + m_family +
           u"]\r\nModel_Number=" + m_model + u"\r\n[bios]\r\nManufacturer=Tavix Corp.\r\n" +
           u"[baseboard]\r\nManufacturer=" + m_baseboard + u"\r\n[executable]\r\nfile=" + file +
           u"\r\nparam=-s \"two words\"  /x=1\r\n[message]\r\nfail=Not on this machine.\r\n";
  }
  std::vector<TestEntry> Standard(const std::u16string& settings, std::vector<TestEntry> more = {}) const {
    more.insert(more.begin(),
                {{u"Installer.exe", u"", m_installer}, {u"SetupHelper1.exe", u"", test::Pattern(300000, 3)}});
    more.push_back({u"$Settings.ini", u"", test::Utf16Le(u"\uFEFF" + settings)});
    return more;
  }
  // Sixteen entries of 32 MiB: long enough to act on the stub while it extracts.
  std::vector<TestEntry> Large() const {
    std::vector<TestEntry> parts;
    for (char16_t c = u'a'; c < u'q'; ++c)
      parts.push_back({u"part" + std::u16string(1, c), u"data\\", Bytes(32 << 20, 'x')});
    return Standard(Passing(), parts);
  }
  std::function<std::wstring()> Packed(std::vector<TestEntry> entries, bool digests = true) {
    return [this, entries = std::move(entries), digests] {
      test::WritePackage(m_dir / m_exe, m_stub, entries, digests);
      return (m_dir / m_exe).wstring();
    };
  }
  // Packed on the stub branded with a product name and an icon of four sizes.
  std::function<std::wstring()> Branded(std::vector<TestEntry> entries) {
    return [this, entries = std::move(entries)] {
      const pack::Branded stub = pack::Brand(
          m_stub, {{{u"ProductName", u"Foo Setup"}}, {1, 2}, test::ReadBytes(fs::path(test::OwnDirectory()) / "quillfen.ico")});
      EXPECT_EQ(stub.error, "");
      test::WritePackage(m_dir / m_exe, stub.image, entries);
      return (m_dir / m_exe).wstring();
    };
  }
  // Packed, then signed on the host by osslsigncode with a certificate of its own.
  std::function<std::wstring()> Signed(std::function<std::wstring()> packed) {
    return [this, packed = std::move(packed)] {
      const std::wstring path = packed();
      EXPECT_EQ(OnHost(L"cd \\\"$0\\\" && openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=e2e -keyout k.pem "
                       L"-out c.pem 2>/dev/null && osslsigncode sign -certs c.pem -key k.pem -in \\\"$1\\\" -out s.exe "
                       L">/dev/null && mv s.exe \\\"$1\\\"",
                       {test::HostPath(m_dir.path().wstring()), test::HostPath(path)}),
                "0")
          << "osslsigncode could not sign";
      return path;
    };
  }
  // Runs a shell script on the host, its arguments $0, $1 and so on; its exit status ("" if it never ended).
  std::string OnHost(const std::wstring& script, const std::vector<std::wstring>& arguments) {
    const fs::path status = m_dir / "host.status";
    fs::remove(status);
    std::wstring line = L"sh -c \"" + script + L"; echo $? >\\\"" + test::HostPath(status.wstring()) + L"\\\"\"";
    for (const std::wstring& argument : arguments) line += L" \"" + argument + L"\"";
    test::RunOnHost(L"/bin/sh", line, [&] { return std::ifstream(status).peek() != EOF; });
    std::string text;
    std::getline(std::ifstream(status), text);
    return text;
  }
  // Packed, then one byte of entry `index` changed, as a bad download would.
  std::function<std::wstring()> Damaged(std::vector<TestEntry> entries, int32_t index) {
    return [this, entries = std::move(entries), index] {
      const std::wstring path = Packed(entries)();
      PackageReader reader(std::u16string(path.begin(), path.end()));
      EXPECT_EQ(reader.LoadTable(reader.GetPackagePath()), ResultCode::Success);
      Bytes file = test::ReadBytes(fs::path(path));
      file.at(static_cast<std::size_t>(reader.GetEntry(index).offset) + reader.GetEntry(index).size / 2) ^= 0x01;
      test::WriteBytes(fs::path(path), file);
      return path;
    };
  }
  std::function<std::wstring()> Raw(const Bytes& package) {
    return [this, package] {
      Bytes file = m_stub;
      test::Append(file, package);
      test::WriteBytes(m_dir / m_exe, file);
      return (m_dir / m_exe).wstring();
    };
  }
  std::map<std::string, std::string> Record() const { return test::ReadRecord(m_record); }
  // The RunOnce value `name` holds the logon command for `folder`, which removes `onDisk` (the folder as the
  // disk spells it); both go afterwards, whatever the command did.
  static void ExpectLogonRemoves(const std::wstring& name, const std::wstring& folder, std::wstring onDisk = {}) {
    if (onDisk.empty()) onDisk = folder;
    const auto command = test::RunOnceValue(name);
    EXPECT_EQ(command, L"cmd /C rmdir /S /Q " + folder);
    EXPECT_EQ(test::RunAndWait(command.value_or(L"")), 0u);
    EXPECT_FALSE(test::Exists(onDisk)) << "the logon command left the folder";
    test::RemoveAll(onDisk);
    test::DeleteRunOnceValue(name);
  }
  // Lets the installer's child end, and waits for it.
  void EndChild() {
    if (!m_child) return;
    ::SetEvent(m_child.get());
    m_child.reset();
    const auto record = Record();
    if (!record.contains("child_pid")) return;
    const sys::UniqueHandle child(::OpenProcess(SYNCHRONIZE, FALSE, std::stoul(record.at("child_pid"))));
    EXPECT_EQ(::WaitForSingleObject(child.get(), test::kDeadlineMs), WAIT_OBJECT_0);
  }

  void Run(const Scenario& s) {
    SCOPED_TRACE(s.what);
    // Each row runs a program file of its own, removed after the row.
    m_exe = std::string(s.what) + ".exe";
    test::DeleteRunOnceValue();
    ::DeleteFileW(TempSettings().c_str());
    fs::remove(m_record);
    fs::remove(m_dir / "run.log");
    m_before = test::Workspaces();
    const std::wstring releaseName = L"qf-e2e-release-" + std::to_wstring(::GetCurrentProcessId());
    const sys::UniqueHandle named(::CreateEventW(nullptr, TRUE, FALSE, releaseName.c_str()));
    test::SetEnv(L"QF_TEST_RECORD", m_record);
    test::SetEnv(L"QF_TEST_RELEASE", releaseName);
    test::SetEnv(L"QF_TEST_EXIT_CODE", std::to_wstring(s.code));
    m_child.reset(::CreateEventW(nullptr, TRUE, FALSE, m_childName.c_str()));
    RunOptions options{s.pack(), s.arguments, m_record, named.get()};
    if (s.prepare) s.prepare(options);
    const Observation seen = RunStub(options);
    ::SetEvent(named.get());
    test::SetEnv(L"QF_TEST_CHILD", L"");
    test::SetEnv(L"QF_TEST_CHILD_HOLD", L"");

    EXPECT_TRUE(seen.exited) << "did not end, or could not start: error " << seen.startError;
    EXPECT_EQ(seen.exitCode, s.code);
    EXPECT_EQ(seen.boxes, s.box ? std::vector<SeenBox>{*s.box} : std::vector<SeenBox>{});
    EXPECT_EQ(seen.installerRan, s.installer == Installer::Runs) << "whether the installer ran";
    if (seen.installerRan) {
      EXPECT_TRUE(seen.stubAliveWhileInstallerRan) << "the stub ended before its installer";
      EXPECT_TRUE(seen.stubHidWhileInstallerRan);
    }
    if (s.window == Window::Silent) {
      EXPECT_FALSE(seen.windowVisible) << "a window of a silent run";
      EXPECT_TRUE(seen.captions.empty());
    }
    std::ifstream in(m_dir / "run.log", std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t at = 0;
    for (const std::string& text : s.log) {
      at = log.find(text, at);
      EXPECT_NE(at, std::string::npos) << "the log lacks, in this order: " << text << "\n" << log;
      if (at == std::string::npos) break;
    }
    if (s.log.empty()) {
      EXPECT_EQ(log, "");
    }
#ifdef QF_HOST_PACK
    // Where the stub logs its verdict, the Linux quillfen-pack check --this-machine gives it too, told only the
    // makers Wine reports, which are Wine's own where Linux shows no firmware tables.
    if (const std::size_t at = log.find("platform check: this machine is "); at != std::string::npos) {
      const std::string tool = QF_HOST_PACK;
      EXPECT_EQ(OnHost(L"\\\"$0\\\" check --this-machine --bios \\\"$1\\\" --baseboard \\\"$2\\\" \\\"$3\\\" >&2",
                       {{tool.begin(), tool.end()}, test::W(m_bios), test::W(m_baseboard), test::HostPath(options.exe)}),
                log.compare(at + 32, 8, "accepted") == 0 ? "0" : "1")
          << log.substr(at, 45) << "; " << tool << " (127: not there; the native-asan tier builds it)";
    }
#endif
    if (s.check) s.check(seen);
    EndChild();
    ::DeleteFileW((m_dir / m_exe).c_str());
    EXPECT_EQ(test::Workspaces(), m_before) << "a workspace was left at the root of C:";
    EXPECT_FALSE(test::RunOnceValue()) << "the RunOnce value was left";
    EXPECT_FALSE(test::Exists(TempSettings())) << "the settings were left in the temporary folder";
  }

  test::TempDir m_dir;
  std::wstring m_record = (m_dir / "record.txt").wstring();
  Bytes m_stub, m_installer;
  std::u16string m_vendor, m_family, m_model, m_bios, m_baseboard;
  std::set<std::wstring> m_before;
  const std::wstring m_childName = L"qf-e2e-child-" + std::to_wstring(::GetCurrentProcessId());
  sys::UniqueHandle m_child;
  std::string m_exe;
};

TEST_F(StubRun, EveryScenarioShowsItsOutcomeAndLeavesNothing) {
  Bytes wrongVersion = test::RawRecord(0, 0, u"$Settings.ini", 13, u"", 0);
  test::Append(wrongVersion, test::RawTrailer(1, u"1.01"));
  auto settingsOf = [this](const Bytes& settings) {
    auto entries = Standard(u"");
    entries.back().data = settings;
    return entries;
  };
  const std::string utf8 = sys::Utf16ToUtf8(Passing()).value();
  const std::wstring stale = TempSettings();
  auto large = [this] { return Packed(Large())(); };  // made when its row runs
  std::wstring workspace;                             // the one a row's run made
  auto newWorkspace = [&] {
    std::vector<std::wstring> added;
    const auto now = test::Workspaces();
    std::set_difference(now.begin(), now.end(), m_before.begin(), m_before.end(), std::back_inserter(added));
    return added.size() == 1 ? added[0] : L"";
  };
  const std::string vendor = sys::Utf16ToUtf8(m_vendor).value();
  std::u16string silentParam = Passing();
  silentParam.insert(silentParam.find(u"[message]"), u"silentparam=/VERYSILENT /DIR=\"C:\\Q\"\r\n");
  // A hidden folder at the root of C: that a "TavixQF" value names as the run starts: a killed run's
  // leftover, the user's own, or the workspace of a run still going in another session.
  auto named = [](std::wstring onDisk, std::wstring inValue, std::vector<std::wstring> files) {
    return std::pair{[=](RunOptions&) {
                       for (const auto& file : files) {
                         fs::create_directories((fs::path(onDisk) / file).parent_path());
                         test::WriteBytes(fs::path(onDisk) / file, Bytes{1});
                       }
                       ::SetFileAttributesW(onDisk.c_str(), FILE_ATTRIBUTE_HIDDEN);
                       test::SetRunOnceValue(L"cmd /C rmdir /S /Q " + inValue);
                     },
                     // Nothing of it is deleted at once; its value is kept under a name of its own, whose
                     // command removes it at the next logon.
                     [=](const Observation&) {
                       EXPECT_EQ(test::FileNamesBelow(onDisk), files);
                       ExpectLogonRemoves(L"TavixQF." + inValue.substr(3), inValue, onDisk);
                     }};
  };
  const auto leftover = named(L"C:\\qfleftoverzzzzz", L"C:\\qfleftoverzzzzz", {L"left.bin"});
  const auto users = named(L"C:\\QFMYOWNFOLDERZZ", L"C:\\qfmyownfolderzz", {L"mine.txt"});
  const auto live = named(L"C:\\qfliverunzzzzzz", L"C:\\qfliverunzzzzzz", {L"Installer.exe", L"sub\\data.bin"});
  const fs::path marker = m_dir / "planted-dll-was-loaded";
  Bytes stub;  // the packed stub as it was before its row ran
  auto readStub = [&](RunOptions& options) { stub = test::ReadBytes(fs::path(options.exe)); };
  auto stubKept = [&](const Observation&) {
    const Bytes now = test::ReadBytes(m_dir / m_exe);
    EXPECT_TRUE(now == stub) << "the stub changed: " << stub.size() << " bytes, now " << now.size();
  };

  // clang-format off
  const std::vector<Scenario> scenarios = {
      // The installer hands over to a child that outlives it: the wait ends with the installer all the same.
      {.what = "success", .pack = Packed(Standard(Passing())), .code = 42, .installer = Installer::Runs,
       .prepare = [&](RunOptions&) { test::SetEnv(L"QF_TEST_CHILD", m_childName); },
       .check = [&](const Observation& seen) {
         // The template's caption comes an instant before the dialog's own; a quick phase may pass unseen.
         std::vector<std::wstring> order = {L"Quillfen", L"Quillfen - Initializing",
                                            L"Quillfen - Validating the Installer", L"Quillfen - Extracting"};
         auto next = order.begin();
         for (const auto& caption : seen.captions) next = std::find(next, order.end(), caption);
         EXPECT_NE(next, order.end()) << "captions out of order";
         EXPECT_EQ(seen.captions.back(), order.back());
         EXPECT_EQ(seen.rangeHigh, 3);
         EXPECT_EQ(seen.lastPosition, 3);
         const auto record = Record();
         EXPECT_EQ(record.at("params"), "-s \"two words\"  /x=1") << "the parameters as they stand";
         EXPECT_EQ(record.at("settings_beside") + record.at("settings_in_temp"), "00");
         EXPECT_EQ(record.at("hidden"), "1");
         // Not in the workspace: in the directory current when the stub started, whatever its drive scan did.
         EXPECT_EQ(fs::path(record.at("cwd")), m_dir.path());
         const std::string self = record.at("self"), home = self.substr(0, self.find_last_of('\\'));
         EXPECT_TRUE(IsWorkspacePath(std::u16string(home.begin(), home.end()))) << self;
         EXPECT_EQ(record.at("runonce"), "cmd /C rmdir /S /Q " + home);
         const sys::UniqueHandle child(::OpenProcess(SYNCHRONIZE, FALSE, std::stoul(record.at("child_pid"))));
         EXPECT_EQ(::WaitForSingleObject(child.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the child should still run";
       }},
      {.what = "no package", .pack = Raw({}), .code = 1620, .installer = Installer::NotRun, .box = kBadSignature},
      {.what = "wrong version", .pack = Raw(wrongVersion), .code = 1613, .installer = Installer::NotRun,
       .box = SeenBox{kBuilder, L"Invalid Version of the Quillfen", Icon::Stop}},
      {.what = "no entries", .pack = Raw(test::RawTrailer(0)), .code = 1620, .installer = Installer::NotRun,
       .box = SeenBox{kBuilder, L"The Quillfen should have at least one file", Icon::Exclamation}},
      // The log says that a box waits for the user, then what its OK ended with.
      {.what = "machine refused", .pack = Packed(Standard(kRefusing)), .arguments = L"/LOG=run.log", .code = 1633,
       .installer = Installer::NotRun,
       .box = SeenBox{kError, L"This software needs other hardware.\r\nPlease contact your vendor.", Icon::Stop},
       .log = {"platform check: this machine is refused",
        "message (shown, waits for OK): \"Error - Quillfen \": This software needs other hardware.",
        "exit code 1633: machine not supported"}},
      // The workspace path (18 units) + "\" + this name reaches 260 units.
      {.what = "entry that cannot be written",
       .pack = Packed(Standard(Passing(), {{std::u16string(241, u'n'), u"", Bytes{1}}})), .code = 1603,
       .installer = Installer::NotRun, .box = kExtractionFailed},
      {.what = "settings in UTF-8", .pack = Packed(settingsOf(Bytes(utf8.begin(), utf8.end()))), .code = 1603,
       .installer = Installer::NotRun, .box = kExtractionFailed},
      {.what = "missing program", .pack = Packed(Standard(Passing(u"Missing.exe"))), .arguments = L"/LOG=run.log",
       .code = 1603, .installer = Installer::NotRun, .box = kInvalidInstaller,
       .log = {"installer: \"Missing.exe\" is not a plain file the package wrote", "exit code 1603: fatal error"}},
      // Branded and signed, the stub runs as ever; Windows finds the author's version information and the icon
      // of four sizes.
      {.what = "signed and branded", .pack = Signed(Branded(Standard(Passing()))), .arguments = L"/S /LOG=run.log",
       .code = 42, .installer = Installer::Runs, .window = Window::Silent,
       .log = {"package: 3 entries, format 1.00, signed, payload digest lane sums", "exit code 42: the installer's own"},
       .check = [&](const Observation&) {
         HMODULE image = ::LoadLibraryExW((m_dir / m_exe).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
         HRSRC version = ::FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
         const auto* bytes = static_cast<const char*>(::LockResource(::LoadResource(image, version)));
         const std::string text(bytes, bytes == nullptr ? 0 : ::SizeofResource(image, version));
         EXPECT_NE(text.find(std::string("F\0o\0o\0 \0S\0e\0t\0u\0p\0", 18)), text.npos);
         HRSRC group = ::FindResourceW(image, MAKEINTRESOURCEW(130), MAKEINTRESOURCEW(14));
         EXPECT_EQ(group == nullptr ? 0 : ::SizeofResource(image, group), 6u + 4 * 14);
         ::FreeLibrary(image);
       }},
      // The program's path is read as Windows reads it ("." segments, "/" and letter case aside), never leaving
      // the workspace; what starts is the entry itself.
      {.what = "program named with slashes in other capitals",
       .pack = Packed(Standard(Passing(u"./sub/./SETUP.EXE"), {{u"Setup.exe", u"Sub\\", m_installer}})),
       .arguments = L"/LOG=run.log", .code = 4, .installer = Installer::Runs,
       .log = {"installer started: C:\\", "\\Sub\\Setup.exe, parameters"}},
      // A file of the settings' name in the temporary folder is the user's: never read, changed or in the way.
      {.what = "stale read-only settings in the temporary folder", .pack = Packed(Standard(Passing())), .code = 0,
       .installer = Installer::Runs, .prepare = [&](RunOptions&) {
         test::WriteBytes(fs::path(stale), Bytes{'o', 'l', 'd'});
         ::SetFileAttributesW(stale.c_str(), FILE_ATTRIBUTE_READONLY);
       }, .check = [&](const Observation&) {
         EXPECT_EQ(test::ReadBytes(fs::path(stale)), (Bytes{'o', 'l', 'd'}));
         ::SetFileAttributesW(stale.c_str(), FILE_ATTRIBUTE_NORMAL);
         ::DeleteFileW(stale.c_str());
       }},
      {.what = "workspace left by a killed run", .pack = Packed(Standard(Passing())), .code = 0,
       .installer = Installer::Runs, .prepare = leftover.first, .check = leftover.second},
      {.what = "user data folder in capitals named by the value", .pack = Packed(Standard(Passing())), .code = 0,
       .installer = Installer::Runs, .prepare = users.first, .check = users.second},
      {.what = "workspace of a run in another session", .pack = Packed(Standard(Passing())), .code = 0,
       .installer = Installer::Runs, .prepare = live.first, .check = live.second},
      // With /S nothing is shown and the exit code tells; /LOG says why. Both ignore letter case.
      {.what = "silent success", .pack = Packed(Standard(Passing())), .arguments = L"/S /LOG=run.log", .code = 42,
       .installer = Installer::Runs, .window = Window::Silent,
       .log = {"Quillfen stub ", ", silent, /PARAMS=\"\"", "package: 3 entries, format 1.00, not signed, payload digest lane sums",
        "platform check: this machine is accepted", "workspace: C:\\", "entry 1 written: SetupHelper1.exe (300000 bytes)",
        "installer started: C:\\", "installer ended with exit code 42", "cleanup: removed C:\\",
        "exit code 42: the installer's own"}},
      {.what = "silent refusal", .pack = Packed(Standard(kRefusing)), .arguments = L"/s \"/log=run.log\"", .code = 1633,
       .installer = Installer::NotRun, .window = Window::Silent,
       .log = {"[cpu] Processor: accepted \"NotThisVendor\", this machine \"" + vendor + "\"; the processor's vendor; refused",
        "message (not shown, silent): \"Error - Quillfen \": This software needs other hardware.",
        "exit code 1633: machine not supported"}},
      // The switches admins type for any installer; a silent run's own parameters, and more given at deploy
      // time, which go after the settings' own; the installer's code, a restart's included, as it is.
      {.what = "silent as SILENT with silentparam", .pack = Packed(Standard(silentParam)), .arguments = L"/SILENT",
       .code = 0, .installer = Installer::Runs, .window = Window::Silent,
       .check = [&](const Observation&) { EXPECT_EQ(Record().at("params"), "/VERYSILENT /DIR=\"C:\\Q\""); }},
      {.what = "silent as quiet with PARAMS", .pack = Packed(Standard(Passing())),
       .arguments = L"/quiet \"/PARAMS=INSTALLDIR=C:\\Q /norestart\" /LOG=run.log", .code = 3010,
       .installer = Installer::Runs, .window = Window::Silent,
       .log = {", silent, /PARAMS=\"INSTALLDIR=C:\\Q /norestart\"", "settings: [executable] file=\"Installer.exe\"",
        "silentparam=\"\"", "exit code 3010: the installer's own"}, .check = [&](const Observation&) {
         EXPECT_EQ(Record().at("params"), "-s \"two words\"  /x=1 INSTALLDIR=C:\\Q /norestart");
       }},
      // The builder's digests: a changed byte is a damaged package before the installer runs, and the
      // workspace goes; a package of another writer, without them, runs unchecked.
      {.what = "damaged entry", .pack = Damaged(Standard(Passing()), 1), .arguments = L"/LOG=run.log", .code = 1620,
       .installer = Installer::NotRun, .box = kBadSignature,
       .log = {"entry 1 is damaged: SetupHelper1.exe (300000 bytes)", "exit code 1620: invalid package"}},
      {.what = "no payload digest", .pack = Packed(Standard(Passing()), false), .arguments = L"/S /LOG=run.log",
       .code = 42, .installer = Installer::Runs, .window = Window::Silent,
       .log = {"package: 3 entries, format 1.00, not signed, no payload digest", "exit code 42: the installer's own"}},
      // The log never goes into the stub's own file, whatever names it: the run is as without a log.
      {.what = "log naming the stub", .pack = Packed(Standard(Passing())),
       .arguments = L"/S \"/LOG=LOG NAMING THE STUB.EXE\"", .code = 42, .installer = Installer::Runs,
       .window = Window::Silent, .prepare = readStub, .check = stubKept},
      // Wine shows a host link to a file as that file, never as a link: the stub is known by its identity.
      {.what = "log at a link to the stub", .pack = Packed(Standard(Passing())), .arguments = L"/S /LOG=stub.link",
       .code = 42, .installer = Installer::Runs, .window = Window::Silent, .prepare = [&](RunOptions& options) {
         readStub(options);
         EXPECT_TRUE(test::RunOnHost(L"/bin/ln", L"ln -s \"" + test::HostPath(options.exe) + L"\" \"" +
                                                     test::HostPath((m_dir / "stub.link").wstring()) + L"\"",
                                     [&] { return test::Exists((m_dir / "stub.link").wstring()); }));
       }, .check = [&](const Observation& seen) {
         stubKept(seen);
         ::DeleteFileW((m_dir / "stub.link").c_str());
       }},
      {.what = "log in a folder that does not exist", .pack = Packed(Standard(Passing())),
       .arguments = L"/S /LOG=no\\such\\folder\\run.log", .code = 42, .installer = Installer::Runs,
       .window = Window::Silent},
      {.what = "second copy while one runs", .pack = Packed(Standard(Passing())), .code = 7,
       .installer = Installer::Runs, .prepare = [&](RunOptions& options) {
         options.whileInstallerRuns = [&, exe = options.exe](HWND) {
           const Observation second = RunStub(RunOptions{exe});
           EXPECT_EQ(second.exitCode, 1618u);
           EXPECT_FALSE(second.anyWindow);
         };
       }},
      // Closing the window while the installer program runs ends that program too.
      {.what = "window closed while the installer runs", .pack = Packed(Standard(Passing())), .code = 1602,
       .installer = Installer::Runs, .prepare = [&](RunOptions& options) {
         options.whileInstallerRuns = [&](HWND dialog) {
           const sys::UniqueHandle installer(::OpenProcess(SYNCHRONIZE, FALSE, std::stoul(Record().at("pid"))));
           ::PostMessageW(dialog, WM_CLOSE, 0, 0);
           EXPECT_EQ(::WaitForSingleObject(installer.get(), test::kDeadlineMs), WAIT_OBJECT_0) << "the installer still runs";
         };
       }},
      // Ending the dialog while the worker extracts stops the worker before the workspace goes.
      {.what = "Escape while extracting", .pack = large, .code = 1602, .installer = Installer::NotRun,
       .prepare = EndDialog(WM_KEYDOWN, VK_ESCAPE)},
      {.what = "WM_CLOSE while extracting", .pack = large, .code = 1602, .installer = Installer::NotRun,
       .prepare = EndDialog(WM_CLOSE, 0)},
      // A stub killed while it extracts never reaches its cleanup: the logon command does it.
      {.what = "killed while extracting", .pack = large, .code = kKilled, .installer = Installer::NotRun,
       .prepare = [&](RunOptions& options) {
         options.actAtPosition = 1;
         options.action = [&](HANDLE process, HWND) {
           ::TerminateProcess(process, kKilled);
           ::WaitForSingleObject(process, test::kDeadlineMs);
           workspace = newWorkspace();
         };
       }, .check = [&](const Observation&) {
         ASSERT_NE(workspace, L"");
         EXPECT_FALSE(test::FileNamesBelow(workspace).empty());
         ExpectLogonRemoves({}, workspace);
       }},
      // A program the installer hands over to holds a workspace file: the rest goes, the file's folder and
      // the RunOnce value stay, and the next logon removes them.
      {.what = "file held by a program that outlives the installer",
       .pack = Packed(Standard(Passing(), {{u"held.dat", u"", Bytes{1}}, {u"deep.bin", u"sub\\deeper\\", Bytes{2}}})),
       .arguments = L"/LOG=run.log", .code = 5, .installer = Installer::Runs,
       .log = {"cleanup: could not remove all of C:\\", "; its RunOnce value stays, so the next logon removes it"},
       .prepare = [&](RunOptions&) {
         test::SetEnv(L"QF_TEST_CHILD", m_childName);
         test::SetEnv(L"QF_TEST_CHILD_HOLD", L"held.dat");
       }, .check = [&](const Observation&) {
         EXPECT_EQ(Record().at("child_holds"), "1");
         workspace = newWorkspace();
         EXPECT_EQ(test::FileNamesBelow(workspace), std::vector<std::wstring>{L"held.dat"});
         EndChild();
         ExpectLogonRemoves({}, workspace);
       }},
      // A DLL planted beside the stub under a system DLL's name is never loaded
      // (the test runs with Wine told to prefer a native version.dll, as Windows would).
      {.what = "DLL planted beside the stub", .pack = Packed(Standard(Passing())), .code = 0,
       .installer = Installer::Runs, .prepare = [&](RunOptions&) {
         fs::copy_file(fs::path(test::OwnDirectory()) / "qf_planted_version.dll", m_dir / "version.dll",
                       fs::copy_options::overwrite_existing);
         test::SetEnv(L"QF_TEST_PLANT_MARKER", marker.wstring());
         fs::copy_file(fs::path(test::OwnDirectory()) / "qf_test_installer.exe", m_dir / "plain.exe",
                       fs::copy_options::overwrite_existing);
         EXPECT_EQ(test::RunAndWait(L"\"" + (m_dir / "plain.exe").wstring() + L"\" --load version.dll"), 0u);
         EXPECT_TRUE(fs::remove(marker)) << "a plain program does not load the plant: this row could not fail";
       }, .check = [&](const Observation&) { EXPECT_FALSE(fs::exists(marker)) << "the stub loaded the DLL planted beside it"; }},
  };
  // clang-format on
  for (const Scenario& s : scenarios) Run(s);
  test::SetEnv(L"QF_TEST_PLANT_MARKER", L"");
}

}  // namespace
}  // namespace qf::e2e
