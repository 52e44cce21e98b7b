#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "run/Messages.h"

namespace qf::run {

// Where the log's lines go; the sink stamps each line with the time.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void WriteLine(std::u16string_view line) = 0;
};

// A piece of a log line: a text, or a number that is turned into text only
// when the line is written. Kept small: every line of the log is a list of them.
struct LogPart {
  LogPart(std::u16string_view value) : text{value.data(), static_cast<uint32_t>(value.size())} {}
  LogPart(const std::u16string& value) : text{value.data(), static_cast<uint32_t>(value.size())} {}
  template <std::size_t N>
  LogPart(const char16_t (&literal)[N]) : text{literal, N - 1} {}
  template <std::integral T>
  LogPart(T value) : number(static_cast<long long>(value)), isNumber(true) {}

  struct Text {
    const char16_t* data;
    uint32_t size;
  };
  union {
    Text text;
    long long number;
  };
  bool isNumber = false;
};

// The events of one run, one line each. Without a sink every call returns at
// once: a run without a log formats nothing.
class RunLog {
 public:
  explicit RunLog(LogSink* sink = nullptr) : m_sink(sink) {}
  bool Enabled() const { return m_sink != nullptr; }

  void Write(std::initializer_list<LogPart> parts) const;
  // A message box, and whether it is shown (and waits for its OK) or, in a silent run, not.
  void Message(const MessageText& message, bool shown) const;
  // One comparison of the platform check. `source` is what was read (the
  // processor's family, model or vendor, or a WMI class, whose query result
  // is shown too).
  void Check(std::u16string_view section, std::u16string_view key, std::u16string_view accepted,
             std::u16string_view source, std::u16string_view found, int32_t queryResult, bool passed,
             uint32_t error = 0) const;

 private:
  LogSink* m_sink;
};

// The line of one comparison; a refusal whose value is listed but for the
// letter case says so, and a failed query the system's error code.
std::u16string CheckLine(std::u16string_view section, std::u16string_view key, std::u16string_view accepted,
                         std::u16string_view source, std::u16string_view found, int32_t queryResult, bool passed,
                         uint32_t error = 0);

}  // namespace qf::run
