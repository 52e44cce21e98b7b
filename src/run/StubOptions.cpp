#include "run/StubOptions.h"

#include <string_view>

namespace qf::run {
namespace {

constexpr std::u16string_view kSilent = u"/S";
constexpr std::u16string_view kLog = u"/LOG=";

char16_t Upper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (Upper(text[i]) != prefix[i]) return false;
  }
  return true;
}

}  // namespace

void StubOptions::Apply(std::u16string_view argument) {
  if (argument.size() == kSilent.size() && StartsWithIgnoringCase(argument, kSilent)) {
    silent = true;
  } else if (StartsWithIgnoringCase(argument, kLog)) {
    std::u16string_view path = argument.substr(kLog.size());
    // The system's splitting keeps quotes that stand inside an argument's text.
    if (path.size() >= 2 && path.front() == u'"' && path.back() == u'"') path = path.substr(1, path.size() - 2);
    if (path.empty()) {
      log.reset();
    } else {
      log = std::u16string(path);
    }
  }
}

}  // namespace qf::run
