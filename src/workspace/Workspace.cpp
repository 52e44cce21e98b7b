#include "workspace/Workspace.h"

#include <windows.h>

#include <array>
#include <optional>
#include <vector>

#include "sys/File.h"
#include "sys/Unique.h"
#include "workspace/EntryPoint.h"
#include "workspace/LogonRemoval.h"
#include "workspace/TreeEntry.h"
#include "workspace/WorkspaceDrive.h"
#include "workspace/WorkspaceName.h"
#include "workspace/WorkspaceSecurity.h"

namespace qf {
namespace {

using sys::FromWide;
using sys::Wide;

using GetDiskFreeSpaceExAFunction = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
using RtlGetVersionFunction = LONG(WINAPI*)(PRTL_OSVERSIONINFOW);

constexpr LONG kStatusSuccess = 0;
constexpr uint32_t kUnknownVersion = 0;
// Room for the removal command of a workspace; a longer value is none of ours.
constexpr std::size_t kRunOnceValueUnits = 64;

// Drive letters are made current one after another; whatever directory was
// current before, a network path included, is current again afterwards, since
// the installer is started in it.
class CurrentDirectoryKeeper {
 public:
  CurrentDirectoryKeeper() {
    const DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) return;
    std::vector<wchar_t> buffer(needed);
    const DWORD length = ::GetCurrentDirectoryW(needed, buffer.data());
    if (length > 0 && length < needed) m_saved = FromWide(buffer.data(), length);
  }
  ~CurrentDirectoryKeeper() {
    if (!m_saved.empty()) ::SetCurrentDirectoryW(Wide(m_saved));
  }
  CurrentDirectoryKeeper(const CurrentDirectoryKeeper&) = delete;
  CurrentDirectoryKeeper& operator=(const CurrentDirectoryKeeper&) = delete;

