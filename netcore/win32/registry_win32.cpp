// The registry accessor on advapi32. Names and string data cross the boundary as UTF-16 (the
// "W" functions); inside they are UTF-8, string values with their NULs as stored.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "netcore/registry.h"
#include "netcore/win32/handles_win32.h"
#include "netcore/win32/text_win32.h"

namespace kst {
namespace {

// The types the platform keeps as UTF-16 text and the ANSI functions convert.
bool IsStringType(uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz; }

REGSAM Rights(TRegAccess access) {
  switch (access) {
    case TRegAccess::Read:
      return KEY_READ;
    case TRegAccess::Write:
      return KEY_WRITE;
    case TRegAccess::All:
      break;
  }
  return KEY_ALL_ACCESS;
}

// UTF-16 bytes as stored, to UTF-8. An odd last byte (written by someone with an odd size) is
// half a character and dropped.
std::vector<uint8_t> Utf16BytesToUtf8(const std::vector<uint8_t>& bytes) {
  std::wstring wide(bytes.size() / sizeof(wchar_t), L'\0');
  if (!wide.empty()) std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(wchar_t));
  const std::string text = Narrow(wide);
  return std::vector<uint8_t>(text.begin(), text.end());
}

struct TRawValue {
  DWORD Type = REG_NONE;
  std::vector<uint8_t> Data;
};

// Wine's RegQueryMultipleValuesW asks the server twice for every value, where one query each
// asks once.
bool RunsOnWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

class TSystemRegistry final : public IRegistryAccessor {
 public:
  explicit TSystemRegistry(TValueReads reads)
      : FTogether(reads == TValueReads::Together || (reads == TValueReads::AsThePlatformIsFastest && !RunsOnWine())) {}

  void SetRoot(TRegRoot root) override {
    CloseKey();
    FRoot = root;
  }
  void SetAccess(TRegAccess access) override { FAccess = access; }

  bool OpenKey(std::string_view path, bool canCreate) override {
    CloseKey();
    const auto normal = NormalizeKeyPath(path);
    if (!normal) return false;
    const std::wstring wide = Widen(*normal);
    TUniqueKey key;
    const LONG rc = canCreate ? RegCreateKeyExW(RootKey(), wide.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                Rights(FAccess), nullptr, key.put(), nullptr)
                              : RegOpenKeyExW(RootKey(), wide.c_str(), 0, Rights(FAccess), key.put());
    if (rc != ERROR_SUCCESS) return false;
    FKey = std::move(key);
    return true;
  }

  bool KeyExists(std::string_view path) override {
    const auto normal = NormalizeKeyPath(path);
    if (!normal) return false;
    TUniqueKey key;
    const LONG rc = RegOpenKeyExW(RootKey(), Widen(*normal).c_str(), 0, KEY_READ, key.put());
    // A key we may not read is still there.
    return rc == ERROR_SUCCESS || rc == ERROR_ACCESS_DENIED;
  }

  void CloseKey() override { FKey.reset(); }

