#include "pack/lib/Args.h"

namespace qf::pack {

ParsedArgs ParseArgs(std::span<const std::string> args, std::span<const OptionDef> definitions) {
  ParsedArgs parsed;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      parsed.positionals.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      parsed.help = true;
      continue;
    }
    std::string name;
    std::string inlineValue;
    bool hasInlineValue = false;
    const OptionDef* option = nullptr;
    if (arg[1] == '-') {
      name = arg.substr(2);
      if (const auto equals = name.find('='); equals != std::string::npos) {
        inlineValue = name.substr(equals + 1);
        hasInlineValue = true;
        name.resize(equals);
      }
      for (const OptionDef& s : definitions) {
        if (s.longName == name) option = &s;
      }
    } else if (arg.size() == 2) {
      for (const OptionDef& s : definitions) {
        if (s.shortName == arg[1]) option = &s;
      }
    }
    if (option == nullptr) {
      parsed.error = "unknown option " + arg;
      return parsed;
    }
    const std::string key(option->longName);
    if (!option->takesValue) {
      if (hasInlineValue) {
        parsed.error = "option --" + key + " takes no value";
        return parsed;
      }
      parsed.values[key] = "";
      continue;
    }
    if (hasInlineValue) {
      parsed.values[key] = inlineValue;
    } else if (i + 1 < args.size()) {
      parsed.values[key] = args[++i];
    } else {
      parsed.error = "option " + arg + " needs a value";
      return parsed;
    }
  }
  return parsed;
}

}  // namespace qf::pack
