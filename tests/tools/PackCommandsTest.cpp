#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "ConsoleRun.h"
#include "pack/lib/Commands.h"
#include "pack/lib/Progress.h"
#include "pack/lib/SafeOutput.h"
#include "pack/lib/SettingsText.h"
#include "support/PackageFixture.h"
#include "support/PeImage.h"

namespace qf::pack {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

// The stub's own icon file: 16, 32, 48 and 256 pixels; image 2 starts at byte 1198. Under Wine, which
// reaches no host path here, its copy where CTest runs the tests.
#ifdef _WIN32
const std::string kIcon = "quillfen.ico";
#else
const std::string kIcon = QF_SOURCE_DIR "/src/app/res/quillfen.ico";
#endif

void Write(const fs::path& path, std::string_view text) { test::WriteBytes(path, Bytes(text.begin(), text.end())); }

class PackCommands : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string out, err;
  // With a checksum of its own, as the linker writes it: the installer's replaces it.
  const Bytes stub = [] {
    Bytes b = test::MinimalStub(test::PeLayout{});
    test::PutU32At(b, test::PeLayout::kOptionalAt + 64, 0x1234);
    return b;
  }();
  const std::string settings =
      "[validate]\nbios=1\n[bios]\nManufacturer=x\n[message]\nfail=x\n[executable]\nfile=a.exe\n";
  const std::string app = At("app.exe"), apps = At("app"), extracted = At("out");

  void SetUp() override {
    fs::create_directories(dir / "app" / "sub" / "deeper");
    test::WriteBytes(dir / "stub.exe", stub);
    Write(dir / "settings.ini", settings);
    test::WriteBytes(dir / "app" / "a.exe", test::Pattern(5000, 1));
    test::WriteBytes(dir / "app" / "sub" / "empty.dat", {});
    test::WriteBytes(dir / "app" / "sub" / "deeper" / "data.bin", test::Pattern(70000, 2));
  }

  std::string At(const fs::path& name) const { return (dir / name).string(); }

  // Runs the tool; its exit status and a text it shows (on either stream) are as expected.
  void Expect(const std::vector<std::string>& args, int exit, const std::string& shown = "") {
    std::ostringstream o, e;
    Console console{o, e, false, u""};
    EXPECT_EQ(RunPack(args, console), exit) << (args.empty() ? "" : args[0]) << ": " << e.str();
    out = o.str();
    err = e.str();
    EXPECT_NE((out + err).find(shown), std::string::npos) << shown << "\n--- in ---\n" << out << err;
  }

  std::vector<std::string> Build(const fs::path& to) const {
    return {"build", "-s", At("stub.exe"), "--settings", At("settings.ini"), "-o", to.string(), apps};
  }

  Bytes Packed() const { return EncodeSettings(DecodeSettingsSource(Bytes(settings.begin(), settings.end())).text); }
};

