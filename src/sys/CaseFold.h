#pragma once

#include <string>
#include <string_view>

namespace qf::sys {

// Unicode simple case folding, code point by code point: two names Windows
// treats as one ("É.txt" and "é.txt") fold to the same text. An unpaired
// surrogate stays as it is.
std::u16string FoldCase(std::u16string_view text);

// Letters a-z and A-Z compared alike, every other unit exactly: how device
// names and the stub's switches are matched.
inline char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }
inline bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

}  // namespace qf::sys
