#include "support/TestFiles.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <stdexcept>

#include "sys/Text.h"

namespace qf::test {
namespace fs = std::filesystem;

std::u16string CorePath(const fs::path& path) {
#ifdef _WIN32
  const std::wstring wide = path.wstring();
  return std::u16string(wide.begin(), wide.end());
#else
  return sys::Utf8ToUtf16(path.string()).value();
#endif
}

Bytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

Bytes Pattern(std::size_t size, uint32_t seed) {
  Bytes bytes(size);
  uint32_t state = seed * 2654435761u + 1;
  for (auto& b : bytes) b = static_cast<unsigned char>((state = state * 1103515245u + 12345u) >> 16);
  return bytes;
}

Bytes Utf16Le(std::u16string_view text) {
  Bytes bytes;
  for (char16_t c : text)
    bytes.insert(bytes.end(), {static_cast<unsigned char>(c), static_cast<unsigned char>(c >> 8)});
  return bytes;
}

std::map<std::string, Bytes> FilesBelow(const fs::path& root) {
  std::map<std::string, Bytes> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) files[e.path().lexically_relative(root).generic_string()] = ReadBytes(e.path());
  }
  return files;
}

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  // The clock as well: some runtimes' random_device gives the same numbers in every process.
  const auto seed = std::random_device{}() ^ std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    m_path = fs::temp_directory_path() / ("qf-" + std::to_string(seed % 1000000) + "-" + std::to_string(counter++));
    if (fs::create_directory(m_path)) return;
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
  }
  fs::remove_all(m_path, ec);
}

}  // namespace qf::test