TEST_F(PackCommands, BuildsWhatTheWriterLaysOutAndGivesItBack) {
  Expect(Build(app), kExitOk, "app.exe: 3 files and the settings,");
  EXPECT_EQ(err, "");
  test::WritePackage(dir / "expected.exe", stub,
                     {{u"a.exe", u"", test::Pattern(5000, 1)},
                      {u"empty.dat", u"sub\\", {}},
                      {u"data.bin", u"sub\\deeper\\", test::Pattern(70000, 2)},
                      {u"$Settings.ini", u"", Packed()}});
  // All but the checksum, which a signing tool checks below.
  const Bytes expected = test::ReadBytes(dir / "expected.exe");
  Bytes built = test::ReadBytes(app);
  std::copy_n(expected.begin() + test::PeLayout::kOptionalAt + 64, 4, built.begin() + test::PeLayout::kOptionalAt + 64);
  EXPECT_EQ(built, expected);
  // The stub is 1536 bytes, the digests 20, a.exe 5000: the next data starts at 6556.
  Expect({"list", "--json", app}, kExitOk,
         R"({"index": 2, "offset": 6556, "size": 70000, "directory": "sub\\deeper\\", "name": "data.bin"})");
  EXPECT_NE(out.find(R"("stub": {"product": "Quillfen", "version": "9", "machine": "i386", "payloadDigests": )"
                     R"({"algorithm": "lane sums", "entries": 4}})"),
            out.npos);
  Expect({"list", app}, kExitOk,
         "  stub       Quillfen 9, i386, payload digests: lane sums for 4 entries\n  version    none\n  icon       "
         "none\n");
  // Branded: the author's version information and icon read back, the same bytes every time.
  std::vector<std::string> branded = Build(app);
  branded.insert(branded.end(), {"--product", "Foo Setup", "--version", "1.2", "--original-name", "setup.exe", "--icon",
                                 kIcon});
  Expect(branded, kExitOk);
  const Bytes first = test::ReadBytes(app);
  Expect(branded, kExitOk);
  EXPECT_EQ(test::ReadBytes(app), first);
  Expect({"verify", app}, kExitOk,
         app + ": version: 1.2.0.0, FileVersion \"1.2\", OriginalFilename \"setup.exe\", ProductName \"Foo Setup\", " +
             "ProductVersion \"1.2\"\n" + app + ": icon: 16, 32, 48, 256 pixels\n" + app + ": ok, 4 entries, 0 warnings\n");
  // Another writer on the same stub records no digests: nothing to check, nothing to warn about.
  test::WritePackage(dir / "other.exe", stub, {{u"a.exe", u"", {}}, {u"$Settings.ini", u"", Packed()}}, false);
  Expect({"verify", At("other.exe")}, kExitOk, "other.exe: stub: Quillfen 9, i386, no payload digests\n");
  EXPECT_NE(out.find("other.exe: ok, 2 entries, 0 warnings"), out.npos);
  Expect({"settings", app}, kExitOk, settings);
  Expect({"extract", "--output=" + extracted, "--", app}, kExitOk, "sub\\deeper\\data.bin (70000 bytes)\n");
  EXPECT_EQ(test::ReadBytes(dir / "out" / "sub" / "deeper" / "data.bin"), test::Pattern(70000, 2));
  EXPECT_EQ(test::ReadBytes(dir / "out" / "$Settings.ini"), Packed());
  // Settings of more than 1 MiB as packed (UTF-16), which the stub reads, are the tools' too.
  Write(dir / "settings.ini", settings + std::string(600 << 10, '\n'));
  Expect(Build(app), kExitOk);
  Expect({"verify", app}, kExitOk, "ok, 4 entries, 0 warnings");
}

// Without --settings, the folder's own; warnings pass unless --strict, errors refuse.
TEST_F(PackCommands, TakesTheSettingsFromTheFolderAndWarnsOrRefuses) {
  const std::vector<std::string> folder = {"build", "-s", At("stub.exe"), "-o", app, apps};
  const std::vector<std::string> strict = {"build", "-s", At("stub.exe"), "-o", app, apps, "--strict"};
  Write(dir / "app" / "$Settings.ini", "[executable]\nfile=gone.exe\n");
  Expect(folder, kExitProblems, "$Settings.ini:2: [executable] file \"gone.exe\" names no packaged file");
  Write(dir / "app" / "$Settings.ini", settings + "[x]\n[message]\nfail=\n");
  Expect(strict, kExitStrict, "nothing written (--strict: warnings refuse)");
  EXPECT_FALSE(fs::exists(app));
  Expect(folder, kExitOk, "$Settings.ini:9: [x] is not a section the stub reads");
  Expect({"verify", app}, kExitOk, "ok, 4 entries, 2 warnings");  // the folder's copy is no 4th file
  Expect({"verify", "--strict", app}, kExitStrict, ": refused (--strict: 2 warnings)");
}

