#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

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

std::string Arg(const fs::path& path) { return path.string(); }

class PackCommands : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string out, err;
  const Bytes stub = test::MinimalPe(test::PeLayout{});
  const std::string settings = "[validate]\nbios=1\n[bios]\nManufacturer=Tavix\n[executable]\nfile=setup.exe\n[message]\nfail=x\n";
  const std::string app = Arg(dir / "app.exe");

  void SetUp() override {
    test::WriteBytes(dir / "stub.exe", stub);
    test::WriteBytes(dir / "settings.ini", Bytes(settings.begin(), settings.end()));
    fs::create_directories(dir / "app" / "sub" / "deeper");
    test::WriteBytes(dir / "app" / "setup.exe", test::Pattern(5000, 1));
    test::WriteBytes(dir / "app" / "sub" / "empty.dat", {});
    test::WriteBytes(dir / "app" / "sub" / "deeper" / "data.bin", test::Pattern(70000, 2));
  }

  int Run(std::vector<std::string> args) {
    std::ostringstream o, e;
    Console console{o, e, false, u""};
    const int exit = RunPack(args, console);
    out = o.str();
    err = e.str();
    return exit;
  }

  std::vector<std::string> Build(const fs::path& output) const {
    return {"build", "-s", Arg(dir / "stub.exe"), "--settings", Arg(dir / "settings.ini"), "-o", Arg(output), Arg(dir / "app")};
  }

  void NothingLeftBehind() const {
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) EXPECT_NE(entry.path().extension(), ".tmp");
  }

  Bytes Packed() const { return EncodeSettings(DecodeSettingsSource(Bytes(settings.begin(), settings.end())).text); }
};

TEST_F(PackCommands, BuildsWhatTheWriterLaysOutAndGivesItBack) {
  ASSERT_EQ(Run(Build(app)), kExitOk) << err;
  EXPECT_EQ(err, "");
  EXPECT_NE(out.find("app.exe: 3 files and the settings,"), std::string::npos) << out;
  test::WritePackage(dir / "expected.exe", stub,
                     {{u"setup.exe", u"", test::Pattern(5000, 1)}, {u"empty.dat", u"sub\\", {}},
                      {u"data.bin", u"sub\\deeper\\", test::Pattern(70000, 2)}, {u"$Settings.ini", u"", Packed()}});
  EXPECT_EQ(test::ReadBytes(app), test::ReadBytes(dir / "expected.exe"));

  // The stub is 1024 bytes, setup.exe 5000: the next data starts at 6024 (0x1788).
  ASSERT_EQ(Run({"list", app}), kExitOk) << err;
  EXPECT_NE(out.find(": 4 entries, format 1.00\n"), std::string::npos) << out;
  EXPECT_NE(out.find("    2  0x00001788       70000  sub\\deeper\\  data.bin\n"), std::string::npos) << out;
  ASSERT_EQ(Run({"list", "--json", app}), kExitOk) << err;
  EXPECT_NE(out.find(R"({"index": 2, "offset": 6024, "size": 70000, "directory": "sub\\deeper\\", "name": "data.bin"})"),
            std::string::npos)
      << out;
  ASSERT_EQ(Run({"verify", app}), kExitOk) << err;
  EXPECT_EQ(out, app + ": ok, 4 entries, 0 warnings\n");
  ASSERT_EQ(Run({"settings", app}), kExitOk) << err;
  EXPECT_EQ(out, settings);
  ASSERT_EQ(Run({"extract", "-o", Arg(dir / "out"), app}), kExitOk) << err;
  EXPECT_EQ(test::ReadBytes(dir / "out" / "sub" / "deeper" / "data.bin"), test::Pattern(70000, 2));
  EXPECT_EQ(test::ReadBytes(dir / "out" / "sub" / "empty.dat"), Bytes{});
  EXPECT_EQ(test::ReadBytes(dir / "out" / "$Settings.ini"), Packed());
  ASSERT_EQ(Run({"extract", "--output=" + Arg(dir / "one"), app, "--", "sub/deeper/data.bin"}), kExitOk) << err;
  EXPECT_EQ(out, "sub\\deeper\\data.bin (70000 bytes)\n");
  EXPECT_FALSE(fs::exists(dir / "one" / "setup.exe"));
}

