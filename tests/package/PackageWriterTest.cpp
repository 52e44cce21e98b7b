#include <gtest/gtest.h>

#include <cstring>

#include "package/PackageWriter.h"
#include "support/PackageFixture.h"

namespace qf::package {
namespace {

using test::Bytes;
using test::TempDir;

uint32_t U32At(const Bytes& b, std::size_t at) {
  return b.at(at) | (b.at(at + 1) << 8) | (b.at(at + 2) << 16) | (static_cast<uint32_t>(b.at(at + 3)) << 24);
}

TEST(PackageWriter, LaysOutTheReferencePackageExactly) {
  TempDir dir;
  const auto ref = test::MakeReferencePackage();
  test::WritePackage(dir / "ref.exe", ref.stub, ref.entries);
  const Bytes file = test::ReadBytes(dir / "ref.exe");

  ASSERT_EQ(file.size(), 4269362u);
  EXPECT_TRUE(std::equal(ref.stub.begin(), ref.stub.end(), file.begin()));
  // Data back to back from the end of the stub.
  EXPECT_EQ(Bytes(file.begin() + 0x37000, file.begin() + 0x37000 + 0x14000), ref.entries[0].data);
  EXPECT_EQ(Bytes(file.begin() + 0x4B000, file.begin() + 0x4B000 + 3961394), ref.entries[1].data);
  EXPECT_EQ(Bytes(file.begin() + 0x412232, file.begin() + 0x41248E), ref.entries[2].data);
  EXPECT_EQ(file[0x412232], 0xFF);
  EXPECT_EQ(file[0x412233], 0xFE);

  // Records at 0x41248E (42 bytes), 0x4124B8 (48 bytes), 0x4124E8 (42 bytes).
  EXPECT_EQ(Bytes(file.begin() + 0x41248E, file.begin() + 0x41248E + 8),
            (Bytes{0x00, 0x70, 0x03, 0x00, 0x00, 0x40, 0x01, 0x00}));
  EXPECT_EQ(U32At(file, 0x41248E + 8 + 26), 13u);  // n of "Installer.exe"
  EXPECT_EQ(U32At(file, 0x41248E + 12 + 26), 0u);  // m
  EXPECT_EQ(U32At(file, 0x4124B8), 0x4B000u);
  EXPECT_EQ(U32At(file, 0x4124B8 + 4), 3961394u);
  EXPECT_EQ(U32At(file, 0x4124B8 + 8 + 32), 16u);
  EXPECT_EQ(U32At(file, 0x4124E8), 0x412232u);
  EXPECT_EQ(U32At(file, 0x4124E8 + 4), 604u);
  EXPECT_EQ(Bytes(file.begin() + 0x4124E8 + 8, file.begin() + 0x4124E8 + 34), test::Utf16Le(u"$Settings.ini"));

  // Trailer.
  EXPECT_EQ(U32At(file, 0x412512), 3u);
  EXPECT_EQ(Bytes(file.begin() + 0x412516, file.begin() + 0x41251E), test::Utf16Le(u"1.00"));
  EXPECT_EQ(Bytes(file.begin() + 0x41251E, file.end()), test::Utf16Le(u"TavixCorp."));
}

class WriterLimits : public ::testing::Test {
 protected:
  TempDir dir;
  sys::File out = sys::File::CreateWrite(dir.core() + u"\\out.exe");
  FileSink sink{out};
  PackageWriter writer{sink};
  Bytes stub = Bytes(64, 'S');
  Bytes one = Bytes{1};

  WriteError Add(std::u16string_view name, std::u16string_view directory = u"") {
    MemorySource data(one);
    return writer.AddEntry(name, directory, data);
  }
  void WriteStub() {
    MemorySource s(stub);
    ASSERT_EQ(writer.AppendStub(s), WriteError::None);
  }
};

TEST_F(WriterLimits, RefusesWhatTheFormatCannotHold) {
  EXPECT_EQ(Add(u"a"), WriteError::StubMissing);
  WriteStub();
  EXPECT_EQ(writer.Finish(), WriteError::NoEntries);
  EXPECT_EQ(Add(u""), WriteError::NameEmpty);
  EXPECT_EQ(Add(std::u16string(512, u'n')), WriteError::NameTooLong);
  EXPECT_EQ(Add(u"a", std::u16string(512, u'd')), WriteError::DirectoryTooLong);
  EXPECT_EQ(Add(std::u16string(511, u'n'), std::u16string(511, u'd')), WriteError::None);
}

TEST_F(WriterLimits, HoldsAtMost1024Entries) {
  WriteStub();
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(Add(u"f" + std::u16string(1, char16_t(u'a' + i % 26))), WriteError::None);
  EXPECT_EQ(Add(u"one-too-many"), WriteError::TooManyEntries);
  EXPECT_EQ(writer.Finish(), WriteError::None);
  EXPECT_EQ(writer.Finish(), WriteError::AlreadyFinished);
  EXPECT_EQ(Add(u"late"), WriteError::AlreadyFinished);
}

// Zeros without end, and a sink that only counts: sizes past the format's
// limits are tried without touching the disk.
class Zeros final : public ByteSource {
 public:
  explicit Zeros(uint64_t total) : m_left(total) {}
  int64_t Read(void* buffer, uint32_t count) override {
    const uint32_t n = m_left < count ? static_cast<uint32_t>(m_left) : count;
    std::memset(buffer, 0, n);
    m_left -= n;
    return n;
  }

 private:
  uint64_t m_left;
};

class CountingSink final : public ByteSink {
 public:
  bool Write(const void*, std::size_t count) override {
    written += count;
    return true;
  }
  uint64_t written = 0;
};

TEST(PackageWriter, StopsAnEntryOf4GiBOrMore) {
  CountingSink sink;
  PackageWriter writer(sink);
  Zeros stub(16);
  ASSERT_EQ(writer.AppendStub(stub), WriteError::None);
  Zeros largest(UINT32_MAX);
  EXPECT_EQ(writer.AddEntry(u"largest.bin", u"", largest), WriteError::None);
  Zeros tooLarge(uint64_t{UINT32_MAX} + 1);
  Zeros stub2(16);
  PackageWriter second(sink);
  ASSERT_EQ(second.AppendStub(stub2), WriteError::None);
  EXPECT_EQ(second.AddEntry(u"huge.bin", u"", tooLarge), WriteError::SizeTooLarge);
}

TEST(PackageWriter, RefusesDataStartingAt2GiB) {
  CountingSink sink;
  PackageWriter writer(sink);
  Zeros stub(0x7FFFFFFF);
  ASSERT_EQ(writer.AppendStub(stub), WriteError::None);
  Zeros one(1);
  ASSERT_EQ(writer.AddEntry(u"last-below-2GiB.bin", u"", one), WriteError::None);  // offset 0x7FFFFFFF
  Zeros another(1);
  EXPECT_EQ(writer.AddEntry(u"at-2GiB.bin", u"", another), WriteError::OffsetTooLarge);
  EXPECT_EQ(writer.Finish(), WriteError::None);
}

class FailingSink final : public ByteSink {
 public:
  bool Write(const void*, std::size_t) override { return false; }
};

TEST(PackageWriter, ReportsAFailedWrite) {
  FailingSink sink;
  PackageWriter writer(sink);
  Zeros stub(16);
  EXPECT_EQ(writer.AppendStub(stub), WriteError::WriteFailed);
}

}  // namespace
}  // namespace qf::package
