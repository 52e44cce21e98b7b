// A package at the reader's limit: 1024 entries in nested folders, written
// exactly; and tables that claim 1024 entries but were cut short, refused
// without writing anything. Runs natively and under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "package/PackageFormat.h"
#include "package/PackageReader.h"
#include "support/PackageFixture.h"

namespace qf {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::TempDir;
using test::TestEntry;

constexpr int kEntries = static_cast<int>(package::kMaxEntries);

// 1023 files and the settings: up to four folder levels, mostly small, and
// every 64th of a size around the copy chunk's (one byte short, exactly one
// and two chunks, one byte over).
std::vector<TestEntry> ManyEntries() {
  std::vector<TestEntry> entries;
  const std::size_t chunk = package::kCopyChunkBytes;
  const std::size_t small[] = {0, 1, 700, 4096, 4097};
  const std::size_t large[] = {chunk - 1, chunk, chunk + 1, 2 * chunk, 3 * chunk + 17};
  for (int i = 0; i < kEntries - 1; ++i) {
    const std::size_t size = i % 64 == 0 ? large[(i / 64) % std::size(large)] : small[i % std::size(small)];
    std::u16string directory;
    const int depth = i % 5;
    for (int level = 0; level < depth; ++level) {
      directory += u"l" + std::u16string(1, char16_t(u'0' + level)) + u"_" +
                   std::u16string(1, char16_t(u'a' + (i / (level + 2)) % 6)) + u"\\";
    }
    const std::u16string name =
        u"f" + std::u16string(1, char16_t(u'a' + i % 26)) + std::u16string(1, char16_t(u'a' + (i / 26) % 26)) + u".bin";
    entries.push_back({name, directory, test::Pattern(size, static_cast<uint32_t>(i) + 10)});
  }
  entries.push_back({std::u16string(package::kSettingsName), u"", test::Utf16Le(u"\uFEFF[executable]\r\n")});
  return entries;
}

std::set<std::string> FilesBelow(const fs::path& root) {
  std::set<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) names.insert(e.path().lexically_relative(root).generic_string());
  }
  return names;
}

std::string Relative(const TestEntry& e) { return test::FsPath(e.directory + e.name).generic_string(); }

struct Counter {
  int calls = 0;
  static intptr_t Step(int32_t event, const PackageEntry*, void* context) {
    auto* self = static_cast<Counter*>(context);
    if (event == kEventEntryWritten) ++self->calls;
    return 0;
  }
};

TEST(ManyEntries, ThousandTwentyFourEntriesInNestedFoldersAreWrittenExactly) {
  TempDir dir;
  TempDir out;
  const auto entries = ManyEntries();
  test::WritePackage(dir / "many.exe", Bytes(512, 'S'), entries);
  PackageReader reader(test::CorePath(dir / "many.exe"));
  Counter counter;
  ASSERT_EQ(reader.ExtractAll(out.core(), &Counter::Step, &counter), ResultCode::Success);
  EXPECT_EQ(reader.GetEntryCount(), kEntries);
  EXPECT_EQ(counter.calls, kEntries);

  std::set<std::string> expected;
  for (const TestEntry& e : entries) expected.insert(Relative(e));
  // Names repeat across folders but never within one.
  ASSERT_EQ(expected.size(), entries.size());
  EXPECT_EQ(FilesBelow(out.path()), expected);
  int mismatches = 0;
  for (const TestEntry& e : entries) {
    if (test::ReadBytes(out / test::FsPath(e.directory + e.name)) != e.data && ++mismatches <= 5) {
      ADD_FAILURE() << Relative(e) << " differs from its entry";
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// The trailer says 1024, but only the last records are there: reading on
// walks into whatever lies in front of the table.
class TruncatedTable : public ::testing::Test {
 protected:
  TempDir dir;
  TempDir out;

  // `front` stands for everything in front of the records kept: the stub and
  // the data. The kept records are the last `kept` of a real 1024-entry table.
  std::u16string Write(const Bytes& front, int kept, std::size_t cutFromFirstRecord = 0) {
    Bytes file = front;
    Bytes records;
    for (int i = kEntries - kept; i < kEntries; ++i) {
      const bool last = i == kEntries - 1;
      const std::u16string name =
          last ? std::u16string(package::kSettingsName) : u"file" + std::u16string(1, u'a' + i % 26);
      test::Append(records, test::RawRecord(0, 0, name, static_cast<uint32_t>(name.size()), u"", 0));
    }
    records.erase(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(cutFromFirstRecord));
    test::Append(file, records);
    test::Append(file, test::RawTrailer(package::kMaxEntries));
    test::WriteBytes(dir / "cut.exe", file);
    return test::CorePath(dir / "cut.exe");
  }

  void ExpectRefused(const std::u16string& path) {
    PackageReader reader(path);
    EXPECT_EQ(reader.LoadTable(path), ResultCode::SignatureMismatch);
    EXPECT_EQ(reader.GetEntryCount(), 0);
    std::vector<unsigned char> settings;
    EXPECT_EQ(reader.ReadSettingsFile(settings), ResultCode::SignatureMismatch);
    EXPECT_EQ(reader.ExtractAll(out.core(), nullptr, nullptr), ResultCode::SignatureMismatch);
    EXPECT_TRUE(fs::is_empty(out.path()));
  }
};

TEST_F(TruncatedTable, NothingInFrontOfTheTrailer) { ExpectRefused(Write({}, 0)); }

TEST_F(TruncatedTable, TheWalkRunsPastTheStartOfTheFile) { ExpectRefused(Write(Bytes(64, 'S'), 10)); }

TEST_F(TruncatedTable, TheWalkRunsIntoDataWhoseLengthsAreOutOfRange) {
  ExpectRefused(Write(test::Pattern(1 << 20, 77), 10));
}

TEST_F(TruncatedTable, TheFirstKeptRecordIsCutInTheMiddle) { ExpectRefused(Write(test::Pattern(4096, 78), 3, 9)); }

// Zero bytes in front of the table read as records of zero-length names: the
// table loads, but none of those records names a file to write, so the
// extraction fails and only the real records' files appear.
TEST_F(TruncatedTable, ZeroBytesInFrontReadAsEmptyNamesAndWriteNothing) {
  constexpr int kKept = 10;
  const std::u16string path = Write(Bytes(package::kRecordFixedBytes * kEntries, 0), kKept);
  PackageReader reader(path);
  ASSERT_EQ(reader.LoadTable(path), ResultCode::Success);
  ASSERT_EQ(reader.GetEntryCount(), kEntries);
  EXPECT_TRUE(reader.GetEntry(0).name.empty());
  EXPECT_TRUE(reader.GetEntry(kEntries - kKept - 1).name.empty());
  EXPECT_EQ(reader.GetEntry(kEntries - kKept).name, u"file" + std::u16string(1, u'a' + (kEntries - kKept) % 26));

  Counter counter;
  EXPECT_EQ(reader.ExtractAll(out.core(), &Counter::Step, &counter), ResultCode::ExtractionFailed);
  EXPECT_EQ(counter.calls, kKept);
  std::set<std::string> real;
  for (int i = kEntries - kKept; i < kEntries; ++i) {
    real.insert(test::FsPath(reader.GetEntry(i).name).generic_string());
  }
  EXPECT_EQ(FilesBelow(out.path()), real);
}

}  // namespace
}  // namespace qf
