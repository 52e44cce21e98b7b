#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qf::settings {

// Results of IniDocument::GetValue, and of the parse inside construction.
inline constexpr int32_t kIniFound = 0;
inline constexpr int32_t kIniNoSection = 103;
inline constexpr int32_t kIniNoKey = 104;
inline constexpr int32_t kIniMissingMark = 107;

// Where each text stood, for the tools that explain a file to its author.
struct IniEntry {
  std::u16string key;
  std::u16string value;
  int line = 0;  // counted from 1
  bool hasEquals = false;
};

struct IniSection {
  std::u16string name;
  std::vector<IniEntry> entries;
  int line = 0;
  bool wellFormed = false;  // written exactly as "[", name, "]", CR, LF
};

// A small INI file stored as UTF-16LE with a byte-order mark, read once into
// memory. Sections and entries keep file order; names compare exactly, case
// included, and the first match wins.
//
// Lines are read as a C stream reads them in pieces of at most 1023 units that
// end after an LF, and a header line met while reading entries is read again
// as the start of the next section. The whole file is read into memory first;
// the pieces are then taken from there exactly as from the stream, with the
// stream's end-of-file flag.
//
// Texts longer than 255 units (section names, keys, values) are cut at 255
// units, never splitting a surrogate pair. A NUL unit ends the text it stands
// in, as it would in a fixed buffer. A path of 260 units or more is refused by
// the file layer, so the document is empty as for any file that cannot be
// opened; cutting it would read another file.
class IniDocument {
 public:
  IniDocument() = default;
  // Reads and parses the file; never fails. A file that cannot be opened, or
  // lacks the byte-order mark, gives an empty document.
  explicit IniDocument(std::u16string_view path);

  // The same parse of a file's bytes, without a file.
  static IniDocument FromBytes(std::span<const unsigned char> bytes);

  // 0 and the value in out; 103 when no section has that name; 104 when some
  // do but none has the key. On 103 and 104 out is left exactly as it was.
  int32_t GetValue(std::u16string_view section, std::u16string_view key, std::u16string& out) const;

  const std::vector<IniSection>& Sections() const { return m_sections; }
  bool Opened() const { return m_opened; }
  // 0, or 107 when the byte-order mark was missing (also for an empty file).
  int32_t ParseResult() const { return m_parseResult; }

 private:
  void Parse(std::span<const unsigned char> bytes);

  std::vector<IniSection> m_sections;
  bool m_opened = false;
  int32_t m_parseResult = kIniFound;
};

}  // namespace qf::settings
