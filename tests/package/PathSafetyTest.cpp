#include <gtest/gtest.h>

#include "package/PathSafety.h"

namespace qf::package {
namespace {

TEST(PathSafety, AcceptsPlainNamesAndNestedDirectories) {
  EXPECT_TRUE(IsSafeEntryPath(u"", u"Installer.exe"));
  EXPECT_TRUE(IsSafeEntryPath(u"", u"$Settings.ini"));
  EXPECT_TRUE(IsSafeEntryPath(u"sub\\", u"a.txt"));
  EXPECT_TRUE(IsSafeEntryPath(u"sub\\deeper\\", u"a.txt"));
  EXPECT_TRUE(IsSafeEntryPath(u"sub/deeper/", u"a.txt"));
  EXPECT_TRUE(IsSafeEntryPath(u"sub", u"a.txt"));  // joined as plain text: "suba.txt"
  EXPECT_TRUE(IsSafeEntryPath(u"", u"..a"));
  EXPECT_TRUE(IsSafeEntryPath(u"", u"console.txt"));
  EXPECT_TRUE(IsSafeEntryPath(u"", u"COM10"));
  EXPECT_TRUE(IsSafeEntryPath(u"", u"\u00e9t\u00e9 \u6587.txt"));
}

TEST(PathSafety, RefusesTraversalAndRootedDirectories) {
  for (const char16_t* dir : {u"..\\", u"a\\..\\", u"..", u".\\", u"\\", u"\\abs\\", u"/abs/", u"\\\\server\\share\\",
                              u"\\\\?\\C:\\", u"\\\\.\\pipe\\", u"C:\\", u"C:", u"a\\\\b\\", u"a/../", u"..\\..\\"}) {
    EXPECT_FALSE(IsSafeEntryPath(dir, u"x.txt")) << std::u16string(dir).size();
  }
}

TEST(PathSafety, RefusesNamesThatAreNotASingleComponent) {
  for (const char16_t* name : {u"", u".", u"..", u"a\\b", u"a/b", u"..\\x", u"C:x", u"x:stream", u"a\tb", u"a\x1f",
                               u"a<b", u"a>b", u"a\"b", u"a|b", u"a?b", u"a*b", u"trail.", u"trail ", u"CON",
                               u"con", u"nul.txt", u"Com1", u"lpt9.log", u"AUX .txt", u"CONOUT$", u"COM\u00b9"}) {
    EXPECT_FALSE(IsSafeEntryPath(u"", name)) << std::u16string(name).size();
  }
}

TEST(PathSafety, RefusesUnsafeComponentsInsideDirectories) {
  EXPECT_FALSE(IsSafeEntryPath(u"ok\\CON\\", u"x.txt"));
  EXPECT_FALSE(IsSafeEntryPath(u"ok\\trail.\\", u"x.txt"));
  EXPECT_FALSE(IsSafeEntryPath(u"ok\\a:b\\", u"x.txt"));
  EXPECT_FALSE(IsSafeEntryPath(u"ok\\\x01\\", u"x.txt"));
  EXPECT_FALSE(IsSafeEntryPath(u"ok\\.\\", u"x.txt"));
  EXPECT_FALSE(IsSafeEntryPath(u"CO", u"N"));  // joined as plain text: "CON"
  EXPECT_FALSE(IsSafeEntryPath(std::u16string(u"ok\0x\\", 5), u"x.txt"));
}

}  // namespace
}  // namespace qf::package
