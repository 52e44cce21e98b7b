// Any bytes parse without fault into texts that fit the fixed widths, keys and
// values without tabs or line ends, and every entry read back is found.
#include <cstdint>

#include "settings/IniDocument.h"
#include "settings/TextWidth.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qf::settings;
  const auto Fits = [](const std::u16string& text) {
    return text.size() <= kMaxTextUnits && text.find(u'\0') == text.npos;
  };
  const IniDocument document = IniDocument::FromBytes({data, size});
  if (document.ParseResult() != kIniFound && !document.Sections().empty()) __builtin_trap();
  for (const IniSection& section : document.Sections()) {
    if (!Fits(section.name)) __builtin_trap();
    for (const IniEntry& entry : section.entries) {
      std::u16string out;
      if (!Fits(entry.key) || !Fits(entry.value) || (entry.key + entry.value).find_first_of(u"\t\r\n") != out.npos ||
          document.GetValue(section.name, entry.key, out) != kIniFound) {
        __builtin_trap();
      }
    }
  }
  return 0;
}
