// The registry held in memory, for tests of code that reads and writes the registry. It copies
// what the platform does where callers can see it (the contract tests run against both): names
// case-insensitive, subkeys listed in the platform's order, rights fixed at open, a deleted key
// refusing work through a handle still open on it.
#include <algorithm>
#include <map>

#include "netcore/registry.h"

namespace kst {
namespace {

unsigned char FoldCase(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// Names compare by their lower-case form, a shorter name first when it starts the longer one:
// the order in which Wine enumerates subkeys. Windows compares the upper-case form, which
// differs only for names holding one of [ ] ^ _ ` where another has a letter. Only ASCII
// letters fold; other characters compare exactly.
struct TNameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      const unsigned char ca = FoldCase(a[i]);
      const unsigned char cb = FoldCase(b[i]);
      if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
  }
};

struct TValue {
  uint32_t Type = kRegNone;
  std::vector<uint8_t> Data;
};

struct TKey {
  std::map<std::string, std::shared_ptr<TKey>, TNameLess> Subkeys;
  std::map<std::string, TValue, TNameLess> Values;
  bool Deleted = false;
};

void MarkDeleted(TKey& key) {
  key.Deleted = true;
  for (auto& [name, sub] : key.Subkeys) MarkDeleted(*sub);
}

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find('\\', pos);
    if (end == std::string::npos) end = path.size();
    parts.push_back(path.substr(pos, end - pos));
    pos = end + 1;
  }
  return parts;
}

class TMemoryRegistry final : public IRegistryAccessor {
 public:
  void SetRoot(TRegRoot root) override {
    CloseKey();
    FRoot = root;
  }
  void SetAccess(TRegAccess access) override { FAccess = access; }

  bool OpenKey(std::string_view path, bool canCreate) override {
    CloseKey();
    const auto normal = NormalizeKeyPath(path);
    if (!normal) return false;
    std::shared_ptr<TKey> key = Root();
    for (const auto& part : SplitPath(*normal)) {
      auto it = key->Subkeys.find(part);
      if (it == key->Subkeys.end()) {
        if (!canCreate) return false;
        it = key->Subkeys.emplace(part, std::make_shared<TKey>()).first;
      }
      key = it->second;
    }
    FKey = std::move(key);
    FKeyAccess = FAccess;
    return true;
  }

  bool KeyExists(std::string_view path) override { return Find(path) != nullptr; }

  void CloseKey() override { FKey.reset(); }

  std::vector<std::string> GetKeyNames() override {
    std::vector<std::string> names;
    if (!CanRead()) return names;
    for (const auto& [name, sub] : FKey->Subkeys) names.push_back(name);
    return names;
  }

  std::vector<std::string> GetValueNames() override {
    std::vector<std::string> names;
    if (!CanRead()) return names;
    for (const auto& [name, value] : FKey->Values) names.push_back(name);
    return names;
  }

  bool DeleteKey(std::string_view path) override {
    const auto normal = NormalizeKeyPath(path);
    if (!normal) return false;
    auto parts = SplitPath(*normal);
    const std::string last = parts.back();
    parts.pop_back();
    TKey* parent = Root().get();
    for (const auto& part : parts) {
      const auto it = parent->Subkeys.find(part);
      if (it == parent->Subkeys.end()) return false;
      parent = it->second.get();
    }
    const auto it = parent->Subkeys.find(last);
    if (it == parent->Subkeys.end()) return false;
    MarkDeleted(*it->second);
    parent->Subkeys.erase(it);
    return true;
  }

  bool DeleteLeafKey(std::string_view path) override {
    const TKey* key = Find(path);
    if (!key || !key->Subkeys.empty()) return false;
    return DeleteKey(path);
  }

  std::optional<TRegValueInfo> GetValueInfo(std::string_view name) override {
    const TValue* value = FindValue(name);
    if (!value) return std::nullopt;
    return TRegValueInfo{value->Type, static_cast<uint32_t>(value->Data.size())};
  }

  std::optional<std::vector<uint8_t>> ReadRaw(std::string_view name) override {
    const TValue* value = FindValue(name);
    if (!value) return std::nullopt;
    return value->Data;
  }

  bool WriteRaw(std::string_view name, uint32_t type, std::span<const uint8_t> data) override {
    if (!CanWrite()) return false;
    auto it = FKey->Values.find(name);
    // An existing value keeps the case of its name.
    if (it == FKey->Values.end()) it = FKey->Values.emplace(std::string(name), TValue{}).first;
    it->second.Type = type;
    it->second.Data.assign(data.begin(), data.end());
    return true;
  }

  bool DeleteValue(std::string_view name) override {
    if (!CanWrite()) return false;
    const auto it = FKey->Values.find(name);
    if (it == FKey->Values.end()) return false;
    FKey->Values.erase(it);
    return true;
  }

 private:
  const std::shared_ptr<TKey>& Root() const {
    return FRoot == TRegRoot::LocalMachine ? FLocalMachine : FCurrentUser;
  }

  const TKey* Find(std::string_view path) const {
    const auto normal = NormalizeKeyPath(path);
    if (!normal) return nullptr;
    const TKey* key = Root().get();
    for (const auto& part : SplitPath(*normal)) {
      const auto it = key->Subkeys.find(part);
      if (it == key->Subkeys.end()) return nullptr;
      key = it->second.get();
    }
    return key;
  }

  bool CanRead() const { return FKey && !FKey->Deleted && FKeyAccess != TRegAccess::Write; }
  bool CanWrite() const { return FKey && !FKey->Deleted && FKeyAccess != TRegAccess::Read; }

  const TValue* FindValue(std::string_view name) const {
    if (!CanRead()) return nullptr;
    const auto it = FKey->Values.find(name);
    return it == FKey->Values.end() ? nullptr : &it->second;
  }

  std::shared_ptr<TKey> FLocalMachine = std::make_shared<TKey>();
  std::shared_ptr<TKey> FCurrentUser = std::make_shared<TKey>();
  TRegRoot FRoot = TRegRoot::LocalMachine;
  TRegAccess FAccess = TRegAccess::All;
  // Shared with the tree so that a key deleted while open stays valid (and marked deleted).
  std::shared_ptr<TKey> FKey;
  TRegAccess FKeyAccess = TRegAccess::All;
};

}  // namespace

std::unique_ptr<IRegistryAccessor> MakeMemoryRegistry() { return std::make_unique<TMemoryRegistry>(); }

}  // namespace kst
