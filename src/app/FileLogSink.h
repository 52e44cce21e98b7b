#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "run/RunLog.h"
#include "sys/Unique.h"

namespace qf {

// The /LOG file: UTF-8 lines, each after the local time to the millisecond,
// appended to what the file held. Both of the run's threads write to it.
// A file that cannot be opened, a link and the stub's own file leave the sink
// closed: the run goes on without a log.
class FileLogSink final : public run::LogSink {
 public:
  explicit FileLogSink(const std::u16string& path);
  ~FileLogSink() override;
  FileLogSink(const FileLogSink&) = delete;
  FileLogSink& operator=(const FileLogSink&) = delete;

  bool IsOpen() const { return static_cast<bool>(m_file); }
  void WriteLine(std::u16string_view line) override;

 private:
  sys::UniqueFile m_file;
  CRITICAL_SECTION m_lock;
};

}  // namespace qf
