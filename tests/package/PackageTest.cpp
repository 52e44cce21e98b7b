#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "package/LittleEndian.h"
#include "package/PackageFormat.h"
#include "package/PackageReader.h"
#include "package/PackageWriter.h"
#include "package/PathSafety.h"
#include "package/PayloadDigest.h"
#include "package/ProgramPath.h"
#include "package/StubRecord.h"
#include "support/PeImage.h"
#include "sys/File.h"
#include "sys/Text.h"
#ifndef _WIN32
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <fstream>
#endif

namespace qf {
namespace {

namespace fs = std::filesystem;
using namespace test;
using package::WriteError;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) Append(all, part);
  return all;
}

// The installer is the stub, every entry's data back to back, one record per entry and the trailer.
TEST(PackageWriter, LaysOutStubDataTableAndTrailer) {
  TempDir dir;
  const Bytes data = Pattern(70000, 1);  // more than one copy chunk
  WritePackage(dir / "p.exe", Bytes(5, 'S'), {{u"a.bin", u"sub\\", data}, {u"$Settings.ini", u"", Bytes{7}}});
  EXPECT_EQ(ReadBytes(dir / "p.exe"), Cat({Bytes(5, 'S'), data, Bytes{7}, RawRecord(5, 70000, u"a.bin", 5, u"sub\\", 4),
                                           RawRecord(70005, 1, u"$Settings.ini", 13, u"", 0), RawTrailer(2)}));
}

TEST(PackageWriter, RefusesWhatTheFormatCannotHold) {
  const auto Add = [](package::PackageWriter& w, std::u16string_view name, std::u16string_view dir = u"",
                      uint64_t size = 1) {
    Generated data(size);
    return w.AddEntry(name, dir, data);
  };
  Generated sink(0), stub(0x7FFFFFFE), small(16), other(16);
  package::PackageWriter writer(sink), full(sink), tooLarge(sink);
  ASSERT_EQ(writer.AppendStub(stub), WriteError::None);
  EXPECT_EQ(writer.Finish(), WriteError::NoEntries);
  EXPECT_EQ(Add(writer, u""), WriteError::NameEmpty);
  EXPECT_EQ(Add(writer, std::u16string(512, u'n')), WriteError::NameTooLong);
  EXPECT_EQ(Add(writer, u"a", std::u16string(512, u'd')), WriteError::DirectoryTooLong);
  EXPECT_EQ(Add(writer, std::u16string(511, u'n'), std::u16string(511, u'd')), WriteError::None);
  EXPECT_EQ(Add(writer, u"b"), WriteError::None);  // its data starts at 2^31 - 1
  EXPECT_EQ(Add(writer, u"c"), WriteError::OffsetTooLarge);
  EXPECT_EQ(writer.Finish(), WriteError::None);
  ASSERT_EQ(full.AppendStub(small), WriteError::None);
  for (int i = 1; i < 1024; ++i) ASSERT_EQ(Add(full, u"f", u"", 0), WriteError::None);
  EXPECT_EQ(Add(full, u"4 GiB - 1", u"", UINT32_MAX), WriteError::None);
  EXPECT_EQ(Add(full, u"1025th", u"", 0), WriteError::TooManyEntries);
  ASSERT_EQ(tooLarge.AppendStub(other), WriteError::None);
  EXPECT_EQ(Add(tooLarge, u"4 GiB", u"", uint64_t{UINT32_MAX} + 1), WriteError::SizeTooLarge);
}