// A lock switched off by a typo, or one no machine passes, is refused unless its author allows it by name;
// verify gives the installer the same verdict and counts the lines it printed.
TEST_F(PackCommands, RefusesALockOffByMistakeUnlessAllowedAndVerifySaysTheSame) {
  const std::string rest = "[bios]\nManufacturer=x\n[message]\nfail=x\n[executable]\nfile=a.exe\n";
  auto count = [&](const std::string& kind) {  // the lines of the standard error that start so
    std::istringstream lines(err);
    int n = 0;
    for (std::string line; std::getline(lines, line);) n += line.starts_with(kind);
    return std::to_string(n);
  };
  // clang-format off
  const std::vector<std::tuple<const char*, std::string, const char*, const char*>> cases = {  // name, settings, the flag allowing it, the finding
      {"section in another case", "[Validate]\ncpu=1\n[validate]\nbios=1\n" + rest, "--allow-odd-settings", ":1: [Validate] is not a section the stub reads"},
      {"yes for 1", "[validate]\ncpu=yes\nbios=1\n" + rest, "--allow-odd-settings", ":2: [validate] cpu is \"yes\""},
      {"a leading zero", "[validate]\nbios=1\nbaseboard=01\n" + rest, "--allow-odd-settings", ":3: [validate] baseboard is \"01\""},
      {"no Processor", "[validate]\ncpu=1\nbios=1\n[cpu]\nProcessor=\n" + rest, "--allow-no-machine", ":2: the processor check is on, but no machine passes it"},
      {"no check on", "[validate]\nbios=0\n" + rest, "--allow-any-machine", ": No check is on: every machine is accepted"},
  };
  // clang-format on
  for (const auto& [name, text, allow, finding] : cases) {
    SCOPED_TRACE(name);
    Write(dir / "settings.ini", text);
    fs::remove(app);
    Expect(Build(app), kExitProblems, finding);
    EXPECT_FALSE(fs::exists(app));
    std::vector<std::string> allowed = Build(app);
    allowed.push_back(allow);
    Expect(allowed, kExitOk, finding);
    Expect({"verify", app}, kExitProblems, finding);
    EXPECT_NE(out.find(": broken (" + count("error: ") + " problem"), out.npos) << out << err;
    Expect({"verify", allow, app}, kExitOk, finding);
    EXPECT_NE(out.find(", " + count("warning: ") + " warning"), out.npos) << out << err;
  }
}

// check decides with the stub's validator on the installer's own settings: Linux's family 25 is the stub's 175,
// its model 33 the stub's 1; a machines file exits 1 when a verdict is not the one it expects.
TEST_F(PackCommands, CheckDecidesOnAMachineAsTheStubWould) {
  Write(dir / "settings.ini",
        "[validate]\ncpu=1\nbaseboard=1\n[cpu]\nProcessor=AuthenticAMD\nAdvanced=175\n[175]\nModel_Number=1\n"
        "[baseboard]\nManufacturer=Tavix Corp\n[message]\nfail=x\n[executable]\nfile=a.exe\n");
  Expect(Build(app), kExitOk);
  Write(dir / "machines.txt",
        "# verdict | vendor | family | model | BIOS | baseboard\naccept|AuthenticAMD|linux:25|"
        "linux:33|-|Tavix Corp\r\n\n  refuse | AuthenticAMD | 175 | 1 | x | Tavix Corp  # wrong\n");
  const std::vector<std::string> amd = {"check", app, "--vendor", "AuthenticAMD", "--baseboard", "Tavix Corp"};
  auto with = [&](std::vector<std::string> more) { return more.insert(more.begin(), amd.begin(), amd.end()), more; };
  // clang-format off
  const std::vector<std::tuple<std::vector<std::string>, int, std::string>> runs = {  // arguments, exit status, shown
      {with({"--family", "25", "--model", "33", "--linux"}), kExitOk, "machine: vendor \"AuthenticAMD\", family 175, model 1, BIOS none, baseboard \"Tavix Corp\"\n"
          "[cpu] Advanced: accepted \"175\", this machine \"175\"; the processor's family; passed\n[175] Model_Number: accepted \"1\", this machine \"1\"; the processor's model; passed\n"
          "[cpu] Processor: accepted \"AuthenticAMD\", this machine \"AuthenticAMD\"; the processor's vendor; passed\n"
          "[baseboard] Manufacturer: accepted \"Tavix Corp\", this machine \"Tavix Corp\"; Win32_BaseBoard query result 0; passed\nverdict: accepted\n"},
      {with({"--family", "143", "--model", "1"}), kExitProblems, "[cpu] Advanced: accepted \"175\", this machine \"143\"; the processor's family; refused\nverdict: refused\n"},
      {with({"--family", "175", "--model", "1", "--baseboard", "tavix corp"}), kExitProblems, "this machine \"tavix corp\" (differs in letter case only)"},
      {with({"--family", "20", "--model", "1"}), kExitUsage, "family 20, model 1: no processor shows these to the stub"},
      {{"check", app, "--machines", At("settings.ini")}, kExitUsage, "settings.ini:1: not 6 columns"},
      {{"check", app, "--machines", At("machines.txt")}, kExitProblems, "   2  accept    accept    vendor \"AuthenticAMD\", family 175, model 1, BIOS none, baseboard \"Tavix Corp\"\n"
          "   4  refuse    accept    vendor \"AuthenticAMD\", family 175, model 1, BIOS \"x\", baseboard \"Tavix Corp\"  <- differs\n[cpu] Advanced:"},
  };
  // clang-format on
  for (const auto& [args, exit, shown] : runs) Expect(args, exit, shown);
  EXPECT_NE(out.find("2 machines, 1 with another verdict than expected"), out.npos) << out;
}

