#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "package/PackageReader.h"
#include "support/PeImage.h"

namespace qf {
namespace {

using test::Bytes;
using test::PeLayout;
using test::TempDir;

class SignedPackage : public ::testing::TestWithParam<bool> {
 protected:
  TempDir dir;
  PeLayout layout{GetParam()};

  // An installer over a hand-made PE stub, as the writer lays it out.
  Bytes Installer() {
    test::WritePackage(dir / "unsigned.exe", test::MinimalPe(layout),
                       {{u"setup.exe", u"", test::Pattern(300, 1)},
                        {u"data.bin", u"sub\\", test::Pattern(41, 2)},
                        {u"$Settings.ini", u"", test::Utf16Le(u"\uFEFF[executable]\r\nfile=setup.exe\r\n")}});
    return test::ReadBytes(dir / "unsigned.exe");
  }
  std::u16string Write(const Bytes& bytes) {
    test::WriteBytes(dir / "signed.exe", bytes);
    return test::CorePath(dir / "signed.exe");
  }
};

void ExpectSameTable(const PackageReader& a, const PackageReader& b) {
  ASSERT_EQ(a.GetEntryCount(), b.GetEntryCount());
  for (int32_t i = 0; i < a.GetEntryCount(); ++i) {
    EXPECT_EQ(a.GetEntry(i).name, b.GetEntry(i).name);
    EXPECT_EQ(a.GetEntry(i).directory, b.GetEntry(i).directory);
    EXPECT_EQ(a.GetEntry(i).offset, b.GetEntry(i).offset);
    EXPECT_EQ(a.GetEntry(i).size, b.GetEntry(i).size);
  }
}

TEST_P(SignedPackage, FindsTheTrailerInFrontOfTheCertificateTableWithUpTo7PaddingBytes) {
  const Bytes plain = Installer();
  PackageReader unsignedReader(u"");
  ASSERT_EQ(unsignedReader.LoadTable(test::CorePath(dir / "unsigned.exe")), ResultCode::Success);
  EXPECT_EQ(unsignedReader.GetPackageEnd(), plain.size());

  for (uint32_t padding = 0; padding <= 7; ++padding) {
    Bytes file = plain;
    test::AppendCertificateTable(file, layout, padding);
    PackageReader reader(u"");
    ASSERT_EQ(reader.LoadTable(Write(file)), ResultCode::Success) << "padding " << padding;
    ExpectSameTable(reader, unsignedReader);
    EXPECT_EQ(reader.GetPackageEnd(), plain.size());
    EXPECT_EQ(reader.GetTableStart(), unsignedReader.GetTableStart());
  }
}

TEST_P(SignedPackage, ExtractsTheSameBytesAsUnsigned) {
  Bytes file = Installer();
  test::AppendCertificateTable(file, layout, 3);
  PackageReader reader(Write(file));
  ASSERT_EQ(reader.ExtractAll(test::CorePath(dir / "out"), nullptr, nullptr), ResultCode::Success);
  EXPECT_EQ(test::ReadBytes(dir / "out" / "setup.exe"), test::Pattern(300, 1));
  EXPECT_EQ(test::ReadBytes(dir / "out" / "sub" / "data.bin"), test::Pattern(41, 2));
}

// Every way the signature layout can fail to hold together leaves a file that
// is no package, exactly as an unsigned file with bytes after its trailer.
TEST_P(SignedPackage, AnythingButTheExactLayoutIsNoPackage) {
  const Bytes plain = Installer();
  const uint32_t s = layout.SecurityDirectoryAt();
  const uint32_t l = layout.DirectoryCountAt();
  constexpr uint32_t kFileHeader = PeLayout::kHeaderAt + 4;
  struct Case {
    const char* what;
    uint32_t padding;
    std::function<void(Bytes&)> change;
  };
  const std::vector<Case> cases = {
      {"eight padding bytes", 8, [](Bytes&) {}},
      {"a padding byte that is not zero", 2, [](Bytes& f) { f[f.size() - 64 - 1] = 1; }},
      {"a byte after the certificate table", 1, [](Bytes& f) { f.push_back(0); }},
      {"a table one byte shorter than named", 1, [&](Bytes& f) { test::PutU32At(f, s + 4, 63); }},
      {"a table of size 0", 1, [&](Bytes& f) { test::PutU32At(f, s + 4, 0); }},
      {"a table named at an offset past 4 GiB", 1, [&](Bytes& f) { test::PutU32At(f, s, 0xFFFFFFF0u); }},
      {"a table inside the headers", 1,
       [&](Bytes& f) {
         test::PutU32At(f, s, PeLayout::kHeaderAt);
         test::PutU32At(f, s + 4, static_cast<uint32_t>(f.size() - PeLayout::kHeaderAt));
       }},
      {"only four data directories", 1, [&](Bytes& f) { test::PutU32At(f, l, 4); }},
      {"an optional header too short for the security directory", 1,
       [&](Bytes& f) { test::PutU16At(f, kFileHeader + 16, static_cast<uint16_t>(s + 7 - PeLayout::kOptionalAt)); }},
      {"an unknown optional header magic", 1, [](Bytes& f) { f[PeLayout::kOptionalAt] = 7; }},
      {"no PE signature", 1, [](Bytes& f) { f[PeLayout::kHeaderAt + 1] = 'X'; }},
      {"a header pointer past 4 GiB", 1, [](Bytes& f) { test::PutU32At(f, 0x3C, 0xFFFFFFF0u); }},
      {"a header pointer near the end of the file", 1,
       [](Bytes& f) { test::PutU32At(f, 0x3C, static_cast<uint32_t>(f.size() - 30)); }},
      {"no MZ", 1, [](Bytes& f) { f[0] = 'Z'; }},
  };
  for (const Case& c : cases) {
    Bytes file = plain;
    test::AppendCertificateTable(file, layout, c.padding);
    c.change(file);
    PackageReader reader(u"");
    EXPECT_EQ(reader.LoadTable(Write(file)), ResultCode::SignatureMismatch) << c.what;
    EXPECT_EQ(reader.GetEntryCount(), 0) << c.what;
  }
}

TEST_P(SignedPackage, ChecksTheVersionInFrontOfTheSignature) {
  Bytes file = test::MinimalPe(layout);
  test::Append(file, test::RawRecord(PeLayout::kImageBytes, 0, u"a", 1, u"", 0));
  test::Append(file, test::RawTrailer(1, u"1.01"));
  test::AppendCertificateTable(file, layout, 2);
  PackageReader reader(u"");
  EXPECT_EQ(reader.LoadTable(Write(file)), ResultCode::VersionMismatch);
}

TEST_P(SignedPackage, AnUnsignedPackageIgnoresTheSecurityDirectory) {
  // A stub that was itself signed keeps its security directory; appending the
  // package leaves the tag at the end, which decides.
  Bytes stub = test::MinimalPe(layout);
  test::AppendCertificateTable(stub, layout, 0);
  test::WritePackage(dir / "p.exe", stub, {{u"$Settings.ini", u"", Bytes{0xFF, 0xFE}}});
  PackageReader reader(test::CorePath(dir / "p.exe"));
  ASSERT_EQ(reader.LoadTable(reader.GetPackagePath()), ResultCode::Success);
  EXPECT_EQ(reader.GetPackageEnd(), test::ReadBytes(dir / "p.exe").size());
}

INSTANTIATE_TEST_SUITE_P(Pe32AndPe32Plus, SignedPackage, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Pe32Plus" : "Pe32"; });

}  // namespace
}  // namespace qf
