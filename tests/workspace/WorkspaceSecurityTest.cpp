#include <aclapi.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "WindowsTestSupport.h"
#include "sys/Unique.h"
#include "workspace/Workspace.h"
#include "workspace/WorkspaceName.h"
#include "workspace/WorkspaceSecurity.h"

namespace qf {
namespace {

using Sid = std::vector<BYTE>;

Sid TokenUserSid() {
  sys::UniqueHandle token;
  EXPECT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> info(size);
  EXPECT_TRUE(::GetTokenInformation(token.get(), TokenUser, info.data(), size, &size));
  const PSID sid = reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid;
  const auto* bytes = static_cast<const BYTE*>(sid);
  return Sid(bytes, bytes + ::GetLengthSid(sid));
}

Sid KnownSid(WELL_KNOWN_SID_TYPE type) {
  DWORD size = SECURITY_MAX_SID_SIZE;
  Sid sid(size);
  EXPECT_TRUE(::CreateWellKnownSid(type, nullptr, sid.data(), &size));
  sid.resize(size);
  return sid;
}

struct Grant {
  BYTE type;
  BYTE flags;
  ACCESS_MASK mask;
  Sid sid;
  bool operator==(const Grant&) const = default;
};

std::vector<Grant> Grants(PACL acl) {
  std::vector<Grant> grants;
  ACL_SIZE_INFORMATION size{};
  EXPECT_TRUE(::GetAclInformation(acl, &size, sizeof(size), AclSizeInformation));
  for (DWORD i = 0; i < size.AceCount; ++i) {
    void* ace = nullptr;
    EXPECT_TRUE(::GetAce(acl, i, &ace));
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    const auto* sid = reinterpret_cast<const BYTE*>(&allowed->SidStart);
    grants.push_back({allowed->Header.AceType, allowed->Header.AceFlags, allowed->Mask,
                      Sid(sid, sid + ::GetLengthSid(const_cast<BYTE*>(sid)))});
  }
  return grants;
}

std::vector<Grant> ExpectedGrants() {
  constexpr BYTE kInherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  return {{ACCESS_ALLOWED_ACE_TYPE, kInherited, FILE_ALL_ACCESS, TokenUserSid()},
          {ACCESS_ALLOWED_ACE_TYPE, kInherited, FILE_ALL_ACCESS, KnownSid(WinLocalSystemSid)},
          {ACCESS_ALLOWED_ACE_TYPE, kInherited, FILE_ALL_ACCESS, KnownSid(WinBuiltinAdministratorsSid)}};
}

TEST(WorkspaceSecurity, GrantsFullControlToUserSystemAndAdministratorsOnly) {
  auto security = WorkspaceSecurity::Build();
  ASSERT_TRUE(security);
  const PSECURITY_DESCRIPTOR descriptor = security->Descriptor();
  ASSERT_TRUE(::IsValidSecurityDescriptor(descriptor));

  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  EXPECT_TRUE(control & SE_DACL_PRESENT);
  EXPECT_FALSE(control & SE_DACL_DEFAULTED);

  BOOL present = FALSE, defaulted = TRUE;
  PACL acl = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted));
  ASSERT_TRUE(present);
  ASSERT_NE(acl, nullptr);
  EXPECT_EQ(Grants(acl), ExpectedGrants());

  const SECURITY_ATTRIBUTES attributes = security->Attributes();
  EXPECT_EQ(attributes.nLength, sizeof(SECURITY_ATTRIBUTES));
  EXPECT_EQ(attributes.lpSecurityDescriptor, descriptor);
  EXPECT_FALSE(attributes.bInheritHandle);
}

TEST(WorkspaceSecurity, CreatedWorkspaceKeepsItsDescriptor) {
  if (test::RunningUnderWine()) GTEST_SKIP() << "Wine derives a directory's DACL from host file modes";
  Workspace workspace;
  const std::u16string path = test::Made(workspace);
  ASSERT_TRUE(IsWorkspacePath(path));
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::u16string name = path;
  ASSERT_EQ(::GetNamedSecurityInfoW(reinterpret_cast<wchar_t*>(name.data()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, &acl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ::GetSecurityDescriptorControl(descriptor, &control, &revision);
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  EXPECT_EQ(Grants(acl), ExpectedGrants());
  ::LocalFree(descriptor);
  workspace.DeleteTree(path);
}

}  // namespace
}  // namespace qf
