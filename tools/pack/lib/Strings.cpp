#include "pack/lib/Strings.h"

#include "platform/ValueList.h"
#include "sys/Text.h"

namespace qf::pack {
namespace {

char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

}  // namespace

std::string Utf8(std::u16string_view text) { return sys::Utf16ToUtf8Lossy(text); }

std::string Quoted(std::u16string_view text) {
  std::string quoted = "\"";
  quoted += Utf8(text);
  quoted += '"';
  return quoted;
}

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::u16string FoldAsciiCase(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = AsciiLower(c);
  return out;
}

std::vector<std::u16string_view> SplitList(std::u16string_view value) { return platform::ListItems(value); }

bool IsPlainDecimal(std::u16string_view text) {
  if (text.empty() || (text.size() > 1 && text[0] == u'0')) return false;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
  }
  return true;
}

}  // namespace qf::pack
