#include "pack/lib/SafeOutput.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "pack/lib/PackPlan.h"
#include "pack/lib/Strings.h"

namespace qf::pack {
namespace fs = std::filesystem;
namespace {

constexpr int kMaxNameAttempts = 100;

// The temporary file being written, removed when SIGINT or SIGTERM ends the
// tool. A signal handler can only use what is ready: a fixed buffer.
char g_pending[4096];
volatile std::sig_atomic_t g_hasPending = 0;

extern "C" void RemovePendingAndExit(int signal) {
  if (g_hasPending != 0) {
#ifdef _WIN32
    std::remove(g_pending);
#else
    ::unlink(g_pending);
#endif
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void SetPending(const std::u16string& path) {
  g_hasPending = 0;
  const std::string native = FsPath(path).string();
  if (native.size() >= sizeof g_pending) return;
  std::memcpy(g_pending, native.c_str(), native.size() + 1);
  g_hasPending = 1;
  std::signal(SIGINT, RemovePendingAndExit);
  std::signal(SIGTERM, RemovePendingAndExit);
}

bool SameFile(const std::u16string& a, const std::u16string& b) {
  std::error_code ec;
  return fs::equivalent(FsPath(a), FsPath(b), ec);
}

}  // namespace

std::string WhyNotAnOutput(const std::u16string& path, std::span<const std::u16string> inputs) {
  std::error_code ec;
  const fs::file_status status = fs::status(FsPath(path), ec);
  if (fs::is_directory(status)) return "is a folder; -o names a file";
  if (fs::exists(status) && !fs::is_regular_file(status)) return "exists and is not a regular file";
  for (const std::u16string& input : inputs) {
    if (SameFile(path, input)) return "is the same file as " + Utf8(input) + ", which is read";
  }
  return {};
}

bool NoSpaceLeft() { return errno == ENOSPC; }

std::string LastSystemError() {
  const int code = errno;
  if (code == ENOSPC) return "no space left";
  return std::error_code(code, std::generic_category()).message();
}

TemporaryOutput::TemporaryOutput(const std::u16string& target, std::span<const std::u16string> inputs)
    : m_target(target) {
  std::random_device seed;
  for (int attempt = 0; attempt < kMaxNameAttempts && !m_file.IsOpen(); ++attempt) {
    const std::string tag = std::to_string(seed() % 1000000000u);
    m_path = target + u"." + std::u16string(tag.begin(), tag.end()) + u".tmp";
    m_file = sys::File::CreateNew(m_path);
  }
  if (!m_file.IsOpen()) return;
  SetPending(m_path);
  for (const std::u16string& input : inputs) {
    if (SameFile(m_path, input)) {
      m_file.Close();
      return;
    }
  }
}

TemporaryOutput::~TemporaryOutput() {
  if (m_committed || m_path.empty()) return;
  m_file.Close();
  std::error_code ec;
  fs::remove(FsPath(m_path), ec);
  g_hasPending = 0;
}

std::string TemporaryOutput::Commit() {
  m_file.Close();
  std::error_code ec;
#ifdef _WIN32
  // Windows does not rename over an existing file.
  fs::remove(FsPath(m_target), ec);
#endif
  fs::rename(FsPath(m_path), FsPath(m_target), ec);
  if (ec) return ec.message();
  m_committed = true;
  g_hasPending = 0;
  return {};
}

}  // namespace qf::pack
