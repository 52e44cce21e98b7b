// Extraction onto a disk that fills up: the entry that does not fit fails and
// its partial file is removed, so the entries after it still find room; the
// extraction reports the failure and ends. Linux only: a real full file
// system (a small tmpfs in a mount namespace of the test's own, where one can
// be made) and the file size limit, which fails writes the same way anywhere.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>

#include "package/PackageReader.h"
#include "support/PackageFixture.h"

namespace qf {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::TempDir;
using test::TestEntry;

constexpr std::size_t kKiB = 1024;

struct Written {
  std::vector<std::u16string> names;
  static intptr_t Step(int32_t, const PackageEntry* entry, void* context) {
    static_cast<Written*>(context)->names.push_back(entry->name);
    return 0;
  }
};

std::set<std::string> FilesIn(const fs::path& root) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(root)) names.insert(e.path().filename().string());
  return names;
}

class DiskFull : public ::testing::Test {
 protected:
  TempDir dir;

  // Extracted last entry first: the settings, then small.bin, then big.bin,
  // which does not fit, then first.bin, which fits once big.bin is gone.
  std::vector<TestEntry> entries = {{u"first.bin", u"", test::Pattern(100 * kKiB, 1)},
                                    {u"big.bin", u"", test::Pattern(600 * kKiB, 2)},
                                    {u"small.bin", u"", test::Pattern(20 * kKiB, 3)},
                                    {u"$Settings.ini", u"", test::Utf16Le(u"\uFEFF[executable]\r\n")}};

  std::u16string Package() {
    test::WritePackage(dir / "setup.exe", Bytes(4096, 'S'), entries);
    return test::CorePath(dir / "setup.exe");
  }

  void ExpectBigEntryFailedAlone(ResultCode result, const Written& written, const fs::path& target) {
    EXPECT_EQ(result, ResultCode::ExtractionFailed);
    EXPECT_EQ(written.names, (std::vector<std::u16string>{u"$Settings.ini", u"small.bin", u"first.bin"}));
    EXPECT_EQ(FilesIn(target), (std::set<std::string>{"$Settings.ini", "first.bin", "small.bin"}))
        << "the partial big.bin must be removed";
    EXPECT_EQ(test::ReadBytes(target / "first.bin"), entries[0].data);
    EXPECT_EQ(test::ReadBytes(target / "small.bin"), entries[2].data);
  }
};

// A write past the file size limit fails as one onto a full disk does.
TEST_F(DiskFull, FileSizeLimitFailsTheEntryThatPassesItAndRemovesItsPart) {
  const std::u16string package = Package();
  TempDir out;
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 256 * kKiB;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);

  PackageReader reader(package);
  Written written;
  const ResultCode result = reader.ExtractAll(out.core(), &Written::Step, &written);

  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);
  ExpectBigEntryFailedAlone(result, written, out.path());
}

// Makes the test's mount changes its own: a private mount namespace, entered
// as root or, failing that, through a user namespace. False where neither is
// allowed.
bool EnterPrivateMountNamespace() {
  if (::unshare(CLONE_NEWNS) != 0) {
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    std::ofstream("/proc/self/setgroups") << "deny";
    std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
    std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
  }
  return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

TEST_F(DiskFull, FullFileSystemFailsTheEntryThatDoesNotFitAndRemovesItsPart) {
  const std::u16string package = Package();
  const fs::path mountPoint = dir / "small-disk";
  fs::create_directory(mountPoint);
  if (!EnterPrivateMountNamespace() ||
      ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=256k,nr_inodes=64") != 0) {
    GTEST_SKIP() << "no mount namespace of the test's own here; the file size limit case covers the failing write";
  }
  PackageReader reader(package);
  Written written;
  const ResultCode result = reader.ExtractAll(test::CorePath(mountPoint), &Written::Step, &written);
  ExpectBigEntryFailedAlone(result, written, mountPoint);
  ::umount2(mountPoint.c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace qf
