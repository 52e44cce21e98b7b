// Faults and load in a whole run of the packed stub under Wine: the stub
// killed while it extracts, a workspace file held open by a program that
// outlives the installer, a package of 1024 entries in nested folders, and
// (in a prefix of its own, see disk-full.sh) a workspace drive that fills up.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "StubDriver.h"
#include "package/PackageFormat.h"
#include "support/PackageFixture.h"

namespace qf::e2e {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::TestEntry;

constexpr long long kFileTimeUnitsPerMs = 10000;
constexpr DWORD kKilledExitCode = 0xDEAD;
constexpr wchar_t kRemovalPrefix[] = L"cmd /C rmdir /S /Q ";

void SetEnv(const wchar_t* name, const std::wstring& value) {
  ::SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
}

std::wstring EnvText(const wchar_t* name) {
  wchar_t buffer[64] = {};
  const DWORD n = ::GetEnvironmentVariableW(name, buffer, 64);
  return n > 0 && n < 64 ? std::wstring(buffer, n) : std::wstring();
}

// No platform check: these runs are about the files.
Bytes Settings() {
  return test::Utf16Le(
      u"\uFEFF[validate]\r\ncpu=0\r\nbios=0\r\nbaseboard=0\r\n[executable]\r\nfile=Installer.exe\r\nparam=\r\n"
      u"[message]\r\nfail=Not here.\r\n");
}

// Directories at the root of `drive` ("C:") named like a workspace.
std::set<std::wstring> WorkspacesOn(const std::wstring& drive) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((drive + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = data.cFileName;
    const bool letters =
        name.size() == 15 && std::all_of(name.begin(), name.end(), [](wchar_t c) { return c >= L'a' && c <= L'z'; });
    if (letters && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.insert(drive + L"\\" + name);
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return names;
}

std::vector<std::wstring> NewOnes(const std::set<std::wstring>& before, const std::set<std::wstring>& after) {
  std::vector<std::wstring> added;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
  return added;
}

// Relative paths of every file below `root`, "\"-separated, sorted.
std::vector<std::wstring> FilesBelow(const std::wstring& root) {
  std::vector<std::wstring> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_regular_file()) files.push_back(it->path().lexically_relative(root).wstring());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The test installer's tree hash over what a package should leave beside it.
unsigned long long ExpectedTreeHash(std::vector<TestEntry> entries) {
  std::sort(entries.begin(), entries.end(),
            [](const TestEntry& a, const TestEntry& b) { return a.directory + a.name < b.directory + b.name; });
  unsigned long long hash = 14695981039346656037ull;
  auto mix = [&hash](const void* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
      hash = (hash ^ static_cast<const unsigned char*>(bytes)[i]) * 1099511628211ull;
  };
  for (const TestEntry& e : entries) {
    const std::u16string path = e.directory + e.name;
    mix(path.data(), path.size() * sizeof(char16_t));
    for (int i = 0; i < 8; ++i) {
      const auto b = static_cast<unsigned char>(static_cast<unsigned long long>(e.data.size()) >> (8 * i));
      mix(&b, 1);
    }
    mix(e.data.data(), e.data.size());
  }
  return hash;
}

// What the system does at the next logon: the command runs, then the value goes.
DWORD RunCommandLine(std::wstring command) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
    return ::GetLastError();
  }
  ::CloseHandle(process.hThread);
  DWORD code = WAIT_TIMEOUT;
  if (::WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hProcess);
  return code;
}

void RemoveLeftover(const std::wstring& directory) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(directory, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  ::SetFileAttributesW(directory.c_str(), FILE_ATTRIBUTE_NORMAL);
  fs::remove_all(directory, ec);
}

// Holds a whole process still while the test changes the world under it.
class ProcessPause {
 public:
  explicit ProcessPause(HANDLE process) : m_process(process), m_paused(Call("NtSuspendProcess")) {}
  ~ProcessPause() {
    if (m_paused) Call("NtResumeProcess");
  }
  ProcessPause(const ProcessPause&) = delete;
  ProcessPause& operator=(const ProcessPause&) = delete;
  bool Paused() const { return m_paused; }

 private:
  bool Call(const char* name) const {
    using Function = LONG(NTAPI*)(HANDLE);
    const auto function =
        reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name)));
    return function != nullptr && function(m_process) == 0;
  }

  HANDLE m_process;
  bool m_paused;
};

// Writes zeros to `path` until the drive takes no more; the bytes written.
unsigned long long FillDrive(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  unsigned long long total = 0;
  std::vector<char> zeros(1 << 20);
  for (DWORD chunk = static_cast<DWORD>(zeros.size()); chunk >= 512;) {
    DWORD put = 0;
    if (::WriteFile(file, zeros.data(), chunk, &put, nullptr) && put == chunk) {
      total += put;
    } else {
      total += put;
      chunk /= 2;
    }
  }
  ::CloseHandle(file);
  return total;
}

