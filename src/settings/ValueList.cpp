#include "settings/ValueList.h"

#include <algorithm>

#include "settings/SettingsSchema.h"

namespace qf::settings {

std::vector<std::u16string_view> ListItems(std::u16string_view list) {
  std::vector<std::u16string_view> items;
  while (!list.empty()) {
    const std::size_t end = std::min(list.find(kListSeparator), list.size());
    if (end > 0) items.push_back(list.substr(0, end));
    list.remove_prefix(std::min(end + 1, list.size()));
  }
  return items;
}

bool ListContains(std::u16string_view list, std::u16string_view value) {
  const auto items = ListItems(list);
  return std::find(items.begin(), items.end(), value) != items.end();
}

}  // namespace qf::settings
