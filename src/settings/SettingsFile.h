#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "settings/IniDocument.h"

namespace qf::settings {

// Section and key names of $Settings.ini.
namespace key {
inline constexpr std::u16string_view kValidate = u"validate";
inline constexpr std::u16string_view kCpu = u"cpu";
inline constexpr std::u16string_view kBios = u"bios";
inline constexpr std::u16string_view kBaseboard = u"baseboard";
inline constexpr std::u16string_view kProcessor = u"Processor";
inline constexpr std::u16string_view kAdvanced = u"Advanced";
inline constexpr std::u16string_view kModelNumber = u"Model_Number";
inline constexpr std::u16string_view kManufacturer = u"Manufacturer";
inline constexpr std::u16string_view kExecutable = u"executable";
inline constexpr std::u16string_view kFile = u"file";
inline constexpr std::u16string_view kParam = u"param";
inline constexpr std::u16string_view kSilentParam = u"silentparam";
inline constexpr std::u16string_view kMessage = u"message";
inline constexpr std::u16string_view kFail = u"fail";
}  // namespace key

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
