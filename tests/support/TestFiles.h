#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace qf::test {

using Bytes = std::vector<unsigned char>;

// The system's path text for a file-system path.
std::u16string CorePath(const std::filesystem::path& path);

Bytes ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);
// Deterministic content that differs from seed to seed.
Bytes Pattern(std::size_t size, uint32_t seed);
Bytes Utf16Le(std::u16string_view text);
// The files below `root` with their contents, by "/"-separated relative path.
std::map<std::string, Bytes> FilesBelow(const std::filesystem::path& root);

// A fresh, empty directory of the test's own, removed with everything in it
// (read-only files included) when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return m_path; }
  std::u16string core() const { return CorePath(m_path); }
  std::filesystem::path operator/(const std::filesystem::path& rest) const { return m_path / rest; }

 private:
  std::filesystem::path m_path;
};

}  // namespace qf::test