// Every table outside the format fails as a whole and leaves an empty table.
TEST(PackageReader, ResultOfEachKindOfTable) {
  TempDir dir;
  const auto Package = [](const Bytes& table, const Bytes& trailer) { return Cat({Bytes(24, 'S'), table, trailer}); };
  const auto One = [&](const Bytes& record) { return Package(record, RawTrailer(1)); };
  const ResultCode bad = ResultCode::SignatureMismatch, ok = ResultCode::Success;
  const Bytes a = RawRecord(16, 8, u"a", 1, u"", 0);
  const std::u16string d511(511, u'd'), d512(512, u'd'), n511(511, u'n'), n512(512, u'n');
  const struct {
    const char* what;
    Bytes file;
    ResultCode code;
  } rows[] = {{"an empty file", {}, bad},
              {"another tag, and version", Package(a, RawTrailer(1, u"2.00", u"TavixCorp,")), bad},
              {"a byte after the trailer", Cat({One(a), Bytes{0}}), bad},
              {"another version", Package(a, RawTrailer(1, u"1.01")), ResultCode::VersionMismatch},
              {"no entries", Package({}, RawTrailer(0)), ResultCode::NoFiles},
              {"a trailer alone", RawTrailer(1024), bad},
              {"1025 entries", Package(Bytes(20000, 0), RawTrailer(1025)), bad},
              {"a 512-unit directory", One(RawRecord(16, 8, u"a", 1, d512, 512)), bad},
              {"a 512-unit name", One(RawRecord(16, 8, n512, 512, u"", 0)), bad},
              {"511-unit name and directory", One(RawRecord(16, 8, n511, 511, d511, 511)), ok},
              {"an offset of 2^31", One(RawRecord(0x80000000u, 8, u"a", 1, u"", 0)), bad},
              {"an offset of 2^31 - 1", One(RawRecord(0x7FFFFFFF, 8, u"a", 1, u"", 0)), ok}};
  PackageReader reader(u"");
  EXPECT_EQ(reader.LoadTable(CorePath(dir / "missing.exe")), ResultCode::OpenFailed);
  WriteBytes(dir / "good.exe", One(a));
  for (const auto& row : rows) {
    ASSERT_EQ(reader.LoadTable(CorePath(dir / "good.exe")), ok);
    WriteBytes(dir / "p.exe", row.file);
    EXPECT_EQ(reader.LoadTable(CorePath(dir / "p.exe")), row.code) << row.what;
    EXPECT_EQ(reader.GetEntryCount(), row.code == ok ? 1 : 0) << row.what;
  }
}

// A signing tool appends a certificate table aligned by up to 7 zero bytes
// and names it in the security directory: the trailer is found in front of
// that exact layout, and anything else is no package.
class SignedPackage : public ::testing::TestWithParam<bool> {};

TEST_P(SignedPackage, TheTrailerIsFoundInFrontOfTheExactSignatureLayoutOnly) {
  TempDir dir;
  const PeLayout layout{GetParam()};
  WritePackage(dir / "p.exe", MinimalPe(layout), {{u"setup.exe", u"", Pattern(300, 1)}, {u"$Settings.ini", u"", {}}});
  const Bytes plain = ReadBytes(dir / "p.exe");
  const uint32_t s = layout.SecurityDirectoryAt();
  const ResultCode bad = ResultCode::SignatureMismatch;
  struct Case {
    uint32_t padding;
    std::function<void(Bytes&)> change;
    ResultCode code;
  };
  std::vector<Case> cases = {{8, [](Bytes&) {}, bad},
                             {2, [](Bytes& f) { f[f.size() - 64 - 1] = 1; }, bad},  // padding that is not zero
                             {1, [](Bytes& f) { f.push_back(0); }, bad},            // the table does not end the file
                             {1, [&](Bytes& f) { PutU32At(f, s + 4, 63); }, bad},
                             {1, [](Bytes& f) { f[PeLayout::kHeaderAt + 1] = 'X'; }, bad},
                             {1, [&](Bytes& f) { PutU32At(f, layout.DirectoryCountAt(), 4); }, bad},
                             {3, [&](Bytes& f) { f[plain.size() - 22] = '1'; }, ResultCode::VersionMismatch},
                             // A second package grafted into the table, which grows to hold it: never read.
                             {0,
                              [&](Bytes& f) {
                                Append(f, Cat({RawRecord(0, 0, u"$Settings.ini", 13, u"", 0), RawTrailer(1)}));
                                PutU32At(f, s + 4, static_cast<uint32_t>(f.size() - plain.size()));
                              },
                              ResultCode::Success}};
  for (uint32_t padding = 0; padding <= 7; ++padding) cases.push_back({padding, [](Bytes&) {}, ResultCode::Success});
  for (const Case& c : cases) {
    Bytes file = plain;
    file.resize(plain.size() + c.padding, 0);
    PutU32At(file, s, static_cast<uint32_t>(file.size()));
    PutU32At(file, s + 4, 64);
    Append(file, Cat({Bytes{64, 0, 0, 0}, Pattern(60, 77)}));
    c.change(file);
    WriteBytes(dir / "signed.exe", file);
    PackageReader reader(u"");
    EXPECT_EQ(reader.LoadTable(CorePath(dir / "signed.exe")), c.code) << &c - cases.data();
    EXPECT_EQ(reader.GetPackageEnd(), c.code == ResultCode::Success ? plain.size() : 0) << &c - cases.data();
  }
}

