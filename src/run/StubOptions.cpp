#include "run/StubOptions.h"

#include <string_view>

namespace qf::run {
namespace {

constexpr std::u16string_view kLog = u"/LOG=";
constexpr std::u16string_view kParams = u"/PARAMS=";

char16_t Upper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (Upper(text[i]) != prefix[i]) return false;
  }
  return true;
}

bool IsIgnoringCase(std::u16string_view text, std::u16string_view name) {
  return text.size() == name.size() && StartsWithIgnoringCase(text, name);
}

bool IsSilentSwitch(std::u16string_view argument) {
  if (argument.empty() || argument.front() != u'/') return false;
  argument.remove_prefix(1);
  const bool very = StartsWithIgnoringCase(argument, u"VERY");
  if (very) argument.remove_prefix(4);
  for (std::u16string_view name : {u"SILENT", u"S", u"QUIET", u"Q"}) {
    if (IsIgnoringCase(argument, name)) return !very || name.size() == 6;  // only "/VERYSILENT"
  }
  return false;
}

// The system's splitting keeps quotes that stand inside an argument's text.
std::u16string_view Unquoted(std::u16string_view value) {
  if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"') return value.substr(1, value.size() - 2);
  return value;
}

}  // namespace

void StubOptions::Apply(std::u16string_view argument) {
  if (IsSilentSwitch(argument)) {
    silent = true;
  } else if (StartsWithIgnoringCase(argument, kLog)) {
    const std::u16string_view path = Unquoted(argument.substr(kLog.size()));
    if (path.empty()) {
      log.reset();
    } else {
      log = std::u16string(path);
    }
  } else if (StartsWithIgnoringCase(argument, kParams)) {
    parameters = Unquoted(argument.substr(kParams.size()));
  }
}

std::u16string StubOptions::ProgramParameters(std::u16string_view fromSettings) const {
  std::u16string all(fromSettings);
  if (!all.empty() && !parameters.empty()) all += u' ';
  return all += parameters;
}

}  // namespace qf::run
