#include "pack/lib/SettingsLint.h"

#include <algorithm>
#include <map>
#include <optional>
#include <span>

#include "pack/lib/LockSearch.h"
#include "pack/lib/SettingsText.h"
#include "pack/lib/Strings.h"
#include "package/PackageFormat.h"
#include "package/ProgramPath.h"
#include "platform/PlatformValidator.h"
#include "settings/IniDocument.h"
#include "settings/SettingsSchema.h"
#include "settings/ValueList.h"
#include "sys/CaseFold.h"

namespace qf::pack {
namespace {

using settings::IniEntry;
using settings::IniSection;

using namespace settings::key;
using platform::kBaseFamilyWithExtension;
using platform::kMaxFamily;
using platform::kMaxModel;
using settings::kHeaderFrameUnits;
using settings::kMaxLineUnits;
using settings::kSwitchOff;
using settings::SectionKeys;
constexpr std::size_t kVendorUnits = platform::CpuIdentity::kVendorLength;

std::u16string_view TrimBlanks(std::u16string_view text) {
  while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
  return text;
}

bool IsBlank(std::u16string_view text) { return TrimBlanks(text).empty(); }

// A switch value an author most likely meant as on, though only exactly "1"
// is: a word for yes, or a number other than zero ("01", " 1", "+1").
bool ReadsLikeYes(std::u16string_view value) {
  std::u16string_view text = TrimBlanks(value);
  const std::u16string word = sys::FoldCase(text);
  for (std::u16string_view yes : {u"y", u"yes", u"true", u"on", u"enable", u"enabled"}) {
    if (word == yes) return true;
  }
  if (!text.empty() && (text.front() == u'+' || text.front() == u'-')) text.remove_prefix(1);
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; }) &&
         text.find_first_not_of(u'0') != std::u16string_view::npos;
}

// A plain decimal's value, saturated far above any family or model.
uint64_t Number(std::u16string_view digits) {
  uint64_t value = 0;
  for (char16_t c : digits) value = std::min<uint64_t>(value * 10 + (c - u'0'), 1ull << 40);
  return value;
}

// "0x19" or "19h": the value an author wrote in hexadecimal.
std::optional<uint64_t> HexValue(std::u16string_view text) {
  if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    text.remove_prefix(2);
  } else if (text.size() > 1 && (text.back() == u'h' || text.back() == u'H')) {
    text.remove_suffix(1);
  } else {
    return std::nullopt;
  }
  if (text.size() > 8) return std::nullopt;
  uint64_t value = 0;
  for (char16_t c : text) {
    const auto digit = std::u16string_view(u"0123456789abcdef").find(sys::FoldCase(std::u16string(1, c))[0]);
    if (digit == std::u16string_view::npos) return std::nullopt;
    value = value * 16 + digit;
  }
  return value;
}

// The known name the author most likely meant: letter case aside, a few
// letters away, or the start of it ("exec" for "executable").
std::optional<std::u16string_view> Closest(std::u16string_view written, std::span<const std::u16string_view> known) {
  const std::u16string a = sys::FoldCase(TrimBlanks(written));
  std::optional<std::u16string_view> best;
  std::size_t bestDistance = std::max<std::size_t>(2, a.size() / 3) + 1;
  for (std::u16string_view name : known) {
    if (name.empty()) continue;
    const std::u16string b = sys::FoldCase(name);
    // Levenshtein distance with adjacent transpositions counted once.
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
      for (std::size_t j = 1; j <= b.size(); ++j) {
        d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
        if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
          d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
    const std::size_t distance = a.size() >= 3 && b.starts_with(a) ? 1 : d[a.size()][b.size()];
    if (distance < bestDistance) {
      bestDistance = distance;
      best = name;
    }
  }
  return best;
}

// A key as the messages show it, `key`. Appended rather than `"`" + text`,
// which g++ 12 at -O3 takes for an overlapping copy (a false -Wrestrict).
std::string Ticked(std::u16string_view key) {
  std::string ticked(1, '`');
  ticked.append(Utf8(key)).push_back('`');
  return ticked;
}

std::u16string Without(std::u16string_view text, std::u16string_view units) {
  std::u16string out;
  for (char16_t c : text) {
    if (units.find(c) == std::u16string_view::npos) out.push_back(c);
  }
  return out;
}

}  // namespace

namespace {

class Linter {
 public:
  // The settings are read by the stub's own reader, which keeps where each text stood.
  Linter(std::u16string_view text, std::span<const std::u16string> packaged)
      : m_doc(settings::IniDocument::FromBytes(EncodeSettings(text))), m_packaged(packaged) {
    for (std::size_t start = 0; start < text.size();) {
      const std::size_t end = std::min(text.find(u'\n', start), text.size() - 1) + 1;
      m_lines.push_back(text.substr(start, end - start));
      start = end;
    }
  }

