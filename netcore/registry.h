// Registry access for both programs: a small accessor interface (the Win32 registry for real,
// an in-memory one for tests, both held to one contract test suite) and TRegistryX, the typed
// reads that never fail: each returns its default when the value is missing or of another type.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kst {

// Registry value types, with the platform's numbers.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegQword = 11;

enum class TRegRoot { LocalMachine, CurrentUser };
enum class TRegAccess { Read, Write, All };

struct TRegValueInfo {
  uint32_t Type = kRegNone;
  // Size of the data in bytes. String types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are seen as
  // single-byte (UTF-8) text with their NUL bytes, whatever the platform stores.
  uint32_t Size = 0;
};

// The key path as the accessors take it: one leading '\' dropped, doubled and trailing '\'
// ignored (as the platform does). Nothing for a path that names no key below the root (empty,
// only separators, or a NUL inside): the root itself is never opened, written or deleted.
std::optional<std::string> NormalizeKeyPath(std::string_view path);

// The registry as the programs use it: one root, access rights for the next open, at most one
// open current key. Key paths are always taken from the root; a leading '\' is allowed.
// Values are read and written on the current key; with no current key they fail.
// Starts with root LocalMachine and access All. Key and value names are case-insensitive and keep
// the case they were created with.
class IRegistryAccessor {
 public:
  virtual ~IRegistryAccessor() = default;

  // Also closes the current key, which belongs to the old root.
  virtual void SetRoot(TRegRoot root) = 0;
  virtual void SetAccess(TRegAccess access) = 0;

  // Opens the key (closing the current one first) with the access rights set; with canCreate,
  // creates it and its missing parents. False when it does not open. The rights hold for the
  // key's lifetime: Read refuses writes, Write refuses reads and the subkey list.
  virtual bool OpenKey(std::string_view path, bool canCreate) = 0;
  // Whatever the access rights set.
  virtual bool KeyExists(std::string_view path) = 0;
  virtual void CloseKey() = 0;
  // Names of the current key's subkeys, in the order the registry enumerates them: sorted
  // case-insensitively, shorter first on a common start ("0000", "1000", "10000", "1001").
  // Empty when there is no current key or it was not opened for reading.
  virtual std::vector<std::string> GetKeyNames() = 0;
  // Names of the current key's values (the default value as ""), in no order to rely on. Empty
  // when there is no current key or it was not opened for reading.
  virtual std::vector<std::string> GetValueNames() = 0;
  // Deletes the key with everything below it, whatever the access rights set. An open current
  // key that is deleted stays open but refuses every operation.
  virtual bool DeleteKey(std::string_view path) = 0;
  // Deletes the key only when it has no subkeys, in one step, so that a subkey another program
  // creates meanwhile is never lost with it; its values go with it. False when it has subkeys,
  // does not exist or may not be deleted. An accessor that cannot do this in one step refuses.
  virtual bool DeleteLeafKey(std::string_view /*path*/) { return false; }

  virtual std::optional<TRegValueInfo> GetValueInfo(std::string_view name) = 0;
  // The value's data whatever its type (string types as UTF-8 with their NUL bytes).
  virtual std::optional<std::vector<uint8_t>> ReadRaw(std::string_view name) = 0;
  // Type and data together, as GetValueInfo and ReadRaw give them; an accessor whose platform
  // returns both from one call overrides it, so that a typed read costs one call.
  struct TTypedValue {
    uint32_t Type = 0;
    std::vector<uint8_t> Data;
  };
  virtual std::optional<TTypedValue> ReadValue(std::string_view name);
  // Several values of the current key, each as ReadValue gives it (nothing for a missing one).
  // An accessor whose platform reads them all in one call overrides it.
  virtual std::vector<std::optional<TTypedValue>> ReadValues(std::span<const std::string_view> names);
  // Writes data of any type; string types take UTF-8 with their NUL bytes.
  virtual bool WriteRaw(std::string_view name, uint32_t type, std::span<const uint8_t> data) = 0;
  virtual bool DeleteValue(std::string_view name) = 0;

  // Typed reads: nothing when the value is missing or not of that type.
  // REG_DWORD of exactly 4 bytes only (the platform accepts other sizes).
  std::optional<uint32_t> ReadDword(std::string_view name);
  // REG_SZ only; the text up to its first NUL.
  std::optional<std::string> ReadString(std::string_view name);
  bool WriteDword(std::string_view name, uint32_t value);
  bool WriteString(std::string_view name, std::string_view value);
  bool WriteBinary(std::string_view name, std::span<const uint8_t> data);
};

// A registry held in memory, for tests; behaves as the platform's (see the contract tests).
std::unique_ptr<IRegistryAccessor> MakeMemoryRegistry();

// How the platform registry reads several values at once. Windows reads them in one call
// (RegQueryMultipleValuesW); Wine answers that call with two queries per value, so there they
// are read one by one. Tests choose either way to hold both to the same results.
enum class TValueReads { AsThePlatformIsFastest, OneByOne, Together };

// The platform registry (Win32 builds only).
std::unique_ptr<IRegistryAccessor> MakeSystemRegistry(TValueReads reads = TValueReads::AsThePlatformIsFastest);

// Typed reads with defaults over an accessor; never throws, never shows anything.
class TRegistryX {
 public:
  explicit TRegistryX(IRegistryAccessor& accessor) : FAccessor(accessor) {}

  IRegistryAccessor& Accessor() { return FAccessor; }

  int32_t ReadIntegerDef(std::string_view name, int32_t def);
  bool ReadBoolDef(std::string_view name, bool def);
  std::string ReadStringDef(std::string_view name, std::string_view def);
  // REG_BINARY only: its bytes laid over the default's 8 little-endian bytes from the first
  // on; a longer value gives its first 8 bytes.
  uint64_t ReadInt64Def(std::string_view name, uint64_t def);
  bool WriteInt64(std::string_view name, uint64_t value);

  // Values read together (IRegistryAccessor::ReadValues); each typed read, given the value's
  // position in the names read, gives what the read of the same name above gives.
  class TValues {
   public:
    explicit TValues(std::vector<std::optional<IRegistryAccessor::TTypedValue>> values) : FValues(std::move(values)) {}
    int32_t IntegerDef(size_t index, int32_t def) const;
    std::string StringDef(size_t index, std::string_view def) const;
    uint64_t Int64Def(size_t index, uint64_t def) const;

   private:
    const std::optional<IRegistryAccessor::TTypedValue>& At(size_t index) const;
    std::vector<std::optional<IRegistryAccessor::TTypedValue>> FValues;
  };
  TValues ReadValues(std::span<const std::string_view> names) { return TValues(FAccessor.ReadValues(names)); }
  // REG_SZ: its text. REG_BINARY and the untyped kinds (anything but REG_SZ, REG_EXPAND_SZ,
  // REG_DWORD) of 1 to kBinaryTextMax bytes: the bytes as text, NULs as blanks, trimmed of
  // blanks and control characters; the default when that leaves nothing.
  std::string ReadBinaryText(std::string_view name, std::string_view def);
  // REG_SZ as ReadStringDef, REG_BINARY and untyped as ReadBinaryText; otherwise the default.
  std::string ReadAnyString(std::string_view name, std::string_view def);

  static constexpr uint32_t kBinaryTextMax = 4095;

 private:
  IRegistryAccessor& FAccessor;
};

}  // namespace kst
