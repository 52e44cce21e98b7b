#include "pack/lib/SettingsText.h"

#include "sys/Text.h"

namespace qf::pack {
namespace {

constexpr char16_t kByteOrderMark = 0xFEFF;
constexpr uint32_t kMiB = 1024 * 1024;
constexpr unsigned char kUtf8Mark[] = {0xEF, 0xBB, 0xBF};

bool StartsWith(std::span<const unsigned char> bytes, std::initializer_list<unsigned char> prefix) {
  if (bytes.size() < prefix.size()) return false;
  std::size_t i = 0;
  for (unsigned char b : prefix) {
    if (bytes[i++] != b) return false;
  }
  return true;
}

std::optional<std::u16string> Utf16Units(std::span<const unsigned char> bytes, bool bigEndian) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    const unsigned hi = bigEndian ? bytes[i] : bytes[i + 1];
    const unsigned lo = bigEndian ? bytes[i + 1] : bytes[i];
    text.push_back(static_cast<char16_t>((hi << 8) | lo));
  }
  return text;
}

std::u16string WithCrLf(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + text.size() / 16 + 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r') {
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      out += u"\r\n";
    } else if (c == u'\n') {
      out += u"\r\n";
    } else {
      out.push_back(c);
    }
  }
  if (!out.empty() && out.back() != u'\n') out += u"\r\n";
  return out;
}

}  // namespace

std::string SettingsLimit() {
  const uint32_t limit = package::kMaxSettingsBytes;
  return "the stub reads at most " +
         (limit % kMiB == 0 ? std::to_string(limit / kMiB) + " MiB" : std::to_string(limit) + " bytes");
}

DecodedSettings DecodeSettingsSource(std::span<const unsigned char> bytes) {
  std::u16string text;
  if (StartsWith(bytes, {0xFF, 0xFE}) || StartsWith(bytes, {0xFE, 0xFF})) {
    const bool bigEndian = bytes[0] == 0xFE;
    auto units = Utf16Units(bytes.subspan(2), bigEndian);
    if (!units) return {{}, "UTF-16 text with an odd number of bytes"};
    if (!sys::Utf16ToUtf8(*units)) return {{}, "UTF-16 text with an unpaired surrogate"};
    text = std::move(*units);
  } else {
    auto body = bytes;
    if (StartsWith(bytes, {kUtf8Mark[0], kUtf8Mark[1], kUtf8Mark[2]})) body = bytes.subspan(sizeof kUtf8Mark);
    auto units = sys::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
    if (!units) return {{}, "neither UTF-8 nor UTF-16 with a byte-order mark"};
    text = std::move(*units);
  }
  if (text.find(u'\0') != std::u16string::npos) {
    return {{}, "a zero character in the text (UTF-16 without a byte-order mark?)"};
  }
  // A second mark (a file saved with a mark, then the mark typed again) would
  // become part of the first section name.
  if (!text.empty() && text.front() == kByteOrderMark) return {{}, "two byte-order marks"};
  return {WithCrLf(text), {}};
}

Bytes EncodeSettings(std::u16string_view text) {
  Bytes bytes;
  bytes.reserve(2 + 2 * text.size());
  auto put = [&](char16_t c) {
    bytes.push_back(static_cast<unsigned char>(c & 0xFF));
    bytes.push_back(static_cast<unsigned char>(c >> 8));
  };
  put(kByteOrderMark);
  for (char16_t c : text) put(c);
  return bytes;
}

std::optional<std::u16string> DecodePackedSettings(std::span<const unsigned char> bytes) {
  if (!StartsWith(bytes, {0xFF, 0xFE})) return std::nullopt;
  return Utf16Units(bytes.subspan(2, (bytes.size() - 2) & ~std::size_t{1}), false);
}

}  // namespace qf::pack
