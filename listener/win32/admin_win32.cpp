#include "listener/win32/admin_win32.h"

#include <vector>

#include "netcore/win32/handles_win32.h"

namespace kst {
namespace {

struct TSidTraits {
  using Type = PSID;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type sid) noexcept { FreeSid(sid); }
};
using TUniqueSid = TUniqueResource<TSidTraits>;

// The token's groups searched by hand, for systems without CheckTokenMembership.
bool TokenHasEnabledGroup(PSID sid) {
  TUniqueHandle token;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()) &&
      (GetLastError() != ERROR_NO_TOKEN || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())))
    return false;
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &size) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return false;
  std::vector<unsigned char> buffer(size);
  if (!GetTokenInformation(token.get(), TokenGroups, buffer.data(), size, &size)) return false;
  const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
  for (DWORD i = 0; i < groups->GroupCount; ++i) {
    const auto& group = groups->Groups[i];
    if (EqualSid(group.Sid, sid) && (group.Attributes & (SE_GROUP_ENABLED | SE_GROUP_USE_FOR_DENY_ONLY)) == SE_GROUP_ENABLED)
      return true;
  }
  return false;
}

}  // namespace

bool IsMemberOfGroup(DWORD rid) noexcept {
  // Every system this 64-bit program runs on is NT-based; only the entry point may be missing.
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  TUniqueSid sid;
  if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, rid, 0, 0, 0, 0, 0, 0, sid.put()))
    return false;
  using TCheckTokenMembership = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);
  if (HMODULE advapi = GetModuleHandleW(L"advapi32.dll")) {
    if (FARPROC entry = GetProcAddress(advapi, "CheckTokenMembership")) {
      const auto check = reinterpret_cast<TCheckTokenMembership>(reinterpret_cast<void*>(entry));
      BOOL member = FALSE;
      return check(nullptr, sid.get(), &member) && member;
    }
  }
  try {
    return TokenHasEnabledGroup(sid.get());
  } catch (...) {
    return false;
  }
}

bool IsAdminLoggedOn() noexcept { return IsMemberOfGroup(DOMAIN_ALIAS_RID_ADMINS); }

}  // namespace kst
