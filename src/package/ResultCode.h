#pragma once

#include <cstdint>

namespace qf {

// Outcome of a package operation. Other values may reach the message display
// (it must cope with any 32-bit value), so this is an open enumeration.
enum class ResultCode : int32_t {
  OpenFailed = 1000,
  SignatureMismatch = 1001,
  Success = 1002,
  NoFiles = 1004,
  ExtractionFailed = 1005,
  ReopenFailed = 1006,
  VersionMismatch = 1008,
};

}  // namespace qf
