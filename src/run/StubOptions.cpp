#include "run/StubOptions.h"

#include <string_view>

#include "sys/CaseFold.h"

namespace qf::run {
namespace {

constexpr std::u16string_view kSilent = u"/S";
constexpr std::u16string_view kLog = u"/LOG=";

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
  return sys::EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
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
