#include "netcore/registry.h"

#include <algorithm>

namespace kst {

std::optional<std::string> NormalizeKeyPath(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return std::nullopt;
  std::string out;
  size_t pos = 0;
  while (pos < path.size()) {
    size_t end = path.find('\\', pos);
    if (end == std::string_view::npos) end = path.size();
    if (end > pos) {
      if (!out.empty()) out += '\\';
      out.append(path.substr(pos, end - pos));
    }
    pos = end + 1;
  }
  if (out.empty()) return std::nullopt;
  return out;
}

// ---- IRegistryAccessor: typed reads and writes ----

std::optional<IRegistryAccessor::TTypedValue> IRegistryAccessor::ReadValue(std::string_view name) {
  const auto info = GetValueInfo(name);
  if (!info) return std::nullopt;
  auto data = ReadRaw(name);
  if (!data) return std::nullopt;
  return TTypedValue{info->Type, std::move(*data)};
}

std::vector<std::optional<IRegistryAccessor::TTypedValue>> IRegistryAccessor::ReadValues(
    std::span<const std::string_view> names) {
  std::vector<std::optional<TTypedValue>> values;
  values.reserve(names.size());
  for (const auto name : names) values.push_back(ReadValue(name));
  return values;
}

namespace {

using TTypedValue = IRegistryAccessor::TTypedValue;

// What a value read is as each type; one rule for reads of one value and of several.
std::optional<uint32_t> AsDword(const std::optional<TTypedValue>& value) {
  if (!value || value->Type != kRegDword || value->Data.size() != 4) return std::nullopt;
  const auto& b = value->Data;
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
         static_cast<uint32_t>(b[3]) << 24;
}

std::optional<std::string> AsString(const std::optional<TTypedValue>& value) {
  if (!value || value->Type != kRegSz) return std::nullopt;
  const auto& data = value->Data;
  // Stored text need not end in a NUL; what follows a first NUL is not part of it.
  const auto end = std::find(data.begin(), data.end(), uint8_t{0});
  return std::string(data.begin(), end);
}

uint64_t AsInt64(const std::optional<TTypedValue>& stored, uint64_t def) {
  if (!stored || stored->Type != kRegBinary) return def;
  const auto* data = &stored->Data;
  // A value longer than 8 bytes was not written by us (we always write exactly 8); its first
  // 8 bytes are read like any other value, so hand-made padding after a MAC address does not
  // lose the address, and shorter and longer values follow one rule: bytes from the first on.
  uint8_t bytes[8];
  for (size_t i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(def >> (8 * i));
  // An empty value has no data pointer to copy from.
  for (size_t i = 0; i < std::min<size_t>(data->size(), 8); ++i) bytes[i] = (*data)[i];
  uint64_t value = 0;
  for (size_t i = 0; i < 8; ++i) value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  return value;
}

}  // namespace

std::optional<uint32_t> IRegistryAccessor::ReadDword(std::string_view name) { return AsDword(ReadValue(name)); }

std::optional<std::string> IRegistryAccessor::ReadString(std::string_view name) { return AsString(ReadValue(name)); }

bool IRegistryAccessor::WriteDword(std::string_view name, uint32_t value) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return WriteRaw(name, kRegDword, bytes);
}

bool IRegistryAccessor::WriteString(std::string_view name, std::string_view value) {
  std::vector<uint8_t> bytes(value.begin(), value.end());
  bytes.push_back(0);
  return WriteRaw(name, kRegSz, bytes);
}

bool IRegistryAccessor::WriteBinary(std::string_view name, std::span<const uint8_t> data) {
  return WriteRaw(name, kRegBinary, data);
}

// ---- TRegistryX ----

int32_t TRegistryX::ReadIntegerDef(std::string_view name, int32_t def) {
  const auto value = FAccessor.ReadDword(name);
  return value ? static_cast<int32_t>(*value) : def;
}

bool TRegistryX::ReadBoolDef(std::string_view name, bool def) {
  const auto value = FAccessor.ReadDword(name);
  return value ? *value != 0 : def;
}

std::string TRegistryX::ReadStringDef(std::string_view name, std::string_view def) {
  auto value = FAccessor.ReadString(name);
  return value ? std::move(*value) : std::string(def);
}

uint64_t TRegistryX::ReadInt64Def(std::string_view name, uint64_t def) { return AsInt64(FAccessor.ReadValue(name), def); }

bool TRegistryX::WriteInt64(std::string_view name, uint64_t value) {
  uint8_t bytes[8];
  for (size_t i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  return FAccessor.WriteBinary(name, bytes);
}

const std::optional<IRegistryAccessor::TTypedValue>& TRegistryX::TValues::At(size_t index) const {
  static const std::optional<IRegistryAccessor::TTypedValue> kMissing;
  return index < FValues.size() ? FValues[index] : kMissing;
}

int32_t TRegistryX::TValues::IntegerDef(size_t index, int32_t def) const {
  const auto value = AsDword(At(index));
  return value ? static_cast<int32_t>(*value) : def;
}

std::string TRegistryX::TValues::StringDef(size_t index, std::string_view def) const {
  auto value = AsString(At(index));
  return value ? std::move(*value) : std::string(def);
}

uint64_t TRegistryX::TValues::Int64Def(size_t index, uint64_t def) const { return AsInt64(At(index), def); }

namespace {

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

std::string TRegistryX::ReadBinaryText(std::string_view name, std::string_view def) {
  const auto info = FAccessor.GetValueInfo(name);
  if (!info) return std::string(def);
  if (info->Type == kRegSz) return ReadStringDef(name, def);
  if (info->Type == kRegExpandSz || info->Type == kRegDword) return std::string(def);
  if (info->Size < 1 || info->Size > kBinaryTextMax) return std::string(def);
  const auto data = FAccessor.ReadRaw(name);
  if (!data || data->empty() || data->size() > kBinaryTextMax) return std::string(def);

  // A REG_MULTI_SZ list "a\0b\0\0" becomes "a b": the strings separated by one blank.
  std::string text(data->begin(), data->end());
  std::replace(text.begin(), text.end(), '\0', ' ');
  const auto first = std::find_if_not(text.begin(), text.end(), IsBlankOrControl);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), IsBlankOrControl).base();
  if (first >= last) return std::string(def);
  return std::string(first, last);
}

std::string TRegistryX::ReadAnyString(std::string_view name, std::string_view def) {
  const auto info = FAccessor.GetValueInfo(name);
  if (!info || info->Type == kRegExpandSz || info->Type == kRegDword) return std::string(def);
  if (info->Type == kRegSz) return ReadStringDef(name, def);
  return ReadBinaryText(name, def);
}

}  // namespace kst
