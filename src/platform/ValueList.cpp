#include "platform/ValueList.h"

#include <algorithm>

namespace qf::platform {

std::vector<std::u16string_view> ListItems(std::u16string_view list) {
  constexpr char16_t kSeparator = u';';
  std::vector<std::u16string_view> items;
  while (!list.empty()) {
    const std::size_t end = std::min(list.find(kSeparator), list.size());
    if (end > 0) items.push_back(list.substr(0, end));
    list.remove_prefix(std::min(end + 1, list.size()));
  }
  return items;
}

bool ListContains(std::u16string_view list, std::u16string_view value) {
  const auto items = ListItems(list);
  return std::find(items.begin(), items.end(), value) != items.end();
}

}  // namespace qf::platform
