#include "pack/lib/ResourceTree.h"

#include <map>

#include "package/LittleEndian.h"

namespace qf::pack {
namespace {

using package::ReadLe16;
using package::ReadLe32;

constexpr uint32_t kDirectoryBytes = 16;
constexpr uint32_t kEntryBytes = 8;
constexpr uint32_t kDataEntryBytes = 16;
constexpr uint32_t kNamedCountAt = 12;
constexpr uint32_t kIsSubdirectory = 0x80000000;
constexpr uint32_t kIsText = 0x80000000;
constexpr uint32_t kLevels = 3;  // type, name, language
// More than any program carries: a tree that claims more is damaged.
constexpr uint32_t kMaxResources = 4096;
constexpr uint32_t kMaxTextUnits = 256;
constexpr uint32_t kMaxDataBytes = 64u << 20;
constexpr uint32_t kDataAlignment = 8;

class TreeReader {
 public:
  TreeReader(package::PositionedBytes& image, const package::PeHeaders& pe, uint32_t rva, uint32_t size)
      : m_image(image), m_pe(pe), m_rva(rva), m_size(size) {}

  bool Read(uint32_t at, void* buffer, uint32_t count) {
    if (at > m_size || count > m_size - at) return false;
    const auto offset = package::FileOffsetOf(m_image, m_pe, m_rva + at, count);
    return offset && m_image.ReadAt(*offset, buffer, count);
  }

  bool Walk(uint32_t at, uint32_t level, Resource& path, std::vector<Resource>& out) {
    unsigned char header[kDirectoryBytes];
    if (!Read(at, header, sizeof header)) return false;
    const uint32_t named = ReadLe16(header + kNamedCountAt), count = named + ReadLe16(header + kNamedCountAt + 2);
    for (uint32_t i = 0; i < count; ++i) {
      // Directories may share their entries: every entry visited counts, so a tree that loops ends.
      if (++m_visited > kLevels * kMaxResources) return false;
      unsigned char entry[kEntryBytes];
      if (!Read(at + kDirectoryBytes + i * kEntryBytes, entry, sizeof entry)) return false;
      const uint32_t name = ReadLe32(entry), target = ReadLe32(entry + 4);
      ResourceId id;
      if ((name & kIsText) != 0) {
        if (!ReadText(name & ~kIsText, id.text)) return false;
      } else {
        id.number = static_cast<uint16_t>(name);
      }
      if (level == 0) path.type = id;
      if (level == 1) path.name = id;
      if (level == 2) path.language = id.number;
      const bool subdirectory = (target & kIsSubdirectory) != 0;
      if (subdirectory != (level + 1 < kLevels)) return false;
      if (subdirectory ? !Walk(target & ~kIsSubdirectory, level + 1, path, out) : !ReadData(target, path, out)) {
        return false;
      }
    }
    return true;
  }

 private:
  bool ReadText(uint32_t at, std::u16string& text) {
    unsigned char length[2];
    if (!Read(at, length, sizeof length) || ReadLe16(length) > kMaxTextUnits) return false;
    Bytes units(2u * ReadLe16(length));
    if (!units.empty() && !Read(at + 2, units.data(), static_cast<uint32_t>(units.size()))) return false;
    for (std::size_t i = 0; i < units.size(); i += 2) text.push_back(static_cast<char16_t>(ReadLe16(&units[i])));
    return true;
  }

  bool ReadData(uint32_t at, Resource& path, std::vector<Resource>& out) {
    unsigned char entry[kDataEntryBytes];
    if (out.size() >= kMaxResources || !Read(at, entry, sizeof entry)) return false;
    const uint32_t rva = ReadLe32(entry), size = ReadLe32(entry + 4);
    const auto offset = package::FileOffsetOf(m_image, m_pe, rva, size);
    m_dataBytes += size;
    if (m_dataBytes > kMaxDataBytes || !offset) return false;
    path.codePage = ReadLe32(entry + 8);
    path.data.assign(size, 0);
    if (size > 0 && !m_image.ReadAt(*offset, path.data.data(), size)) return false;
    out.push_back(path);
    return true;
  }

