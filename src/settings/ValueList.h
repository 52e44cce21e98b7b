#pragma once

#include <string_view>
#include <vector>

namespace qf::settings {

// The items of a ";"-separated list of settings: empty items are dropped and
// nothing is trimmed, so a blank belongs to its item.
std::vector<std::u16string_view> ListItems(std::u16string_view list);

// Whether an item equals the value exactly, unit by unit.
bool ListContains(std::u16string_view list, std::u16string_view value);

}  // namespace qf::settings
