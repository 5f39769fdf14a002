// The registry contract against the platform's registry (under Wine, in the sandbox's throwaway
// prefix), and what only the platform can show: the UTF-16 it stores and data that other
// programs wrote with the raw functions.
#include <windows.h>

#include "netcore/win32/handles_win32.h"
#include "tests/contract/registry_contract.h"
#include "tests/win32/sandbox_env.h"

namespace kst::test {
namespace {

// Only inside the sandbox, whose Wine prefix is thrown away afterwards.
std::unique_ptr<IRegistryAccessor> MakeSandboxedSystemRegistry() {
  return InSandbox() ? MakeSystemRegistry() : nullptr;
}

// Values read together in one call (as on Windows) must read as they do one by one.
std::unique_ptr<IRegistryAccessor> MakeSandboxedSystemRegistryReadingTogether() {
  return InSandbox() ? MakeSystemRegistry(TValueReads::Together) : nullptr;
}

INSTANTIATE_TEST_SUITE_P(System, RegistryContract,
                         ::testing::Values(TRegistryKind{"system", &MakeSandboxedSystemRegistry},
                                           TRegistryKind{"system_together", &MakeSandboxedSystemRegistryReadingTogether}));

const wchar_t* const kScratchW = L"SOFTWARE\\Brindlecote\\RegistryContractTest";

class RegistrySystem : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InSandbox());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kScratchW);
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kScratchW, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, FKey.put(),
                              nullptr),
              ERROR_SUCCESS);
    FReg = MakeSystemRegistry();
    ASSERT_TRUE(FReg->OpenKey(kScratch, false));
  }
  void TearDown() override {
    FKey.reset();
    if (InSandbox()) RegDeleteTreeW(HKEY_LOCAL_MACHINE, kScratchW);
  }

  LONG SetW(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    return RegSetValueExW(FKey.get(), name, 0, type, static_cast<const BYTE*>(data), size);
  }

  TUniqueKey FKey;
  std::unique_ptr<IRegistryAccessor> FReg;
};

TEST_F(RegistrySystem, StringsAreStoredAsUtf16) {
  ASSERT_TRUE(FReg->WriteString("Name", "Küche"));
  wchar_t buffer[16] = {};
  DWORD type = 0;
  DWORD size = sizeof(buffer);
  ASSERT_EQ(RegQueryValueExW(FKey.get(), L"Name", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 6 * sizeof(wchar_t));
  EXPECT_EQ(std::wstring(buffer), L"K\u00fcche");

  // Binary data is not text: stored byte for byte.
  ASSERT_TRUE(FReg->WriteBinary("Bin", Bytes("ab")));
  size = sizeof(buffer);
  ASSERT_EQ(RegQueryValueExW(FKey.get(), L"Bin", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 2u);
}

TEST_F(RegistrySystem, ReadsWhatOtherProgramsWrote) {
  TRegistryX x(*FReg);
  // Without the terminating NUL, and with an odd size that cuts the last character in half.
  ASSERT_EQ(SetW(L"Unended", REG_SZ, L"abc", 3 * sizeof(wchar_t)), ERROR_SUCCESS);
  ASSERT_EQ(SetW(L"Odd", REG_SZ, L"abc", 5), ERROR_SUCCESS);
  EXPECT_EQ(x.ReadStringDef("Unended", "def"), "abc");
  EXPECT_EQ(x.ReadStringDef("Odd", "def"), "ab");
  EXPECT_EQ(FReg->GetValueInfo("Odd")->Size, 2u);

  // An interface's two addresses, written by an older program through the ANSI function.
  static const char kTwo[] = "10.0.0.5\0" "10.0.0.6\0";  // plus the literal's closing NUL
  ASSERT_EQ(RegSetValueExA(FKey.get(), "IPAddress", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kTwo),
                           sizeof(kTwo)),
            ERROR_SUCCESS);
  EXPECT_EQ(x.ReadAnyString("IPAddress", "0.0.0.0"), "10.0.0.5 10.0.0.6");
  EXPECT_EQ(FReg->GetValueInfo("IPAddress")->Size, sizeof(kTwo));
}

TEST_F(RegistrySystem, KeyNamesOutsideAscii) {
  ASSERT_TRUE(FReg->OpenKey(Sub("B\u00fcro-\u6771\u4eac"), true));
  TUniqueKey direct;
  EXPECT_EQ(RegOpenKeyExW(FKey.get(), L"B\u00fcro-\u6771\u4eac", 0, KEY_READ, direct.put()), ERROR_SUCCESS);
  ASSERT_TRUE(FReg->OpenKey(kScratch, false));
  EXPECT_EQ(FReg->GetKeyNames(), std::vector<std::string>{"Büro-東京"});
}

}  // namespace
}  // namespace kst::test