 private:
  std::u16string m_saved;
};

std::vector<DriveMeasurement> MeasureDrives() {
  // Looked up at run time: systems without it measure nothing and get no workspace.
  const auto freeSpace = LoadedEntryPoint<GetDiskFreeSpaceExAFunction>(L"kernel32.dll", "GetDiskFreeSpaceExA");
  std::vector<DriveMeasurement> drives;
  CurrentDirectoryKeeper keeper;
  for (int n = 0; n < kDriveCount; ++n) {
    const char16_t letter = static_cast<char16_t>(kFirstDriveLetter + n);
    // A drive that cannot be made current does not exist or holds no medium.
    if (!::SetCurrentDirectoryW(Wide(DriveText(letter)))) continue;
    const std::u16string root = DriveText(letter) + u"\\";
    const char narrowRoot[] = {static_cast<char>(letter), ':', '\\', '\0'};
    DriveMeasurement drive{letter, false, ::GetDriveTypeW(Wide(root)), 0};
    if (freeSpace != nullptr) {
      ULARGE_INTEGER availableToCaller{}, totalBytes{}, totalFree{};
      drive.queried = freeSpace(narrowRoot, &availableToCaller, &totalBytes, &totalFree) != 0;
      drive.totalFree = totalFree.QuadPart;
    }
    drives.push_back(drive);
  }
  return drives;
}

std::optional<uint64_t> ExecutableSize() {
  const std::u16string path = sys::ExecutablePath();
  if (path.empty()) return std::nullopt;
  return sys::File::OpenRead(path).Size();
}

// The true version: RtlGetVersion is not subject to the compatibility shims
// that make GetVersionExW report an older Windows.
uint32_t RegistryAccessMask() {
  const auto getVersion = LoadedEntryPoint<RtlGetVersionFunction>(L"ntdll.dll", "RtlGetVersion");
  RTL_OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  if (getVersion == nullptr || getVersion(&version) != kStatusSuccess) {
    return RunOnceAccessMask(kUnknownVersion, kUnknownVersion);
  }
  return RunOnceAccessMask(version.dwMajorVersion, version.dwMinorVersion);
}

void DeleteContents(const std::u16string& directory);

void CarryOut(const std::u16string& path, TreeAction action) {
  switch (action) {
    case TreeAction::Skip:
      break;
    case TreeAction::RemoveFile:
      ::SetFileAttributesW(Wide(path), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileW(Wide(path));
      break;
    case TreeAction::DeleteSubtree:
      // Clears read-only, hidden and system.
      ::SetFileAttributesW(Wide(path), FILE_ATTRIBUTE_DIRECTORY);
      DeleteContents(path);
      ::RemoveDirectoryW(Wide(path));
      break;
    case TreeAction::RemoveDirectoryLink:
      ::RemoveDirectoryW(Wide(path));
      break;
    case TreeAction::RemoveFileLink:
      ::DeleteFileW(Wide(path));
      break;
  }
}

// What cannot be deleted is passed over and stays.
void DeleteContents(const std::u16string& directory) {
  const auto pattern = SearchPattern(directory);
  if (!pattern) return;
  WIN32_FIND_DATAW entry;
  sys::UniqueFind search(::FindFirstFileW(Wide(*pattern), &entry));
  if (!search) return;
  do {
    const std::u16string name = FromWide(entry.cFileName);
    const TreeAction action = ClassifyTreeEntry(name, entry.dwFileAttributes);
    if (action == TreeAction::Skip) continue;
    // A cut path could name another file; an entry whose path does not fit stays.
    const auto path = EntryPath(directory, name);
    if (path) CarryOut(*path, action);
  } while (::FindNextFileW(search.get(), &entry));
}

using RtlGenRandomFunction = BOOLEAN(WINAPI*)(PVOID, ULONG);

// The system's cryptographic generator, RtlGenRandom, exported by advapi32 as
// SystemFunction036. advapi32 is one of the stub's own imports and a known DLL,
// so it is never taken from beside the executable.
std::optional<std::u16string> RandomName() {
  HMODULE advapi = ::GetModuleHandleW(L"advapi32.dll");
  if (advapi == nullptr) advapi = ::LoadLibraryExW(L"advapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (advapi == nullptr) return std::nullopt;
  const auto generate =
      reinterpret_cast<RtlGenRandomFunction>(reinterpret_cast<void*>(::GetProcAddress(advapi, "SystemFunction036")));
  // Enough bytes that fifteen even ones are as good as certain among them.
  std::array<uint8_t, 4 * kWorkspaceNameLength> bytes{};
  if (generate == nullptr || !generate(bytes.data(), static_cast<ULONG>(bytes.size()))) return std::nullopt;
  return WorkspaceNameFromBytes(bytes);
}

std::u16string StringValue(HKEY key, const std::u16string& name) {
  wchar_t value[kRunOnceValueUnits] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(key, Wide(name), nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return {};
  }
  return FromWide(value);
}

LONG SetString(HKEY key, const std::u16string& name, const std::u16string& text) {
  const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
  return ::RegSetValueExW(key, Wide(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes);
}

}  // namespace

Workspace::Outcome Workspace::Create() {
  m_path.clear();
  m_error = 0;
  const std::vector<DriveMeasurement> drives = MeasureDrives();
  const auto drive = ChooseWorkspaceDrive(drives);
  if (!drive) return Outcome::NoRoom;
  const auto size = ExecutableSize();
  if (!size || !HasRoomFor(drive->totalFree, *size)) return Outcome::NoRoom;

  auto security = WorkspaceSecurity::Build();
  if (!security) {
    m_error = ::GetLastError();
    return Outcome::NotCreated;
  }
  SECURITY_ATTRIBUTES attributes = security->Attributes();
  // A directory that exists already may belong to someone else, and everything
  // in a workspace is deleted at the end: only a directory made here will do.
  const auto path = CreateUniqueWorkspace(drive->letter, &RandomName, [&attributes](const std::u16string& candidate) {
    if (::CreateDirectoryW(Wide(candidate), &attributes)) return CreateOutcome::Created;
    return ::GetLastError() == ERROR_ALREADY_EXISTS ? CreateOutcome::AlreadyExists : CreateOutcome::Failed;
  });
  if (!path) {
    m_error = ::GetLastError();
    return Outcome::NotCreated;
  }

  m_path = *path;
  m_freeBytes = drive->totalFree;
  ::SetFileAttributesW(Wide(m_path), FILE_ATTRIBUTE_HIDDEN);
  m_error = static_cast<DWORD>(ScheduleRemovalAtLogon());
  return Outcome::Created;
}

LONG Workspace::ScheduleRemovalAtLogon() {
  // The command removes whatever it names at logon: only a workspace path will do.
  if (!IsWorkspacePath(m_path)) return ERROR_BAD_PATHNAME;
  const std::u16string keyPath(kRunOnceKey);
  sys::UniqueKey key;
  const LONG opened = ::RegCreateKeyExW(HKEY_CURRENT_USER, Wide(keyPath), 0, nullptr, 0, RegistryAccessMask(), nullptr,
                                        key.put(), nullptr);
  if (opened != ERROR_SUCCESS) return opened;
  const std::u16string name(kRunOnceValueName);
  if (const auto kept = RegistrationToKeep(StringValue(key.get(), name), m_path)) {
    const LONG moved = SetString(key.get(), kept->name, kept->data);
    if (moved != ERROR_SUCCESS) return moved;
  }
  return SetString(key.get(), name, RemovalCommand(m_path));
}

LONG Workspace::CancelScheduledRemoval(const std::u16string& path) {
  // Only a workspace has a value of its own, and a moved name.
  if (!IsWorkspacePath(path)) return ERROR_BAD_PATHNAME;
  const std::u16string keyPath(kRunOnceKey);
  sys::UniqueKey key;
  const LONG opened = ::RegOpenKeyExW(HKEY_CURRENT_USER, Wide(keyPath), 0, RegistryAccessMask(), key.put());
  if (opened != ERROR_SUCCESS) return opened;
  // A run's value stands under the fixed name or, once a later run moved it, under its workspace's own.
  const std::u16string names[] = {std::u16string(kRunOnceValueName), MovedValueName(path)};
  LONG result = ERROR_FILE_NOT_FOUND;
  for (const std::u16string& name : names) {
    if (!IsOwnRegistration({name, StringValue(key.get(), name)}, path)) continue;
    const LONG deleted = ::RegDeleteValueW(key.get(), Wide(name));
    if (result == ERROR_FILE_NOT_FOUND || deleted != ERROR_SUCCESS) result = deleted;
  }
  return result;
}

bool Workspace::DeleteTree(const std::u16string& path) {
  if (!CanDeleteTree(path)) return false;
  const DWORD attributes = ::GetFileAttributesW(Wide(path));
  const bool link = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (!link) DeleteContents(path);
  if (link) {
    CarryOut(path, ClassifyTreeEntry(path, attributes));
  } else {
    ::RemoveDirectoryW(Wide(path));
  }
  return true;
}

}  // namespace qf
