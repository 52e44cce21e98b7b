#include "settings/IniDocument.h"

#include <optional>

#include "settings/SettingsSchema.h"
#include "settings/TextWidth.h"
#include "sys/File.h"

namespace qf::settings {
namespace {

constexpr char16_t kByteOrderMark = 0xFEFF;
constexpr char16_t kTab = 0x09;
constexpr char16_t kLineFeed = 0x0A;
constexpr char16_t kCarriageReturn = 0x0D;
constexpr char16_t kHeaderStart = u'[';
constexpr char16_t kEquals = u'=';
constexpr std::u16string_view kLineEnd = u"\r\n";
constexpr uint32_t kReadChunkBytes = 64 * 1024;

// The file's units with the read position and end-of-file flag of a C stream
// read with fgetws and moved back with fseek.
class UnitStream {
 public:
  explicit UnitStream(std::u16string_view units, std::size_t position) : m_units(units), m_position(position) {}

  // Up to and including the next LF, at most 1023 units; nothing when no unit
  // is left. Hitting the end while reading sets the end-of-file flag; a piece
  // that stops at its LF or at its length limit does not.
  std::optional<std::u16string_view> ReadLine() {
    const std::size_t start = m_position;
    m_line = m_nextLine;
    while (m_position - start < kMaxLineUnits) {
      if (m_position >= m_units.size()) {
        m_atEnd = true;
        break;
      }
      if (m_units[m_position++] == kLineFeed) {
        ++m_nextLine;
        break;
      }
    }
    if (m_position == start) return std::nullopt;
    return m_units.substr(start, m_position - start);
  }

  void MoveBack(std::size_t units) {
    m_position -= units;
    m_nextLine = m_line;
    m_atEnd = false;
  }

  bool AtEnd() const { return m_atEnd; }
  // The line the last piece read starts on.
  int Line() const { return m_line; }

 private:
  std::u16string_view m_units;
  std::size_t m_position;
  bool m_atEnd = false;
  int m_line = 1;
  int m_nextLine = 1;
};

std::u16string_view UpToNul(std::u16string_view text) { return text.substr(0, text.find(u'\0')); }

std::u16string HeaderName(std::u16string_view line) {
  const std::u16string_view text = UpToNul(line);
  // Exactly the first unit and the last three go, whatever they are.
  if (text.size() <= kHeaderFrameUnits) return {};
  return std::u16string(CutToWidth(text.substr(1, text.size() - kHeaderFrameUnits)));
}

IniEntry ParseEntry(std::u16string_view line) {
  std::u16string text;
  for (char16_t c : UpToNul(line)) {
    if (c != kTab && c != kLineFeed && c != kCarriageReturn) text.push_back(c);
  }
  const std::u16string_view rest =
      std::u16string_view(text).substr(std::min(text.find_first_not_of(kEquals), text.size()));
  const std::size_t split = rest.find(kEquals);
  if (split == std::u16string_view::npos) return {std::u16string(CutToWidth(rest)), {}, 0, false};
  return {std::u16string(CutToWidth(rest.substr(0, split))), std::u16string(CutToWidth(rest.substr(split + 1))), 0,
          true};
}

bool IsHeader(std::u16string_view line) { return line.front() == kHeaderStart; }

}  // namespace

IniDocument::IniDocument(std::u16string_view path) {
  sys::File file = sys::File::OpenRead(path);
  if (!file) return;
  m_opened = true;
  std::vector<unsigned char> bytes;
  for (;;) {
    const std::size_t used = bytes.size();
    bytes.resize(used + kReadChunkBytes);
    const int64_t got = file.Read(bytes.data() + used, kReadChunkBytes);
    bytes.resize(used + static_cast<std::size_t>(got > 0 ? got : 0));
    if (got <= 0) break;
  }
  file.Close();
  Parse(bytes);
}

IniDocument IniDocument::FromBytes(std::span<const unsigned char> bytes) {
  IniDocument document;
  document.m_opened = true;
  document.Parse(bytes);
  return document;
}

void IniDocument::Parse(std::span<const unsigned char> bytes) {
  // Units as stored, little-endian; an odd last byte is no unit, as for fgetwc.
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  if (units.empty() || units.front() != kByteOrderMark) {
    m_parseResult = kIniMissingMark;
    return;
  }
  UnitStream stream(units, 1);
  while (!stream.AtEnd()) {
    std::optional<std::u16string_view> header;
    while ((header = stream.ReadLine()) && !IsHeader(*header)) {
    }
    if (!header) break;

    const std::u16string_view shape = UpToNul(*header);
    IniSection section{
        HeaderName(*header), {}, stream.Line(), shape.size() > kHeaderFrameUnits && shape.ends_with(u"]\r\n")};
    std::optional<std::u16string_view> line;
    while ((line = stream.ReadLine()) && !IsHeader(*line)) {
      if (*line == kLineEnd) continue;
      section.entries.push_back(ParseEntry(*line));
      section.entries.back().line = stream.Line();
    }
    m_sections.push_back(std::move(section));
    // A header that ends the file is not read again, so it names no section.
    if (line && !stream.AtEnd()) stream.MoveBack(line->size());
  }
  m_parseResult = kIniFound;
}

int32_t IniDocument::GetValue(std::u16string_view section, std::u16string_view key, std::u16string& out) const {
  bool sectionSeen = false;
  for (const IniSection& s : m_sections) {
    if (s.name != section) continue;
    sectionSeen = true;
    for (const IniEntry& e : s.entries) {
      if (e.key == key) {
        out = e.value;
        return kIniFound;
      }
    }
  }
  return sectionSeen ? kIniNoKey : kIniNoSection;
}

}  // namespace qf::settings