INSTANTIATE_TEST_SUITE_P(Pe32AndPe32Plus, SignedPackage, ::testing::Bool());

// The builder records a digest of every entry and of the table in the stub's record; the reader checks them as
// it copies and names what differs. Each algorithm's own values first (XXH32's as xxhsum -H0 prints them).
TEST(PayloadDigest, EveryDamagedPartIsFoundAndNamedBeforeAnythingOfItIsKept) {
  Bytes ramp(1280);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<unsigned char>(i);
  using package::PayloadDigest;
  const auto of = [](uint32_t algorithm, const Bytes& data, std::size_t piece, PayloadDigest::Path path) {
    PayloadDigest digest(algorithm, path);
    for (std::size_t at = 0; at < data.size(); at += piece)
      digest.Add(data.data() + at, std::min(piece, data.size() - at));
    return digest.Value();
  };
  const std::tuple<uint32_t, Bytes, uint32_t> known[] = {
      {package::kDigestXxh32, {}, 0x02CC5D05u},      {package::kDigestXxh32, {'a', 'b', 'c'}, 0x32D153FFu},
      {package::kDigestXxh32, ramp, 0x1695C58Bu},    {package::kDigestLaneSums, {}, 0xDFC993BDu},
      {package::kDigestLaneSums, ramp, 0xEF5AB2EAu}, {package::kDigestLaneSums, {'a', 'b', 'c'}, 0x4D1F4D73u}};
  for (const auto& [algorithm, data, value] : known)
    EXPECT_EQ(of(algorithm, data, 7, PayloadDigest::Path::Portable), value) << data.size();
  // The vector path and the portable one agree wherever the data starts and however long it is.
  const Bytes noise = Pattern(70000, 5);
  for (uint32_t i = 1, at = 0, size = 0; i < 40; ++i, at = i * 7919 % 61, size = i * i * 41 % 69000 + i % 17) {
    const Bytes part(noise.begin() + at, noise.begin() + at + size);
    EXPECT_EQ(of(package::kDigestLaneSums, part, i * 997 % 4100 + 1, PayloadDigest::Path::Fastest),
              of(package::kDigestLaneSums, part, part.size() + 1, PayloadDigest::Path::Portable))
        << at << "+" << size;
  }
  // The damage a download or a disk does is found.
  const Bytes block = Pattern(65536, 6);
  const std::pair<const char*, void (*)(Bytes&)> damaged[] = {
      {"one bit", [](Bytes& b) { b[40000] ^= 1; }},
      {"two top bits of one lane 32 bytes apart", [](Bytes& b) { b[3] ^= 0x80, b[35] ^= 0x80; }},
      {"a word one more, the same lane's next one less",
       [](Bytes& b) { PutU32At(b, 0, package::ReadLe32(&b[0]) + 1), PutU32At(b, 16, package::ReadLe32(&b[16]) - 1); }},
      {"two 4 KiB blocks swapped", [](Bytes& b) { std::swap_ranges(&b[8192], &b[12288], &b[32768]); }},
      {"truncated by 16 bytes", [](Bytes& b) { b.resize(b.size() - 16); }},
  };
  const uint32_t intact = PayloadDigest::Of(package::kDigestLaneSums, block.data(), block.size());
  for (auto [what, damage] : damaged) {
    Bytes copy = block;
    damage(copy);
    EXPECT_NE(PayloadDigest::Of(package::kDigestLaneSums, copy.data(), copy.size()), intact) << what;
  }

  // A stub from before lane sums announces no algorithms and gets XXH32.
  TempDir dir;
  for (const uint32_t announced : {package::kDigestAlgorithmsChecked, 0u}) {
    const Bytes stub = MinimalStub(PeLayout{.digestAlgorithms = announced});
    WritePackage(dir / "p.exe", stub,
                 {{u"setup.exe", u"", Pattern(200000, 1)},
                  {u"b.txt", u"sub\\", Pattern(10, 2)},
                  {u"$Settings.ini", u"", Bytes{1, 2}}});
    const Bytes plain = ReadBytes(dir / "p.exe");
    package::PositionedBytes image(plain.data(), plain.size());
    const auto found = package::FindStubRecord(image);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->record.algorithm, announced != 0 ? package::kDigestLaneSums : package::kDigestXxh32);
    EXPECT_EQ(found->record.entryCount, 3u);
    EXPECT_EQ(found->record.digestsAt, stub.size());
    PackageReader probe(CorePath(dir / "p.exe"));
    ASSERT_EQ(probe.LoadTable(probe.GetPackagePath()), ResultCode::Success);
    using Part = DigestMismatch::Part;
    struct Row {
      const char* what;
      uint64_t at;  // the byte changed
      Part part;
      int32_t entry;
    };
    const Row rows[] = {
        {"nothing changed", 0, Part::None, -1},
        {"the first entry's last chunk", probe.GetEntry(0).offset + 199999u, Part::Entry, 0},
        {"the settings", probe.GetEntry(2).offset + 1u, Part::Entry, 2},
        {"a name in the table", probe.GetTableStart() + 8, Part::Table, -1},
        {"the digest list", found->record.digestsAt + 4, Part::List, -1},
        {"the record's digest of the list", found->at + 48, Part::List, -1},
        {"the record's algorithm", found->at + 36, Part::Algorithm, -1},
    };
    for (const Row& row : rows) {
      Bytes file = plain;
      if (row.at != 0) file.at(row.at) ^= 0x20;
      WriteBytes(dir / "damaged.exe", file);
      package::PositionedBytes damaged(file.data(), file.size());
      PackageReader reader(CorePath(dir / "damaged.exe"));
      reader.SetStubRecord(package::FindStubRecord(damaged)->record);
      fs::remove_all(dir / "out");
      fs::create_directory(dir / "out");
      const ResultCode expected = row.part == Part::None ? ResultCode::Success : ResultCode::SignatureMismatch;
      EXPECT_EQ(reader.ExtractAll(CorePath(dir / "out"), nullptr, nullptr), expected) << row.what;
      EXPECT_EQ(reader.GetDigestMismatch().part, row.part) << row.what;
      EXPECT_EQ(reader.GetDigestMismatch().entry, row.entry) << row.what;
      // Extraction stops at the damage: the entries in front of it (written first) stay for the cleanup.
      const std::size_t kept = row.part == Part::None ? 3 : row.part == Part::Entry ? 2 - row.entry : 0;
      EXPECT_EQ(FilesBelow(dir / "out").size(), kept) << row.what;
      std::vector<unsigned char> settings;
      EXPECT_EQ(reader.ReadSettingsFile(settings) == ResultCode::Success, row.part == Part::None || row.entry == 0)
          << row.what;
    }
  }
  // Without the record (another writer, an older builder) nothing is checked.
  PackageReader unchecked(CorePath(dir / "damaged.exe"));
  EXPECT_EQ(unchecked.ExtractAll(CorePath(dir / "plain"), nullptr, nullptr), ResultCode::Success);
}

