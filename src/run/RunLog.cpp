#include "run/RunLog.h"

#include "sys/CaseFold.h"

namespace qf::run {
namespace {

// Divides by ten in 16-bit steps, with 32-bit arithmetic only: the 32-bit stub
// then carries no 64-bit division routine. Returns the remainder.
uint32_t DivideByTen(unsigned long long& value) {
  unsigned long long quotient = 0;
  uint32_t rest = 0;
  for (int shift = 48; shift >= 0; shift -= 16) {
    const uint32_t part = rest << 16 | static_cast<uint32_t>(value >> shift & 0xFFFF);
    quotient |= static_cast<unsigned long long>(part / 10) << shift;
    rest = part % 10;
  }
  value = quotient;
  return rest;
}

void AppendNumber(std::u16string& line, long long value) {
  char16_t digits[24];
  std::size_t count = 0;
  unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value) : value;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + DivideByTen(magnitude));
  } while (magnitude != 0);
  if (value < 0) line += u'-';
  while (count > 0) line += digits[--count];
}

// Whether an item of the ";" list equals the value but for the letter case.
bool ListedButForCase(std::u16string_view list, std::u16string_view value) {
  while (!list.empty()) {
    const std::size_t end = list.find(u';');
    const std::u16string_view item = list.substr(0, end);
    if (!item.empty() && sys::FoldCase(item) == sys::FoldCase(value)) return true;
    if (end == std::u16string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return false;
}

}  // namespace

void RunLog::Write(std::initializer_list<LogPart> parts) const {
  if (m_sink == nullptr) return;
  std::u16string line;
  for (const LogPart& part : parts) {
    if (part.isNumber) {
      AppendNumber(line, part.number);
    } else {
      line.append(part.text.data, part.text.size);
    }
  }
  m_sink->WriteLine(line);
}

void RunLog::Message(const MessageText& message, bool shown) const {
  Write({shown ? std::u16string_view(u"message (shown, waits for OK): \"") : u"message (not shown, silent): \"",
         message.caption, u"\": ", message.text});
}

void RunLog::Check(std::u16string_view section, std::u16string_view key, std::u16string_view accepted,
                   std::u16string_view source, std::u16string_view found, int32_t queryResult, bool passed) const {
  if (m_sink == nullptr) return;
  m_sink->WriteLine(CheckLine(section, key, accepted, source, found, queryResult, passed));
}

std::u16string CheckLine(std::u16string_view section, std::u16string_view key, std::u16string_view accepted,
                         std::u16string_view source, std::u16string_view found, int32_t queryResult, bool passed) {
  std::u16string line = u"[";
  line.append(section).append(u"] ").append(key).append(u": accepted \"").append(accepted);
  line.append(u"\", this machine \"").append(found).append(u"\"");
  if (!passed && ListedButForCase(accepted, found)) line.append(u" (differs in letter case only)");
  if (source.substr(0, 6) == u"Win32_") {
    line.append(u"; ").append(source).append(u" query result ");
    AppendNumber(line, queryResult);
  } else {
    line.append(u"; the processor's ").append(source);
  }
  line.append(passed ? u"; passed" : u"; refused");
  return line;
}

}  // namespace qf::run
