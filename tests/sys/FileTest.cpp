#include <gtest/gtest.h>

#include "support/TestFiles.h"
#include "sys/File.h"
#include "sys/Path.h"

namespace qf::sys {
namespace {

using test::Bytes;

// Paths travel in 260-unit buffers: the longest usable one has 259 units.
TEST(File, LongPathsAndFilesThatMustNotBeReplacedAreRefused) {
  test::TempDir dir;
  // A directory of 200 units brings the path near the limit without a name past 255 units.
  const std::u16string base = dir.core() + u"\\" + std::u16string(200, u'd') + u"\\";
  ASSERT_TRUE(base.size() < kMaxPathUnits - 1 && MakeDirectory(base));
  const std::u16string fits = base + std::u16string(kMaxPathUnits - 1 - base.size(), u'f');
  EXPECT_TRUE(File::CreateWrite(fits).IsOpen());
  EXPECT_TRUE(File::OpenRead(fits).IsOpen());
  EXPECT_FALSE(File::CreateWrite(fits + u"g").IsOpen());
  EXPECT_FALSE(File::CreateNew(fits + u"g").IsOpen());
  EXPECT_FALSE(MakeDirectory(fits + u"g"));

  // CreateWrite refuses a read-only file as Windows does; CreateNew refuses
  // any file that is there, also one made after the caller looked.
  const std::u16string path = dir.core() + u"\\old.txt";
  test::WriteBytes(dir / "old.txt", Bytes{'o', 'l', 'd'});
  EXPECT_FALSE(File::CreateNew(path).IsOpen());
  ASSERT_TRUE(SetReadOnly(path, true));
  EXPECT_FALSE(File::CreateWrite(path).IsOpen());
  EXPECT_EQ(test::ReadBytes(dir / "old.txt"), (Bytes{'o', 'l', 'd'}));
  ASSERT_TRUE(SetReadOnly(path, false));
  EXPECT_TRUE(File::CreateWrite(path).IsOpen());
  EXPECT_TRUE(test::ReadBytes(dir / "old.txt").empty());
  EXPECT_TRUE(File::CreateNew(path + u"2").IsOpen());
}

}  // namespace
}  // namespace qf::sys