// Directory and name are joined as plain text: "sub" and "a.txt" are "suba.txt".
TEST(PathSafety, OnlyPlainFilesBelowTheDirectoryPass) {
  // clang-format off
  const std::u16string safeDirectories[] = {u"", u"sub\\deeper\\", u"sub/deeper/", u"sub"};
  const std::u16string safeNames[] = {u"Installer.exe", u"..a", u"console.txt", u"COM10", u"\u00e9t\u00e9 \u6587.txt"};
  const std::u16string unsafeDirectories[] = {
      u"..\\", u"a\\..\\", u"..", u".\\", u"a/../", u"\\", u"/abs/", u"\\\\server\\share\\", u"\\\\?\\C:\\", u"\\\\.\\pipe\\",
      u"C:\\", u"C:", u"a\\\\b\\", u"ok\\CON\\", u"ok\\trail.\\", u"ok\\\x01\\", u"ok\\.\\"};
  const std::u16string unsafeNames[] = {
      u"", u".", u"..", u"a\\b", u"a/b", u"C:x", u"x:stream", u"a\tb", u"a<b", u"a>b", u"a\"b", u"a|b", u"a?b", u"a*b",
      u"trail.", u"trail ", u"con", u"nul.txt", u"Com1", u"lpt9.log", u"AUX .txt", u"CONOUT$", u"COM\u00b9"};
  // clang-format on
  for (const auto& directory : safeDirectories) {
    for (const auto& name : safeNames) EXPECT_TRUE(package::IsSafeEntryPath(directory, name)) << name.size();
    for (const auto& name : unsafeNames) EXPECT_FALSE(package::IsSafeEntryPath(directory, name)) << name.size();
  }
  for (const auto& directory : unsafeDirectories) {
    for (const auto& name : safeNames) EXPECT_FALSE(package::IsSafeEntryPath(directory, name)) << directory.size();
  }
  EXPECT_FALSE(package::IsSafeEntryPath(u"CO", u"N"));
  EXPECT_FALSE(package::IsSafeEntryPath(std::u16string(u"ok\0x\\", 5), u"x"));
}

