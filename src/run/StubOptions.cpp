#include "run/StubOptions.h"

#include <string_view>

#include "sys/CaseFold.h"

namespace qf::run {
namespace {

constexpr std::u16string_view kLog = u"/LOG=";
constexpr std::u16string_view kParams = u"/PARAMS=";

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
  return sys::EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

// The silent switches, each followed by the next one's "/".
constexpr std::u16string_view kSilentSwitches = u"/S/SILENT/VERYSILENT/Q/QUIET/";

bool IsSilentSwitch(std::u16string_view argument) {
  // One "/", in front.
  if (argument.rfind(u'/') != 0) return false;
  for (std::size_t at = 0; at + 1 < kSilentSwitches.size(); at = kSilentSwitches.find(u'/', at + 1)) {
    const std::u16string_view name = kSilentSwitches.substr(at);
    if (StartsWithIgnoringCase(argument, name.substr(0, argument.size())) && name[argument.size()] == u'/') return true;
  }
  return false;
}

// The system's splitting keeps quotes that stand inside an argument's text.
std::u16string_view Unquoted(std::u16string_view value) {
  if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"') return {value.data() + 1, value.size() - 2};
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

void StubOptions::AddParameters(std::u16string& program) const {
  if (!program.empty() && !parameters.empty()) program += u' ';
  program += parameters;
}

}  // namespace qf::run
