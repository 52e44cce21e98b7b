#include "sys/Text.h"

#include <cstdint>

#include "sys/CaseFold.h"

namespace qf::sys {

namespace {

void PutUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

constexpr uint32_t kReplacement = 0xFFFD;

// Encodes `text`; an unpaired surrogate ends the conversion, or becomes U+FFFD when `lossy`.
std::optional<std::string> Encode(std::u16string_view text, bool lossy) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      if (!lossy) return std::nullopt;
      c = kReplacement;
    }
    PutUtf8(out, c);
  }
  return out;
}

}  // namespace

std::optional<std::string> Utf16ToUtf8(std::u16string_view text) { return Encode(text, false); }

std::string Utf16ToUtf8Lossy(std::u16string_view text) { return *Encode(text, true); }

std::optional<std::u16string> Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    uint32_t c = 0;
    std::size_t extra = 0;
    uint32_t minimum = 0;
    if (lead < 0x80) {
      c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      c = lead & 0x1F, extra = 1, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      c = lead & 0x0F, extra = 2, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      c = lead & 0x07, extra = 3, minimum = 0x10000;
    } else {
      return std::nullopt;
    }
    if (i + extra >= text.size() && extra > 0) return std::nullopt;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      c = (c << 6) | (next & 0x3F);
    }
    if (extra > 0 && (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) return std::nullopt;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += extra + 1;
  }
  return out;
}

bool SameFileName(std::u16string_view a, std::u16string_view b) { return FoldCase(a) == FoldCase(b); }

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

}  // namespace

void AppendDecimal(std::u16string& out, long long value) {
  char16_t digits[24];
  std::size_t count = 0;
  unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value) : value;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + DivideByTen(magnitude));
  } while (magnitude != 0);
  if (value < 0) out += u'-';
  while (count > 0) out += digits[--count];
}

std::u16string DecimalText(long long value) {
  std::u16string text;
  AppendDecimal(text, value);
  return text;
}

void AppendHex(std::u16string& out, uint32_t value) {
  out += u"0x";
  for (int shift = 28; shift >= 0; shift -= 4) out += u"0123456789ABCDEF"[(value >> shift) & 0xF];
}

}  // namespace qf::sys