// The installer program's path, relative to the workspace, as Windows would
// read it; anything that could leave the workspace or name a folder is no path.
TEST(ProgramPath, DotSegmentsAndSlashesAreReadAsWindowsReadsThemAndNothingLeaves) {
  const struct {
    const char* what;
    std::u16string file;
    std::optional<std::u16string> path;
  } rows[] = {
      {"plain", u"Installer.exe", u"Installer.exe"},
      {"dot segments and slashes, capitals kept", u"./Sub\\.\\SETUP.exe/.", u"Sub\\SETUP.exe"},
      {"empty", u"", {}},
      {"only dots", u".\\.", {}},
      {"a folder's separator", u"sub\\", {}},
      {"a parent", u"..\\Installer.exe", {}},
      {"a parent in between", u"sub\\..\\Installer.exe", {}},
      {"rooted", u"\\Installer.exe", {}},
      {"a drive", u"C:\\Installer.exe", {}},
      {"a server", u"\\\\server\\share\\Installer.exe", {}},
      {"an empty segment", u"sub//Installer.exe", {}},
      {"a device", u"sub\\CON", {}},
  };
  for (const auto& row : rows) EXPECT_EQ(package::ProgramPath(row.file), row.path) << row.what;
}

// Last entry first; an entry that cannot be written fails alone, leaves no
// part of itself and nothing outside the directory. The settings, the last
// entry with its name compared as Windows compares file names, are read into
// memory; the installer program is any other entry.
TEST(Extraction, EachEntryIsWrittenWholeOrNotAtAllAndOnlyBelowTheDirectory) {
  TempDir sandbox;  // the extraction directory lies inside it, so escapes would land here
  fs::create_directory(sandbox / "out");
  WriteBytes(sandbox / "out" / "a.txt", Pattern(5000, 1));
  const Bytes deep = Pattern(70000, 2);
  WritePackage(sandbox / "setup.exe", Bytes(100, 'S'),
               {{u"short.bin", u"", Pattern(100, 3)},  // its record will claim more than the file holds
                {u"a.txt", u"", Bytes{'n', 'e', 'w'}},
                {u"a.txt", u"", Bytes{'o', 't', 'h', 'e', 'r'}},
                {u"deep.bin", u"sub\\deeper\\", deep},
                {u"empty.txt", u"sub\\", {}},
                {u"escape.txt", u"..\\", Bytes{'!'}},
                {u"CON", u"", Bytes{'!'}},
                {u"$SETTINGS.INI", u"", Bytes{3}}});
  PackageReader reader(CorePath(sandbox / "setup.exe"));
  ASSERT_EQ(reader.LoadTable(reader.GetPackagePath()), ResultCode::Success);
  Bytes file = ReadBytes(sandbox / "setup.exe");
  PutU32At(file, reader.GetTableStart() + 4, 50000000);
  WriteBytes(sandbox / "setup.exe", file);

  std::vector<std::u16string> written;
  const ExtractCallback record = [](int32_t, const PackageEntry* entry, void* names) -> intptr_t {
    return static_cast<std::vector<std::u16string>*>(names)->push_back(entry->name), 0;
  };
  EXPECT_EQ(reader.ExtractAll(CorePath(sandbox / "out"), record, &written), ResultCode::ExtractionFailed);
  EXPECT_EQ(written, (std::vector<std::u16string>{u"$SETTINGS.INI", u"empty.txt", u"deep.bin", u"a.txt", u"a.txt"}));
  EXPECT_EQ(FilesBelow(sandbox / "out"),
            (std::map<std::string, Bytes>{{"$SETTINGS.INI", Bytes{3}},
                                          {"a.txt", Bytes{'n', 'e', 'w'}},  // the lower index, written last
                                          {"sub/deeper/deep.bin", deep},
                                          {"sub/empty.txt", {}}}));
  EXPECT_EQ(std::distance(fs::directory_iterator(sandbox.path()), {}), 2);  // "out" and the installer

  std::vector<unsigned char> settings;
  EXPECT_EQ(reader.ReadSettingsFile(settings), ResultCode::Success);
  EXPECT_EQ(settings, Bytes{3});
  EXPECT_EQ(package::FindProgram(reader, u".\\SUB/Deeper\\deep.BIN"), u"sub\\deeper\\deep.bin");
  for (const char16_t* file : {u"$Settings.ini", u"sub\\deep.bin", u"sub\\deeper", u"..\\escape.txt", u"CON"}) {
    EXPECT_EQ(package::FindProgram(reader, file), std::nullopt) << sys::Utf16ToUtf8Lossy(file);
  }

  // The dialog ending stops an entry at its next chunk, and what was written goes.
  std::atomic<bool> cancel{true};
  reader.SetCancelFlag(&cancel);
  sys::File package = sys::File::OpenRead(reader.GetPackagePath());
  EXPECT_EQ(reader.ExtractEntry(package, 3, CorePath(sandbox / "out") + u"\\"), ResultCode::ExtractionFailed);
  EXPECT_FALSE(fs::exists(sandbox / "out" / "sub" / "deeper" / "deep.bin"));
}