#ifndef _WIN32
// Broken installers and what a package author's machine holds besides plain
// files: FIFOs, links, folders, the installer itself. Each is refused naming the
// file and why, and nothing is destroyed or followed.
TEST_F(PackCommands, RefusesNamingWhyAndNeverDestroysNorFollows) {
  const Bytes victim = {'k', 'e', 'e', 'p'};
  auto fifo = [&](const char* name) { return [=, this] { ASSERT_EQ(::mkfifo((dir / name).c_str(), 0644), 0); }; };
  // The installer built as `installer` and changed; a file of the user's at `to`, or a link there to `from`.
  auto built = [&](const char* installer, const char* to, const char* from, std::function<void(Bytes&)> change = {}) {
    return [=, this] {
      for (const fs::path& folder : {dir / "out", dir / "elsewhere", (dir / to).parent_path()}) {
        fs::create_directories(folder);
      }
      Expect(Build(dir / installer), kExitOk);
      Bytes bytes = test::ReadBytes(dir / installer);
      if (change) change(bytes);
      test::WriteBytes(dir / installer, bytes);
      test::WriteBytes(dir / (*from == 0 ? to : "victim"), victim);
      if (*from != 0) fs::create_symlink(dir / from, dir / to);
    };
  };
  // The records of data.bin (entry 2, 54 bytes) and $Settings.ini (42 bytes) end the table.
  auto data = [](std::size_t at, uint32_t to) { return [=](Bytes& b) { test::PutU32At(b, b.size() - 128 + at, to); }; };
  auto brand = [&](const std::vector<std::string>& more) {
    std::vector<std::string> args = Build(app);
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  auto unsafe = [](Bytes& b) { b[b.size() - 100] = b[b.size() - 98] = b[b.size() - 96] = '.'; };  // "sub" as "..."
  // clang-format off
  const std::vector<std::tuple<std::function<void()>, std::vector<std::string>, const char*, std::function<void()>>> cases = {
      {fifo("out.fifo"), Build(dir / "out.fifo"), "out.fifo: exists and is not a regular file", [&] { EXPECT_TRUE(fs::is_fifo(dir / "out.fifo")); }},
      {{}, Build(dir / "app" / "sub"), "sub: is a folder", [&] { EXPECT_TRUE(fs::exists(dir / "app" / "sub" / "empty.dat")); }},
      {built("app/in.exe", "victim", "", [](Bytes& b) { b.push_back('!'); }), Build(dir / "app" / "in.exe"), "in.exe: is the installer being written", [&] { EXPECT_EQ(test::ReadBytes(dir / "app" / "in.exe").back(), '!'); fs::remove(dir / "app" / "in.exe"); }},
      {[&] { Write(dir / "bad.ini", "a=\xC3("); }, {"build", "-s", At("bad.ini"), "--settings", At("bad.ini"), "-o", app, At("gone")}, "bad.ini: not a Windows program", [&] { EXPECT_NE(err.find("bad.ini: neither UTF-8 nor UTF-16"), err.npos); EXPECT_NE(err.find("gone: no such file or folder"), err.npos); }},
      {{}, {"list", At("missing.exe")}, "missing.exe: cannot be opened (result 1000; the stub shows \"Could not open the installer\")", {}},
      {fifo("v.fifo"), {"verify", At("v.fifo")}, "v.fifo: not a regular file", {}},
      {built("app.exe", "victim", "", [](Bytes& b) { b.pop_back(); }), {"verify", app}, "no package: the file does not end in the tag \"TavixCorp.\", nor does the part in front of a signature (result 1001; the stub shows \"The Signature Could not be verified\")", {}},
      {built("app.exe", "victim", "", data(0, 1556 + 4000)), {"verify", app}, "entry 2 (sub\\deeper\\data.bin): its data 0x000015B4 + 70000 bytes overlaps that of entry 0", [&] { EXPECT_NE(err.find("app.exe: the file table and the trailer differ from their digest"), err.npos); }},
      {built("app.exe", "victim", "", [](Bytes& b) { b[1556 + 5000 + 70000] = 'x'; }), {"verify", app}, "the settings file is not UTF-16LE text starting with FF FE", [&] { EXPECT_NE(err.find("app.exe: entry 3 ($Settings.ini): its data differs from its digest"), err.npos); }},
      {built("app.exe", "victim", "", unsafe), {"verify", app}, "entry 2 (...\\deeper\\data.bin): the stub refuses to extract it", {}},
      {[&] { test::WritePackage(app, test::MinimalPe({}), {{u"b.exe", u"", Bytes{'x'}}, {u"$Settings.ini", u"", Packed()}}); }, {"verify", app}, "app.exe: broken (2 problems)\n", [&] { EXPECT_NE(err.find("app.exe: not built on a Quillfen stub"), err.npos); }},
      {[&] { Write(dir / "bad.ico", "MZ"); }, brand({"--icon", At("bad.ico"), "--product", std::string(256, 'x')}), "bad.ico: not an icon file (.ico): it does not start with an icon directory", [&] { EXPECT_NE(err.find("--product: not 1 to 255 characters"), err.npos); }},
      {[&] { Bytes icon = test::ReadBytes(kIcon); icon.resize(1200); test::WriteBytes(dir / "bad.ico", icon); }, brand({"--icon", At("bad.ico"), "--version", "1.2.3.4.5"}), "bad.ico: image 2 of the icon file lies outside the file", [&] { EXPECT_NE(err.find("--version: \"1.2.3.4.5\" is no version"), err.npos); }},
      {[&] { test::WriteBytes(dir / "setup.exe", test::MinimalPe({})); }, {"build", "-s", At("setup.exe"), "--settings", At("settings.ini"), "-o", app, apps}, "setup.exe: not a Quillfen stub (a Windows program for i386 without the stub's record); give quillfen-stub.exe", {}},
      {built("out/a.exe", "victim", ""), {"extract", "-o", extracted, At("out/a.exe")}, "a.exe: is the installer being read", [&] { Expect({"verify", At("out/a.exe")}, kExitOk); Expect({"build", "-s", At("out/a.exe"), "--settings", At("settings.ini"), "-o", app, apps}, kExitProblems, "a.exe: already carries a package"); }},
      {built("app.exe", "list.json", "app.exe"), {"list", "--json", "-o", At("list.json"), app}, "list.json: is the installer being read", [&] { Expect({"verify", app}, kExitOk); }},
      {built("app.exe", "out/sub", "elsewhere"), {"extract", "-o", extracted, app}, "sub: is a link, which is not followed", [&] { EXPECT_TRUE(fs::is_empty(dir / "elsewhere")); }},
      {built("app.exe", "out/a.exe", "victim"), {"extract", "-o", extracted, app}, "a.exe: is a link, which is not followed", [&] { EXPECT_EQ(test::ReadBytes(dir / "victim"), victim); }},
      {[&] { test::WritePackage(app, stub, {{u"escaped.txt", u"..\\", Bytes{'x'}}, {u"$Settings.ini", u"", Packed()}}); }, {"extract", "-o", At("out/in"), app}, "..\\escaped.txt: refused", [&] { EXPECT_FALSE(fs::exists(dir / "out" / "escaped.txt")); }},
      {built("app.exe", "out/sub/deeper/data.bin", "", data(4, 80000)), {"extract", "-o", extracted, app}, "sub\\deeper\\data.bin: refused, its data 0x0000199C + 80000 bytes passes the start of the file table", [&] { EXPECT_EQ(test::ReadBytes(dir / "out" / "sub" / "deeper" / "data.bin"), victim); }},
  };
  // clang-format on
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& [setup, args, error, check] = cases[i];
    SCOPED_TRACE("case " + std::to_string(i));
    for (const char* stale : {"out", "app.exe", "victim", "elsewhere"}) fs::remove_all(dir / stale);
    if (setup) setup();
    Expect(args, kExitProblems, error);
    if (check) check();
    EXPECT_FALSE(args[0] == "build" && fs::exists(app));
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) EXPECT_NE(entry.path().extension(), ".tmp");
  }
}

