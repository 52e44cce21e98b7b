// The tool as a program: its exit codes, the example settings, and installers
// signed by a real signing tool with a throw-away certificate made here. Linux
// only: it runs the native program, openssl and osslsigncode.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "package/PackageReader.h"
#include "support/PackageFixture.h"
#include "support/PeImage.h"

namespace qf {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

// Runs a shell command; its exit status, and its output (both streams) in `output`.
int Shell(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[4096];
  while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, got);
  const int status = ::pclose(pipe);
  if (output != nullptr) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Pack(const std::string& args) { return Quote(QF_PACK_TOOL) + " " + args; }

TEST(PackProgram, TheExampleSettingsBecomeTheReferenceFileWithoutWarnings) {
  test::TempDir dir;
  fs::create_directories(dir / "app");
  test::WriteBytes(dir / "app" / "Installer.exe", test::Pattern(100, 3));
  test::WriteBytes(dir / "stub.exe", test::MinimalPe(test::PeLayout{}));
  const fs::path example = fs::path(QF_SOURCE_DIR) / "examples" / "settings.ini";
  std::string output;
  EXPECT_EQ(Shell(Pack("list --bogus x"), &output), 2);
  ASSERT_EQ(Shell(Pack("build -q -s " + Quote(dir / "stub.exe") + " --settings " + Quote(example) + " -o " +
                       Quote(dir / "example.exe") + " " + Quote(dir / "app")),
                  &output),
            0);
  EXPECT_EQ(output, "");
  ASSERT_EQ(
      Shell(Pack("extract -o " + Quote(dir / "out") + " " + Quote(dir / "example.exe") + " '$Settings.ini'"), &output),
      0)
      << output;
  EXPECT_EQ(test::ReadBytes(dir / "out" / "$Settings.ini"), test::ReferenceSettings());
}

class SignedInstaller : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (Shell("command -v openssl && command -v osslsigncode") != 0) return;
    s_keys = new test::TempDir;
    const std::string made = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Quillfen test' -keyout " +
                             Quote(*s_keys / "key.pem") + " -out " + Quote(*s_keys / "cert.pem");
    if (Shell(made) != 0) {
      delete s_keys;
      s_keys = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete s_keys;
    s_keys = nullptr;
  }
  void SetUp() override {
    if (s_keys == nullptr) GTEST_SKIP() << "openssl and osslsigncode are needed (scripts/install-deps.sh)";
  }

