#include "support/PackageFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "package/PackageWriter.h"
#include "package/StubRecord.h"
#include "sys/File.h"

namespace qf::test {

void WritePackage(const std::filesystem::path& path, const Bytes& stub, const std::vector<TestEntry>& entries,
                  bool digests) {
  sys::File out = sys::File::CreateWrite(CorePath(path));
  ASSERT_TRUE(out.IsOpen()) << path;
  package::FileSink sink(out);
  package::PackageWriter writer(sink);
  package::MemorySource stubSource(stub);
  ASSERT_EQ(writer.AppendStub(stubSource), package::WriteError::None);
  package::PositionedBytes image(stub.data(), stub.size());
  if (const auto record = package::FindStubRecord(image); record && digests) {
    ASSERT_EQ(
        writer.ReserveDigests(record->at, static_cast<uint32_t>(entries.size()), record->record.AlgorithmToRecord()),
        package::WriteError::None);
  }
  for (const TestEntry& e : entries) {
    package::MemorySource data(e.data);
    ASSERT_EQ(writer.AddEntry(e.name, e.directory, data), package::WriteError::None);
  }
  ASSERT_EQ(writer.Finish(), package::WriteError::None);
}

Bytes ReferenceSettings() {
  return Utf16Le(
      u"\uFEFF[validate]\r\ncpu=1\r\nbios=0\r\nbaseboard=1\r\n[cpu]\r\nProcessor=TavixSilicon\r\nAdvanced=\r\n"
      u"[bios]\r\nManufacturer=Tavix Corp.\r\n[baseboard]\r\nManufacturer=Tavix Corporation\r\n"
      u"[executable]\r\nfile=Installer.exe\r\nparam=-s\r\n[message]\r\n"
      u"fail=This software will install on Tavix hardware only. Please contact your vendor.\r\n");
}

int64_t Generated::Read(void* buffer, uint32_t count) {
  const auto n = static_cast<uint32_t>(std::min<uint64_t>(count, size - at));
  auto* bytes = static_cast<unsigned char*>(buffer);
  if (byteAt == nullptr) std::memset(bytes, 0, n);
  for (uint32_t i = 0; byteAt != nullptr && i < n; ++i) bytes[i] = byteAt(at + i);
  at += n;
  return n;
}

void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

void PutU32At(Bytes& bytes, std::size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<unsigned char>(value >> (8 * i));
}

static Bytes U32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

Bytes RawRecord(uint32_t offset, uint32_t size, std::u16string_view name, uint32_t n, std::u16string_view directory,
                uint32_t m) {
  Bytes r = U32(offset);
  for (const Bytes& part : {U32(size), Utf16Le(name), U32(n), Utf16Le(directory), U32(m)}) Append(r, part);
  return r;
}

Bytes RawTrailer(uint32_t count, std::u16string_view version, std::u16string_view tag) {
  Bytes t = U32(count);
  for (const Bytes& part : {Utf16Le(version), Utf16Le(tag)}) Append(t, part);
  return t;
}

}  // namespace qf::test
