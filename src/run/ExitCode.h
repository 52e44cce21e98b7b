#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "run/RunSequence.h"

namespace qf::run {

// The stub's process exit code, in the meanings of Windows Installer's codes,
// which deployment tools already act on: 1618 is retried, 1602 is a cancel,
// 3010 and 1641 ask for a restart. When the installer program ran and ended,
// it is that program's own code, unchanged; otherwise a code per way of failing.
inline constexpr uint32_t kExitUserExit = 1602;             // ERROR_INSTALL_USEREXIT
inline constexpr uint32_t kExitFailure = 1603;              // ERROR_INSTALL_FAILURE
inline constexpr uint32_t kExitPackageVersion = 1613;       // ERROR_INSTALL_PACKAGE_VERSION
inline constexpr uint32_t kExitAlreadyRunning = 1618;       // ERROR_INSTALL_ALREADY_RUNNING
inline constexpr uint32_t kExitPackageOpenFailed = 1619;    // ERROR_INSTALL_PACKAGE_OPEN_FAILED
inline constexpr uint32_t kExitPackageInvalid = 1620;       // ERROR_INSTALL_PACKAGE_INVALID
inline constexpr uint32_t kExitNoRoom = 1632;               // ERROR_INSTALL_TEMP_UNWRITABLE
inline constexpr uint32_t kExitPlatformUnsupported = 1633;  // ERROR_INSTALL_PLATFORM_UNSUPPORTED

// A code and, for the log's last line, what it means.
struct StubExit {
  uint32_t code;
  std::u16string_view meaning;
};

// Each file's own (not inline): the shipped build's linker warns of an inline one that LTO folded away.
constexpr StubExit kExitAnotherCopy{kExitAlreadyRunning, u"another copy runs"};
// Every failure of the stub's own without a code of its own (the log says which).
constexpr StubExit kExitFatal{kExitFailure, u"fatal error"};

// `installerExit` is the installer's exit code once it has ended, or nothing
// when it was still running as the dialog ended.
StubExit ExitFor(const RunResult& run, bool endedByUser, std::optional<uint32_t> installerExit);

}  // namespace qf::run
