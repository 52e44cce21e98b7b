// Feeds arbitrary bytes to the package reader as an installer file, then asks
// the path check about every entry it accepted. Built with libFuzzer under
// clang, or as a replay program over a corpus with any compiler.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "package/PackageReader.h"
#include "package/PathSafety.h"
#include "sys/Text.h"

namespace {

std::string ScratchFile() { return "/tmp/qf-fuzz-" + std::to_string(::getpid()) + ".exe"; }

// The scratch file goes with the process.
void RemoveScratchFile() { std::remove(ScratchFile().c_str()); }

std::u16string ScratchPath() {
  static const std::u16string path = [] {
    std::atexit(&RemoveScratchFile);
    return qf::sys::Utf8ToUtf16(ScratchFile()).value();
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string path = ScratchPath();
  const std::string native = qf::sys::Utf16ToUtf8(path).value();
  FILE* f = std::fopen(native.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);

  qf::PackageReader reader(path);
  const qf::ResultCode result = reader.LoadTable(path);
  if (result == qf::ResultCode::Success) {
    if (reader.GetEntryCount() < 1 || reader.GetEntryCount() > 1024) __builtin_trap();
    for (int32_t i = 0; i < reader.GetEntryCount(); ++i) {
      const qf::PackageEntry& e = reader.GetEntry(i);
      if (e.offset < 0 || e.name.size() > 511 || e.directory.size() > 511) __builtin_trap();
      (void)qf::package::IsSafeEntryPath(e.directory, e.name);
    }
  } else if (reader.GetEntryCount() != 0) {
    __builtin_trap();
  }
  return 0;
}
