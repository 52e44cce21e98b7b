#include "workspace/WorkspaceSecurity.h"

#include <array>

#include "sys/Unique.h"

namespace qf {
namespace {

constexpr BYTE kInheritToAll = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
constexpr DWORD kFullControl = FILE_ALL_ACCESS;

std::vector<BYTE> CurrentUserSid() {
  sys::UniqueHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return {};
  std::vector<BYTE> info(size);
  if (!::GetTokenInformation(token.get(), TokenUser, info.data(), size, &size)) return {};
  const PSID sid = reinterpret_cast<const TOKEN_USER*>(info.data())->User.Sid;
  std::vector<BYTE> copy(::GetLengthSid(sid));
  if (!::CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid)) return {};
  return copy;
}

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
  DWORD size = SECURITY_MAX_SID_SIZE;
  std::vector<BYTE> sid(size);
  if (!::CreateWellKnownSid(type, nullptr, sid.data(), &size)) return {};
  sid.resize(size);
  return sid;
}

}  // namespace

std::optional<WorkspaceSecurity> WorkspaceSecurity::Build() {
  const std::array<std::vector<BYTE>, 3> sids = {CurrentUserSid(), WellKnownSid(WinLocalSystemSid),
                                                 WellKnownSid(WinBuiltinAdministratorsSid)};
  DWORD aclSize = sizeof(ACL);
  for (const auto& sid : sids) {
    if (sid.empty()) return std::nullopt;
    aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + static_cast<DWORD>(sid.size());
  }
  // DWORD-aligned, as ACLs must be.
  std::vector<DWORD> acl((aclSize + sizeof(DWORD) - 1) / sizeof(DWORD));
  auto* list = reinterpret_cast<PACL>(acl.data());
  if (!::InitializeAcl(list, aclSize, ACL_REVISION)) return std::nullopt;
  for (const auto& sid : sids) {
    if (!::AddAccessAllowedAceEx(list, ACL_REVISION, kInheritToAll, kFullControl, const_cast<BYTE*>(sid.data()))) {
      return std::nullopt;
    }
  }

  SECURITY_DESCRIPTOR absolute;
  if (!::InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorDacl(&absolute, TRUE, list, FALSE) ||
      !::SetSecurityDescriptorControl(&absolute, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return std::nullopt;
  }
  DWORD size = 0;
  ::MakeSelfRelativeSD(&absolute, nullptr, &size);
  if (size == 0) return std::nullopt;
  std::vector<BYTE> relative(size);
  if (!::MakeSelfRelativeSD(&absolute, relative.data(), &size)) return std::nullopt;
  return WorkspaceSecurity(std::move(relative));
}

SECURITY_ATTRIBUTES WorkspaceSecurity::Attributes() {
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof(attributes);
  attributes.lpSecurityDescriptor = Descriptor();
  attributes.bInheritHandle = FALSE;
  return attributes;
}

}  // namespace qf