  std::vector<std::string> GetKeyNames() override {
    std::vector<std::string> names;
    if (!FKey) return names;
    DWORD count = 0;
    DWORD longest = 0;
    if (RegQueryInfoKeyW(FKey.get(), nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return names;
    names.reserve(count);
    // Key names are at most 255 characters; grow anyway should one be added while we list.
    std::wstring buffer(std::max<DWORD>(longest, 255) + 1, L'\0');
    DWORD index = 0;
    while (true) {
      DWORD length = static_cast<DWORD>(buffer.size());
      const LONG rc = RegEnumKeyExW(FKey.get(), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
      if (rc == ERROR_MORE_DATA && buffer.size() < 32768) {
        buffer.resize(buffer.size() * 2);
        continue;
      }
      if (rc != ERROR_SUCCESS) break;
      names.push_back(Narrow(std::wstring_view(buffer.data(), length)));
      ++index;
    }
    return names;
  }

  bool DeleteKey(std::string_view path) override {
    // Never the root itself: NormalizeKeyPath refuses a path that names no key below it.
    const auto normal = NormalizeKeyPath(path);
    if (!normal) return false;
    return RegDeleteTreeW(RootKey(), Widen(*normal).c_str()) == ERROR_SUCCESS;
  }

  bool DeleteLeafKey(std::string_view path) override {
    const auto normal = NormalizeKeyPath(path);
    if (!normal) return false;
    // The system refuses a key with subkeys itself, atomically.
    return RegDeleteKeyW(RootKey(), Widen(*normal).c_str()) == ERROR_SUCCESS;
  }

  std::vector<std::string> GetValueNames() override {
    std::vector<std::string> names;
    if (!FKey) return names;
    // Value names are at most 16383 characters.
    std::wstring buffer(16384, L'\0');
    for (DWORD index = 0;; ++index) {
      DWORD length = static_cast<DWORD>(buffer.size());
      if (RegEnumValueW(FKey.get(), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        break;
      names.push_back(Narrow(std::wstring_view(buffer.data(), length)));
    }
    return names;
  }

  std::optional<TRegValueInfo> GetValueInfo(std::string_view name) override {
    if (!FKey) return std::nullopt;
    const std::wstring wide = Widen(name);
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(FKey.get(), wide.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
      return std::nullopt;
    if (!IsStringType(type)) return TRegValueInfo{type, size};
    // The size callers see is that of the UTF-8 text, known only after converting it.
    const auto data = ReadRaw(name);
    if (!data) return std::nullopt;
    return TRegValueInfo{type, static_cast<uint32_t>(data->size())};
  }

  std::optional<TTypedValue> ReadValue(std::string_view name) override {
    auto value = Query(Widen(name));
    if (!value) return std::nullopt;
    if (IsStringType(value->Type)) value->Data = Utf16BytesToUtf8(value->Data);
    return TTypedValue{value->Type, std::move(value->Data)};
  }

  // All in one call. The call fails as a whole when one value is missing (or the key refuses
  // reading); then each is read on its own, which tells which.
  std::vector<std::optional<TTypedValue>> ReadValues(std::span<const std::string_view> names) override {
    if (!FTogether || !FKey || names.empty() || names.size() > MAXDWORD) return IRegistryAccessor::ReadValues(names);
    std::vector<std::wstring> wide;
    wide.reserve(names.size());
    for (const auto name : names) wide.push_back(Widen(name));
    std::vector<VALENTW> entries(names.size());
    for (size_t i = 0; i < names.size(); ++i) entries[i].ve_valuename = wide[i].data();
    // Room for what Kestrune keeps in one key; more is asked for when the values are longer.
    std::vector<BYTE> buffer(2048);
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD size = static_cast<DWORD>(buffer.size());
      const LONG rc = RegQueryMultipleValuesW(FKey.get(), entries.data(), static_cast<DWORD>(entries.size()),
                                              reinterpret_cast<LPWSTR>(buffer.data()), &size);
      if (rc == ERROR_MORE_DATA && size > buffer.size()) {
        buffer.resize(size);
        continue;
      }
      if (rc != ERROR_SUCCESS) break;
      std::vector<std::optional<TTypedValue>> values;
      values.reserve(entries.size());
      for (const VALENTW& entry : entries) {
        const auto* data = reinterpret_cast<const BYTE*>(entry.ve_valueptr);
        TTypedValue value{entry.ve_type, std::vector<uint8_t>(data, data + entry.ve_valuelen)};
        if (IsStringType(value.Type)) value.Data = Utf16BytesToUtf8(value.Data);
        values.push_back(std::move(value));
      }
      return values;
    }
    return IRegistryAccessor::ReadValues(names);
  }

  std::optional<std::vector<uint8_t>> ReadRaw(std::string_view name) override {
    auto value = Query(Widen(name));
    if (!value) return std::nullopt;
    if (IsStringType(value->Type)) return Utf16BytesToUtf8(value->Data);
    return std::move(value->Data);
  }

  bool WriteRaw(std::string_view name, uint32_t type, std::span<const uint8_t> data) override {
    if (!FKey) return false;
    std::wstring text;
    const BYTE* bytes = data.data();
    size_t size = data.size();
    if (IsStringType(type)) {
      text = Widen(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
      bytes = reinterpret_cast<const BYTE*>(text.data());
      size = text.size() * sizeof(wchar_t);
    }
    if (size > MAXDWORD) return false;
    static const BYTE kNothing = 0;
    if (size == 0) bytes = &kNothing;
    return RegSetValueExW(FKey.get(), Widen(name).c_str(), 0, type, bytes, static_cast<DWORD>(size)) ==
           ERROR_SUCCESS;
  }

  bool DeleteValue(std::string_view name) override {
    if (!FKey) return false;
    return RegDeleteValueW(FKey.get(), Widen(name).c_str()) == ERROR_SUCCESS;
  }

 private:
  HKEY RootKey() const { return FRoot == TRegRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

  // The value's type and bytes as stored.
  std::optional<TRawValue> Query(const std::wstring& name) {
    if (!FKey) return std::nullopt;
    TRawValue value;
    // Most values fit a small buffer, the longest host name (255 characters) included: then
    // one call gives type and data.
    BYTE small[1024];
    DWORD size = sizeof small;
    const LONG first = RegQueryValueExW(FKey.get(), name.c_str(), nullptr, &value.Type, small, &size);
    if (first == ERROR_SUCCESS) {
      value.Data.assign(small, small + size);
      return value;
    }
    if (first != ERROR_MORE_DATA) return std::nullopt;
    // The value may grow between the two calls; then ask again with the new size.
    for (int attempt = 0; attempt < 4 && size > 0; ++attempt) {
      value.Data.resize(size);
      const LONG rc = RegQueryValueExW(FKey.get(), name.c_str(), nullptr, &value.Type, value.Data.data(), &size);
      if (rc == ERROR_SUCCESS) {
        value.Data.resize(size);
        return value;
      }
      if (rc != ERROR_MORE_DATA) return std::nullopt;
    }
    if (size > 0) return std::nullopt;
    value.Data.clear();
    return value;
  }

  const bool FTogether;
  TRegRoot FRoot = TRegRoot::LocalMachine;
  TRegAccess FAccess = TRegAccess::All;
  TUniqueKey FKey;
};

}  // namespace

std::unique_ptr<IRegistryAccessor> MakeSystemRegistry(TValueReads reads) {
  return std::make_unique<TSystemRegistry>(reads);
}

}  // namespace kst