  std::vector<Finding> Run() {
    CheckStructure();
    CheckNames();
    CheckSwitches();
    CheckProcessor();
    CheckManufacturer(kBios);
    CheckManufacturer(kBaseboard);
    CheckExecutable();
    CheckMessage();
    CheckLock();
    std::stable_sort(m_findings.begin(), m_findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return std::move(m_findings);
  }

 private:
  void Warn(int line, std::string message) { m_findings.push_back({line, std::move(message)}); }
  void Fail(int line, std::string message) { m_findings.push_back({line, std::move(message), true}); }
  void Doubt(int line, LockRisk risk, std::string message) {
    m_findings.push_back({line, std::move(message), false, risk});
  }

  static std::string Name(std::u16string_view section, std::u16string_view key) {
    std::string name = "[";
    name += Utf8(section);
    name += "] ";
    name += Utf8(key);
    return name;
  }

  std::u16string Value(std::u16string_view section, std::u16string_view key) const {
    const IniEntry* e = Find(section, key);
    return e != nullptr ? e->value : std::u16string();
  }
  int LineOf(std::u16string_view section, std::u16string_view key) const {
    const IniEntry* e = Find(section, key);
    return e != nullptr ? e->line : 0;
  }
  bool SwitchedOn(std::u16string_view key) const { return settings::IsSwitchedOn(Value(kValidate, key)); }
  // The sections the platform check reads; [executable] and [message] are not.
  static bool InLock(std::u16string_view section) { return section != kExecutable && section != kMessage; }

  const IniEntry* Find(std::u16string_view section, std::u16string_view key) const {
    for (const IniSection& s : m_doc.Sections()) {
      if (s.name != section) continue;
      for (const IniEntry& e : s.entries) {
        if (e.key == key) return &e;
      }
    }
    return nullptr;
  }
  bool HasSection(std::u16string_view section) const {
    return std::any_of(m_doc.Sections().begin(), m_doc.Sections().end(),
                       [&](const IniSection& s) { return s.name == section; });
  }

  void CheckLength(int line, const char* what, std::size_t units) {
    if (units > settings::kMaxTextUnits) {
      Warn(line, std::string(what) + " is " + std::to_string(units) +
                     " characters long; the stub reads only its first " + std::to_string(settings::kMaxTextUnits));
    }
  }

  void CheckStructure() {
    std::size_t first = 0;
    for (; first < m_lines.size() && !m_lines[first].starts_with(u'['); ++first) {
      if (!IsBlank(Without(m_lines[first], u"\t\r\n")))
        Warn(static_cast<int>(first + 1), "text before the first section is ignored");
    }
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
      if (m_lines[i].size() > kMaxLineUnits) {
        Warn(static_cast<int>(i + 1), "the line is over " + std::to_string(kMaxLineUnits) +
                                          " characters long; the stub reads it as several lines");
      }
    }
    for (const IniSection& s : m_doc.Sections()) {
      if (!s.wellFormed) {
        Warn(s.line,
             "a section header must be \"[name]\" alone on its line; the stub reads the name " + Quoted(s.name));
      }
      CheckLength(s.line, "the section name",
                  std::max<std::size_t>(Raw(s.line).size(), kHeaderFrameUnits) - kHeaderFrameUnits);
      for (const IniEntry& e : s.entries) {
        if (!e.hasEquals && !IsBlank(e.key)) {
          Warn(e.line, "no \"=\" after " + Quoted(e.key) + "; the stub reads it as a key with an empty value");
        }
        // The reader keeps 255 units; the line says how many were written.
        std::u16string raw = Without(Raw(e.line), u"\t\r\n");
        raw.erase(0, raw.find_first_not_of(u'='));
        const std::size_t equals = std::min(raw.find(u'='), raw.size());
        CheckLength(e.line, "the key", equals);
        CheckLength(e.line, ("the value of " + Name(s.name, e.key)).c_str(),
                    raw.size() - std::min(raw.size(), equals + 1));
      }
    }
  }

  std::u16string_view Raw(int line) const {
    return line > 0 && static_cast<std::size_t>(line) <= m_lines.size() ? m_lines[static_cast<std::size_t>(line - 1)]
                                                                        : std::u16string_view();
  }

  // The sections the stub looks for, with the keys it reads in each; family
  // sections are named by the items of [cpu] Advanced.
  std::vector<SectionKeys> ExpectedSections() const {
    std::vector<SectionKeys> expected(settings::kFixedSections.begin(), settings::kFixedSections.end());
    for (std::u16string_view family : Families()) expected.push_back({family, {kModelNumber}});
    return expected;
  }

