#pragma once

// Checks a settings text for what the stub would read differently from what
// its author most likely meant. The stub's reader is mirrored here, not shared:
// lines end at LF and are read in pieces of at most 1023 units, a header line
// loses its first unit and its last three, TAB, CR and LF vanish from entry
// lines, names match exactly and the first match wins.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qf::pack {

struct IniEntryView {
  std::u16string key;
  std::u16string value;
  int line = 0;
  bool hasEquals = false;
};

struct IniSectionView {
  std::u16string name;
  int line = 0;
  bool wellFormed = false;  // written exactly as "[", name, "]", CR, LF
  std::vector<IniEntryView> entries;
};

struct IniView {
  std::vector<IniSectionView> sections;
  std::vector<int> linesBeforeFirstSection;  // with text the stub passes over
  std::vector<int> splitLines;               // longer than one read of the stub

  // The stub's lookup: exact names, first section of that name holding the
  // key, first entry with that key.
  const IniEntryView* Find(std::u16string_view section, std::u16string_view key) const;
  bool HasSection(std::u16string_view section) const;
};

// The text without its byte-order mark.
IniView ReadLikeTheStub(std::u16string_view text);

struct Finding {
  int line = 0;  // 0 when the finding concerns no single line
  std::string message;
  bool error = false;  // the installer could not work: the build is refused
};

// `packagedPaths` are the paths of the packaged files below the workspace
// (directory and name joined), against which [executable] file is checked.
std::vector<Finding> LintSettings(std::u16string_view text, std::span<const std::u16string> packagedPaths);

}  // namespace qf::pack
