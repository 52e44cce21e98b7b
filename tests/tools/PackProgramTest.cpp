// The tool as a program: its exit codes, the example settings, and installers
// signed by a real signing tool with a throw-away certificate made here. Linux
// only: it runs the native program, openssl and osslsigncode.
#include <gtest/gtest.h>

#include "ConsoleRun.h"
#include "support/PackageFixture.h"
#include "support/PeImage.h"

namespace qf {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::RunCaptured;

class PackProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir / "app" / "sub");
    test::WriteBytes(dir / "app" / "Installer.exe", test::Pattern(3001, 1));
    test::WriteBytes(dir / "app" / "sub" / "data.bin", test::Pattern(17, 2));
  }

  // Builds app/ over a hand-made stub with the example settings.
  test::Captured Build(const fs::path& installer, bool pe32plus = false) {
    test::WriteBytes(dir / "stub.exe", test::MinimalPe(test::PeLayout{pe32plus}));
    return Pack({"build", "-q", "-s", dir / "stub.exe", "--settings", fs::path(QF_SOURCE_DIR) / "examples" / "settings.ini",
                 "-o", installer, dir / "app"});
  }

  static test::Captured Pack(std::vector<fs::path> arguments) {
    arguments.insert(arguments.begin(), QF_PACK_TOOL);
    return RunCaptured(arguments);
  }

  test::TempDir dir;
};

TEST_F(PackProgram, TheExampleSettingsBecomeTheReferenceFileWithoutWarnings) {
  EXPECT_EQ(Pack({"list", "--bogus", "x"}).exitCode, 2);
  const test::Captured built = Build(dir / "example.exe");
  EXPECT_EQ(built.exitCode, 0);
  EXPECT_EQ(built.output, "");
  const test::Captured extracted = Pack({"extract", "-o", dir / "out", dir / "example.exe", "$Settings.ini"});
  ASSERT_EQ(extracted.exitCode, 0) << extracted.output;
  EXPECT_EQ(test::ReadBytes(dir / "out" / "$Settings.ini"), test::ReferenceSettings());
}

// Signed, the installer still verifies and extracts; one byte of a packed file
// changed after signing is found.
TEST_F(PackProgram, SignedInstallersVerifyUntilChanged) {
  const test::Captured keys =
      RunCaptured({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Quillfen test",
                   "-keyout", dir / "key.pem", "-out", dir / "cert.pem"});
  if (keys.exitCode == -1 || RunCaptured({"osslsigncode", "--version"}).exitCode == -1) {
    GTEST_SKIP() << "openssl and osslsigncode are needed (scripts/install-deps.sh)";
  }
  ASSERT_EQ(keys.exitCode, 0) << keys.output;
  for (const bool pe32plus : {false, true}) {
    SCOPED_TRACE(pe32plus ? "PE32+" : "PE32");
    fs::remove_all(dir / "out");
    ASSERT_EQ(Build(dir / "plain.exe", pe32plus).exitCode, 0);
    const test::Captured sign = RunCaptured({"osslsigncode", "sign", "-certs", dir / "cert.pem", "-key", dir / "key.pem",
                                             "-n", "Quillfen test", "-in", dir / "plain.exe", "-out", dir / "signed.exe"});
    ASSERT_EQ(sign.exitCode, 0) << sign.output;
    const test::Captured verified = Pack({"verify", dir / "signed.exe"});
    EXPECT_EQ(verified.exitCode, 0);
    EXPECT_NE(verified.output.find("ok, 3 entries, signed, signature matches, 0 warnings"), std::string::npos)
        << verified.output;
    ASSERT_EQ(Pack({"extract", "-o", dir / "out", dir / "signed.exe"}).exitCode, 0);
    EXPECT_EQ(test::ReadBytes(dir / "out" / "Installer.exe"), test::Pattern(3001, 1));
    EXPECT_EQ(test::ReadBytes(dir / "out" / "sub" / "data.bin"), test::Pattern(17, 2));

    Bytes changed = test::ReadBytes(dir / "signed.exe");
    changed[test::PeLayout::kImageBytes] ^= 1;  // Installer.exe's data follows the stub
    test::WriteBytes(dir / "changed.exe", changed);
    const test::Captured broken = Pack({"verify", dir / "changed.exe"});
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_NE(broken.output.find("signature does not match: the file was changed after signing"), std::string::npos)
        << broken.output;
    fs::remove(dir / "signed.exe");
  }
}

}  // namespace
}  // namespace qf