// A full table: 1024 entries in folders up to four levels deep, some of sizes
// around the copy chunk's, each extracted exactly. The last entry is named as
// the settings, but in a folder: it is no settings file.
TEST(ManyEntries, AFullTableOf1024EntriesIsExtractedExactly) {
  TempDir dir;
  const std::size_t chunk = package::kCopyChunkBytes, sizes[] = {chunk - 1, chunk, chunk + 1, 2 * chunk + 17};
  std::vector<TestEntry> entries;
  std::map<std::string, Bytes> expected;
  for (int i = 0; i < 1024; ++i) {
    std::string path;
    for (int level = 0; level < i % 5; ++level) path += "d" + std::to_string(i % 3) + "/";
    path += i < 1023 ? "f" + std::to_string(i) : "$Settings.ini";
    std::u16string name(path.begin(), path.end());
    std::replace(name.begin(), name.end(), u'/', u'\\');
    const std::size_t split = name.rfind(u'\\') + 1;
    entries.push_back(
        {name.substr(split), name.substr(0, split), Pattern(i % 64 ? i % 7 * 300 : sizes[i / 64 % 4], i)});
    expected[path] = entries.back().data;
  }
  WritePackage(dir / "many.exe", Bytes(512, 'S'), entries);
  PackageReader reader(CorePath(dir / "many.exe"));
  ASSERT_EQ(reader.ExtractAll(CorePath(dir / "out"), nullptr, nullptr), ResultCode::Success);
  EXPECT_TRUE(FilesBelow(dir / "out") == expected);  // not EXPECT_EQ, which would print megabytes
  std::vector<unsigned char> settings;
  EXPECT_EQ(reader.ReadSettingsFile(settings), ResultCode::ExtractionFailed);
}

#ifndef _WIN32
// The entry that finds no room fails alone and its part is removed, so the
// entries after it find room: a file system of 256 KiB, mounted in a mount
// namespace of the test's own, entered as root or through a user namespace.
TEST(DiskFull, TheEntryThatDoesNotFitFailsAloneAndLeavesNoPart) {
  TempDir dir;
  const std::vector<TestEntry> entries = {{u"first.bin", u"", Pattern(100 << 10, 1)},
                                          {u"big.bin", u"", Pattern(600 << 10, 2)},
                                          {u"small.bin", u"", Pattern(20 << 10, 3)},
                                          {u"$Settings.ini", u"", Bytes{1}}};
  WritePackage(dir / "setup.exe", Bytes(4096, 'S'), entries);
  const fs::path disk = dir / "disk";
  fs::create_directory(disk);
  const std::string uid = std::to_string(::geteuid()), gid = std::to_string(::getegid());
  if (::unshare(CLONE_NEWNS) != 0 && ::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0) {
    std::ofstream("/proc/self/setgroups") << "deny";
    std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
    std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
  }
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      ::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k,nr_inodes=64") != 0) {
    GTEST_SKIP() << "no mount namespace of the test's own here";
  }
  PackageReader reader(CorePath(dir / "setup.exe"));
  EXPECT_EQ(reader.ExtractAll(CorePath(disk), nullptr, nullptr), ResultCode::ExtractionFailed);
  EXPECT_TRUE(FilesBelow(disk) ==
              (std::map<std::string, Bytes>{
                  {"$Settings.ini", Bytes{1}}, {"first.bin", entries[0].data}, {"small.bin", entries[2].data}}));
  ::umount2(disk.c_str(), MNT_DETACH);
}
#endif

}  // namespace
}  // namespace qf
