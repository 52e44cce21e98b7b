#include <gtest/gtest.h>

#include "package/PackageReader.h"
#include "support/PackageFixture.h"

namespace qf {
namespace {

using test::Append;
using test::Bytes;
using test::RawRecord;
using test::RawTrailer;
using test::TempDir;

class ReaderTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::u16string Write(const std::string& name, const Bytes& bytes) {
    test::WriteBytes(dir / name, bytes);
    return test::CorePath(dir / name);
  }
  // A one-entry package made by hand, so that fields can be broken.
  std::u16string Package(const Bytes& table, const Bytes& trailer, const Bytes& data = Bytes(8, 'x')) {
    Bytes file = Bytes(16, 'S');
    Append(file, data);
    Append(file, table);
    Append(file, trailer);
    return Write("p.exe", file);
  }
};

TEST_F(ReaderTest, LoadsTheReferencePackage) {
  const auto ref = test::MakeReferencePackage();
  test::WritePackage(dir / "ref.exe", ref.stub, ref.entries);
  PackageReader reader(test::CorePath(dir / "ref.exe"));
  ASSERT_EQ(reader.LoadTable(reader.GetPackagePath()), ResultCode::Success);
  ASSERT_EQ(reader.GetEntryCount(), 3);
  EXPECT_EQ(reader.GetEntry(0).name, u"Installer.exe");
  EXPECT_EQ(reader.GetEntry(0).offset, 0x37000);
  EXPECT_EQ(reader.GetEntry(0).size, 0x14000u);
  EXPECT_EQ(reader.GetEntry(1).name, u"SetupHelper1.exe");
  EXPECT_EQ(reader.GetEntry(1).offset, 0x4B000);
  EXPECT_EQ(reader.GetEntry(1).size, 3961394u);
  EXPECT_EQ(reader.GetEntry(2).name, u"$Settings.ini");
  EXPECT_EQ(reader.GetEntry(2).offset, 0x412232);
  EXPECT_EQ(reader.GetEntry(2).size, 604u);
  EXPECT_EQ(reader.GetEntry(2).directory, u"");

  // A second load starts from an empty table and gives the same one.
  ASSERT_EQ(reader.LoadTable(reader.GetPackagePath()), ResultCode::Success);
  EXPECT_EQ(reader.GetEntryCount(), 3);
  EXPECT_EQ(reader.GetEntry(1).name, u"SetupHelper1.exe");
}

TEST_F(ReaderTest, OutcomeCodesFollowTheOrderOpenTagVersionCount) {
  PackageReader reader(u"");
  const Bytes record = RawRecord(16, 8, u"a", 1, u"", 0);
  EXPECT_EQ(reader.LoadTable(test::CorePath(dir / "missing.exe")), ResultCode::OpenFailed);
  EXPECT_EQ(reader.LoadTable(Package(record, RawTrailer(1, u"1.00", u"TavixCorp,"))), ResultCode::SignatureMismatch);
  // A wrong tag wins over a wrong version.
  EXPECT_EQ(reader.LoadTable(Package(record, RawTrailer(1, u"2.00", u"tavixCorp."))), ResultCode::SignatureMismatch);
  EXPECT_EQ(reader.LoadTable(Package(record, RawTrailer(1, u"1.01"))), ResultCode::VersionMismatch);
  EXPECT_EQ(reader.LoadTable(Package(record, RawTrailer(1, u"1 00"))), ResultCode::VersionMismatch);
  EXPECT_EQ(reader.LoadTable(Package({}, RawTrailer(0))), ResultCode::NoFiles);
  EXPECT_EQ(reader.GetEntryCount(), 0);
  EXPECT_EQ(reader.LoadTable(Package(record, RawTrailer(1))), ResultCode::Success);
  EXPECT_EQ(reader.GetEntryCount(), 1);
}

TEST_F(ReaderTest, FilesWithoutAPackageAreNotVerified) {
  PackageReader reader(u"");
  EXPECT_EQ(reader.LoadTable(Write("empty.exe", {})), ResultCode::SignatureMismatch);
  EXPECT_EQ(reader.LoadTable(Write("tiny.exe", Bytes{'M', 'Z'})), ResultCode::SignatureMismatch);
  EXPECT_EQ(reader.LoadTable(Write("stub.exe", test::Pattern(4096, 9))), ResultCode::SignatureMismatch);
  // Anything after the trailer moves the tag away from the end.
  Bytes file = Bytes(16, 'S');
  Append(file, RawRecord(0, 0, u"a", 1, u"", 0));
  Append(file, RawTrailer(1));
  file.push_back(0);
  EXPECT_EQ(reader.LoadTable(Write("appended.exe", file)), ResultCode::SignatureMismatch);
  // The trailer alone, with a count that needs records in front of the file's start.
  EXPECT_EQ(reader.LoadTable(Write("trailer.exe", RawTrailer(1))), ResultCode::SignatureMismatch);
}

TEST_F(ReaderTest, TheRunningExecutableIsNoPackage) {
  PackageReader reader;
  ASSERT_FALSE(reader.GetPackagePath().empty());
  EXPECT_EQ(reader.LoadTable(reader.GetPackagePath()), ResultCode::SignatureMismatch);
}

TEST_F(ReaderTest, AFailedLoadLeavesAnEmptyTable) {
  PackageReader reader(u"");
  ASSERT_EQ(reader.LoadTable(Package(RawRecord(16, 8, u"a", 1, u"", 0), RawTrailer(1))), ResultCode::Success);
  ASSERT_EQ(reader.GetEntryCount(), 1);
  EXPECT_EQ(reader.LoadTable(test::CorePath(dir / "missing.exe")), ResultCode::OpenFailed);
  EXPECT_EQ(reader.GetEntryCount(), 0);
  ASSERT_EQ(reader.LoadTable(Package(RawRecord(16, 8, u"a", 1, u"", 0), RawTrailer(1))), ResultCode::Success);
  EXPECT_EQ(reader.LoadTable(Package(RawRecord(16, 8, u"a", 1, u"", 0), RawTrailer(1, u"0.99"))),
            ResultCode::VersionMismatch);
  EXPECT_EQ(reader.GetEntryCount(), 0);
}

TEST_F(ReaderTest, TextsAreCutAtTheirFirstZeroCharacter) {
  PackageReader reader(u"");
  const std::u16string name(u"ab\0cd", 5);
  const std::u16string directory(u"s\0ub\\", 5);
  ASSERT_EQ(reader.LoadTable(Package(RawRecord(16, 8, name, 5, directory, 5), RawTrailer(1))), ResultCode::Success);
  EXPECT_EQ(reader.GetEntry(0).name, u"ab");
  EXPECT_EQ(reader.GetEntry(0).directory, u"s");
}

TEST_F(ReaderTest, KeepsDirectoriesAndTableOrder) {
  test::WritePackage(dir / "p.exe", Bytes(32, 'S'),
                     {{u"a.txt", u"sub\\deeper\\", Bytes{1}}, {u"b.txt", u"", {}}, {u"$Settings.ini", u"", Bytes{2}}});
  PackageReader reader(test::CorePath(dir / "p.exe"));
  ASSERT_EQ(reader.LoadTable(reader.GetPackagePath()), ResultCode::Success);
  EXPECT_EQ(reader.GetEntry(0).directory, u"sub\\deeper\\");
  EXPECT_EQ(reader.GetEntry(0).offset, 32);
  EXPECT_EQ(reader.GetEntry(1).size, 0u);
  EXPECT_EQ(reader.GetEntry(1).offset, 33);
  EXPECT_EQ(reader.GetEntry(2).offset, 33);
}

// Tables outside the format fail cleanly as "cannot be verified", with an empty table.
TEST_F(ReaderTest, RefusesTablesBeyondTheFormatsLimits) {
  PackageReader reader(u"");
  struct Case {
    const char* what;
    Bytes table;
    uint32_t count;
  };
  Bytes large(20000, 0);
  const std::vector<Case> cases = {
      {"more than 1024 entries", large, 1025},
      {"a directory over 511 characters", RawRecord(16, 8, u"a", 1, std::u16string(512, u'd'), 512), 1},
      {"a name over 511 characters", RawRecord(16, 8, std::u16string(512, u'n'), 512, u"", 0), 1},
      {"m pointing in front of the file", RawRecord(16, 8, u"a", 1, u"", 0) /* m rewritten below */, 1},
      {"an offset at 2^31", RawRecord(0x80000000u, 8, u"a", 1, u"", 0), 1},
      {"an offset at 2^32-1", RawRecord(0xFFFFFFFFu, 8, u"a", 1, u"", 0), 1},
      {"a count larger than the table", RawRecord(16, 8, u"a", 1, u"", 0), 5},
  };
  for (Case c : cases) {
    if (std::string(c.what) == "m pointing in front of the file") test::PutU32At(c.table, c.table.size() - 4, 400);
    ASSERT_EQ(reader.LoadTable(Package(RawRecord(16, 8, u"a", 1, u"", 0), RawTrailer(1))), ResultCode::Success);
    EXPECT_EQ(reader.LoadTable(Package(c.table, RawTrailer(c.count))), ResultCode::SignatureMismatch) << c.what;
    EXPECT_EQ(reader.GetEntryCount(), 0) << c.what;
  }
  // The limits themselves are inside the format.
  EXPECT_EQ(reader.LoadTable(Package(RawRecord(16, 8, std::u16string(511, u'n'), 511, std::u16string(511, u'd'), 511),
                                     RawTrailer(1))),
            ResultCode::Success);
  EXPECT_EQ(reader.LoadTable(Package(RawRecord(0x7FFFFFFF, 8, u"a", 1, u"", 0), RawTrailer(1))), ResultCode::Success);
}

TEST_F(ReaderTest, Loads1024Entries) {
  std::vector<test::TestEntry> entries;
  for (int i = 0; i < 1023; ++i) entries.push_back({u"f" + std::u16string(1, char16_t(u'a' + i % 26)), u"d\\", {}});
  entries.push_back({u"$Settings.ini", u"", Bytes{1}});
  test::WritePackage(dir / "full.exe", Bytes(8, 'S'), entries);
  PackageReader reader(test::CorePath(dir / "full.exe"));
  ASSERT_EQ(reader.LoadTable(reader.GetPackagePath()), ResultCode::Success);
  EXPECT_EQ(reader.GetEntryCount(), 1024);
  EXPECT_EQ(reader.GetEntry(1023).name, u"$Settings.ini");
  EXPECT_EQ(reader.GetEntry(0).directory, u"d\\");
}

}  // namespace
}  // namespace qf
