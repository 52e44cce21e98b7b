#pragma once

#include <string>
#include <string_view>

namespace qf::sys {

// Unicode simple case folding, code point by code point: two names Windows
// treats as one ("É.txt" and "é.txt") fold to the same text. An unpaired
// surrogate stays as it is.
std::u16string FoldCase(std::u16string_view text);

}  // namespace qf::sys
