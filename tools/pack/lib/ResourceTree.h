#pragma once

// A Windows executable's resources as a flat list (type, name, language, data)
// read from its resource tree, and the tree that holds such a list, laid out
// as the contents of a section at a given relative address.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pack/lib/SettingsText.h"
#include "package/PeImage.h"

namespace qf::pack {

// A resource type or name: a number, or a text when `text` is not empty.
struct ResourceId {
  uint16_t number = 0;
  std::u16string text;
  // Texts come before numbers, as the loader searches them.
  std::strong_ordering operator<=>(const ResourceId& other) const {
    if (text.empty() != other.text.empty())
      return text.empty() ? std::strong_ordering::greater : std::strong_ordering::less;
    return text.empty() ? number <=> other.number : text.compare(other.text) <=> 0;
  }
  bool operator==(const ResourceId& other) const = default;
  bool Is(uint16_t n) const { return text.empty() && number == n; }
};

struct Resource {
  static constexpr uint16_t kIcon = 3;
  static constexpr uint16_t kGroupIcon = 14;
  static constexpr uint16_t kVersion = 16;

  ResourceId type;
  ResourceId name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  Bytes data;

  static Resource Numbered(uint16_t type, uint16_t name, uint16_t language, Bytes data) {
    Resource r;
    r.type.number = type;
    r.name.number = name;
    r.language = language;
    r.data = std::move(data);
    return r;
  }
};

// The image's resources in tree order: none for an image without a resource
// directory; no value when the tree does not hold together.
std::optional<std::vector<Resource>> ReadResources(package::PositionedBytes& image, const package::PeHeaders& pe);

// The tree holding `resources` (in any order), its data addresses counted from `rva`.
Bytes WriteResources(const std::vector<Resource>& resources, uint32_t rva);

}  // namespace qf::pack