  // Builds an installer over `stub`, signs it, and checks that everything the
  // tool and the reader see is as it was before signing.
  void SignAndCheck(const fs::path& stub) {
    fs::create_directories(dir / "app" / "sub");
    test::WriteBytes(dir / "app" / "setup.exe", test::Pattern(3001, 1));
    test::WriteBytes(dir / "app" / "sub" / "data.bin", test::Pattern(17, 2));
    const std::string settings =
        "[validate]\nbios=1\n[bios]\nManufacturer=x\n[message]\nfail=x\n[executable]\nfile=setup.exe\n";
    test::WriteBytes(dir / "settings.ini", Bytes(settings.begin(), settings.end()));
    std::string output;
    ASSERT_EQ(Shell(Pack("build -q -s " + Quote(stub) + " --settings " + Quote(dir / "settings.ini") + " -o " +
                         Quote(dir / "plain.exe") + " " + Quote(dir / "app")),
                    &output),
              0)
        << output;
    ASSERT_EQ(Shell("osslsigncode sign -certs " + Quote(*s_keys / "cert.pem") + " -key " + Quote(*s_keys / "key.pem") +
                        " -n 'Quillfen test' -in " + Quote(dir / "plain.exe") + " -out " + Quote(dir / "signed.exe"),
                    &output),
              0)
        << output;

    const uint64_t plainSize = fs::file_size(dir / "plain.exe");
    const Bytes plain = test::ReadBytes(dir / "plain.exe");
    const Bytes signedBytes = test::ReadBytes(dir / "signed.exe");
    ASSERT_GT(signedBytes.size(), plain.size());
    ASSERT_NE(Bytes(signedBytes.end() - 20, signedBytes.end()), test::Utf16Le(u"TavixCorp."));

    PackageReader before(test::CorePath(dir / "plain.exe"));
    PackageReader after(test::CorePath(dir / "signed.exe"));
    ASSERT_EQ(before.LoadTable(before.GetPackagePath()), ResultCode::Success);
    ASSERT_EQ(after.LoadTable(after.GetPackagePath()), ResultCode::Success);
    EXPECT_EQ(after.GetPackageEnd(), plainSize);
    ASSERT_EQ(after.GetEntryCount(), before.GetEntryCount());
    for (int32_t i = 0; i < after.GetEntryCount(); ++i) {
      EXPECT_EQ(after.GetEntry(i).name, before.GetEntry(i).name);
      EXPECT_EQ(after.GetEntry(i).directory, before.GetEntry(i).directory);
      EXPECT_EQ(after.GetEntry(i).offset, before.GetEntry(i).offset);
      EXPECT_EQ(after.GetEntry(i).size, before.GetEntry(i).size);
    }

    ASSERT_EQ(Shell(Pack("verify " + Quote(dir / "signed.exe")), &output), 0) << output;
    EXPECT_NE(output.find("ok, 3 entries, signed, signature matches, 0 warnings"), std::string::npos) << output;
    ASSERT_EQ(Shell(Pack("list " + Quote(dir / "signed.exe")), &output), 0) << output;
    EXPECT_NE(output.find("  signature  "), std::string::npos) << output;
    ASSERT_EQ(Shell(Pack("extract -o " + Quote(dir / "out") + " " + Quote(dir / "signed.exe")), &output), 0) << output;
    EXPECT_EQ(test::ReadBytes(dir / "out" / "setup.exe"), test::Pattern(3001, 1));
    EXPECT_EQ(test::ReadBytes(dir / "out" / "sub" / "data.bin"), test::Pattern(17, 2));

    // One byte of a packed file changed after signing.
    Bytes changed = signedBytes;
    changed[static_cast<std::size_t>(after.GetEntry(0).offset)] ^= 1;
    test::WriteBytes(dir / "changed.exe", changed);
    EXPECT_EQ(Shell(Pack("verify " + Quote(dir / "changed.exe")), &output), 1) << output;
    EXPECT_NE(output.find("signature does not match: the file was changed after signing"), std::string::npos) << output;
  }

  static test::TempDir* s_keys;
  test::TempDir dir;
};

test::TempDir* SignedInstaller::s_keys = nullptr;

TEST_F(SignedInstaller, HandMadePe32StubKeepsItsPackageReadable) {
  test::WriteBytes(dir / "stub.exe", test::MinimalPe(test::PeLayout{false}));
  SignAndCheck(dir / "stub.exe");
}

TEST_F(SignedInstaller, HandMadePe32PlusStubKeepsItsPackageReadable) {
  test::WriteBytes(dir / "stub.exe", test::MinimalPe(test::PeLayout{true}));
  SignAndCheck(dir / "stub.exe");
}

// The stub of the Windows builds, when one of them has been built.
TEST_F(SignedInstaller, TheRealStubKeepsItsPackageReadable) {
  for (const char* preset : {"mingw-x86", "mingw-x64"}) {
    const fs::path stub = fs::path(QF_SOURCE_DIR) / "build" / preset / "bin" / "quillfen-stub.exe";
    if (fs::exists(stub)) {
      SCOPED_TRACE(stub.string());
      SignAndCheck(stub);
      return;
    }
  }
  GTEST_SKIP() << "no Windows build of the stub yet (cmake --build --preset mingw-x86)";
}

}  // namespace
}  // namespace qf
