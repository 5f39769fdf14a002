// Whether this process runs with administrator rights: raw sockets need them.
#pragma once

#include <windows.h>

namespace kst {

// Membership of the built-in group with the given relative identifier, enabled in this
// process's token. Under user account control only an elevated token has Administrators enabled.
bool IsMemberOfGroup(DWORD rid) noexcept;

// IsMemberOfGroup(DOMAIN_ALIAS_RID_ADMINS).
bool IsAdminLoggedOn() noexcept;

}  // namespace kst