// Warnings pass unless --strict; errors refuse.
TEST_F(PackCommands, TakesTheSettingsFromTheFolderAndWarnsOrRefuses) {
  const std::vector<std::string> folder = {"build", "-s", Arg(dir / "stub.exe"), "-o", app, Arg(dir / "app")};
  auto build = [&](std::string text, std::vector<std::string> args) {
    test::WriteBytes(dir / "app" / "$Settings.ini", Bytes(text.begin(), text.end()));
    return Run(args);
  };
  EXPECT_EQ(build("[executable]\nfile=gone.exe\n", folder), kExitProblems) << err;
  EXPECT_NE(err.find("$Settings.ini:2: [executable] file \"gone.exe\" names no packaged file"), std::string::npos);
  std::vector<std::string> strict = folder;
  strict.push_back("--strict");
  EXPECT_EQ(build("[Validate]\n[executable]\nfile=setup.exe\n", strict), kExitStrict) << err;
  EXPECT_NE(err.find("nothing written (--strict: warnings refuse)"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(app));
  ASSERT_EQ(Run(folder), kExitOk) << err;
  EXPECT_NE(err.find("$Settings.ini:1: [Validate] is not a section the stub reads; did you mean [validate]?"),
            std::string::npos);
  ASSERT_EQ(Run({"verify", app}), kExitOk);
  EXPECT_NE(out.find("ok, 4 entries, 2 warnings"), std::string::npos) << out;  // the folder's copy is no 4th file
  EXPECT_EQ(Run({"verify", "--strict", app}), kExitStrict);
  EXPECT_NE(out.find(": refused (--strict: 2 warnings)"), std::string::npos) << out;
}

#ifndef _WIN32
// What a package author's machine holds besides plain files: FIFOs, links,
// folders, the installer itself. None of it may be destroyed or followed, and
// every refusal names the file and why.
TEST_F(PackCommands, NeverDestroysNorFollows) {
  const Bytes victim = {'k', 'e', 'e', 'p'};
  const std::string extracted = Arg(dir / "out");
  auto fifo = [&](const char* name) { return [=, this] { ASSERT_EQ(::mkfifo((dir / name).c_str(), 0644), 0); }; };
  auto kept = [&](const fs::path& p) { return [=] { EXPECT_EQ(test::ReadBytes(p), victim) << p; }; };
  auto verifies = [&](const fs::path& p) { return [=, this] { EXPECT_EQ(Run({"verify", Arg(p)}), kExitOk) << err; }; };
  // The installer built, with a file of the user's and a link or a changed size (of data.bin, entry 2).
  auto built = [&](const char* from, const char* to, uint32_t dataSize = 70000) {
    return [=, this] {
      ASSERT_EQ(Run(Build(app)), kExitOk) << err;
      Bytes b = test::ReadBytes(app);
      test::PutU32At(b, b.size() - 32 - 42 - 54 + 4, dataSize);
      test::WriteBytes(app, b);
      test::WriteBytes(dir / "victim", victim);
      fs::create_directories(dir / "elsewhere");
      fs::create_directories((dir / to).parent_path());
      if (*from != 0) fs::create_symlink(dir / from, dir / to);
      if (*from == 0) test::WriteBytes(dir / to, victim);
    };
  };
  struct Case {
    std::function<void()> setup;
    std::vector<std::string> args;
    const char* error;
    std::function<void()> check;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {fifo("out.fifo"), Build(dir / "out.fifo"), "out.fifo: exists and is not a regular file", [&] { EXPECT_TRUE(fs::is_fifo(dir / "out.fifo")); }},
      {{}, Build(dir / "app" / "sub"), "sub: is a folder", [&] { EXPECT_TRUE(fs::exists(dir / "app" / "sub" / "empty.dat")); }},
      {[&] { ASSERT_EQ(Run(Build(dir / "app" / "in.exe")), kExitOk); fs::copy_file(dir / "app" / "in.exe", dir / "victim"); }, Build(dir / "app" / "in.exe"), "in.exe: is the installer being written", [&] { EXPECT_EQ(test::ReadBytes(dir / "app" / "in.exe"), test::ReadBytes(dir / "victim")); fs::remove(dir / "app" / "in.exe"); }},
      {fifo("s.fifo"), {"build", "-s", Arg(dir / "stub.exe"), "--settings", Arg(dir / "s.fifo"), "-o", app, Arg(dir / "app")}, "s.fifo: not a regular file", {}},
      {[&] { test::WriteBytes(dir / "bad.ini", Bytes{'a', '=', 0xC3, '('}); }, {"build", "-s", Arg(dir / "settings.ini"), "--settings", Arg(dir / "bad.ini"), "-o", app, Arg(dir / "app")}, "settings.ini: not a Windows program", [&] { EXPECT_NE(err.find("bad.ini: neither UTF-8 nor UTF-16"), std::string::npos); }},
      {{}, {"list", Arg(dir / "missing.exe")}, "missing.exe: cannot be opened (result 1000; the stub shows \"Could not open the installer\")", {}},
      {fifo("v.fifo"), {"verify", Arg(dir / "v.fifo")}, "v.fifo: not a regular file", {}},
      {[&] { fs::create_directories(dir / "x"); ASSERT_EQ(Run(Build(dir / "x" / "setup.exe")), kExitOk); }, {"extract", "-o", Arg(dir / "x"), Arg(dir / "x" / "setup.exe")}, "setup.exe: is the installer being read", verifies(dir / "x" / "setup.exe")},
      {built("app.exe", "list.json"), {"list", "--json", "-o", Arg(dir / "list.json"), app}, "list.json: is the installer being read", verifies(app)},
      {built("elsewhere", "out/sub"), {"extract", "-o", extracted, app}, "sub: is a link, which is not followed", [&] { EXPECT_TRUE(fs::is_empty(dir / "elsewhere")); }},
      {built("victim", "out/setup.exe"), {"extract", "-o", extracted, app}, "setup.exe: is a link, which is not followed", kept(dir / "victim")},
      {[&] { test::WritePackage(app, stub, {{u"escaped.txt", u"..\\", Bytes{'x'}}, {u"$Settings.ini", u"", Packed()}}); }, {"extract", "-o", Arg(dir / "out" / "in"), app}, "..\\escaped.txt: refused", [&] { EXPECT_FALSE(fs::exists(dir / "out" / "escaped.txt")); }},
      {built("", "out/sub/deeper/data.bin", 80000), {"extract", "-o", extracted, app}, "sub\\deeper\\data.bin: refused, its data 0x00001788 + 80000 bytes passes the start of the file table", kept(dir / "out" / "sub" / "deeper" / "data.bin")},
  };
  // clang-format on
  for (std::size_t i = 0; i < cases.size(); ++i) {
    for (const char* stale : {"out", "app.exe", "victim", "elsewhere"}) fs::remove_all(dir / stale);
    if (cases[i].setup) cases[i].setup();
    EXPECT_EQ(Run(cases[i].args), kExitProblems) << "case " << i << ": " << err;
    EXPECT_NE(err.find(cases[i].error), std::string::npos) << "case " << i << ": " << err;
    if (cases[i].check) cases[i].check();
    EXPECT_FALSE(cases[i].args[0] == "build" && fs::exists(app)) << "case " << i;
    NothingLeftBehind();
  }
}

// Interrupted, the temporary file is removed by the signal; failing for want
// of room (here the file size limit), the error names the installer.
TEST_F(PackCommands, AnInterruptedOrFailedOutputLeavesNothingBehind) {
  test::WriteBytes(dir / "app" / "big.bin", test::Pattern(3 << 20, 3));
  for (const bool interrupted : {true, false}) {
    const pid_t child = ::fork();
    if (child == 0) {
      if (interrupted) ::raise(TemporaryOutput(test::CorePath(app), {}).IsOpen() ? SIGTERM : SIGKILL);
      const rlimit limit{1 << 20, 1 << 20};
      ::signal(SIGXFSZ, SIG_IGN);
      ::setrlimit(RLIMIT_FSIZE, &limit);
      ::_exit(Run(Build(app)) == kExitProblems && err.find("app.exe: cannot be written (File too large)") != err.npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, interrupted ? SIGTERM : 0) << status;  // killed by SIGTERM; exited with 0
    NothingLeftBehind();
    EXPECT_FALSE(fs::exists(app));
  }
}
#endif

TEST_F(PackCommands, VerifyNamesWhatIsBroken) {
  ASSERT_EQ(Run(Build(app)), kExitOk) << err;
  const Bytes good = test::ReadBytes(app);
  // The records of data.bin (54 bytes) and $Settings.ini (42 bytes) end the table; the settings' data follows
  // the stub and the three files.
  const std::size_t trailer = good.size() - 32, dataRecord = trailer - 42 - 54, settingsData = 1024 + 5000 + 70000;
  // clang-format off
  const std::vector<std::pair<std::function<void(Bytes&)>, const char*>> cases = {
      {[](Bytes& b) { b.pop_back(); }, "no package: the file does not end in the tag \"TavixCorp.\", nor does the part in front of a signature (result 1001; the stub shows \"The Signature Could not be verified\")"},
      {[&](Bytes& b) { b[trailer + 4] = '2'; }, "format version \"2.00\"; the stub reads only \"1.00\""},
      {[&](Bytes& b) { test::PutU32At(b, dataRecord, 0x80000000u); }, "record 2 of 4: data offset 0x80000000 is past 2 GiB"},
      {[&](Bytes& b) { test::PutU32At(b, dataRecord, 1024 + 4000); }, "entry 2 (sub\\deeper\\data.bin): its data 0x000013A0 + 70000 bytes overlaps that of entry 0"},
      {[&](Bytes& b) { b[settingsData] = 'x'; }, "the settings file is not UTF-16LE text starting with FF FE"},
      {[&](Bytes& b) { b[dataRecord + 28] = b[dataRecord + 30] = b[dataRecord + 32] = '.'; }, "entry 2 (...\\deeper\\data.bin): the stub refuses to extract it"},
  };
  // clang-format on
  for (const auto& [change, reason] : cases) {
    Bytes broken = good;
    change(broken);
    test::WriteBytes(dir / "broken.exe", broken);
    EXPECT_EQ(Run({"verify", Arg(dir / "broken.exe")}), kExitProblems) << reason;
    EXPECT_NE(err.find(reason), std::string::npos) << reason << "\n--- in ---\n" << err;
    EXPECT_NE(out.find(": broken"), std::string::npos) << reason << ": " << out;
  }
}

TEST_F(PackCommands, UsageErrorsExitWith2AndHelpWith0) {
  // clang-format off
  const std::vector<std::vector<std::string>> usage = {
      {}, {"frobnicate"}, {"build", "-s", "x", "--settings", "y", "folder"}, {"build", "-s", "x", "--settings", "y", "-o", "out.exe"},
      {"build", "--bogus"}, {"build", "-o"}, {"list"}, {"list", "a.exe", "b.exe"}, {"verify", "--json", "a.exe"}, {"verify", "--strict=1", "a.exe"}};
  // clang-format on
  for (const auto& args : usage) EXPECT_EQ(Run(args), kExitUsage) << (args.empty() ? "(none)" : args[0]) << " " << err;
  ASSERT_EQ(Run(Build(app)), kExitOk);
  EXPECT_EQ(Run({"extract", "--index", "4", app}), kExitUsage);
  EXPECT_EQ(Run({"extract", "-h"}), kExitOk);
  EXPECT_EQ(out.rfind("usage: quillfen-pack extract", 0), 0u) << out;
  EXPECT_EQ(Run({"--help"}), kExitOk);
  EXPECT_NE(out.find("Exit status: 0 ok, 1 problems found, 2 wrong usage, 3 warnings under --strict."), out.npos);
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
