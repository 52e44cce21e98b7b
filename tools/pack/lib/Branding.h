#pragma once

// The package author's name on the installer: the version information
// (product, company, description, versions, copyright, original file name) and
// the icon, written into the installer's copy of the stub as a new resource
// section. The stub's other resources, its record and every other section stay
// where they are; the stub's own resource section is left unreferenced.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pack/lib/SettingsText.h"
#include "package/PeImage.h"

namespace qf::pack {

inline constexpr std::size_t kMaxBrandingUnits = 255;

// The version information's texts by their key ("CompanyName"), in the order shown.
using VersionStrings = std::vector<std::pair<std::u16string, std::u16string>>;

struct Branding {
  VersionStrings strings;  // empty: the stub's own version information stays
  std::array<uint16_t, 4> version = {};
  Bytes icon;  // an .ico file's bytes; empty: the stub's own icon stays

  bool Any() const { return !strings.empty() || !icon.empty(); }
};

// "1.2.3.4", "1.2" and the like: up to four numbers below 65536. Empty on success, else why not.
std::string ParseVersion(const std::string& text, std::array<uint16_t, 4>& version);
// Why the bytes are no icon file Windows shows (empty when they are one).
std::string WhyNotAnIcon(const Bytes& icon);

// The stub with the branding; empty `error` on success.
struct Branded {
  Bytes image;
  std::string error;
};
Branded Brand(const Bytes& stub, const Branding& branding);

// What an installer shows of its branding: the version information's texts
// and file version ("1.2.3.4"), and the widths of its first icon's images as
// the images themselves give them.
struct ShownBranding {
  VersionStrings strings;
  std::string fileVersion;
  std::vector<uint32_t> iconSizes;  // in pixels
};
std::optional<ShownBranding> ReadBranding(package::PositionedBytes& image);

}  // namespace qf::pack
