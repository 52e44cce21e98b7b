#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "pack/lib/Args.h"
#include "pack/lib/Commands.h"
#include "pack/lib/Progress.h"
#include "pack/lib/SafeOutput.h"
#include "pack/lib/SettingsText.h"
#include "package/PackageReader.h"
#include "support/PackageFixture.h"
#include "support/PeImage.h"

namespace qf::pack {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

std::string Arg(const fs::path& path) {
  const auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

class PackCommands : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string out;
  std::string err;
  const Bytes stub = test::MinimalPe(test::PeLayout{});
  const std::string settingsUtf8 =
      "[validate]\nbios=1\n[bios]\nManufacturer=Tavix\n[executable]\nfile=setup.exe\nparam=-s\n[message]\nfail=Tavix "
      "only.~~Call your vendor.\n";

  void SetUp() override {
    test::WriteBytes(dir / "stub.exe", stub);
    test::WriteBytes(dir / "settings.ini", Bytes(settingsUtf8.begin(), settingsUtf8.end()));
    fs::create_directories(dir / "app" / "sub" / "deeper");
    test::WriteBytes(dir / "app" / "setup.exe", test::Pattern(5000, 1));
    test::WriteBytes(dir / "app" / "sub" / "empty.dat", {});
    test::WriteBytes(dir / "app" / "sub" / "deeper" / "data.bin", test::Pattern(70000, 2));
  }

  int Run(std::vector<std::string> args) {
    std::ostringstream o;
    std::ostringstream e;
    Console console{o, e, false, u""};
    const int exit = RunPack(args, console);
    out = o.str();
    err = e.str();
    return exit;
  }

  int BuildApp(const std::string& output = "app.exe") {
    return Run({"build", "-s", Arg(dir / "stub.exe"), "--settings", Arg(dir / "settings.ini"), "-o", Arg(dir / output),
                Arg(dir / "app")});
  }

  void NothingLeftBehind() const {
    for (const auto& entry : fs::directory_iterator(dir.path())) EXPECT_NE(entry.path().extension(), ".tmp") << entry;
  }

  Bytes PackedSettings() const {
    const DecodedSettings decoded = DecodeSettingsSource(Bytes(settingsUtf8.begin(), settingsUtf8.end()));
    return EncodeSettings(decoded.text);
  }
};

TEST_F(PackCommands, BuildsExactlyWhatTheWriterLaysOut) {
  ASSERT_EQ(BuildApp(), kExitOk) << err;
  EXPECT_EQ(err, "");
  EXPECT_NE(out.find("app.exe: 3 files and the settings,"), std::string::npos) << out;

  test::WritePackage(dir / "expected.exe", stub,
                     {{u"setup.exe", u"", test::Pattern(5000, 1)},
                      {u"empty.dat", u"sub\\", {}},
                      {u"data.bin", u"sub\\deeper\\", test::Pattern(70000, 2)},
                      {u"$Settings.ini", u"", PackedSettings()}});
  EXPECT_EQ(test::ReadBytes(dir / "app.exe"), test::ReadBytes(dir / "expected.exe"));
}

TEST_F(PackCommands, ListVerifyExtractAndSettingsGiveBackWhatWasBuilt) {
  ASSERT_EQ(BuildApp(), kExitOk) << err;
  const std::string installer = Arg(dir / "app.exe");

  ASSERT_EQ(Run({"list", installer}), kExitOk) << err;
  EXPECT_NE(out.find(": 4 entries, format 1.00\n"), std::string::npos) << out;
  // The stub is 1024 bytes, setup.exe 5000: the next data starts at 6024 (0x1788).
  EXPECT_NE(out.find("    1  0x00001788           0  sub\\         empty.dat\n"), std::string::npos) << out;
  EXPECT_NE(out.find("    2  0x00001788       70000  sub\\deeper\\  data.bin\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("signature"), std::string::npos);

  ASSERT_EQ(Run({"list", "--json", installer}), kExitOk) << err;
  EXPECT_NE(out.find("{\"index\": 2, \"offset\": 6024, \"size\": 70000, \"directory\": \"sub\\\\deeper\\\\\", "
                     "\"name\": \"data.bin\"}"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\"signed\": false"), std::string::npos);

  ASSERT_EQ(Run({"verify", installer}), kExitOk) << err;
  EXPECT_EQ(out, installer + ": ok, 4 entries, 0 warnings\n");

  ASSERT_EQ(Run({"extract", "-o", Arg(dir / "out"), installer}), kExitOk) << err;
  EXPECT_EQ(test::ReadBytes(dir / "out" / "setup.exe"), test::Pattern(5000, 1));
  EXPECT_EQ(test::ReadBytes(dir / "out" / "sub" / "empty.dat"), Bytes{});
  EXPECT_EQ(test::ReadBytes(dir / "out" / "sub" / "deeper" / "data.bin"), test::Pattern(70000, 2));
  EXPECT_EQ(test::ReadBytes(dir / "out" / "$Settings.ini"), PackedSettings());

  ASSERT_EQ(Run({"extract", "-o", Arg(dir / "one"), installer, "sub/deeper/data.bin"}), kExitOk) << err;
  EXPECT_EQ(out, "sub\\deeper\\data.bin (70000 bytes)\n");
  EXPECT_FALSE(fs::exists(dir / "one" / "setup.exe"));
  ASSERT_EQ(Run({"extract", "-o", Arg(dir / "two"), "--index", "0", installer}), kExitOk) << err;
  EXPECT_EQ(test::ReadBytes(dir / "two" / "setup.exe"), test::Pattern(5000, 1));

  ASSERT_EQ(Run({"settings", installer}), kExitOk) << err;
  EXPECT_EQ(out, settingsUtf8);
  ASSERT_EQ(Run({"settings", "-o", Arg(dir / "again.ini"), installer}), kExitOk) << err;
  EXPECT_EQ(test::ReadBytes(dir / "again.ini"), Bytes(settingsUtf8.begin(), settingsUtf8.end()));
}

TEST_F(PackCommands, TakesTheSettingsFromTheFolderAndWarnsAboutThem) {
  auto build = [&](const std::string& settings, const char* option) {
    test::WriteBytes(dir / "app" / "$Settings.ini", Bytes(settings.begin(), settings.end()));
    std::vector<std::string> args = {"build",         "-s", Arg(dir / "stub.exe"), "-o", Arg(dir / "app.exe"),
                                     Arg(dir / "app")};
    if (*option != 0) args.push_back(option);
    return Run(args);
  };
  EXPECT_EQ(build("[Validate]\n[executable]\nfile=setup.exe\n", "--strict"), kExitStrict) << err;
  EXPECT_NE(err.find("nothing written (--strict: warnings refuse)"), std::string::npos) << err;
  EXPECT_EQ(build("[executable]\nfile=gone.exe\n", ""), kExitProblems) << err;
  EXPECT_NE(err.find("$Settings.ini:2: [executable] file \"gone.exe\" names no packaged file"), std::string::npos)
      << err;
  EXPECT_FALSE(fs::exists(dir / "app.exe"));

  ASSERT_EQ(build("[Validate]\n[executable]\nfile=setup.exe\n", ""), kExitOk) << err;
  EXPECT_NE(err.find("$Settings.ini:1: [Validate] is not a section the stub reads; did you mean [validate]?"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("$Settings.ini: No check is on: every machine is accepted"), std::string::npos) << err;
  PackageReader reader(test::CorePath(dir / "app.exe"));
  ASSERT_EQ(reader.LoadTable(reader.GetPackagePath()), ResultCode::Success);
  EXPECT_EQ(reader.GetEntryCount(), 4);  // the folder's own copy is the settings, not a fourth file

  ASSERT_EQ(Run({"verify", Arg(dir / "app.exe")}), kExitOk);
  EXPECT_NE(err.find("$Settings.ini:1: [Validate] is not a section"), std::string::npos) << err;
  EXPECT_EQ(Run({"verify", "--strict", Arg(dir / "app.exe")}), kExitStrict);
  EXPECT_NE(out.find(": refused (--strict: 2 warnings)"), std::string::npos) << out;
}

#ifndef _WIN32
// What a package author's machine holds besides plain files: devices, FIFOs,
// links, names that only differ in case, deep folders. None of it may be
// destroyed or followed, and every refusal names the file and why.
TEST_F(PackCommands, NeverDestroysNorFollows) {
  using Args = std::vector<std::string>;
  const std::string stubArg = Arg(dir / "stub.exe"), settingsArg = Arg(dir / "settings.ini");
  const std::string app = Arg(dir / "app.exe"), out = Arg(dir / "out");
  auto build = [&](const fs::path& output, Args inputs = {}) {
    Args args = {"build", "-s", stubArg, "--settings", settingsArg, "-o", Arg(output)};
    if (inputs.empty()) inputs.push_back(Arg(dir / "app"));
    args.insert(args.end(), inputs.begin(), inputs.end());
    return args;
  };
  auto fifo = [&](const char* name) { return [=, this] { ASSERT_EQ(::mkfifo((dir / name).c_str(), 0644), 0); }; };
  const Bytes victim = {'k', 'e', 'e', 'p'};
  auto kept = [&](const fs::path& p) { return [=] { EXPECT_EQ(test::ReadBytes(p), victim) << p; }; };
  auto built = [&] { ASSERT_EQ(BuildApp(), kExitOk) << err; };
  auto verifies = [&](const fs::path& p) { return [=, this] { EXPECT_EQ(Run({"verify", Arg(p)}), kExitOk) << err; }; };
  // data.bin (entry 2) made to cover the start of the table, or setup.exe's data; a file of the user's at its place.
  auto damaged = [&](uint32_t size, uint32_t offset) {
    return [=, this] {
      built();
      Bytes b = test::ReadBytes(dir / "app.exe");
      const std::size_t dataRecord = b.size() - 32 - 42 - 54;
      test::PutU32At(b, dataRecord + 4, size);
      test::PutU32At(b, dataRecord, offset);
      test::WriteBytes(dir / "app.exe", b);
      fs::create_directories(dir / "out" / "sub" / "deeper");
      test::WriteBytes(dir / "out" / "sub" / "deeper" / "data.bin", victim);
    };
  };
  auto link = [&](const char* from, const char* to) {
    return [=, this] {
      built();
      test::WriteBytes(dir / "victim", victim);
      fs::create_directories(dir / "out");
      fs::create_directories(dir / "elsewhere");
      fs::create_symlink(dir / from, dir / to);
    };
  };
  const std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e') + "/" + std::string(120, 'f');
  struct Case {
    const char* what;
    std::function<void()> setup;
    Args args;
    int exit;
    const char* error;
    std::function<void()> check;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"-o names a FIFO", fifo("out.fifo"), build(dir / "out.fifo"), kExitProblems, "out.fifo: exists and is not a regular file", [&] { EXPECT_TRUE(fs::is_fifo(dir / "out.fifo")); }},
      {"-o names a folder", {}, build(dir / "app" / "sub"), kExitProblems, "sub: is a folder", [&] { EXPECT_TRUE(fs::exists(dir / "app" / "sub" / "empty.dat")); }},
      {"a link at the old temporary name", link("victim", "app.exe.partial"), build(dir / "app.exe"), kExitOk, "", [&] { kept(dir / "victim")(); EXPECT_FALSE(fs::is_symlink(dir / "app.exe")); }},
      {"an input named like the old temporary file", [&] { test::WriteBytes(dir / "app.exe.partial", victim); }, build(dir / "app.exe", {Arg(dir / "app"), Arg(dir / "app.exe.partial")}), kExitOk, "", kept(dir / "app.exe.partial")},
      {"an installer inside the folder it is built from", [&] { ASSERT_EQ(BuildApp("app/app.exe"), kExitOk); test::WriteBytes(dir / "victim", test::ReadBytes(dir / "app" / "app.exe")); }, build(dir / "app" / "app.exe"), kExitProblems, "app.exe: is the installer being written", [&] { EXPECT_EQ(test::ReadBytes(dir / "app" / "app.exe"), test::ReadBytes(dir / "victim")); fs::remove(dir / "app" / "app.exe"); }},
      {"a FIFO as settings", fifo("s.fifo"), {"build", "-s", stubArg, "--settings", Arg(dir / "s.fifo"), "-o", app, out}, kExitProblems, "s.fifo: not a regular file", {}},
      {"a FIFO as stub", fifo("stub.fifo"), {"build", "-s", Arg(dir / "stub.fifo"), "--settings", settingsArg, "-o", app, out}, kExitProblems, "stub.fifo: not a regular file", {}},
      {"a stub that is no program", [&] { test::WriteBytes(dir / "notpe.exe", Bytes(100, 'x')); }, {"build", "-s", Arg(dir / "notpe.exe"), "--settings", settingsArg, "-o", app, Arg(dir / "app")}, kExitProblems, "notpe.exe: not a Windows program", {}},
      {"settings that are no text", [&] { test::WriteBytes(dir / "bad.ini", Bytes{'a', '=', 0xC3, '('}); }, {"build", "-s", stubArg, "--settings", Arg(dir / "bad.ini"), "-o", app, Arg(dir / "app")}, kExitProblems, "bad.ini: neither UTF-8 nor UTF-16", {}},
      {"a missing installer", {}, {"list", Arg(dir / "missing.exe")}, kExitProblems, "missing.exe: cannot be opened (result 1000; the stub shows \"Could not open the installer\")", {}},
      {"a FIFO to list", fifo("i.fifo"), {"list", Arg(dir / "i.fifo")}, kExitProblems, "i.fifo: not a regular file", {}},
      {"a FIFO to verify", fifo("v.fifo"), {"verify", Arg(dir / "v.fifo")}, kExitProblems, "v.fifo: not a regular file", {}},
      {"extract over the installer itself", [&] { fs::create_directories(dir / "x"); ASSERT_EQ(BuildApp("x/setup.exe"), kExitOk) << err; }, {"extract", "-o", Arg(dir / "x"), Arg(dir / "x" / "setup.exe")}, kExitProblems, "setup.exe: is the installer being read", verifies(dir / "x" / "setup.exe")},
      {"settings -o the installer", built, {"settings", "-o", app, app}, kExitProblems, "app.exe: is the installer being read", verifies(dir / "app.exe")},
      {"list --json -o a link to the installer", link("app.exe", "list.json"), {"list", "--json", "-o", Arg(dir / "list.json"), app}, kExitProblems, "list.json: is the installer being read", verifies(dir / "app.exe")},
      {"a link where extract would make a folder", link("elsewhere", "out/sub"), {"extract", "-o", out, app}, kExitProblems, "sub: is a link, which is not followed", [&] { EXPECT_TRUE(fs::is_empty(dir / "elsewhere")); }},
      {"a link where extract would write a file", link("victim", "out/setup.exe"), {"extract", "-o", out, app}, kExitProblems, "setup.exe: is a link, which is not followed", kept(dir / "victim")},
      {"an entry that would leave the folder", [&] { test::WritePackage(dir / "app.exe", stub, {{u"escaped.txt", u"..\\", Bytes{'x'}}, {u"$Settings.ini", u"", PackedSettings()}}); }, {"extract", "-o", Arg(dir / "out" / "inner"), app}, kExitProblems, "..\\escaped.txt: refused", [&] { EXPECT_FALSE(fs::exists(dir / "out" / "escaped.txt")); }},
      {"data that runs into the table", damaged(80000, 0x1788), {"extract", "-o", out, app}, kExitProblems, "sub\\deeper\\data.bin: refused, its data 0x00001788 + 80000 bytes passes the start of the file table", kept(dir / "out" / "sub" / "deeper" / "data.bin")},
      {"data that overlaps another entry's", damaged(70000, 1024 + 4000), {"extract", "-o", out, app}, kExitProblems, "sub\\deeper\\data.bin: refused, its data 0x000013A0 + 70000 bytes overlaps that of entry 0", [&] { kept(dir / "out" / "sub" / "deeper" / "data.bin")(); EXPECT_EQ(Run({"verify", app}), kExitProblems); EXPECT_NE(err.find("overlaps that of entry 0"), std::string::npos) << err; }},
      {"names Windows treats as one", [&] { test::WriteBytes(dir / "app" / "\xc3\x89.txt", victim); test::WriteBytes(dir / "app" / "\xc3\xa9.txt", victim); }, build(dir / "app.exe"), kExitProblems, "extracts to the same path as", {}},
      {"a name Windows forbids", [&] { test::WriteBytes(dir / "app" / "sub" / "a:b.txt", victim); }, build(dir / "app.exe"), kExitProblems, "a:b.txt: the character ':', which Windows forbids", {}},
      {"a folder deeper than 259 characters", [&] { fs::create_directories(dir / deep); }, build(dir / deep / "app.exe"), kExitOk, "", verifies(dir / deep / "app.exe")},
      {"an installer past 2 GiB", [&] { test::WriteBytes(dir / "app" / "big.bin", {}); fs::resize_file(dir / "app" / "big.bin", 0x80000000ull); }, build(dir / "app.exe"), kExitProblems, "app.exe: the installer would have", {}},
      {"settings over 1 MiB", [&] { Bytes big = PackedSettings(); big.resize(big.size() + 2 * 600000, 0); test::WritePackage(dir / "big.exe", stub, {{u"setup.exe", u"", {'x'}}, {u"$Settings.ini", u"", big}}); }, {"settings", Arg(dir / "big.exe")}, kExitProblems, "big.exe: the settings file has 1200", {}},
  };
  // clang-format on
  for (const Case& c : cases) {
    for (const char* stale : {"out", "app.exe", "app.exe.partial", "victim", "elsewhere"}) fs::remove_all(dir / stale);
    try {
      if (c.setup) c.setup();
      EXPECT_EQ(Run(c.args), c.exit) << c.what << ": " << err;
      EXPECT_NE(err.find(c.error), std::string::npos) << c.what << ": " << err;
      if (c.check) c.check();
    } catch (const std::exception& e) {
      ADD_FAILURE() << c.what << ": " << e.what();
    }
    EXPECT_FALSE(fs::exists(dir / "app.exe") && c.exit != kExitOk && c.args[0] == "build") << c.what;
    NothingLeftBehind();
    for (const char* extra : {"app/\xc3\x89.txt", "app/\xc3\xa9.txt", "app/sub/a:b.txt", "app/big.bin"}) {
      fs::remove(dir / extra);
    }
  }
}

// Interrupted, the temporary file is removed by the signal; failing for want
// of room (here the file size limit), the error names the installer, not the
// input being copied.
TEST_F(PackCommands, AnInterruptedOrFailedOutputLeavesNothingBehind) {
  test::WriteBytes(dir / "app" / "big.bin", test::Pattern(3 << 20, 3));
  for (const bool interrupted : {true, false}) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (interrupted) ::raise(TemporaryOutput(test::CorePath(dir / "app.exe"), {}).IsOpen() ? SIGTERM : SIGKILL);
      const rlimit limit{1 << 20, 1 << 20};
      ::signal(SIGXFSZ, SIG_IGN);
      ::setrlimit(RLIMIT_FSIZE, &limit);
      ::_exit(BuildApp() == kExitProblems &&
                      err.find("app.exe: cannot be written (File too large)") != std::string::npos
                  ? 0
                  : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, interrupted ? SIGTERM : 0) << status;  // killed by SIGTERM; exited with 0
    NothingLeftBehind();
    EXPECT_FALSE(fs::exists(dir / "app.exe"));
  }
}
#endif

TEST_F(PackCommands, VerifyNamesWhatIsBroken) {
  ASSERT_EQ(BuildApp(), kExitOk) << err;
  const Bytes good = test::ReadBytes(dir / "app.exe");
  PackageReader reader(test::CorePath(dir / "app.exe"));
  ASSERT_EQ(reader.LoadTable(reader.GetPackagePath()), ResultCode::Success);
  const std::size_t trailer = good.size() - 32;
  // The records of data.bin (54 bytes) and $Settings.ini (42 bytes) end the table.
  const std::size_t settingsRecord = trailer - 42;
  const std::size_t dataRecord = settingsRecord - 54;
  const std::size_t dataDirectory = dataRecord + 8 + 2 * 8 + 4;
  const auto settingsData = static_cast<std::size_t>(reader.GetEntry(3).offset);
  struct Case {
    const char* what;
    std::function<void(Bytes&)> change;
    const char* reason;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"cut short", [](Bytes& b) { b.pop_back(); }, "no package: the file does not end in the tag \"TavixCorp.\", nor does the part in front of a signature (result 1001; the stub shows \"The Signature Could not be verified\")"},
      {"version", [&](Bytes& b) { b[trailer + 4] = '2'; }, "format version \"2.00\"; the stub reads only \"1.00\""},
      {"count", [&](Bytes& b) { test::PutU32At(b, trailer, 0); }, "the table is empty"},
      {"too many", [&](Bytes& b) { test::PutU32At(b, trailer, 1025); }, "announces 1025 files"},
      {"long directory", [&](Bytes& b) { test::PutU32At(b, settingsRecord - 4, 600); }, "record 2 of 4: a directory of 600 characters"},
      {"table past the file's start", [&](Bytes& b) { test::PutU32At(b, trailer, 5); b.erase(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(reader.GetTableStart())); }, "record 0 of 5: the table is longer than the file"},
      {"offset past 2 GiB", [&](Bytes& b) { test::PutU32At(b, dataRecord, 0x80000000u); }, "record 2 of 4: data offset 0x80000000 is past 2 GiB"},
      {"data into the table", [&](Bytes& b) { test::PutU32At(b, dataRecord + 4, 80000); }, "entry 2 (sub\\deeper\\data.bin): its data 0x00001788 + 80000 bytes passes the start of the file table"},
      {"settings without their mark", [&](Bytes& b) { b[settingsData] = 'x'; }, "the settings file is not UTF-16LE text starting with FF FE"},
      {"unsafe directory", [&](Bytes& b) { b[dataDirectory] = b[dataDirectory + 2] = b[dataDirectory + 4] = '.'; }, "entry 2 (...\\deeper\\data.bin): the stub refuses to extract it"},
  };
  // clang-format on
  for (const Case& c : cases) {
    Bytes broken = good;
    c.change(broken);
    test::WriteBytes(dir / "broken.exe", broken);
    EXPECT_EQ(Run({"verify", Arg(dir / "broken.exe")}), kExitProblems) << c.what;
    EXPECT_NE(err.find(c.reason), std::string::npos) << c.what << ": " << err;
    EXPECT_NE(out.find(": broken"), std::string::npos) << c.what << ": " << out;
  }
  // Another builder's "$SETTINGS.INI" is the settings file all the same, as the stub reads it.
  Bytes upper = good;
  for (std::size_t i = settingsRecord + 8; i < settingsRecord + 8 + 26; i += 2) upper[i] = static_cast<unsigned char>(std::toupper(upper[i]));
  test::WriteBytes(dir / "upper.exe", upper);
  EXPECT_EQ(Run({"verify", Arg(dir / "upper.exe")}), kExitOk) << err;
}

TEST_F(PackCommands, UsageErrorsExitWith2AndHelpWith0) {
  ASSERT_EQ(BuildApp(), kExitOk);
  const std::string app = Arg(dir / "app.exe");
  // clang-format off
  const std::vector<std::vector<std::string>> usage = {
      {}, {"frobnicate"}, {"build", "-s", "x", "--settings", "y", "folder"}, {"build", "-s", "x", "--settings", "y", "-o", "out.exe"},
      {"build", "--bogus"}, {"build", "-o"}, {"list"}, {"list", "a.exe", "b.exe"}, {"verify", "--json", "a.exe"}, {"settings"},
      {"extract", "--index", "4", app}, {"extract", "--index", "x", app}};
  // clang-format on
  for (const auto& args : usage) EXPECT_EQ(Run(args), kExitUsage) << (args.empty() ? "(none)" : args[0]) << " " << err;
  for (const char* command : {"build", "list", "verify", "extract", "settings"}) {
    EXPECT_EQ(Run({command, "--help"}), kExitOk);
    EXPECT_EQ(out.rfind(std::string("usage: quillfen-pack ") + command, 0), 0u) << out;
  }
  EXPECT_EQ(Run({"--help"}), kExitOk);
  EXPECT_NE(out.find("Exit status: 0 ok, 1 problems found, 2 wrong usage, 3 warnings under --strict."),
            std::string::npos);
}

TEST(PackArgs, ParsesConventionalOptions) {
  const std::vector<OptionDef> definitions = {{"output", 'o', true}, {"json", 0, false}};
  const std::vector<std::string> args = {"a", "-o", "x", "--json", "--output=y", "--", "--json", "-"};
  const ParsedArgs parsed = ParseArgs(args, definitions);
  EXPECT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.Get("output"), "y");
  EXPECT_TRUE(parsed.Has("json"));
  EXPECT_EQ(parsed.positionals, (std::vector<std::string>{"a", "--json", "-"}));
  EXPECT_EQ(ParseArgs(std::vector<std::string>{"--json=1"}, definitions).error, "option --json takes no value");
  EXPECT_EQ(ParseArgs(std::vector<std::string>{"-x"}, definitions).error, "unknown option -x");
  EXPECT_TRUE(ParseArgs(std::vector<std::string>{"a", "-h"}, definitions).help);
}

TEST(PackProgress, DrawsABarOnlyWhenThePercentageMoves) {
  EXPECT_EQ(ProgressLine(0, 4ull << 20), "packing   0% [------------------------------] 0 of 4 MiB");
  EXPECT_EQ(ProgressLine(1ull << 20, 4ull << 20), "packing  25% [#######-----------------------] 1 of 4 MiB");
  EXPECT_EQ(ProgressLine(4ull << 20, 4ull << 20), "packing 100% [##############################] 4 of 4 MiB");
  std::ostringstream shown;
  ProgressMeter meter(&shown, 1000);
  for (int i = 0; i < 100; ++i) meter.Add(5);  // 0.5 % each
  meter.Finish();
  const std::string text = shown.str();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 51);  // 0 % to 50 %
  EXPECT_EQ(text.back(), '\n');
  std::ostringstream silent;
  ProgressMeter quiet(nullptr, 1000);
  quiet.Add(1000);
  quiet.Finish();
  EXPECT_EQ(silent.str(), "");
}

}  // namespace
}  // namespace qf::pack
