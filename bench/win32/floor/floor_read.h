// The least a program must ask the registry to load Kestrune's stored computers: list the
// subkeys of the list key in the registry's order, then per computer open its key, read its
// seven values with one query each, close it. Plain Win32 and nothing else, so that the benches
// can set Kestrune's own cost beside what the platform itself costs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace floor_bench {

struct TComputer {
  std::wstring Name;
  std::wstring BroadcastHost;
  uint64_t Mac = 0;
  uint64_t Password = 0;
  uint64_t Broadcast = 0;
  uint32_t Local = 0;
  uint16_t Port = 7;
};

inline uint64_t Binary8(const BYTE* data, DWORD size) {
  uint64_t value = 0;
  std::memcpy(&value, data, size < 8 ? size : 8);
  return value;
}

inline std::vector<TComputer> LoadComputers() {
  std::vector<TComputer> computers;
  HKEY list = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Brindlecote\\Kestrune\\List", 0, KEY_READ, &list) != ERROR_SUCCESS)
    return computers;
  std::vector<std::wstring> names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(list, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  for (const auto& n : names) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(list, n.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    TComputer c;
    BYTE data[1024];
    DWORD type = 0;
    DWORD size = 0;
    auto query = [&](const wchar_t* value) {
      size = sizeof data;
      return RegQueryValueExW(key, value, nullptr, &type, data, &size) == ERROR_SUCCESS;
    };
    if (query(L"LocalIpAddress") && type == REG_DWORD && size == 4) std::memcpy(&c.Local, data, 4);
    if (query(L"ComputerName") && type == REG_SZ) c.Name.assign(reinterpret_cast<const wchar_t*>(data), size / 2);
    if (query(L"MacAddress") && type == REG_BINARY) c.Mac = Binary8(data, size);
    if (query(L"Password") && type == REG_BINARY) c.Password = Binary8(data, size);
    if (query(L"BroadcastAddress") && type == REG_BINARY) c.Broadcast = Binary8(data, size);
    if (query(L"BroadcastHost") && type == REG_SZ)
      c.BroadcastHost.assign(reinterpret_cast<const wchar_t*>(data), size / 2);
    if (query(L"Port") && type == REG_DWORD && size == 4) c.Port = static_cast<uint16_t>(data[0] | data[1] << 8);
    RegCloseKey(key);
    computers.push_back(std::move(c));
  }
  RegCloseKey(list);
  return computers;
}

}  // namespace floor_bench
