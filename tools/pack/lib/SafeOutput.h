#pragma once

// Writing the tools' outputs without ever destroying what is there: a fresh,
// exclusively created file in the output's folder, renamed over the output only
// when complete, and removed when the tool fails or is interrupted.

#include <span>
#include <string>

#include "sys/File.h"

namespace qf::pack {

// Why `path` must not be replaced by an output: it is a folder, or something
// else than a regular file (a device, a FIFO, a socket), or the same file as
// one of `inputs`. Empty when it may be written.
std::string WhyNotAnOutput(const std::u16string& path, std::span<const std::u16string> inputs);

// The error text of the last failed system call, as "no space left" and the like.
std::string LastSystemError();
// Whether the last failed call found no room left on its disk.
bool NoSpaceLeft();

class TemporaryOutput {
 public:
  // Creates the file next to `target`; check IsOpen. `inputs` may not be the
  // file made (they never are, unless the system is raced).
  TemporaryOutput(const std::u16string& target, std::span<const std::u16string> inputs);
  ~TemporaryOutput();
  TemporaryOutput(const TemporaryOutput&) = delete;
  TemporaryOutput& operator=(const TemporaryOutput&) = delete;

  bool IsOpen() const { return m_file.IsOpen(); }
  sys::File& File() { return m_file; }
  // The file being written, to read it back before it is committed.
  const std::u16string& Path() const { return m_path; }
  // Closes the file and renames it over the target; empty on success, else why not.
  std::string Commit();

 private:
  std::u16string m_target;
  std::u16string m_path;
  sys::File m_file;
  bool m_committed = false;
};

}  // namespace qf::pack
