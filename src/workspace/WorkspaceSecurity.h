#pragma once

#include <windows.h>

#include <optional>
#include <vector>

namespace qf {

// The access a workspace is created with: full control for the current user,
// SYSTEM and the Administrators group, inherited by everything below it, and
// nothing from the drive's root, which lets other users change what it holds.
class WorkspaceSecurity {
 public:
  static std::optional<WorkspaceSecurity> Build();

  // Self-relative, so that it moves with the object.
  PSECURITY_DESCRIPTOR Descriptor() { return m_descriptor.data(); }
  SECURITY_ATTRIBUTES Attributes();

 private:
  explicit WorkspaceSecurity(std::vector<BYTE> descriptor) : m_descriptor(std::move(descriptor)) {}
  std::vector<BYTE> m_descriptor;
};

}  // namespace qf
