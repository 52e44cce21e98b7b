// An entry of 1.5 GiB extracted by `quillfen-pack extract`: byte for byte the
// entry, in the same memory as a small one. Linux only (the program's peak
// resident size comes from wait4). Needs about 3 GiB of free disk for a moment.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "package/ByteSource.h"
#include "package/PackageWriter.h"
#include "support/PackageFixture.h"
#include "sys/File.h"

namespace qf {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::TempDir;

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint32_t kLargeBytes = 1536 * kMiB;
constexpr uint32_t kSmallBytes = 1 * kMiB;
// What the program may grow by for 1535 MiB more data: nothing that scales with it.
constexpr long kConstantMemoryToleranceKiB = 1024;

// Bytes that depend on their position only, made as they are asked for, so
// that neither the writer nor the check ever holds the entry in memory.
class PositionPattern final : public package::ByteSource {
 public:
  PositionPattern(uint64_t size, uint64_t seed) : m_size(size), m_seed(seed) {}

  int64_t Read(void* buffer, uint32_t count) override {
    const uint64_t n = std::min<uint64_t>(count, m_size - m_position);
    Fill(m_position, static_cast<unsigned char*>(buffer), n);
    m_position += n;
    return static_cast<int64_t>(n);
  }

  void Fill(uint64_t position, unsigned char* out, uint64_t count) const {
    for (uint64_t i = 0; i < count; ++i) {
      const uint64_t at = position + i;
      if (at % 8 == 0 && count - i >= 8) {
        const uint64_t word = Word(at / 8);
        std::memcpy(out + i, &word, 8);
        i += 7;
      } else {
        out[i] = static_cast<unsigned char>(Word(at / 8) >> (8 * (at % 8)));
      }
    }
  }

 private:
  uint64_t Word(uint64_t index) const {
    uint64_t z = m_seed + 0x9E3779B97F4A7C15ull * (index + 1);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  uint64_t m_size;
  uint64_t m_seed;
  uint64_t m_position = 0;
};

void WriteInstaller(const fs::path& path, uint32_t size) {
  sys::File out = sys::File::CreateWrite(test::CorePath(path));
  ASSERT_TRUE(out.IsOpen());
  package::FileSink sink(out);
  package::PackageWriter writer(sink);
  const Bytes stub(4096, 'S');
  package::MemorySource stubSource(stub);
  ASSERT_EQ(writer.AppendStub(stubSource), package::WriteError::None);
  PositionPattern data(size, size);
  ASSERT_EQ(writer.AddEntry(u"large.bin", u"payload\\data\\", data), package::WriteError::None);
  const Bytes settings = test::Utf16Le(u"\uFEFF[executable]\r\nfile=large.bin\r\n");
  package::MemorySource settingsSource(settings);
  ASSERT_EQ(writer.AddEntry(u"$Settings.ini", u"", settingsSource), package::WriteError::None);
  ASSERT_EQ(writer.Finish(), package::WriteError::None);
}

struct ExtractRun {
  int status = -1;
  long peakResidentKiB = 0;
};

ExtractRun Extract(const fs::path& installer, const fs::path& folder) {
  ExtractRun run;
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    ::execl(QF_PACK_TOOL, QF_PACK_TOOL, "extract", "-o", folder.c_str(), installer.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  if (child > 0 && ::wait4(child, &status, 0, &usage) == child) {
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakResidentKiB = usage.ru_maxrss;
  }
  return run;
}

// Compares the file with the pattern, 1 MiB at a time.
::testing::AssertionResult MatchesPattern(const fs::path& path, uint32_t size) {
  std::error_code ec;
  const auto actual = fs::file_size(path, ec);
  if (ec) return ::testing::AssertionFailure() << path << " is missing";
  if (actual != size) return ::testing::AssertionFailure() << path << " has " << actual << " bytes, not " << size;
  std::ifstream in(path, std::ios::binary);
  const PositionPattern pattern(size, size);
  std::vector<unsigned char> expected(kMiB);
  std::vector<char> got(kMiB);
  for (uint64_t at = 0; at < size; at += kMiB) {
    const uint64_t n = std::min<uint64_t>(kMiB, size - at);
    pattern.Fill(at, expected.data(), n);
    if (!in.read(got.data(), static_cast<std::streamsize>(n)))
      return ::testing::AssertionFailure() << "read failed at " << at;
    if (std::memcmp(got.data(), expected.data(), n) != 0) {
      return ::testing::AssertionFailure() << "differs within the MiB at " << at;
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(LargeEntry, OnePointFiveGiBIsExtractedExactlyInTheMemoryOfASmallOne) {
  TempDir dir;
  const fs::path extracted = fs::path("payload") / "data" / "large.bin";

  WriteInstaller(dir / "small.exe", kSmallBytes);
  const ExtractRun small = Extract(dir / "small.exe", dir / "small");
  ASSERT_EQ(small.status, 0);
  ASSERT_TRUE(MatchesPattern(dir / "small" / extracted, kSmallBytes));

  WriteInstaller(dir / "large.exe", kLargeBytes);
  const ExtractRun large = Extract(dir / "large.exe", dir / "large");
  fs::remove(dir / "large.exe");
  ASSERT_EQ(large.status, 0);
  EXPECT_TRUE(MatchesPattern(dir / "large" / extracted, kLargeBytes));

  std::printf("peak resident size of quillfen-pack extract: %ld KiB for 1 MiB, %ld KiB for 1536 MiB\n",
              small.peakResidentKiB, large.peakResidentKiB);
  ::testing::Test::RecordProperty("peak_rss_kib_1mib", static_cast<int>(small.peakResidentKiB));
  ::testing::Test::RecordProperty("peak_rss_kib_1536mib", static_cast<int>(large.peakResidentKiB));
  EXPECT_LE(large.peakResidentKiB, small.peakResidentKiB + kConstantMemoryToleranceKiB);
}

}  // namespace
}  // namespace qf
