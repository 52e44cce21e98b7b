#pragma once

#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qf::pack {

struct OptionDef {
  std::string_view longName;  // without "--"
  char shortName;             // 0 when there is none
  bool takesValue;
};

// Conventional options: "--name value", "--name=value", "-n value", "--"
// ending the options; "-h" and "--help" everywhere.
struct ParsedArgs {
  std::map<std::string, std::string, std::less<>> values;  // by long name; flags hold ""
  std::vector<std::string> positionals;
  bool help = false;
  std::string error;  // a usage error; empty when the arguments parse

  bool Has(std::string_view name) const { return values.find(name) != values.end(); }
  std::string Get(std::string_view name, std::string fallback = {}) const {
    const auto it = values.find(name);
    return it != values.end() ? it->second : fallback;
  }
};

ParsedArgs ParseArgs(std::span<const std::string> args, std::span<const OptionDef> definitions);

}  // namespace qf::pack
