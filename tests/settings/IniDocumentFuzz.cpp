// Fuzz target: any bytes parse without fault, in bounded time, into texts
// that fit the fixed widths, and every entry read back is found.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "settings/IniDocument.h"
#include "settings/TextWidth.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

bool FitsWidth(const std::u16string& text) {
  return text.size() <= qf::settings::kMaxTextUnits && text.find(u'\0') == std::u16string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qf::settings;
  const IniDocument document = IniDocument::FromBytes({data, size});
  Require(document.ParseResult() == kIniFound || document.Sections().empty());

  for (const IniSection& section : document.Sections()) {
    Require(FitsWidth(section.name));
    for (const IniEntry& entry : section.entries) {
      Require(FitsWidth(entry.key) && FitsWidth(entry.value));
      Require(entry.key.find_first_of(u"\t\r\n") == std::u16string::npos);
      Require(entry.value.find_first_of(u"\t\r\n") == std::u16string::npos);
      std::u16string out;
      Require(document.GetValue(section.name, entry.key, out) == kIniFound);
    }
    std::u16string untouched = u"untouched";
    const int32_t missing = document.GetValue(section.name, u"\t", untouched);
    Require(missing == kIniNoKey && untouched == u"untouched");
  }
  return 0;
}
