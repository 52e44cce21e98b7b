#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qf::sys {

// Strict conversions: an unpaired surrogate or invalid UTF-8 gives no result.
std::optional<std::string> Utf16ToUtf8(std::u16string_view text);
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);
// For showing text: an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8Lossy(std::u16string_view text);

// A number in decimal digits, with "-" in front when negative.
void AppendDecimal(std::u16string& out, long long value);
std::u16string DecimalText(long long value);
// "0x" and eight hexadecimal digits, as system error codes are written.
void AppendHex(std::u16string& out, uint32_t value);

// Whether two file names name the same file as Windows compares them: letter
// case ignored, by the same folding the package builder uses.
bool SameFileName(std::u16string_view a, std::u16string_view b);

}  // namespace qf::sys
