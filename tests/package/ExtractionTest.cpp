#include <gtest/gtest.h>

#include <filesystem>

#include "package/PackageReader.h"
#include "support/PackageFixture.h"
#include "sys/File.h"
#include "sys/Path.h"

namespace qf {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::TempDir;
using test::TestEntry;

struct Recorder {
  std::vector<int32_t> events;
  std::vector<std::u16string> names;
  std::vector<bool> fileComplete;  // the entry's file was on disk when it was reported
  fs::path where;

  explicit Recorder(fs::path w) : where(std::move(w)) {}

  static intptr_t Callback(int32_t event, const PackageEntry* entry, void* context) {
    auto* self = static_cast<Recorder*>(context);
    self->events.push_back(event);
    self->names.push_back(entry->name);
    std::error_code ec;
    self->fileComplete.push_back(fs::file_size(self->where / test::FsPath(entry->directory + entry->name), ec) ==
                                 entry->size);
    return 0;
  }
};

// Names of everything below `root`, relative, "/"-separated, sorted.
std::vector<std::string> Tree(const fs::path& root) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(root))
    names.push_back(e.path().lexically_relative(root).generic_string());
  std::sort(names.begin(), names.end());
  return names;
}

class ExtractionTest : public ::testing::Test {
 protected:
  TempDir dir;
  TempDir out;
  Bytes stub = Bytes(100, 'S');

  PackageReader MakePackage(const std::vector<TestEntry>& entries) {
    test::WritePackage(dir / "setup.exe", stub, entries);
    return PackageReader(test::CorePath(dir / "setup.exe"));
  }
  std::u16string OutDir() const { return out.core() + u"\\"; }
};

TEST_F(ExtractionTest, ReferencePackageIsWrittenLastEntryFirst) {
  const auto ref = test::MakeReferencePackage();
  test::WritePackage(dir / "ref.exe", ref.stub, ref.entries);
  PackageReader reader(test::CorePath(dir / "ref.exe"));
  Recorder rec(out.path());
  ASSERT_EQ(reader.ExtractAll(out.core(), &Recorder::Callback, &rec), ResultCode::Success);
  EXPECT_EQ(rec.names, (std::vector<std::u16string>{u"$Settings.ini", u"SetupHelper1.exe", u"Installer.exe"}));
  EXPECT_EQ(rec.events, (std::vector<int32_t>{1001, 1001, 1001}));
  EXPECT_EQ(rec.fileComplete, (std::vector<bool>{true, true, true}));
  for (const auto& e : ref.entries) EXPECT_EQ(test::ReadBytes(out / test::FsPath(e.name)), e.data);
  EXPECT_EQ(Tree(out.path()), (std::vector<std::string>{"$Settings.ini", "Installer.exe", "SetupHelper1.exe"}));
}

// The settings are read into memory: nothing of them is written anywhere, and
// no file of their name is read or touched.
TEST_F(ExtractionTest, SettingsFileIsReadIntoMemoryAlone) {
  const auto ref = test::MakeReferencePackage();
  test::WritePackage(dir / "ref.exe", ref.stub, ref.entries);
  PackageReader reader(test::CorePath(dir / "ref.exe"));
  std::vector<unsigned char> settings;
  ASSERT_EQ(reader.ReadSettingsFile(settings), ResultCode::Success);
  EXPECT_EQ(reader.GetEntryCount(), 3);
  EXPECT_EQ(Bytes(settings.begin(), settings.end()), ref.entries.back().data);
  EXPECT_TRUE(Tree(out.path()).empty());
}