// Interrupted, the temporary file is removed by the signal; failing for want
// of room (here the file size limit), the error names the installer.
TEST_F(PackCommands, AnInterruptedOrFailedOutputLeavesNothingBehind) {
  test::WriteBytes(dir / "app" / "big.bin", test::Pattern(3 << 20, 3));
  for (const bool interrupted : {true, false}) {
    if (const pid_t child = ::fork(); child == 0) {
      if (interrupted) ::raise(TemporaryOutput(test::CorePath(app), {}).IsOpen() ? SIGTERM : SIGKILL);
      const rlimit limit{1 << 20, 1 << 20};
      ::signal(SIGXFSZ, SIG_IGN);
      ::setrlimit(RLIMIT_FSIZE, &limit);
      Expect(Build(app), kExitProblems, "app.exe: cannot be written (File too large)");
      ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    } else {
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      EXPECT_EQ(status, interrupted ? SIGTERM : 0) << status;  // killed by SIGTERM; exited with 0
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 3) << "stub.exe, settings.ini, app/ only";
  }
}

// The tool as a program: the example settings packed without a warning, and
// signed by a real signing tool with a throw-away root and signer made here.
TEST_F(PackCommands, TheProgramPacksTheExampleAndVerifiesItsSignatureUntilAByteChanges) {
  if (test::RunCaptured({"osslsigncode", "--version"}).exitCode == 127) GTEST_SKIP() << "osslsigncode is needed";
  const fs::path pack = QF_PACK_TOOL, example = fs::path(QF_SOURCE_DIR) / "examples" / "settings.ini";
  test::WriteBytes(dir / "app" / "Installer.exe", test::Pattern(3001, 1));
  // clang-format off
  const std::vector<std::tuple<std::vector<fs::path>, long, std::string>> runs = {  // a program, what it exits with and shows
      {{pack, "list", "--bogus", "x"}, kExitUsage, "unknown option --bogus"},
      {{"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Quillfen root", "-keyout", At("root.key"), "-out", At("root.pem")}, 0, ""},
      {{"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Quillfen signer", "-CA", At("root.pem"), "-CAkey", At("root.key"), "-keyout", At("key.pem"), "-out", At("cert.pem")}, 0, ""},
      {{"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Other root", "-keyout", At("other.key"), "-out", At("other.pem")}, 0, ""},
      {{pack, "build", "-s", At("stub.exe"), "--settings", example, "-o", app, apps, "--company", "Foo Ltd", "--icon", kIcon}, kExitOk, "app.exe: 4 files and the settings,"},
      // The checksum replaces the linker's. osslsigncode leaves out the last byte of a file of odd length, which
      // Windows counts: an even one here.
      {{pack, "build", "-s", At("stub.exe"), "--settings", At("settings.ini"), "-o", At("even.exe"), At("app/a.exe")}, kExitOk, ""},
      {{"osslsigncode", "verify", "-in", At("even.exe")}, 1, "signature\nPE checksum   : "},  // a wrong one shows two lines
      {{"osslsigncode", "sign", "-certs", At("cert.pem"), "-ac", At("root.pem"), "-key", At("key.pem"), "-in", app, "-out", At("signed.exe")}, 0, ""},
      {{pack, "verify", At("signed.exe")}, kExitOk, "ok, 5 entries, signed, signature matches, 0 warnings"},
      {{"osslsigncode", "verify", "-CAfile", At("root.pem"), "-in", At("signed.exe")}, 0, "Signature verification: ok"},
      {{pack, "verify", "--ca", At("root.pem"), At("signed.exe")}, kExitOk, "signature: chain to the given root verifies"},
      {{pack, "verify", "--ca", At("other.pem"), At("signed.exe")}, kExitProblems, "signature: chain to the given root does not verify: self-signed certificate in certificate chain"},
      {{pack, "extract", "-o", extracted, At("signed.exe")}, kExitOk, "Installer.exe (3001 bytes)"},
      // One byte of Installer.exe's data, right after the stub and the digests, changed after signing.
      {{"cp", At("signed.exe"), At("changed.exe")}, 0, ""},
      {{"dd", "of=" + At("changed.exe"), "bs=1", "seek=1560", "count=1", "conv=notrunc", "if=" + At("stub.exe")}, 0, ""},
      {{pack, "verify", At("changed.exe")}, kExitProblems, "signature: image digest does not match: the file was changed after signing"},
  };
  // clang-format on
  for (const auto& [command, exit, shown] : runs) {
    const test::Captured run = test::RunCaptured(command);
    EXPECT_EQ(run.exitCode, exit) << run.output;
    EXPECT_NE(run.output.find(shown), std::string::npos) << shown << "\n--- in ---\n" << run.output;
  }
  EXPECT_EQ(test::ReadBytes(dir / "out" / "$Settings.ini"), test::ReferenceSettings());

  // The signature's own bytes changed, each found by what precedes it; the image digest is untouched.
  const Bytes original = test::ReadBytes(dir / "signed.exe");
  auto after = [&](std::vector<unsigned char> bytes) {  // the last occurrence: the certificate table ends the file
    return std::find_end(original.begin(), original.end(), bytes.begin(), bytes.end()) - original.begin() +
           bytes.size();
  };
  const uint32_t directory = test::PeLayout{}.SecurityDirectoryAt() + 4;
  // clang-format off
  const std::vector<std::pair<std::function<void(Bytes&)>, std::string>> broken = {
      {[&](Bytes& b) { b[after({0x04, 0x82, 0x01, 0x00}) + 100] ^= 1; }, "signature: signer's signature over the signed attributes does not verify"},
      {[&](Bytes& b) { b[after({0x05, 0x00, 0x04, 0x20})] ^= 1; }, "signature: the signed attributes' message digest does not match the signed content"},
      {[&](Bytes& b) { b[after({'Q', 'u', 'i', 'l', 'l', 'f', 'e', 'n', ' ', 's'}) - 1] = 'S'; }, "signature: signer's certificate is not signed by its issuer"},
      {[&](Bytes& b) { b.resize(b.size() + 8); test::PutU32At(b, directory, b[directory] + (b[directory + 1] << 8) + 8); }, "signature: the certificate table is 8 bytes longer than its one entry"},
  };
  // clang-format on
  for (const auto& [change, shown] : broken) {
    Bytes bytes = original;
    change(bytes);
    test::WriteBytes(dir / "broken.exe", bytes);
    Expect({"verify", At("broken.exe")}, kExitProblems, shown);
  }
}
#endif