class StubFault : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_stub = test::ReadBytes(fs::path(OwnDirectory()) / "quillfen-stub.exe");
    s_installer = test::ReadBytes(fs::path(OwnDirectory()) / "qf_test_installer.exe");
  }

  void SetUp() override {
    DeleteRunOnceValue();
    m_before = WorkspacesOn(L"C:");
    m_record = (m_dir.path() / "record.txt").wstring();
    SetEnv(L"QF_TEST_RECORD", m_record);
    SetEnv(L"QF_TEST_SLEEP_MS", L"0");
    SetEnv(L"QF_TEST_EXIT_CODE", L"0");
    SetEnv(L"QF_TEST_CHILD_MS", L"");
    SetEnv(L"QF_TEST_CHILD_HOLD", L"");
    SetEnv(L"QF_TEST_TREE", L"");
  }

  std::wstring Pack(const std::vector<TestEntry>& entries) {
    const fs::path path = m_dir.path() / "setup.exe";
    test::WritePackage(path, s_stub, entries);
    return path.wstring();
  }

  // The installer first, then `parts` entries of `partBytes` each below data\, then the settings.
  static std::vector<TestEntry> WithParts(int parts, std::size_t partBytes) {
    std::vector<TestEntry> entries = {{u"Installer.exe", u"", s_installer}};
    for (int i = 0; i < parts; ++i) {
      entries.push_back({u"part" + std::u16string(1, char16_t(u'a' + i)) + u".bin", u"data\\",
                         test::Pattern(partBytes, static_cast<uint32_t>(i) + 1)});
    }
    entries.push_back({u"$Settings.ini", u"", Settings()});
    return entries;
  }

  void ExpectNothingLeft() const {
    EXPECT_EQ(WorkspacesOn(L"C:"), m_before) << "a workspace was left at the root of C:";
    EXPECT_FALSE(RunOnceValue().has_value()) << "the RunOnce value was left";
  }

  static inline Bytes s_stub;
  static inline Bytes s_installer;

  test::TempDir m_dir;
  std::wstring m_record;
  std::set<std::wstring> m_before;
};

// A stub killed while it extracts never reaches its cleanup: the RunOnce value
// it wrote names the workspace, and its command removes the workspace.
TEST_F(StubFault, KilledDuringExtractionLeavesARunOnceCommandThatRemovesTheWorkspace) {
  RunOptions options(Pack(WithParts(8, 32 << 20)));
  options.actAtPosition = 1;
  options.action = [](HANDLE process) {
    ::TerminateProcess(process, kKilledExitCode);
    ::WaitForSingleObject(process, 10000);
  };
  const Observation seen = RunStub(options);
  ASSERT_TRUE(seen.acted) << "the extraction was not seen";
  ASSERT_TRUE(seen.exited);
  EXPECT_EQ(seen.exitCode, kKilledExitCode);
  EXPECT_FALSE(fs::exists(m_record)) << "the installer started: the kill came too late to test anything";

  const auto added = NewOnes(m_before, WorkspacesOn(L"C:"));
  ASSERT_EQ(added.size(), 1u) << "the workspace the stub was filling";
  const std::wstring workspace = added.front();
  EXPECT_FALSE(FilesBelow(workspace).empty());
  const auto value = RunOnceValue();
  ASSERT_TRUE(value.has_value()) << "the removal at the next logon was withdrawn";
  EXPECT_EQ(*value, kRemovalPrefix + workspace);

  EXPECT_EQ(RunCommandLine(*value), 0u);
  DeleteRunOnceValue();
  EXPECT_FALSE(fs::exists(workspace)) << "the logon command left the workspace";
  if (fs::exists(workspace)) RemoveLeftover(workspace);
  ExpectNothingLeft();
}

// The installer hands over to a program that keeps a workspace file open and
// ends. The stub removes everything else, withdraws the logon-time removal
// and ends; the held file stays in its folder.
TEST_F(StubFault, FileHeldOpenByAProgramThatOutlivesTheInstallerStaysAndTheRestGoes) {
  SetEnv(L"QF_TEST_CHILD_MS", L"20000");
  SetEnv(L"QF_TEST_CHILD_HOLD", L"held.dat");
  SetEnv(L"QF_TEST_EXIT_CODE", L"5");
  std::vector<TestEntry> entries = {{u"Installer.exe", u"", s_installer},
                                    {u"held.dat", u"", test::Pattern(5000, 9)},
                                    {u"other.bin", u"", test::Pattern(7000, 10)},
                                    {u"deep.bin", u"sub\\deeper\\", test::Pattern(3000, 11)},
                                    {u"$Settings.ini", u"", Settings()}};
  const Observation seen = RunStub(RunOptions(Pack(entries)));
  const auto record = ReadRecord(m_record);
  DWORD child = 0;
  if (record.count("child_pid")) child = static_cast<DWORD>(std::stoul(record.at("child_pid")));

  ASSERT_TRUE(seen.exited);
  EXPECT_EQ(seen.exitCode, 5u) << "the stub ends with the installer's code";
  EXPECT_TRUE(seen.boxes.empty());
  ASSERT_EQ(record.count("child_holds"), 1u);
  EXPECT_EQ(record.at("child_holds"), "1");
  const long long lagMs =
      (static_cast<long long>(seen.exitedAt) - std::stoll(record.at("ended_at"))) / kFileTimeUnitsPerMs;
  EXPECT_LT(lagMs, 2000) << "the stub did not end after the installer";

  const auto added = NewOnes(m_before, WorkspacesOn(L"C:"));
  ASSERT_EQ(added.size(), 1u) << "the folder of the held file stays";
  EXPECT_EQ(FilesBelow(added.front()), (std::vector<std::wstring>{L"held.dat"}));
  EXPECT_FALSE(RunOnceValue().has_value()) << "the removal at the next logon is withdrawn all the same";

  if (HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, child); process != nullptr) {
    ::TerminateProcess(process, 0);
    ::WaitForSingleObject(process, 10000);
    ::CloseHandle(process);
  }
  RemoveLeftover(added.front());
  ExpectNothingLeft();
}