// The last entry is the settings file, its name compared as Windows compares
// file names; the installer program is any other entry.
TEST_F(ExtractionTest, LastEntryMustBeTheSettingsFileAndTheProgramAnotherEntry) {
  std::vector<unsigned char> settings;
  auto upper = MakePackage({{u"a.exe", u"bin\\", Bytes{1}}, {u"$SETTINGS.INI", u"", Bytes{2}}});
  EXPECT_EQ(upper.ReadSettingsFile(settings), ResultCode::Success);
  EXPECT_EQ(settings, (std::vector<unsigned char>{2}));
  for (const char16_t* program : {u"bin\\a.exe", u"BIN\\A.EXE"}) EXPECT_TRUE(upper.HoldsProgram(program));
  for (const char16_t* other : {u"", u"bin", u"bin\\", u"a.exe", u"bin\\a.exe ", u"$SETTINGS.INI", u"bin\\b.exe"}) {
    EXPECT_FALSE(upper.HoldsProgram(other));
  }
  auto reader = MakePackage({{u"$Settings.ini", u"", Bytes{1}}, {u"other.exe", u"", Bytes{2}}});
  EXPECT_EQ(reader.ReadSettingsFile(settings), ResultCode::ExtractionFailed);
  auto nested = MakePackage({{u"a", u"", Bytes{1}}, {u"$Settings.ini", u"sub\\", Bytes{2}}});
  EXPECT_EQ(nested.ReadSettingsFile(settings), ResultCode::ExtractionFailed);
  EXPECT_TRUE(settings.empty());
}

TEST_F(ExtractionTest, LoadFailuresWriteNothing) {
  std::vector<unsigned char> settings;
  PackageReader missing(test::CorePath(dir / "missing.exe"));
  EXPECT_EQ(missing.ReadSettingsFile(settings), ResultCode::OpenFailed);
  EXPECT_EQ(missing.ExtractAll(out.core(), nullptr, nullptr), ResultCode::OpenFailed);
  test::WriteBytes(dir / "plain.exe", stub);
  PackageReader plain(test::CorePath(dir / "plain.exe"));
  EXPECT_EQ(plain.ReadSettingsFile(settings), ResultCode::SignatureMismatch);
  EXPECT_EQ(plain.ExtractAll(out.core(), nullptr, nullptr), ResultCode::SignatureMismatch);
  EXPECT_TRUE(Tree(out.path()).empty());
}

TEST_F(ExtractionTest, EmptyDirectoryIsRefusedBeforeAnythingIsRead) {
  auto reader = MakePackage({{u"a", u"", Bytes{1}}, {u"$Settings.ini", u"", Bytes{2}}});
  EXPECT_EQ(reader.ExtractAll(u"", nullptr, nullptr), ResultCode::ExtractionFailed);
  EXPECT_EQ(reader.GetEntryCount(), 0);
}

TEST_F(ExtractionTest, DirectoryWithOrWithoutTrailingBackslash) {
  auto reader = MakePackage({{u"a.txt", u"", Bytes{'a'}}, {u"$Settings.ini", u"", Bytes{2}}});
  ASSERT_EQ(reader.ExtractAll(out.core() + u"\\one", nullptr, nullptr), ResultCode::Success);
  ASSERT_EQ(reader.ExtractAll(out.core() + u"\\two\\", nullptr, nullptr), ResultCode::Success);
  EXPECT_EQ(Tree(out.path()), (std::vector<std::string>{"one", "one/$Settings.ini", "one/a.txt", "two",
                                                        "two/$Settings.ini", "two/a.txt"}));
}

TEST_F(ExtractionTest, NestedDirectoriesAreCreatedAndEmptyEntriesWritten) {
  Recorder rec(out.path() / "new");
  auto reader = MakePackage({{u"deep.bin", u"sub\\deeper\\", test::Pattern(10000, 4)},
                             {u"empty.txt", u"sub\\", {}},
                             {u"$Settings.ini", u"", Bytes{2}}});
  ASSERT_EQ(reader.ExtractAll(out.core() + u"\\new", &Recorder::Callback, &rec), ResultCode::Success);
  EXPECT_EQ(test::ReadBytes(out / "new" / "sub" / "deeper" / "deep.bin"), test::Pattern(10000, 4));
  EXPECT_TRUE(test::ReadBytes(out / "new" / "sub" / "empty.txt").empty());
  EXPECT_EQ(rec.names, (std::vector<std::u16string>{u"$Settings.ini", u"empty.txt", u"deep.bin"}));
}

