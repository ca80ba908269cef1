#pragma once
// A security descriptor that lets the calling process's user, and nobody
// else, at a file: one ACE, protected from the entries the folder would hand
// down. Windows only; one thread.
#include <windows.h>

#include <memory>
#include <vector>

class COwnerOnlySecurity {
public:
    COwnerOnlySecurity() = default;
    COwnerOnlySecurity(const COwnerOnlySecurity&) = delete;
    COwnerOnlySecurity& operator=(const COwnerOnlySecurity&) = delete;

    // False when the user's SID or the descriptor cannot be had.
    [[nodiscard]] bool Build();
    // For CreateFileW; valid after a successful Build() while this object lives.
    SECURITY_ATTRIBUTES* Attributes() { return &m_attributes; }
    // The user the ACE names.
    PSID User() const;

private:
    struct LocalFreer {
        void operator()(void* memory) const { ::LocalFree(memory); }
    };
    std::vector<BYTE> m_tokenUser;  // a TOKEN_USER and the SID it points into
    std::unique_ptr<ACL, LocalFreer> m_acl;
    SECURITY_DESCRIPTOR m_descriptor{};
    SECURITY_ATTRIBUTES m_attributes{};
};
