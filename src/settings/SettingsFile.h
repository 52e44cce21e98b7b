#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "settings/IniDocument.h"
#include "settings/SettingsSchema.h"

namespace qf::settings {

// The run's settings, read whole into memory when the object is made: a
// missing or unreadable file gives settings in which every key reads as empty.
class SettingsFile {
 public:
  explicit SettingsFile(std::u16string_view path);
  // The settings from the file's bytes, as the package holds them.
  explicit SettingsFile(std::span<const unsigned char> bytes);

  // Whether the text is UTF-16LE with its byte-order mark. Anything else (UTF-8,
  // an empty file, junk) reads as settings with every check off, so a run must
  // not go on with them.
  bool Readable() const { return m_document.ParseResult() == kIniFound; }

  const IniDocument& Document() const { return m_document; }

  // [executable] file and param, each cleared before its lookup so that an
  // absent key reads as empty. A silent run takes silentparam instead of
  // param, unless it is absent or empty. Always 1.
  int32_t GetExecutable(std::u16string& file, std::u16string& parameters, bool silent = false) const;

 private:
  IniDocument m_document;
};

}  // namespace qf::settings
