#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qf::pack {

// UTF-8 for messages and listings; an unpaired surrogate shows as U+FFFD.
std::string Utf8(std::u16string_view text);
// Quoted for messages: "text".
std::string Quoted(std::u16string_view text);

// Whether the text is a number as the stub writes one when it compares: plain
// decimal digits, no sign, no leading zero (except "0" itself), no blanks.
bool IsPlainDecimal(std::u16string_view text);

}  // namespace qf::pack