TEST_F(PackCommands, UsageErrorsExitWith2AndHelpWith0) {
  // clang-format off
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{}, {"frobnicate"}, {"build", "-s", "x", "--settings", "y", "folder"},
           {"build", "-o", "out.exe", "folder"}, {"build", "--bogus"}, {"list"}, {"list", "a.exe", "b.exe"}, {"verify", "--json", "a.exe"}, {"verify", "--strict=1", "a.exe"},
           {"check", "a.exe"}, {"check", "a.exe", "--this-machine", "--linux"}, {"check", "a.exe", "--vendor", "x"}}) Expect(args, kExitUsage);
  // clang-format on
  Expect({"--help"}, kExitOk, "Exit status: 0 ok, 1 problems found, 2 wrong usage, 3 warnings under --strict.");
}

// The bar is redrawn only when its percentage moves, the last time at 100 %.
TEST(PackProgress, DrawsABarOnlyWhenThePercentageMovesUpToTheEnd) {
  EXPECT_EQ(ProgressLine(1ull << 20, 4ull << 20), "packing  25% [#######-----------------------] 1 of 4 MiB");
  std::ostringstream shown;
  ProgressMeter meter(&shown, 4ull << 20);
  for (int i = 0; i < 300; ++i) meter.Add(1ull << 14);  // 0.39 % each, and more than the total
  meter.Finish();
  const std::string text = shown.str();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 101);  // 0 % to 100 %, each once
  EXPECT_TRUE(text.ends_with("\r" + ProgressLine(4ull << 20, 4ull << 20) + "\n")) << text.substr(text.size() - 80);
}

}  // namespace
}  // namespace qf::pack
