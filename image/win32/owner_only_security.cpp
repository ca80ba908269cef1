#include "image/win32/owner_only_security.h"

#include <aclapi.h>

namespace {
// The process token's user, a TOKEN_USER in the buffer.
bool ReadTokenUser(std::vector<BYTE>& buffer) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    (void)::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    buffer.resize(size);
    const bool read = size > 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    ::CloseHandle(token);
    return read;
}
}  // namespace

PSID COwnerOnlySecurity::User() const {
    return m_tokenUser.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(m_tokenUser.data())->User.Sid;
}

bool COwnerOnlySecurity::Build() {
    if (!ReadTokenUser(m_tokenUser)) return false;
    EXPLICIT_ACCESSW access{};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_USER;
    access.Trustee.ptstrName = static_cast<LPWSTR>(User());
    PACL acl = nullptr;
    if (::SetEntriesInAclW(1, &access, nullptr, &acl) != ERROR_SUCCESS) return false;
    m_acl.reset(acl);
    // Protected: the folder's inheritable entries (Users, Administrators) stay off it.
    if (!::InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&m_descriptor, TRUE, m_acl.get(), FALSE) ||
        !::SetSecurityDescriptorControl(&m_descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return false;
    m_attributes = SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), &m_descriptor, FALSE};
    return true;
}

