// Owners of the Win32 handles the programs use.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "netcore/unique_resource.h"

namespace kst {

struct TSocketTraits {
  using Type = SOCKET;
  static Type Invalid() noexcept { return INVALID_SOCKET; }
  static void Close(Type s) noexcept { closesocket(s); }
};
using TUniqueSocket = TUniqueResource<TSocketTraits>;

struct THandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { CloseHandle(h); }
};
using TUniqueHandle = TUniqueResource<THandleTraits>;

struct TKeyTraits {
  using Type = HKEY;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { RegCloseKey(h); }
};
using TUniqueKey = TUniqueResource<TKeyTraits>;

struct TWindowTraits {
  using Type = HWND;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { DestroyWindow(h); }
};
using TUniqueWindow = TUniqueResource<TWindowTraits>;

// One WSAStartup/WSACleanup pair; each operation that uses sockets holds its own.
class TWinsockSession {
 public:
  TWinsockSession() noexcept : FResult(WSAStartup(MAKEWORD(2, 2), &FData)) {}
  ~TWinsockSession() {
    if (FResult == 0) WSACleanup();
  }
  TWinsockSession(const TWinsockSession&) = delete;
  TWinsockSession& operator=(const TWinsockSession&) = delete;

  bool Started() const noexcept { return FResult == 0; }
  int Result() const noexcept { return FResult; }

 private:
  WSADATA FData{};
  int FResult;
};

}  // namespace kst