// The reader's limit in a whole run: the bar counts 1024 entries, the
// installer finds every file exactly, and the nested workspace goes.
TEST_F(StubFault, ThousandTwentyFourEntriesInNestedFoldersRunAndAreRemoved) {
  SetEnv(L"QF_TEST_TREE", L"1");
  const int count = static_cast<int>(package::kMaxEntries);
  std::vector<TestEntry> entries = {{u"Installer.exe", u"", s_installer}};
  for (int i = 1; i < count - 1; ++i) {
    std::u16string directory;
    for (int level = 0; level < i % 4; ++level) {
      directory += u"d" + std::u16string(1, char16_t(u'a' + (i >> level) % 7)) + u"\\";
    }
    const std::u16string name = u"e" + std::u16string(1, char16_t(u'a' + i % 26)) +
                                std::u16string(1, char16_t(u'a' + (i / 26) % 26)) +
                                std::u16string(1, char16_t(u'a' + i / 676)) + u".dat";
    entries.push_back(
        {name, directory, test::Pattern(static_cast<std::size_t>(i * 37 % 5000), static_cast<uint32_t>(i))});
  }
  entries.push_back({u"$Settings.ini", u"", Settings()});
  const std::wstring exe = Pack(entries);
  entries.pop_back();  // the settings are deleted before the installer starts

  const Observation seen = RunStub(RunOptions(exe));
  ASSERT_TRUE(seen.exited);
  EXPECT_EQ(seen.exitCode, 0u);
  EXPECT_TRUE(seen.boxes.empty());
  EXPECT_EQ(seen.rangeHigh, count);
  EXPECT_EQ(seen.lastPosition, count);
  const auto record = ReadRecord(m_record);
  ASSERT_EQ(record.count("tree_hash"), 1u) << "the installer did not run";
  EXPECT_EQ(record.at("tree_files"), std::to_string(count - 1));
  EXPECT_EQ(record.at("tree_hash"), std::to_string(ExpectedTreeHash(entries)));
  ExpectNothingLeft();
}

// Run by disk-full.sh in a prefix of its own, where C: counts as a network
// drive and D: is a small tmpfs, so that the workspace lands on D:. Once the
// first entry is written the stub is held still, D: is filled to the last
// byte, and the stub goes on.
TEST_F(StubFault, WorkspaceDriveFillingUpShowsExtractionFailedAndLeavesNothing) {
  const std::wstring drive = EnvText(L"QF_TEST_SMALL_DRIVE");
  if (drive.empty()) GTEST_SKIP() << "runs in the prefix that disk-full.sh makes";
  const std::set<std::wstring> before = WorkspacesOn(drive);
  const std::wstring filler = drive + L"\\filler.bin";
  unsigned long long filled = 0;
  bool paused = false;

  RunOptions options(Pack(WithParts(4, 8 << 20)));
  options.actAtPosition = 1;
  options.action = [&](HANDLE process) {
    const ProcessPause pause(process);
    paused = pause.Paused();
    filled = FillDrive(filler);
  };
  const Observation seen = RunStub(options);
  std::printf("filled %llu bytes of %ls while the stub was held\n", filled, drive.c_str());

  ASSERT_TRUE(seen.acted);
  EXPECT_TRUE(paused);
  EXPECT_GT(filled, 0u);
  ASSERT_TRUE(seen.exited) << "the stub hung on the full drive";
  EXPECT_EQ(seen.exitCode, 1005u);
  ASSERT_EQ(seen.boxes.size(), 1u);
  EXPECT_EQ(seen.boxes[0].caption, L"Quillfen Builder");
  EXPECT_EQ(seen.boxes[0].text, L"Extraction Failed");
  EXPECT_EQ(seen.boxes[0].icon, Icon::Stop);
  EXPECT_FALSE(fs::exists(m_record)) << "the installer must not start from a partial workspace";
  EXPECT_EQ(WorkspacesOn(drive), before) << "the workspace was left on the full drive";
  EXPECT_FALSE(RunOnceValue().has_value());
  ::DeleteFileW(filler.c_str());
}

}  // namespace
}  // namespace qf::e2e
