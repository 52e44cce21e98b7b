// An entry of 1.5 GiB is written and extracted byte for byte in the memory of
// a small one: neither side ever holds an entry in memory. Linux only (the
// peak resident size comes from getrusage). Needs about 3 GiB of free disk for a moment.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstring>
#include <fstream>

#include "package/PackageReader.h"
#include "package/PackageWriter.h"
#include "support/PackageFixture.h"
#include "sys/File.h"

namespace qf {
namespace {

using namespace test;

unsigned char ByteAt(uint64_t p) { return static_cast<unsigned char>((p ^ (p >> 11) ^ (p >> 23)) * 0x9D); }

// The entry is written into an installer, extracted and compared 1 MiB at a
// time; meanwhile the process grows by its buffers only.
TEST(LargeEntry, OnePointFiveGiBIsWrittenAndExtractedExactlyInConstantMemory) {
  const TempDir dir;
  const uint64_t size = 1536ull << 20;
  rusage before{}, after{};
  ::getrusage(RUSAGE_SELF, &before);
  {
    sys::File out = sys::File::CreateWrite(CorePath(dir / "setup.exe"));
    package::FileSink sink(out);
    package::PackageWriter writer(sink);
    Generated stub(4096, ByteAt), data(size, ByteAt), settings(2, ByteAt);
    ASSERT_EQ(writer.AppendStub(stub), package::WriteError::None);
    ASSERT_EQ(writer.AddEntry(u"large.bin", u"payload\\", data), package::WriteError::None);
    ASSERT_EQ(writer.AddEntry(u"$Settings.ini", u"", settings), package::WriteError::None);
    ASSERT_EQ(writer.Finish(), package::WriteError::None);
  }
  ASSERT_EQ(PackageReader(CorePath(dir / "setup.exe")).ExtractAll(CorePath(dir / "out"), nullptr, nullptr),
            ResultCode::Success);
  std::filesystem::remove(dir / "setup.exe");
  std::ifstream in(dir / "out" / "payload" / "large.bin", std::ios::binary);
  Generated expected(size, ByteAt);
  std::vector<char> want(1 << 20), got(1 << 20);
  for (int64_t n; (n = expected.Read(want.data(), 1 << 20)) > 0;) {
    ASSERT_TRUE(in.read(got.data(), n) && std::memcmp(got.data(), want.data(), n) == 0)
        << "differs within the MiB before byte " << expected.at;
  }
  EXPECT_EQ(in.peek(), EOF) << "longer than " << size;
  ::getrusage(RUSAGE_SELF, &after);
  std::printf("peak resident size: %ld KiB before, %ld KiB after\n", before.ru_maxrss, after.ru_maxrss);
  EXPECT_LE(after.ru_maxrss, before.ru_maxrss + 4096);  // KiB: a few buffers, nothing that grows with the entry
}

}  // namespace
}  // namespace qf
