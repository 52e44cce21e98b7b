// Writes a small seed corpus of packages and settings, so that the fuzzers
// start from the formats instead of noise.
#include <gtest/gtest.h>

#include "support/PackageFixture.h"

using namespace qf::test;

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::filesystem::path root = argv[1];
  for (const char* corpus : {"package", "ini"}) std::filesystem::create_directories(root / corpus);
  WritePackage(root / "package" / "one.exe", Bytes(16, 'M'), {{u"$Settings.ini", u"", Bytes{0xFF, 0xFE}}});
  WritePackage(root / "package" / "three.exe", Bytes(64, 'M'),
               {{u"a.exe", u"", Bytes(100, 'a')}, {u"CON", u"sub\\..\\", {}}, {u"$Settings.ini", u"", Bytes{1}}});
  WriteBytes(root / "package" / "bad-version.exe", RawTrailer(1, u"2.00"));
  WriteBytes(root / "ini" / "reference.ini", ReferenceSettings());
  WriteBytes(root / "ini" / "pieces.ini",
             Utf16Le(u"\uFEFFjunk\r\n[cpu]\nk\t=v=w\r\n\rx" + std::u16string(1, u'\0') + u"=z\r\n[]\r\n" +
                     std::u16string(1030, u'y') + u"\U0001F600\xD800[tail"));
  return ::testing::Test::HasFailure() ? 1 : 0;
}
