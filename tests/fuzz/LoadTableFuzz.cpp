// Feeds arbitrary bytes to the package reader as an installer file, then asks
// the path check about every entry it accepted.
#include <unistd.h>

#include <cstdlib>

#include "package/PackageReader.h"
#include "package/PathSafety.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char path[] = "/tmp/qf-fuzz-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size) || ::close(fd) != 0) __builtin_trap();
  qf::PackageReader reader(u"");
  const qf::ResultCode result = reader.LoadTable(std::u16string(path, path + sizeof path - 1));
  ::unlink(path);
  const int32_t count = reader.GetEntryCount();
  if (result == qf::ResultCode::Success ? count < 1 || count > 1024 : count != 0) __builtin_trap();
  for (int32_t i = 0; i < count; ++i) {
    const qf::PackageEntry& e = reader.GetEntry(i);
    if (e.offset < 0 || e.name.size() > 511 || e.directory.size() > 511) __builtin_trap();
    (void)qf::package::IsSafeEntryPath(e.directory, e.name);
  }
  return 0;
}
