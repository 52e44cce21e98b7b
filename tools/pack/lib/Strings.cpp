#include "pack/lib/Strings.h"

#include "sys/Text.h"

namespace qf::pack {
std::string Utf8(std::u16string_view text) { return sys::Utf16ToUtf8Lossy(text); }

std::string Quoted(std::u16string_view text) {
  std::string quoted = "\"";
  quoted += Utf8(text);
  quoted += '"';
  return quoted;
}

bool IsPlainDecimal(std::u16string_view text) {
  if (text.empty() || (text.size() > 1 && text[0] == u'0')) return false;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
  }
  return true;
}

}  // namespace qf::pack
