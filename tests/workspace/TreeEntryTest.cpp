#include <gtest/gtest.h>

#include "sys/Path.h"
#include "workspace/TreeEntry.h"

namespace qf {
namespace {

constexpr uint32_t kReadOnly = 0x1;
constexpr uint32_t kHidden = 0x2;
constexpr uint32_t kSystem = 0x4;
constexpr uint32_t kArchive = 0x20;
constexpr uint32_t kNormal = 0x80;

TEST(TreeEntry, DotEntriesAreSkippedByNameWhereverTheyCome) {
  EXPECT_EQ(ClassifyTreeEntry(u".", kAttributeDirectory), TreeAction::Skip);
  EXPECT_EQ(ClassifyTreeEntry(u"..", kAttributeDirectory), TreeAction::Skip);
  EXPECT_EQ(ClassifyTreeEntry(u"..", kAttributeDirectory | kHidden), TreeAction::Skip);
  EXPECT_EQ(ClassifyTreeEntry(u"...", kAttributeDirectory), TreeAction::DeleteSubtree);
  EXPECT_EQ(ClassifyTreeEntry(u".x", kAttributeDirectory), TreeAction::DeleteSubtree);
  EXPECT_EQ(ClassifyTreeEntry(u"..x", kArchive), TreeAction::RemoveFile);
}

TEST(TreeEntry, PlainEntriesAreDeletedWhateverTheirAttributes) {
  EXPECT_EQ(ClassifyTreeEntry(u"setup.exe", kNormal), TreeAction::RemoveFile);
  EXPECT_EQ(ClassifyTreeEntry(u"setup.exe", kReadOnly | kHidden | kSystem | kArchive), TreeAction::RemoveFile);
  EXPECT_EQ(ClassifyTreeEntry(u"data", kAttributeDirectory), TreeAction::DeleteSubtree);
  EXPECT_EQ(ClassifyTreeEntry(u"data", kAttributeDirectory | kReadOnly | kHidden | kSystem), TreeAction::DeleteSubtree);
}

TEST(TreeEntry, LinksAreRemovedNeverEntered) {
  EXPECT_EQ(ClassifyTreeEntry(u"junction", kAttributeDirectory | kAttributeReparsePoint),
            TreeAction::RemoveDirectoryLink);
  EXPECT_EQ(ClassifyTreeEntry(u"junction", kAttributeDirectory | kAttributeReparsePoint | kReadOnly | kHidden),
            TreeAction::RemoveDirectoryLink);
  EXPECT_EQ(ClassifyTreeEntry(u"link.txt", kAttributeReparsePoint), TreeAction::RemoveFileLink);
  EXPECT_EQ(ClassifyTreeEntry(u"link.txt", kAttributeReparsePoint | kReadOnly | kArchive), TreeAction::RemoveFileLink);
}

TEST(TreeEntry, PathsJoinWithOneBackslash) {
  EXPECT_EQ(EntryPath(u"C:\\ws", u"a.txt"), u"C:\\ws\\a.txt");
  EXPECT_EQ(SearchPattern(u"C:\\ws"), u"C:\\ws\\*.*");
}

TEST(TreeEntry, PathsThatDoNotFitAreRefusedNotCut) {
  const std::u16string directory(250, u'd');
  EXPECT_EQ(EntryPath(directory, std::u16string(8, u'n'))->size(), sys::kMaxPathUnits - 1);
  EXPECT_FALSE(EntryPath(directory, std::u16string(9, u'n')));
  EXPECT_TRUE(SearchPattern(std::u16string(255, u'd')));
  EXPECT_FALSE(SearchPattern(std::u16string(256, u'd')));
}

TEST(TreeEntry, EmptyBlankAndOverlongTreesAreRefused) {
  EXPECT_FALSE(CanDeleteTree(u""));
  EXPECT_FALSE(CanDeleteTree(u" "));
  EXPECT_FALSE(CanDeleteTree(u"  "));
  EXPECT_FALSE(CanDeleteTree(std::u16string(sys::kMaxPathUnits, u'd')));
  EXPECT_TRUE(CanDeleteTree(std::u16string(sys::kMaxPathUnits - 1, u'd')));
  EXPECT_TRUE(CanDeleteTree(u"C:\\kqzmwtebhyalrvo"));
}

}  // namespace
}  // namespace qf