  std::vector<std::u16string_view> Families() const {
    const IniEntry* advanced = Find(kCpu, kAdvanced);
    return advanced != nullptr ? settings::ListItems(advanced->value) : std::vector<std::u16string_view>{};
  }

  void CheckNames() {
    const std::vector<SectionKeys> expected = ExpectedSections();
    std::map<std::pair<std::u16string, std::u16string>, int> seen;
    for (const IniSection& s : m_doc.Sections()) {
      const auto exact =
          std::find_if(expected.begin(), expected.end(), [&](const SectionKeys& e) { return e.section == s.name; });
      if (exact == expected.end()) {
        std::vector<std::u16string_view> names;
        for (const SectionKeys& e : expected) names.push_back(e.section);
        const auto meant = Closest(s.name, names);
        Doubt(s.line, meant && InLock(*meant) ? LockRisk::OddSetting : LockRisk::None,
              "[" + Utf8(s.name) + "] is not a section the stub reads" +
                  (meant ? "; did you mean [" + Utf8(*meant) + "]?" : ""));
        continue;
      }
      for (const IniEntry& e : s.entries) {
        if (IsBlank(e.key)) continue;
        if (std::find(exact->keys.begin(), exact->keys.end(), e.key) == exact->keys.end()) {
          const auto meant = Closest(e.key, exact->keys);
          Doubt(e.line, InLock(s.name) ? LockRisk::OddSetting : LockRisk::None,
                Ticked(e.key) + " in [" + Utf8(s.name) + "] is not a key the stub reads" +
                    (meant ? "; did you mean " + Ticked(*meant) + "?" : ""));
          continue;
        }
        const auto [it, inserted] = seen.emplace(std::make_pair(s.name, e.key), e.line);
        if (!inserted) {
          Warn(e.line, Name(s.name, e.key) + " appears again; the stub uses the first one, on line " +
                           std::to_string(it->second));
        }
      }
    }
  }

  void CheckSwitches() {
    for (std::u16string_view key : {kCpu, kBios, kBaseboard}) {
      const IniEntry* e = Find(kValidate, key);
      if (e == nullptr || settings::IsSwitchedOn(e->value) || e->value == kSwitchOff) continue;
      Doubt(e->line, ReadsLikeYes(e->value) ? LockRisk::OddSetting : LockRisk::None,
            Name(kValidate, key) + " is " + Quoted(e->value) + ": only exactly \"" + Utf8(settings::kSwitchOn) +
                "\" switches the check on, so it stays off");
    }
  }

  // Items with a blank at either end never match: items are not trimmed.
  void CheckItemBlanks(int line, std::u16string_view section, std::u16string_view key,
                       const std::vector<std::u16string_view>& items) {
    for (std::u16string_view item : items) {
      if (item.front() == u' ' || item.back() == u' ') {
        Warn(line, "item " + Quoted(item) + " of " + Name(section, key) +
                       " has a blank at its start or end; list items are not trimmed");
      }
    }
  }

  void CheckNumbers(int line, std::u16string_view section, std::u16string_view key,
                    const std::vector<std::u16string_view>& items) {
    CheckItemBlanks(line, section, key, items);
    for (std::u16string_view item : items) {
      if (IsPlainDecimal(TrimBlanks(item)) || IsBlank(item)) continue;
      std::string hint;
      if (const auto value = HexValue(TrimBlanks(item)))
        hint = "; hexadecimal " + Utf8(item) + " is " + std::to_string(*value);
      Warn(line, "item " + Quoted(item) + " of " + Name(section, key) +
                     " never matches: numbers are compared as plain decimals without leading zeros" + hint);
    }
  }