TEST_F(ExtractionTest, ExistingFilesAreReplacedAndSamePathKeepsTheLowerIndex) {
  test::WriteBytes(out / "a.txt", test::Pattern(5000, 1));
  auto reader = MakePackage({{u"a.txt", u"", Bytes{'n', 'e', 'w'}},
                             {u"a.txt", u"", Bytes{'o', 't', 'h', 'e', 'r'}},
                             {u"$Settings.ini", u"", Bytes{2}}});
  ASSERT_EQ(reader.ExtractAll(out.core(), nullptr, nullptr), ResultCode::Success);
  EXPECT_EQ(test::ReadBytes(out / "a.txt"), (Bytes{'n', 'e', 'w'}));
}

TEST_F(ExtractionTest, ReadOnlyTargetFailsThatEntryOnly) {
  test::WriteBytes(out / "locked.txt", Bytes{'o', 'l', 'd'});
  ASSERT_TRUE(sys::SetReadOnly(OutDir() + u"locked.txt", true));
  Recorder rec(out.path());
  auto reader =
      MakePackage({{u"first.txt", u"", Bytes{1}}, {u"locked.txt", u"", Bytes{2}}, {u"$Settings.ini", u"", Bytes{3}}});
  EXPECT_EQ(reader.ExtractAll(out.core(), &Recorder::Callback, &rec), ResultCode::ExtractionFailed);
  EXPECT_EQ(rec.names, (std::vector<std::u16string>{u"$Settings.ini", u"first.txt"}));
  EXPECT_EQ(test::ReadBytes(out / "locked.txt"), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(test::ReadBytes(out / "first.txt"), (Bytes{1}));
}

TEST_F(ExtractionTest, TargetPathOf260UnitsFailsAndTheRestIsWritten) {
  const std::u16string base = OutDir();
  // directory + name of exactly 259 and 260 units.
  const std::u16string sub = std::u16string(120, u'd') + u"\\";
  const std::size_t room = sys::kMaxPathUnits - base.size() - sub.size();
  const std::u16string fits = std::u16string(room - 1, u'f');
  const std::u16string tooLong = std::u16string(room, u'g');
  ASSERT_EQ((base + sub + fits).size(), 259u);
  Recorder rec(out.path());
  auto reader = MakePackage({{fits, sub, Bytes{1}}, {tooLong, sub, Bytes{2}}, {u"$Settings.ini", u"", Bytes{3}}});
  EXPECT_EQ(reader.ExtractAll(out.core(), &Recorder::Callback, &rec), ResultCode::ExtractionFailed);
  EXPECT_EQ(rec.names.size(), 2u);  // the bar ends one step short
  EXPECT_EQ(test::ReadBytes(out / test::FsPath(sub + fits)), (Bytes{1}));
}

TEST_F(ExtractionTest, PackageEndingEarlyFailsThatEntryAndRemovesItsPart) {
  // The middle entry claims more bytes than lie before the end of the file.
  Bytes file = stub;
  const Bytes good = test::Pattern(9000, 7);
  test::Append(file, good);
  test::Append(file, Bytes{'s'});
  test::Append(file, test::RawRecord(100, 9000, u"good.bin", 8, u"", 0));
  test::Append(file, test::RawRecord(100, 50000000, u"short.bin", 9, u"", 0));
  test::Append(file, test::RawRecord(9100, 1, u"$Settings.ini", 13, u"", 0));
  test::Append(file, test::RawTrailer(3));
  test::WriteBytes(dir / "short.exe", file);
  PackageReader reader(test::CorePath(dir / "short.exe"));
  Recorder rec(out.path());
  EXPECT_EQ(reader.ExtractAll(out.core(), &Recorder::Callback, &rec), ResultCode::ExtractionFailed);
  EXPECT_EQ(rec.names, (std::vector<std::u16string>{u"$Settings.ini", u"good.bin"}));
  EXPECT_EQ(Tree(out.path()), (std::vector<std::string>{"$Settings.ini", "good.bin"}));
  EXPECT_EQ(test::ReadBytes(out / "good.bin"), good);
}

// Entries that would write anywhere but a plain file below the directory fail
// without touching anything; the safe entries are still written.
TEST_F(ExtractionTest, UnsafeEntriesTouchNothingOutsideTheDirectory) {
  TempDir sandbox;  // out lives inside it, so escapes would land here
  const fs::path target = sandbox / "x" / "y";
  fs::create_directories(target);
  const std::vector<std::pair<std::u16string, std::u16string>> unsafe = {
      {u"..\\", u"escape1.txt"},
      {u"..\\..\\", u"escape2.txt"},
      {u"", u"..\\escape3.txt"},
      {u"sub\\..\\..\\", u"e4.txt"},
      {u"../", u"escape5.txt"},
      {u"\\abs\\", u"e6.txt"},
      {u"C:\\", u"e7.txt"},
      {u"", u"CON"},
      {u"", u"a:stream"},
      {u"", u"trail."},
      {u"", u".."},
      {u"", u"nul.txt"},
  };
  std::vector<TestEntry> entries;
  for (const auto& [d, n] : unsafe) entries.push_back({n, d, Bytes{'!'}});
  entries.push_back({u"ok.txt", u"sub\\", Bytes{'k'}});
  entries.push_back({u"$Settings.ini", u"", Bytes{3}});
  Recorder rec(target);
  auto reader = MakePackage(entries);
  EXPECT_EQ(reader.ExtractAll(test::CorePath(target), &Recorder::Callback, &rec), ResultCode::ExtractionFailed);
  EXPECT_EQ(rec.names, (std::vector<std::u16string>{u"$Settings.ini", u"ok.txt"}));
  EXPECT_EQ(Tree(sandbox.path()),
            (std::vector<std::string>{"x", "x/y", "x/y/$Settings.ini", "x/y/sub", "x/y/sub/ok.txt"}));
}

// The dialog ending early stops extraction within one chunk: the entry being
// written is removed and no later entry is started.
TEST_F(ExtractionTest, CancelStopsAtTheNextChunkAndRemovesThePartialEntry) {
  struct Canceller {
    std::atomic<bool> flag{false};
    static intptr_t AfterFirst(int32_t, const PackageEntry*, void* context) {
      static_cast<Canceller*>(context)->flag = true;
      return 0;
    }
  } canceller;
  auto reader = MakePackage({{u"big.bin", u"", test::Pattern(100000, 5)},
                             {u"mid.bin", u"", test::Pattern(5000, 6)},
                             {u"$Settings.ini", u"", Bytes{3}}});
  reader.SetCancelFlag(&canceller.flag);
  EXPECT_EQ(reader.ExtractAll(out.core(), &Canceller::AfterFirst, &canceller), ResultCode::ExtractionFailed);
  EXPECT_EQ(Tree(out.path()), (std::vector<std::string>{"$Settings.ini"}));

  canceller.flag = true;
  sys::File package = sys::File::OpenRead(reader.GetPackagePath());
  EXPECT_EQ(reader.ExtractEntry(package, 0, OutDir()), ResultCode::ExtractionFailed);
  EXPECT_FALSE(fs::exists(out / "big.bin"));
}

TEST_F(ExtractionTest, CreateDirectoryPathIgnoresExistingLevelsAndFiles) {
  // CreateDirectoryPath ignores levels that exist or cannot be made.
  PackageReader::CreateDirectoryPath(OutDir() + u"a\\b\\c\\");
  PackageReader::CreateDirectoryPath(OutDir() + u"a\\b\\c\\");
  EXPECT_TRUE(fs::is_directory(out / "a" / "b" / "c"));
  test::WriteBytes(out / "file", Bytes{1});
  PackageReader::CreateDirectoryPath(OutDir() + u"file\\under\\");
  EXPECT_TRUE(fs::is_regular_file(out / "file"));
}

}  // namespace
}  // namespace qf
