// Writes a small seed corpus of valid and nearly valid packages with the
// package writer, so the fuzzer starts from the format instead of noise.
#include <filesystem>
#include <iostream>
#include <string>

#include <gtest/gtest.h>

#include "support/PackageFixture.h"

using namespace qf::test;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: qf_fuzz_seeds DIR\n";
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  const Bytes settings = Utf16Le(u"\uFEFF[executable]\r\nfile=a.exe\r\n");
  WritePackage(dir / "one.exe", Bytes(16, 'M'), {{u"$Settings.ini", u"", settings}});
  WritePackage(dir / "three.exe", Bytes(64, 'M'),
               {{u"a.exe", u"", Bytes(100, 'a')}, {u"b.dll", u"sub\\deeper\\", Bytes(7, 'b')},
                {u"$Settings.ini", u"", settings}});
  WritePackage(dir / "unsafe.exe", Bytes(8, 'M'),
               {{u"x", u"..\\", Bytes(3, 'x')}, {u"CON", u"", {}}, {u"$Settings.ini", u"", settings}});
  Bytes tableOnly = RawRecord(0, 0, u"a", 1, u"", 0);
  Append(tableOnly, RawTrailer(1));
  WriteBytes(dir / "table-only.exe", tableOnly);
  WriteBytes(dir / "count-zero.exe", RawTrailer(0));
  WriteBytes(dir / "count-large.exe", RawTrailer(1025));
  WriteBytes(dir / "bad-version.exe", RawTrailer(1, u"2.00"));
  return ::testing::Test::HasFailure() ? 1 : 0;
}
