#include <gtest/gtest.h>

#include "support/TestFiles.h"
#include "sys/File.h"
#include "sys/Path.h"

namespace qf::sys {
namespace {

using test::Bytes;
using test::TempDir;

// A path below `dir` of exactly `length` units: `dir` + "\" + padding file name.
std::u16string PathOfLength(const TempDir& dir, std::size_t length) {
  std::u16string base = dir.core() + u"\\";
  // Component names stay under the file systems' 255-unit limit.
  while (length - base.size() > 200) {
    base += std::u16string(150, u'd');
    MakeDirectory(base);
    base += u"\\";
  }
  return base + std::u16string(length - base.size(), u'f');
}

TEST(File, RefusesPathsOf260UnitsOrMore) {
  TempDir dir;
  const std::u16string fits = PathOfLength(dir, kMaxPathUnits - 1);
  const std::u16string tooLong = PathOfLength(dir, kMaxPathUnits);
  ASSERT_EQ(fits.size(), 259u);
  ASSERT_EQ(tooLong.size(), 260u);

  EXPECT_TRUE(File::CreateWrite(fits).IsOpen());
  EXPECT_TRUE(File::OpenRead(fits).IsOpen());
  EXPECT_FALSE(File::CreateWrite(tooLong).IsOpen());
  EXPECT_FALSE(MakeDirectory(tooLong));
  EXPECT_FALSE(File::OpenRead(u"").IsOpen());
}

TEST(File, ReadOnlyFileIsNotReplaced) {
  TempDir dir;
  test::WriteBytes(dir / "old.txt", Bytes{'o', 'l', 'd'});
  const std::u16string path = dir.core() + u"\\old.txt";
  ASSERT_TRUE(SetReadOnly(path, true));
  EXPECT_FALSE(File::CreateWrite(path).IsOpen());
  EXPECT_EQ(test::ReadBytes(dir / "old.txt"), (Bytes{'o', 'l', 'd'}));
  ASSERT_TRUE(SetReadOnly(path, false));
  EXPECT_TRUE(File::CreateWrite(path).IsOpen());
  EXPECT_TRUE(test::ReadBytes(dir / "old.txt").empty());
}

TEST(File, SeeksFromEndAndReadsShortAtTheEnd) {
  TempDir dir;
  test::WriteBytes(dir / "f.bin", Bytes{1, 2, 3, 4, 5});
  File f = File::OpenRead(dir.core() + u"\\f.bin");
  ASSERT_TRUE(f);
  EXPECT_EQ(f.Size(), 5u);
  unsigned char buffer[8] = {};
  ASSERT_TRUE(f.SeekFromEnd(2));
  EXPECT_EQ(f.Read(buffer, 8), 2);
  EXPECT_EQ(buffer[0], 4);
  EXPECT_EQ(f.Read(buffer, 8), 0);
  EXPECT_TRUE(f.SeekFromEnd(5));
  EXPECT_FALSE(f.SeekFromEnd(6));  // in front of the file's start
}

TEST(File, DirectoriesAreNotOpenedAsFiles) {
  TempDir dir;
  EXPECT_FALSE(File::OpenRead(dir.core()).IsOpen());
  EXPECT_FALSE(File::CreateWrite(dir.core()).IsOpen());
  EXPECT_TRUE(MakeDirectory(dir.core() + u"\\sub"));
  EXPECT_FALSE(MakeDirectory(dir.core() + u"\\sub"));
  EXPECT_TRUE(RemoveEmptyDirectory(dir.core() + u"\\sub"));
}

TEST(File, ExecutablePathNamesThisProgram) {
  const std::u16string self = ExecutablePath();
  ASSERT_FALSE(self.empty());
  EXPECT_TRUE(File::OpenRead(self).IsOpen());
}

}  // namespace
}  // namespace qf::sys
