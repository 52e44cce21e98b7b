#include "package/PathSafety.h"

#include <array>
#include <string>

#include "sys/CaseFold.h"

namespace qf::package {
namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsForbiddenUnit(char16_t c) {
  if (c < 0x20) return true;
  switch (c) {
    case u'<':
    case u'>':
    case u':':
    case u'"':
    case u'|':
    case u'?':
    case u'*':
    case u'\\':
    case u'/':
      return true;
    default:
      return false;
  }
}

// Windows treats a device name as reserved with any extension, and ignores
// blanks before the extension: "nul.txt" and "CON .log" open devices.
bool IsDeviceName(std::u16string_view component) {
  std::u16string_view base = component.substr(0, component.find(u'.'));
  while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
  static constexpr std::array<std::u16string_view, 6> kPlain = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"};
  for (auto name : kPlain) {
    if (sys::EqualsIgnoringAsciiCase(base, name)) return true;
  }
  if (base.size() == 4) {
    const auto prefix = base.substr(0, 3);
    const char16_t digit = base[3];
    const bool numbered =
        (digit >= u'1' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' || digit == u'\u00B3';
    if (numbered && (sys::EqualsIgnoringAsciiCase(prefix, u"COM") || sys::EqualsIgnoringAsciiCase(prefix, u"LPT")))
      return true;
  }
  return false;
}

}  // namespace

NotPlain WhyNotPlainComponent(std::u16string_view component, char16_t* offending) {
  if (component.empty()) return NotPlain::Empty;
  if (component == u"." || component == u"..") return NotPlain::DotName;
  for (char16_t c : component) {
    if (!IsForbiddenUnit(c)) continue;
    if (offending != nullptr) *offending = c;
    return c < 0x20 ? NotPlain::ControlCharacter : NotPlain::ForbiddenCharacter;
  }
  const char16_t last = component.back();
  if (last == u'.' || last == u' ') return NotPlain::TrailingDotOrBlank;
  return IsDeviceName(component) ? NotPlain::DeviceName : NotPlain::No;
}

bool IsPlainComponent(std::u16string_view component) { return WhyNotPlainComponent(component) == NotPlain::No; }

namespace {

// Every component between separators is plain; with `allowTrailingEmpty` the
// text may end in one separator (a directory written as "sub\").
bool AllComponentsPlain(std::u16string_view path, bool allowTrailingEmpty) {
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i])) {
      const auto component = path.substr(start, i - start);
      const bool trailing = i == path.size() && start == path.size() && start > 0;
      if (!(trailing && allowTrailingEmpty) && !IsPlainComponent(component)) return false;
      start = i + 1;
    }
  }
  return true;
}

}  // namespace

bool IsSafeEntryPath(std::u16string_view directory, std::u16string_view name) {
  if (!IsPlainComponent(name)) return false;
  // A rooted directory (also "\\server\share", "\\?\" and "\\.\" device paths) starts
  // with an empty component; a drive ("C:") is caught by the colon.
  if (!directory.empty() && !AllComponentsPlain(directory, true)) return false;
  // The two are joined as plain text, so a directory without its final separator
  // merges with the name ("CO" and "N"): the joined path must be plain as well.
  return AllComponentsPlain(std::u16string(directory) + std::u16string(name), false);
}

}  // namespace qf::package