  void CheckProcessor() {
    const std::u16string processor = Value(kCpu, kProcessor);
    if (SwitchedOn(kCpu) && processor.empty()) {
      Warn(LineOf(kValidate, kCpu), "the processor check is on but [cpu] Processor is empty: it always fails");
    } else if (!processor.empty() && processor.size() != kVendorUnits) {
      Warn(LineOf(kCpu, kProcessor),
           "[cpu] Processor " + Quoted(processor) + " is not 12 characters long, as every processor vendor text is");
    }

    const IniEntry* advanced = Find(kCpu, kAdvanced);
    if (advanced == nullptr || advanced->value.empty()) return;
    const auto families = settings::ListItems(advanced->value);
    if (families.empty()) {
      Warn(advanced->line, "[cpu] Advanced lists no family, only separators: the processor check always fails");
    }
    CheckNumbers(advanced->line, kCpu, kAdvanced, families);
    for (std::u16string_view family : families) {
      // An item that never matches a family never leads to its section.
      if (!IsPlainDecimal(family)) continue;
      if (Number(family) > kMaxFamily) {
        Warn(advanced->line, "family " + Utf8(family) + " never matches: the largest family is " +
                                 std::to_string(kBaseFamilyWithExtension) +
                                 " + 16 x 255 = " + std::to_string(kMaxFamily));
        continue;
      }
      if (const uint64_t f = Number(family); f > kBaseFamilyWithExtension && (f - kBaseFamilyWithExtension) % 16 != 0) {
        const uint64_t extended = f - kBaseFamilyWithExtension;
        Warn(advanced->line, "family " + Utf8(family) +
                                 " never matches: a family above 15 is 15 + 16 x the extended family (31, 47, "
                                 "...); a family " +
                                 Utf8(family) + " as Linux shows it is 15 + " + std::to_string(extended) +
                                 ", which the stub reads as 15 + 16 x " + std::to_string(extended) + " = " +
                                 std::to_string(kBaseFamilyWithExtension + 16 * extended));
        continue;
      }
      const IniEntry* models = Find(family, kModelNumber);
      if (models == nullptr) {
        Warn(advanced->line, "family " + Quoted(family) + " of [cpu] Advanced has no " +
                                 (HasSection(family) ? "Model_Number in its section [" + Utf8(family) + "]"
                                                     : "section [" + Utf8(family) + "]") +
                                 ": no processor of that family passes");
        continue;
      }
      const auto items = settings::ListItems(models->value);
      if (items.empty()) {
        Warn(models->line, Name(family, kModelNumber) + " lists no model: no processor of that family passes");
      }
      CheckNumbers(models->line, family, kModelNumber, items);
      for (std::u16string_view model : items) {
        if (IsPlainDecimal(model) && Number(model) > kMaxModel) {
          Warn(models->line, "model " + Utf8(model) + " of " + Name(family, kModelNumber) +
                                 " never matches: the stub reads models 0 to 15");
        }
      }
    }
  }

  void CheckManufacturer(std::u16string_view section) {
    const IniEntry* e = Find(section, kManufacturer);
    const auto items = e != nullptr ? settings::ListItems(e->value) : std::vector<std::u16string_view>{};
    if (e != nullptr) CheckItemBlanks(e->line, section, kManufacturer, items);
    if (SwitchedOn(section) && items.empty()) {
      Warn(LineOf(kValidate, section), "the " + Utf8(section) + " check is on but " + Name(section, kManufacturer) +
                                           " lists no maker: only machines that report none pass");
    }
  }

  void CheckExecutable() {
    const std::u16string file = Value(kExecutable, kFile);
    const int line = LineOf(kExecutable, kFile);
    if (file.empty()) {
      Fail(line, "[executable] file is empty or missing: the installer could only show \"Invalid Installer\"");
      return;
    }
    // Read as the stub reads it.
    const std::optional<std::u16string> wanted = package::ProgramPath(file);
    if (wanted && sys::FoldCase(*wanted) == sys::FoldCase(package::kSettingsName)) {
      Warn(line, "[executable] file names the settings file, which is deleted before the program starts");
      return;
    }
    const auto names = [&](const std::u16string& packaged) {
      return wanted && sys::FoldCase(package::ProgramPath(packaged).value_or(u"")) == sys::FoldCase(*wanted);
    };
    if (std::none_of(m_packaged.begin(), m_packaged.end(), names)) {
      Fail(line, "[executable] file " + Quoted(file) +
                     " names no packaged file: the installer could only show \"Invalid Installer\"");
    }
  }

  bool AnyCheck() const { return SwitchedOn(kCpu) || SwitchedOn(kBios) || SwitchedOn(kBaseboard); }

  void CheckMessage() {
    if (AnyCheck() && Value(kMessage, kFail).empty()) {
      Warn(0, "[message] fail is empty or missing: a failed check shows an empty message box");
    }
  }

  void CheckLock() {
    if (!AnyCheck()) Doubt(0, LockRisk::AnyMachine, "No check is on: every machine is accepted");
    for (std::u16string_view check : ChecksNoMachinePasses(m_doc)) {
      Doubt(LineOf(kValidate, check), LockRisk::NoMachine,
            "the " + (check == kCpu ? std::string("processor") : Utf8(check)) +
                " check is on, but no machine passes it: the installer refuses every machine");
    }
  }

  settings::IniDocument m_doc;
  std::vector<std::u16string_view> m_lines;  // each with its LF
  std::span<const std::u16string> m_packaged;
  std::vector<Finding> m_findings;
};

}  // namespace

std::vector<Finding> LintSettings(std::u16string_view text, std::span<const std::u16string> packagedPaths) {
  return Linter(text, packagedPaths).Run();
}

}  // namespace qf::pack