  package::PositionedBytes& m_image;
  const package::PeHeaders& m_pe;
  uint32_t m_rva, m_size;
  uint32_t m_visited = 0;
  uint64_t m_dataBytes = 0;  // all resources together, however often the tree names the same data
};

void PutLe16(Bytes& bytes, std::size_t at, uint32_t value) {
  bytes[at] = static_cast<unsigned char>(value);
  bytes[at + 1] = static_cast<unsigned char>(value >> 8);
}

bool IsText(const ResourceId& id) { return !id.text.empty(); }
bool IsText(uint16_t) { return false; }

uint32_t Align(std::size_t value, uint32_t to) { return static_cast<uint32_t>((value + to - 1) / to * to); }

}  // namespace

std::optional<std::vector<Resource>> ReadResources(package::PositionedBytes& image, const package::PeHeaders& pe) {
  const auto layout = package::ReadImageLayout(image, pe);
  unsigned char directory[8];
  if (!layout) return std::nullopt;
  std::vector<Resource> resources;
  if (layout->directoryCount <= package::PeImageLayout::kResourceDirectory) return resources;
  if (!image.ReadAt(layout->DirectoryAt(package::PeImageLayout::kResourceDirectory), directory, sizeof directory)) {
    return std::nullopt;
  }
  if (ReadLe32(directory + 4) == 0) return resources;
  Resource path;
  TreeReader reader(image, pe, ReadLe32(directory), ReadLe32(directory + 4));
  if (!reader.Walk(0, 0, path, resources)) return std::nullopt;
  return resources;
}

Bytes WriteResources(const std::vector<Resource>& resources, uint32_t rva) {
  std::map<ResourceId, std::map<ResourceId, std::map<uint16_t, const Resource*>>> tree;
  for (const Resource& r : resources) tree[r.type][r.name][r.language] = &r;

  // Directories first, level by level, then the texts, the data entries and the data.
  auto directoryBytes = [](std::size_t entries) { return kDirectoryBytes + kEntryBytes * entries; };
  uint32_t directories = static_cast<uint32_t>(directoryBytes(tree.size())), texts = 0, dataEntries = 0;
  for (const auto& [type, names] : tree) {
    directories += static_cast<uint32_t>(directoryBytes(names.size()));
    texts += type.text.empty() ? 0 : 2 + 2 * static_cast<uint32_t>(type.text.size());
    for (const auto& [name, languages] : names) {
      directories += static_cast<uint32_t>(directoryBytes(languages.size()));
      texts += name.text.empty() ? 0 : 2 + 2 * static_cast<uint32_t>(name.text.size());
      dataEntries += static_cast<uint32_t>(languages.size());
    }
  }
  uint32_t nextDirectory = 0, nextText = directories, nextEntry = Align(directories + texts, 4);
  uint32_t nextData = Align(nextEntry + dataEntries * kDataEntryBytes, kDataAlignment);
  Bytes out(nextData, 0);

  auto putId = [&](std::size_t at, const ResourceId& id) {
    if (id.text.empty()) return package::PutLe32(&out[at], id.number);
    package::PutLe32(&out[at], kIsText | nextText);
    PutLe16(out, nextText, static_cast<uint32_t>(id.text.size()));
    for (std::size_t i = 0; i < id.text.size(); ++i) PutLe16(out, nextText + 2 + 2 * i, id.text[i]);
    nextText += 2 + 2 * static_cast<uint32_t>(id.text.size());
  };
  // A directory of `children`; returns where its first entry goes.
  auto putDirectory = [&](const auto& children) {
    const uint32_t at = nextDirectory;
    std::size_t named = 0;
    for (const auto& child : children) named += IsText(child.first) ? 1 : 0;
    PutLe16(out, at + kNamedCountAt, static_cast<uint32_t>(named));
    PutLe16(out, at + kNamedCountAt + 2, static_cast<uint32_t>(children.size() - named));
    nextDirectory += static_cast<uint32_t>(directoryBytes(children.size()));
    return at + kDirectoryBytes;
  };

  uint32_t rootEntry = putDirectory(tree);
  for (const auto& [type, names] : tree) {
    putId(rootEntry, type);
    package::PutLe32(&out[rootEntry + 4], kIsSubdirectory | nextDirectory);
    rootEntry += kEntryBytes;
    uint32_t nameEntry = putDirectory(names);
    for (const auto& [name, languages] : names) {
      putId(nameEntry, name);
      package::PutLe32(&out[nameEntry + 4], kIsSubdirectory | nextDirectory);
      nameEntry += kEntryBytes;
      uint32_t languageEntry = putDirectory(languages);
      for (const auto& [language, resource] : languages) {
        package::PutLe32(&out[languageEntry], language);
        package::PutLe32(&out[languageEntry + 4], nextEntry);
        languageEntry += kEntryBytes;
        package::PutLe32(&out[nextEntry], rva + nextData);
        package::PutLe32(&out[nextEntry + 4], static_cast<uint32_t>(resource->data.size()));
        package::PutLe32(&out[nextEntry + 8], resource->codePage);
        nextEntry += kDataEntryBytes;
        out.insert(out.end(), resource->data.begin(), resource->data.end());
        nextData = Align(out.size(), kDataAlignment);
        out.resize(nextData, 0);
      }
    }
  }
  return out;
}

}  // namespace qf::pack
