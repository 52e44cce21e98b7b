#include "pack/lib/PackPlan.h"

#include <algorithm>
#include <map>
#include <set>
#include <system_error>

#include "pack/lib/Strings.h"
#include "package/PackageFormat.h"
#include "package/PathSafety.h"
#include "sys/CaseFold.h"
#include "sys/Path.h"
#include "sys/Text.h"

namespace qf::pack {
namespace fs = std::filesystem;
namespace {

constexpr char16_t kSeparator = u'\\';

std::string Display(std::u16string_view path) { return Utf8(path); }

uint64_t RecordBytesOf(const PlannedFile& f) {
  return package::RecordBytes(static_cast<uint32_t>(std::min<std::size_t>(f.name.size(), UINT32_MAX / 4)),
                              static_cast<uint32_t>(std::min<std::size_t>(f.directory.size(), UINT32_MAX / 4)));
}

// Why the directory text (components joined and ended by "\") is not plain.
std::string WhyDirectoryNotPlain(std::u16string_view directory) {
  std::size_t start = 0;
  while (start < directory.size()) {
    const std::size_t end = directory.find(kSeparator, start);
    const auto component = directory.substr(start, end - start);
    const std::string why = WhyNotPlain(component);
    if (!why.empty()) return "folder " + Quoted(component) + ": " + why;
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  return {};
}

bool IsText(const fs::path& path) {
#ifdef _WIN32
  (void)path;
  return true;
#else
  return sys::Utf8ToUtf16(path.string()).has_value();
#endif
}

}  // namespace

std::u16string CorePath(const fs::path& path) {
#ifdef _WIN32
  const std::wstring wide = path.wstring();
  return std::u16string(wide.begin(), wide.end());
#else
  // A name that is not UTF-8 shows with U+FFFD for each byte beyond ASCII;
  // CollectInputs refuses it.
  if (auto text = sys::Utf8ToUtf16(path.string())) return *text;
  std::u16string shown;
  for (unsigned char c : path.string()) shown.push_back(c < 0x80 ? c : u'\uFFFD');
  return shown;
#endif
}

fs::path FsPath(std::u16string_view path) {
#ifdef _WIN32
  return fs::path(std::wstring(path.begin(), path.end()));
#else
  return fs::path(Utf8(path));
#endif
}

std::string WhyNotPlain(std::u16string_view component) {
  char16_t unit = 0;
  switch (package::WhyNotPlainComponent(component, &unit)) {
    case package::NotPlain::No:
      return {};
    case package::NotPlain::Empty:
      return "an empty name";
    case package::NotPlain::DotName:
      return Quoted(component) + " is not a plain name";
    case package::NotPlain::ControlCharacter:
      return "a control character, which Windows forbids in names";
    case package::NotPlain::ForbiddenCharacter:
      return "the character '" + Utf8(std::u16string(1, unit)) + "', which Windows forbids in names";
    case package::NotPlain::TrailingDotOrBlank:
      return "it ends in a dot or a blank, which Windows drops from names";
    case package::NotPlain::DeviceName:
      break;
  }
  return Quoted(component) + " is a device name on Windows";
}

Collected CollectInputs(std::span<const std::u16string> inputs, const std::u16string& skip) {
  Collected out;
  const fs::path skipPath = skip.empty() ? fs::path() : FsPath(skip);
  auto skipped = [&](const fs::path& p) {
    std::error_code ec;
    return !skip.empty() && fs::equivalent(p, skipPath, ec);
  };
  auto addFile = [&](const fs::path& path, std::u16string directory, std::u16string name) {
    std::error_code ec;
    const uint64_t size = fs::file_size(path, ec);
    if (ec) {
      out.errors.push_back(Display(CorePath(path)) + ": cannot be read (" + ec.message() + ")");
    } else {
      out.files.push_back({CorePath(path), std::move(directory), std::move(name), size});
    }
  };

  for (const std::u16string& input : inputs) {
    const fs::path root = FsPath(input);
    std::error_code ec;
    const fs::file_status status = fs::status(root, ec);
    if (!fs::exists(status)) {
      out.errors.push_back(Display(input) + ": no such file or folder");
      continue;
    }
    if (fs::is_regular_file(status)) {
      if (!skipped(root)) addFile(root, u"", CorePath(root.filename()));
      continue;
    }
    if (!fs::is_directory(status)) {
      out.errors.push_back(Display(input) + ": neither a file nor a folder");
      continue;
    }

    std::set<std::u16string> folders;
    std::set<std::u16string> filled;
    fs::recursive_directory_iterator it(root, fs::directory_options::none, ec);
    // The iterator only says that it could not go on: into the folder it was at.
    fs::path reading = root;
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      const fs::directory_entry& entry = *it;
      reading = entry.path();
      const fs::path relative = entry.path().lexically_relative(root);
      std::u16string directory;
      for (auto part = relative.begin(); part != relative.end() && std::next(part) != relative.end(); ++part) {
        directory += CorePath(*part) + kSeparator;
      }
      const std::u16string name = CorePath(relative.filename());
      std::error_code kind;
      if (!IsText(relative)) {
        out.errors.push_back(Display(CorePath(entry.path())) + ": the name is not valid UTF-8");
      } else if (entry.is_symlink(kind) && entry.is_directory(kind)) {
        out.errors.push_back(Display(CorePath(entry.path())) + ": a link to a folder, which is not followed");
      } else if (entry.is_directory(kind)) {
        folders.insert(directory + name + kSeparator);
      } else if (entry.is_regular_file(kind)) {
        if (skipped(entry.path())) continue;
        addFile(entry.path(), directory, name);
        filled.insert(directory);
      } else {
        out.errors.push_back(Display(CorePath(entry.path())) + ": not a regular file");
      }
    }
    if (ec) {
      out.errors.push_back(Display(CorePath(reading)) + ": cannot be read (" + ec.message() + ")");
      continue;  // what it holds is unknown, not empty
    }
    for (const std::u16string& folder : folders) {
      const bool holdsFiles =
          std::any_of(filled.begin(), filled.end(), [&](const std::u16string& d) { return d.starts_with(folder); });
      if (!holdsFiles) {
        out.warnings.push_back(Display(input) + ": folder " + Display(folder) +
                               " holds no file and is left out (a package holds files only)");
      }
    }
  }
  std::stable_sort(out.files.begin(), out.files.end(), [](const PlannedFile& a, const PlannedFile& b) {
    return a.directory != b.directory ? a.directory < b.directory : a.name < b.name;
  });
  return out;
}

std::vector<std::string> CheckPlan(std::span<const PlannedFile> files, uint64_t stubBytes, uint64_t settingsBytes,
                                   const std::string& installer) {
  std::vector<std::string> errors;
  const std::size_t entries = files.size() + 1;
  if (entries > package::kMaxEntries) {
    errors.push_back(std::to_string(files.size()) + " files and the settings make " + std::to_string(entries) +
                     " entries; a package holds at most " + std::to_string(package::kMaxEntries));
  }

  std::map<std::u16string, const PlannedFile*> seen;
  const std::u16string settingsKey = sys::FoldCase(package::kSettingsName);
  uint64_t total =
      stubBytes + settingsBytes + package::RecordBytes(package::kSettingsName.size(), 0) + package::kTrailerSize;
  for (const PlannedFile& f : files) {
    const std::string who = Display(f.source) + ": ";
    total += f.size + RecordBytesOf(f);
    if (f.name.size() > package::kMaxTextUnits) {
      errors.push_back(who + "the name has " + std::to_string(f.name.size()) + " characters; at most " +
                       std::to_string(package::kMaxTextUnits) + " fit a package");
    }
    if (f.directory.size() > package::kMaxTextUnits) {
      errors.push_back(who + "the folder path " + Display(f.directory) + " has " + std::to_string(f.directory.size()) +
                       " characters; at most " + std::to_string(package::kMaxTextUnits) + " fit a package");
    }
    if (std::string why = WhyNotPlain(f.name); !why.empty()) {
      errors.push_back(who + why);
    } else if (std::string whyDir = WhyDirectoryNotPlain(f.directory); !whyDir.empty()) {
      errors.push_back(who + whyDir);
    } else if (!package::IsSafeEntryPath(f.directory, f.name)) {
      errors.push_back(who + "the stub refuses to extract " + Display(f.PackagedPath()));
    }
    const std::size_t extracted = kWorkspacePrefixUnits + f.directory.size() + f.name.size();
    if (extracted >= sys::kMaxPathUnits) {
      errors.push_back(who + "extracted as " + Display(f.PackagedPath()) + " below the workspace its path has " +
                       std::to_string(extracted) + " characters; Windows paths stop at " +
                       std::to_string(sys::kMaxPathUnits - 1) + " (folder and name together at most " +
                       std::to_string(sys::kMaxPathUnits - 1 - kWorkspacePrefixUnits) + ")");
    }
    const std::u16string key = sys::FoldCase(f.PackagedPath());
    if (key == settingsKey) {
      errors.push_back(who + "a file named " + Utf8(package::kSettingsName) +
                       " at the top would take the settings' place; give it as the settings file instead");
      continue;
    }
    const auto [it, inserted] = seen.emplace(key, &f);
    if (!inserted) {
      errors.push_back(who + "extracts to the same path as " + Display(it->second->source) + " (" +
                       Display(f.PackagedPath()) + "; Windows ignores letter case)");
    }
  }
  if (total > package::kOffsetLimit) {
    errors.push_back(installer + ": the installer would have " + std::to_string(total) +
                     " bytes; the stub reads at most " + std::to_string(package::kOffsetLimit) + " (2 GiB)");
  }
  return errors;
}

}  // namespace qf::pack
