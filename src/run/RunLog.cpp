#include "run/RunLog.h"

#include "settings/ValueList.h"
#include "sys/CaseFold.h"
#include "sys/Text.h"

namespace qf::run {
namespace {

// Whether an item of the ";" list equals the value but for the letter case.
bool ListedButForCase(std::u16string_view list, std::u16string_view value) {
  for (std::u16string_view item : settings::ListItems(list)) {
    if (sys::FoldCase(item) == sys::FoldCase(value)) return true;
  }
  return false;
}

}  // namespace

void RunLog::Write(std::initializer_list<LogPart> parts) const {
  if (m_sink == nullptr) return;
  std::u16string line;
  for (const LogPart& part : parts) {
    if (part.isNumber) {
      sys::AppendDecimal(line, part.number);
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
                   std::u16string_view source, std::u16string_view found, int32_t queryResult, bool passed,
                   uint32_t error) const {
  if (m_sink == nullptr) return;
  m_sink->WriteLine(CheckLine(section, key, accepted, source, found, queryResult, passed, error));
}

std::u16string CheckLine(std::u16string_view section, std::u16string_view key, std::u16string_view accepted,
                         std::u16string_view source, std::u16string_view found, int32_t queryResult, bool passed,
                         uint32_t error) {
  std::u16string line = u"[";
  line.append(section).append(u"] ").append(key).append(u": accepted \"").append(accepted);
  line.append(u"\", this machine \"").append(found).append(u"\"");
  if (!passed && ListedButForCase(accepted, found)) line.append(u" (differs in letter case only)");
  if (source.substr(0, 6) == u"Win32_") {
    line.append(u"; ").append(source).append(u" query result ");
    sys::AppendDecimal(line, queryResult);
    if (error != 0) sys::AppendHex(line.append(u", error "), error);
  } else {
    line.append(u"; the processor's ").append(source);
  }
  line.append(passed ? u"; passed" : u"; refused");
  return line;
}

}  // namespace qf::run
