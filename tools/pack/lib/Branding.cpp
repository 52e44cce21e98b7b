#include "pack/lib/Branding.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "pack/lib/ResourceTree.h"
#include "package/LittleEndian.h"

namespace qf::pack {
namespace {

using package::PutLe32;
using package::ReadLe16;
using package::ReadLe32;

constexpr uint32_t kFixedInfoBytes = 52;
constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kFixedLayout = 0x00010000;
constexpr uint32_t kFixedFlagsMask = 0x3F;
constexpr uint32_t kOsNtWindows32 = 0x00040004;
constexpr uint32_t kFileTypeApp = 1;
constexpr uint16_t kBinaryValue = 0, kTextValue = 1;
constexpr uint32_t kUnicodeCodePage = 1200;
constexpr uint16_t kEnglishUs = 0x409;
constexpr uint16_t kFirstName = 1;  // the version information's name, and the first icon image's

constexpr uint32_t kIconDirectoryBytes = 6, kIconEntryBytes = 16, kGroupEntryBytes = 14;
constexpr uint32_t kBitmapHeaderBytes = 40;
constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

constexpr uint32_t kSectionHeaderBytes = 40;
constexpr char kResourceSection[8] = ".rsrc";
// The stub's own resource section keeps its place and bytes under another name, so that tools which
// look for resources by the section's name find the new ones.
constexpr char kRetiredSection[8] = ".unused";
constexpr uint32_t kInitializedReadable = 0x40000040;

void PutLe16(Bytes& b, std::size_t at, uint32_t value) {
  b[at] = static_cast<unsigned char>(value);
  b[at + 1] = static_cast<unsigned char>(value >> 8);
}

void Pad4(Bytes& b) { b.resize((b.size() + 3) / 4 * 4, 0); }
uint64_t Align(uint64_t value, uint32_t to) { return (value + to - 1) / to * to; }

void AppendText(Bytes& b, std::u16string_view text) {
  for (char16_t c : text) b.insert(b.end(), {static_cast<unsigned char>(c), static_cast<unsigned char>(c >> 8)});
  b.insert(b.end(), {0, 0});
}

// One block of the version information: its length, its value's length (in
// characters for texts), its type, its key, its value and its children, each
// starting on a 4-byte boundary.
Bytes Block(std::u16string_view key, uint16_t type, const Bytes& value, uint32_t valueLength,
            const std::vector<Bytes>& children = {}) {
  Bytes b(6, 0);
  AppendText(b, key);
  Pad4(b);
  b.insert(b.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    Pad4(b);
    b.insert(b.end(), child.begin(), child.end());
  }
  PutLe16(b, 0, static_cast<uint32_t>(b.size()));
  PutLe16(b, 2, valueLength);
  PutLe16(b, 4, type);
  return b;
}

Bytes VersionInfo(const Branding& branding, uint16_t language) {
  Bytes fixed(kFixedInfoBytes, 0);
  const uint32_t high = uint32_t{branding.version[0]} << 16 | branding.version[1];
  const uint32_t low = uint32_t{branding.version[2]} << 16 | branding.version[3];
  const uint32_t fields[] = {kFixedSignature, kFixedLayout, high, low, high, low, kFixedFlagsMask, 0,
                             kOsNtWindows32,  kFileTypeApp};
  for (std::size_t i = 0; i < std::size(fields); ++i) PutLe32(&fixed[4 * i], fields[i]);
  std::vector<Bytes> strings;
  for (const auto& [key, value] : branding.strings) {
    Bytes text;
    AppendText(text, value);
    strings.push_back(Block(key, kTextValue, text, static_cast<uint32_t>(value.size() + 1)));
  }
  static const char kHex[] = "0123456789ABCDEF";
  std::u16string tableKey;
  for (uint32_t v = uint32_t{language} << 16 | kUnicodeCodePage, shift = 32; shift > 0; shift -= 4) {
    tableKey.push_back(static_cast<char16_t>(kHex[(v >> (shift - 4)) & 0xF]));
  }
  Bytes translation(4, 0);
  PutLe32(translation.data(), kUnicodeCodePage << 16 | language);
  return Block(u"VS_VERSION_INFO", kBinaryValue, fixed, kFixedInfoBytes,
               {Block(u"StringFileInfo", kTextValue, {}, 0, {Block(tableKey, kTextValue, {}, 0, strings)}),
                Block(u"VarFileInfo", kTextValue, {}, 0, {Block(u"Translation", kBinaryValue, translation, 4)})});
}

// A block read back: its key, where its value and its children lie, where it ends.
struct ParsedBlock {
  std::u16string key;
  std::size_t valueAt = 0, valueEnd = 0, childrenAt = 0, end = 0;
};

std::optional<ParsedBlock> ParseBlock(const Bytes& d, std::size_t at, std::size_t limit) {
  if (at + 6 > limit || ReadLe16(&d[at]) < 6 || ReadLe16(&d[at]) > limit - at) return std::nullopt;
  ParsedBlock block;
  block.end = at + ReadLe16(&d[at]);
  std::size_t p = at + 6;
  for (; p + 2 <= block.end && ReadLe16(&d[p]) != 0; p += 2)
    block.key.push_back(static_cast<char16_t>(ReadLe16(&d[p])));
  block.valueAt = std::min<std::size_t>(Align(p + 2, 4), block.end);
  const std::size_t valueBytes = ReadLe16(&d[at + 2]) * (ReadLe16(&d[at + 4]) == kTextValue ? 2u : 1u);
  block.valueEnd = std::min(block.valueAt + valueBytes, block.end);
  block.childrenAt = std::min<std::size_t>(Align(block.valueEnd, 4), block.end);
  return block;
}

std::vector<ParsedBlock> Children(const Bytes& d, const ParsedBlock& parent) {
  std::vector<ParsedBlock> children;
  for (std::size_t at = parent.childrenAt; at < parent.end; at = Align(children.back().end, 4)) {
    const auto child = ParseBlock(d, at, parent.end);
    if (!child) break;
    children.push_back(*child);
  }
  return children;
}

void ReadVersionInfo(const Bytes& d, ShownBranding& shown) {
  const auto root = ParseBlock(d, 0, d.size());
  if (!root) return;
  if (root->valueEnd - root->valueAt >= kFixedInfoBytes && ReadLe32(&d[root->valueAt]) == kFixedSignature) {
    const uint32_t high = ReadLe32(&d[root->valueAt + 8]), low = ReadLe32(&d[root->valueAt + 12]);
    shown.fileVersion = std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." +
                        std::to_string(low >> 16) + "." + std::to_string(low & 0xFFFF);
  }
  for (const ParsedBlock& info : Children(d, *root)) {
    if (info.key != u"StringFileInfo") continue;
    for (const ParsedBlock& table : Children(d, info)) {
      for (const ParsedBlock& s : Children(d, table)) {
        std::u16string value;
        for (std::size_t p = s.valueAt; p + 2 <= s.valueEnd && ReadLe16(&d[p]) != 0; p += 2) {
          value.push_back(static_cast<char16_t>(ReadLe16(&d[p])));
        }
        shown.strings.emplace_back(s.key, value);
      }
      return;
    }
  }
}

const Resource* First(const std::vector<Resource>& resources, uint16_t type) {
  const auto it = std::find_if(resources.begin(), resources.end(), [&](const Resource& r) { return r.type.Is(type); });
  return it == resources.end() ? nullptr : &*it;
}

void Remove(std::vector<Resource>& resources, uint16_t type) {
  std::erase_if(resources, [&](const Resource& r) { return r.type.Is(type); });
}

// The width an icon image gives itself: a PNG's in its header (big-endian), a bitmap's in its own.
uint32_t ImageWidth(const Bytes& image) {
  constexpr std::size_t kPngWidthAt = 16;
  if (image.size() >= kPngWidthAt + 4 && std::memcmp(image.data(), kPngSignature, sizeof kPngSignature) == 0) {
    return uint32_t{image[kPngWidthAt]} << 24 | image[kPngWidthAt + 1] << 16 | image[kPngWidthAt + 2] << 8 |
           image[kPngWidthAt + 3];
  }
  return image.size() >= kBitmapHeaderBytes ? ReadLe32(&image[4]) : 0;
}

// The icon file's images as icon resources, and their directory as the group that names them.
void PutIcon(std::vector<Resource>& resources, const Bytes& icon, const ResourceId& group, uint16_t language) {
  const uint16_t count = ReadLe16(&icon[4]);
  Bytes directory(icon.begin(), icon.begin() + kIconDirectoryBytes);
  for (uint16_t i = 0; i < count; ++i) {
    const unsigned char* entry = &icon[kIconDirectoryBytes + kIconEntryBytes * i];
    const uint32_t bytes = ReadLe32(entry + 8), offset = ReadLe32(entry + 12);
    resources.push_back(Resource::Numbered(Resource::kIcon, static_cast<uint16_t>(kFirstName + i), language,
                                           Bytes(icon.begin() + offset, icon.begin() + offset + bytes)));
    directory.insert(directory.end(), entry, entry + kGroupEntryBytes - 2);
    directory.insert(directory.end(), {0, 0});
    PutLe16(directory, directory.size() - 2, kFirstName + i);
  }
  resources.push_back(Resource::Numbered(Resource::kGroupIcon, 0, language, directory));
  resources.back().name = group;
}

}  // namespace

std::string ParseVersion(const std::string& text, std::array<uint16_t, 4>& version) {
  version = {};
  std::size_t part = 0, start = 0;
  for (;; ++part) {
    const std::size_t end = std::min(text.find('.', start), text.size());
    const std::string_view number = std::string_view(text).substr(start, end - start);
    if (part == version.size() || number.empty() || number.size() > 5 ||
        !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::stoul(std::string(number)) > 0xFFFF) {
      return "\"" + text + "\" is no version: up to four numbers from 0 to 65535, such as 1.2.3.4";
    }
    version[part] = static_cast<uint16_t>(std::stoul(std::string(number)));
    if (end == text.size()) return {};
    start = end + 1;
  }
}

std::string WhyNotAnIcon(const Bytes& icon) {
  if (icon.size() < kIconDirectoryBytes || ReadLe16(&icon[0]) != 0 || ReadLe16(&icon[2]) != 1) {
    return "not an icon file (.ico): it does not start with an icon directory";
  }
  const uint32_t count = ReadLe16(&icon[4]);
  if (count == 0) return "the icon file holds no image";
  if (kIconDirectoryBytes + kIconEntryBytes * count > icon.size()) return "the icon file ends inside its directory";
  for (uint32_t i = 0; i < count; ++i) {
    const unsigned char* entry = &icon[kIconDirectoryBytes + kIconEntryBytes * i];
    const uint32_t bytes = ReadLe32(entry + 8), offset = ReadLe32(entry + 12);
    const std::string which = "image " + std::to_string(i + 1) + " of the icon file ";
    if (bytes == 0 || offset > icon.size() || bytes > icon.size() - offset) return which + "lies outside the file";
    const unsigned char* data = &icon[offset];
    const bool png = bytes >= sizeof kPngSignature && std::memcmp(data, kPngSignature, sizeof kPngSignature) == 0;
    if (!png && (bytes < kBitmapHeaderBytes || ReadLe32(data) != kBitmapHeaderBytes)) {
      return which + "is neither a PNG image nor a bitmap";
    }
  }
  return {};
}

Branded Brand(const Bytes& stub, const Branding& branding) {
  package::PositionedBytes image(stub.data(), stub.size());
  const auto pe = package::ReadPeHeaders(image);
  const auto layout = pe ? package::ReadImageLayout(image, *pe) : std::nullopt;
  auto resources = pe ? ReadResources(image, *pe) : std::nullopt;
  if (!layout || !resources) return {{}, "its headers or its resources do not hold together"};
  if (pe->certificatesSize != 0) return {{}, "it is signed itself; brand an unsigned stub"};
  const uint32_t sectionAlign = layout->sectionAlignment, fileAlign = layout->fileAlignment;
  if (layout->directoryCount <= package::PeImageLayout::kResourceDirectory || fileAlign == 0 ||
      (fileAlign & (fileAlign - 1)) != 0 || sectionAlign < fileAlign || (sectionAlign & (sectionAlign - 1)) != 0) {
    return {{}, "its headers leave no place for resources"};
  }
  // The new section's header goes behind the last one, in front of every section's data.
  uint64_t firstData = layout->sizeOfHeaders, imageEnd = layout->sizeOfImage;
  std::vector<uint32_t> retired;
  for (uint32_t i = 0; i < pe->sectionCount; ++i) {
    const auto s = package::ReadSection(image, *pe, i);
    if (!s) return {{}, "its section table does not hold together"};
    if (std::memcmp(s->name, kResourceSection, sizeof s->name) == 0) retired.push_back(i);
    if (s->rawSize > 0) firstData = std::min<uint64_t>(firstData, s->rawOffset);
    imageEnd = std::max<uint64_t>(imageEnd, uint64_t{s->virtualAddress} + std::max(s->virtualSize, s->rawSize));
  }
  if (pe->headersEnd + kSectionHeaderBytes > firstData) return {{}, "its headers have no room for another section"};

  const Resource* version = First(*resources, Resource::kVersion);
  const Resource* group = First(*resources, Resource::kGroupIcon);
  const uint16_t language = version ? version->language : group ? group->language : kEnglishUs;
  ResourceId groupName;
  groupName.number = kFirstName;
  if (group) groupName = group->name;
  const uint16_t groupLanguage = group ? group->language : language;
  if (!branding.strings.empty()) {
    Remove(*resources, Resource::kVersion);
    resources->push_back(Resource::Numbered(Resource::kVersion, kFirstName, language, VersionInfo(branding, language)));
  }
  if (!branding.icon.empty()) {
    Remove(*resources, Resource::kIcon);
    Remove(*resources, Resource::kGroupIcon);
    PutIcon(*resources, branding.icon, groupName, groupLanguage);
  }

  const uint64_t address = Align(imageEnd, sectionAlign), at = Align(stub.size(), fileAlign);
  const Bytes tree = WriteResources(*resources, static_cast<uint32_t>(address));
  const uint64_t rawSize = Align(tree.size(), fileAlign), sizeOfImage = address + Align(tree.size(), sectionAlign);
  if (sizeOfImage > UINT32_MAX || at + rawSize > UINT32_MAX) return {{}, "the branded stub would be too large"};

  Branded out{stub, {}};
  out.image.resize(at, 0);
  out.image.insert(out.image.end(), tree.begin(), tree.end());
  out.image.resize(at + rawSize, 0);
  const uint64_t header = package::SectionHeaderAt(*pe, pe->sectionCount);
  for (uint32_t i : retired) std::memcpy(&out.image[package::SectionHeaderAt(*pe, i)], kRetiredSection, 8);
  std::memcpy(&out.image[header], kResourceSection, sizeof kResourceSection);
  const uint32_t fields[] = {static_cast<uint32_t>(tree.size()), static_cast<uint32_t>(address),
                             static_cast<uint32_t>(rawSize), static_cast<uint32_t>(at)};
  for (std::size_t i = 0; i < std::size(fields); ++i) PutLe32(&out.image[header + 8 + 4 * i], fields[i]);
  PutLe32(&out.image[header + 36], kInitializedReadable);
  PutLe16(out.image, layout->sectionCountAt, pe->sectionCount + 1);
  PutLe32(&out.image[pe->optionalAt + package::PeImageLayout::kSizeOfImageAt], static_cast<uint32_t>(sizeOfImage));
  const uint64_t directory = layout->DirectoryAt(package::PeImageLayout::kResourceDirectory);
  PutLe32(&out.image[directory], static_cast<uint32_t>(address));
  PutLe32(&out.image[directory + 4], static_cast<uint32_t>(tree.size()));
  return out;
}

std::optional<ShownBranding> ReadBranding(package::PositionedBytes& image) {
  const auto pe = package::ReadPeHeaders(image);
  const auto resources = pe ? ReadResources(image, *pe) : std::nullopt;
  if (!resources) return std::nullopt;
  ShownBranding shown;
  if (const Resource* version = First(*resources, Resource::kVersion)) ReadVersionInfo(version->data, shown);
  if (const Resource* group = First(*resources, Resource::kGroupIcon);
      group && group->data.size() >= kIconDirectoryBytes) {
    const std::size_t count =
        std::min<std::size_t>(ReadLe16(&group->data[4]), (group->data.size() - kIconDirectoryBytes) / kGroupEntryBytes);
    for (std::size_t i = 0; i < count; ++i) {
      const uint16_t id = ReadLe16(&group->data[kIconDirectoryBytes + kGroupEntryBytes * (i + 1) - 2]);
      const auto image = std::find_if(resources->begin(), resources->end(),
                                      [&](const Resource& r) { return r.type.Is(Resource::kIcon) && r.name.Is(id); });
      if (image != resources->end()) shown.iconSizes.push_back(ImageWidth(image->data));
    }
  }
  return shown;
}

}  // namespace qf::pack
