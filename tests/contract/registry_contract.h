// One set of tests for every registry accessor: the in-memory one natively, the system one
// under Wine. Both pass the same cases, so code tested against the memory registry sees what
// it will see on the platform. Include from exactly one test file per test program and
// instantiate there:
//
//   INSTANTIATE_TEST_SUITE_P(Memory, RegistryContract,
//                            ::testing::Values(TRegistryKind{"memory", &MakeMemoryRegistry}));
//
// Each test works below a scratch key that it deletes before and after.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "netcore/registry.h"

namespace kst::test {

// The accessor under test: a name for the test list and how to make one (the maker may return
// nullptr to refuse, e.g. outside the test sandbox).
struct TRegistryKind {
  const char* Name;
  std::unique_ptr<IRegistryAccessor> (*Make)();
};

inline void PrintTo(const TRegistryKind& kind, std::ostream* out) { *out << kind.Name; }

inline constexpr const char* kScratch = "SOFTWARE\\Brindlecote\\RegistryContractTest";

inline std::string Sub(const std::string& name) { return std::string(kScratch) + "\\" + name; }

inline std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

class RegistryContract : public ::testing::TestWithParam<TRegistryKind> {
 protected:
  void SetUp() override {
    FReg = GetParam().Make();
    ASSERT_NE(FReg, nullptr) << "the accessor refused to start (outside the test sandbox?)";
    Reset();
    ASSERT_TRUE(FReg->OpenKey(kScratch, true));
  }
  void TearDown() override {
    if (FReg) Reset();
  }

  void Reset() {
    for (TRegRoot root : {TRegRoot::CurrentUser, TRegRoot::LocalMachine}) {
      FReg->SetRoot(root);
      FReg->DeleteKey(kScratch);
    }
    FReg->SetAccess(TRegAccess::All);
  }

  bool Write(std::string_view name, uint32_t type, std::string_view data) {
    return FReg->WriteRaw(name, type, Bytes(data));
  }

  // Reopens the scratch key (or a key below it) with the given rights.
  bool Reopen(TRegAccess access, const std::string& path = kScratch) {
    FReg->SetAccess(access);
    return FReg->OpenKey(path, false);
  }

  std::unique_ptr<IRegistryAccessor> FReg;
};

// ---- Typed reads: defaults for missing values and other types ----

TEST_P(RegistryContract, IntegerAndBoolReadOnlyDwords) {
  TRegistryX x(*FReg);
  ASSERT_TRUE(FReg->WriteDword("Neg", 0xFFFFFFFEu));
  ASSERT_TRUE(FReg->WriteDword("Zero", 0));
  ASSERT_TRUE(FReg->WriteString("Text5", "5"));
  ASSERT_TRUE(Write("Short", kRegDword, "\x01\x02"));  // accepted by the platform, not a DWORD to us

  EXPECT_EQ(x.ReadIntegerDef("Neg", 7), -2);
  EXPECT_EQ(x.ReadIntegerDef("neg", 7), -2) << "value names are case-insensitive";
  EXPECT_EQ(x.ReadIntegerDef("Missing", 7), 7);
  EXPECT_EQ(x.ReadIntegerDef("Text5", 7), 7);
  EXPECT_EQ(x.ReadIntegerDef("Short", 7), 7);

  EXPECT_TRUE(x.ReadBoolDef("Neg", false));
  EXPECT_FALSE(x.ReadBoolDef("Zero", true));
  EXPECT_TRUE(x.ReadBoolDef("Missing", true));
  EXPECT_FALSE(x.ReadBoolDef("Text5", false));
}

TEST_P(RegistryContract, StringReadOnlyPlainStrings) {
  TRegistryX x(*FReg);
  ASSERT_TRUE(FReg->WriteString("Name", "Küche 東京"));
  ASSERT_TRUE(FReg->WriteString("Empty", ""));
  ASSERT_TRUE(Write("Expand", kRegExpandSz, std::string_view("%TEMP%\0", 7)));
  ASSERT_TRUE(Write("Unended", kRegSz, "no terminator"));
  ASSERT_TRUE(Write("TwoParts", kRegSz, std::string_view("first\0second\0", 13)));
  ASSERT_TRUE(FReg->WriteDword("Number", 5));

  EXPECT_EQ(x.ReadStringDef("Name", "def"), "Küche 東京");
  EXPECT_EQ(x.ReadStringDef("Empty", "def"), "");
  EXPECT_EQ(x.ReadStringDef("Expand", "def"), "def");
  EXPECT_EQ(x.ReadStringDef("Unended", "def"), "no terminator");
  EXPECT_EQ(x.ReadStringDef("TwoParts", "def"), "first");
  EXPECT_EQ(x.ReadStringDef("Number", "def"), "def");
  EXPECT_EQ(x.ReadStringDef("Missing", "def"), "def");
}

// ---- 64-bit fields stored as 8 little-endian bytes ----

TEST_P(RegistryContract, Int64LaysBinaryBytesOverTheDefault) {
  TRegistryX x(*FReg);
  const std::vector<uint8_t> mac = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  ASSERT_TRUE(FReg->WriteBinary("Mac", mac));
  EXPECT_EQ(x.ReadInt64Def("Mac", 0), 0x0000FFEEDDCCBBAAull);
  // A shorter value replaces only its own bytes of the default.
  EXPECT_EQ(x.ReadInt64Def("Mac", 0x1122334455667788ull), 0x1122FFEEDDCCBBAAull);

  ASSERT_TRUE(FReg->WriteBinary("None", {}));
  EXPECT_EQ(x.ReadInt64Def("None", 0x1122334455667788ull), 0x1122334455667788ull);

  // Longer than we ever write: the first 8 bytes count, the rest is ignored.
  const std::vector<uint8_t> ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ASSERT_TRUE(FReg->WriteBinary("Ten", ten));
  EXPECT_EQ(x.ReadInt64Def("Ten", 0), 0x0807060504030201ull);

  ASSERT_TRUE(FReg->WriteDword("Dword", 1));
  ASSERT_TRUE(Write("Multi", kRegMultiSz, std::string_view("abcdefgh\0\0", 10)));
  EXPECT_EQ(x.ReadInt64Def("Dword", 99), 99u);
  EXPECT_EQ(x.ReadInt64Def("Multi", 99), 99u);
  EXPECT_EQ(x.ReadInt64Def("Missing", 99), 99u);
}

TEST_P(RegistryContract, WriteInt64StoresEightLittleEndianBytes) {
  TRegistryX x(*FReg);
  ASSERT_TRUE(x.WriteInt64("Mac", 0xAABBCCDDEEFFull));
  const auto info = FReg->GetValueInfo("Mac");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->Type, kRegBinary);
  EXPECT_EQ(info->Size, 8u);
  EXPECT_EQ(FReg->ReadRaw("Mac"), (std::vector<uint8_t>{0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA, 0, 0}));

  for (uint64_t v : {0ull, 0x00000000C0A801FFull, 0x8000000000000001ull, ~0ull}) {
    ASSERT_TRUE(x.WriteInt64("Round", v));
    EXPECT_EQ(x.ReadInt64Def("Round", v ^ 0x5A5A5A5A5A5A5A5Aull), v);
  }
}

// ---- Several values read together ----

TEST_P(RegistryContract, ValuesReadTogetherReadAsEachOnItsOwn) {
  TRegistryX x(*FReg);
  ASSERT_TRUE(FReg->WriteDword("Neg", 0xFFFFFFFEu));
  ASSERT_TRUE(Write("Short", kRegDword, "\x01\x02"));
  ASSERT_TRUE(FReg->WriteString("Name", "Küche 東京"));
  ASSERT_TRUE(Write("TwoParts", kRegSz, std::string_view("first\0second\0", 13)));
  ASSERT_TRUE(Write("Expand", kRegExpandSz, std::string_view("%TEMP%\0", 7)));
  ASSERT_TRUE(FReg->WriteBinary("Mac", std::vector<uint8_t>{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}));
  ASSERT_TRUE(FReg->WriteBinary("Ten", std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  ASSERT_TRUE(FReg->WriteBinary("None", {}));
  ASSERT_TRUE(FReg->WriteString("Long", std::string(3000, 'x')));  // more than one first guess holds

  const std::string_view names[] = {"Neg", "Short", "Name", "TwoParts", "Expand", "Mac", "Ten", "None", "Long"};
  const auto all = x.ReadValues(names);
  EXPECT_EQ(all.IntegerDef(0, 7), -2);
  EXPECT_EQ(all.IntegerDef(1, 7), 7);
  EXPECT_EQ(all.IntegerDef(2, 7), 7);
  EXPECT_EQ(all.StringDef(2, "def"), "Küche 東京");
  EXPECT_EQ(all.StringDef(3, "def"), "first");
  EXPECT_EQ(all.StringDef(4, "def"), "def");
  EXPECT_EQ(all.StringDef(0, "def"), "def");
  EXPECT_EQ(all.Int64Def(5, 0x1122334455667788ull), 0x1122FFEEDDCCBBAAull);
  EXPECT_EQ(all.Int64Def(6, 0), 0x0807060504030201ull);
  EXPECT_EQ(all.Int64Def(7, 0x1122334455667788ull), 0x1122334455667788ull);
  EXPECT_EQ(all.Int64Def(0, 99), 99u);
  EXPECT_EQ(all.StringDef(8, ""), std::string(3000, 'x'));

  // One missing value leaves the others as they are.
  const std::string_view some[] = {"Mac", "Missing", "Neg"};
  const auto partly = x.ReadValues(some);
  EXPECT_EQ(partly.Int64Def(0, 0), 0x0000FFEEDDCCBBAAull);
  EXPECT_EQ(partly.IntegerDef(1, 7), 7);
  EXPECT_EQ(partly.StringDef(1, "def"), "def");
  EXPECT_EQ(partly.IntegerDef(2, 7), -2);

  // Nothing is read through a write-only key.
  ASSERT_TRUE(Reopen(TRegAccess::Write));
  EXPECT_EQ(x.ReadValues(names).IntegerDef(0, 7), 7);
}

// ---- Binary and untyped values as text ----

TEST_P(RegistryContract, BinaryTextReplacesNulsAndTrims) {
  TRegistryX x(*FReg);
  ASSERT_TRUE(Write("Two", kRegBinary, std::string_view("10.0.0.5\0" "10.0.0.6\0\0", 19)));
  ASSERT_TRUE(Write("Padded", kRegBinary, std::string_view("\0 \t\r\nab\x01" "cd\x7f\0 \n", 14)));
  ASSERT_TRUE(Write("Zeros", kRegBinary, std::string_view("\0\0\0\0", 4)));
  ASSERT_TRUE(Write("Blank", kRegNone, " \t "));
  ASSERT_TRUE(FReg->WriteBinary("Empty", {}));
  ASSERT_TRUE(Write("Sz", kRegSz, std::string_view("  kept as is \0", 14)));
  ASSERT_TRUE(Write("Expand", kRegExpandSz, std::string_view("x\0", 2)));
  ASSERT_TRUE(FReg->WriteDword("Dword", 0x41414141));

  EXPECT_EQ(x.ReadBinaryText("Two", "def"), "10.0.0.5 10.0.0.6");
  EXPECT_EQ(x.ReadBinaryText("Padded", "def"), "ab\x01" "cd\x7f");
  EXPECT_EQ(x.ReadBinaryText("Zeros", "def"), "def");
  EXPECT_EQ(x.ReadBinaryText("Blank", "def"), "def");
  EXPECT_EQ(x.ReadBinaryText("Empty", "def"), "def");
  EXPECT_EQ(x.ReadBinaryText("Sz", "def"), "  kept as is ");
  EXPECT_EQ(x.ReadBinaryText("Expand", "def"), "def");
  EXPECT_EQ(x.ReadBinaryText("Dword", "def"), "def");
  EXPECT_EQ(x.ReadBinaryText("Missing", "def"), "def");
}

TEST_P(RegistryContract, BinaryTextTakesAtMost4095Bytes) {
  TRegistryX x(*FReg);
  std::string longest(TRegistryX::kBinaryTextMax, 'A');
  longest.front() = '<';
  longest.back() = '>';
  ASSERT_TRUE(Write("Longest", kRegBinary, longest));
  ASSERT_TRUE(Write("TooLong", kRegBinary, longest + "B"));
  EXPECT_EQ(x.ReadBinaryText("Longest", "def"), longest);
  EXPECT_EQ(x.ReadBinaryText("TooLong", "def"), "def");
}

TEST_P(RegistryContract, AnyStringByType) {
  TRegistryX x(*FReg);
  ASSERT_TRUE(Write("Multi", kRegMultiSz, std::string_view("10.0.0.5\0" "10.0.0.6\0\0", 19)));
  ASSERT_TRUE(Write("MultiEmpty", kRegMultiSz, std::string_view("\0", 1)));
  ASSERT_TRUE(FReg->WriteString("Sz", " 10.0.0.7 "));
  ASSERT_TRUE(FReg->WriteBinary("Bin", Bytes("255.255.0.0")));
  ASSERT_TRUE(Write("Expand", kRegExpandSz, std::string_view("10.0.0.8\0", 9)));
  ASSERT_TRUE(FReg->WriteDword("Dword", 0x30303030));

  EXPECT_EQ(x.ReadAnyString("Multi", "0.0.0.0"), "10.0.0.5 10.0.0.6");
  EXPECT_EQ(x.ReadAnyString("MultiEmpty", "0.0.0.0"), "0.0.0.0");
  EXPECT_EQ(x.ReadAnyString("Sz", "0.0.0.0"), " 10.0.0.7 ");
  EXPECT_EQ(x.ReadAnyString("Bin", "0.0.0.0"), "255.255.0.0");
  EXPECT_EQ(x.ReadAnyString("Expand", "0.0.0.0"), "0.0.0.0");
  EXPECT_EQ(x.ReadAnyString("Dword", "0.0.0.0"), "0.0.0.0");
  EXPECT_EQ(x.ReadAnyString("Missing", "0.0.0.0"), "0.0.0.0");
}

// ---- Values: sizes, names, deletion ----

TEST_P(RegistryContract, ValueInfoGivesTypeAndSize) {
  ASSERT_TRUE(FReg->WriteDword("Dword", 1));
  ASSERT_TRUE(FReg->WriteString("Ascii", "abc"));
  ASSERT_TRUE(FReg->WriteString("Wide", "é東"));  // 2 + 3 bytes in UTF-8, 2 characters
  ASSERT_TRUE(Write("Multi", kRegMultiSz, std::string_view("a\0bc\0\0", 6)));
  ASSERT_TRUE(FReg->WriteBinary("Bin", std::vector<uint8_t>(10, 0)));

  const auto check = [&](const char* name, uint32_t type, uint32_t size) {
    const auto info = FReg->GetValueInfo(name);
    ASSERT_TRUE(info) << name;
    EXPECT_EQ(info->Type, type) << name;
    EXPECT_EQ(info->Size, size) << name;
    const auto data = FReg->ReadRaw(name);
    ASSERT_TRUE(data) << name;
    EXPECT_EQ(data->size(), size) << name;
  };
  check("Dword", kRegDword, 4);
  check("Ascii", kRegSz, 4);
  check("Wide", kRegSz, 6);
  check("Multi", kRegMultiSz, 6);
  check("Bin", kRegBinary, 10);
  EXPECT_EQ(FReg->ReadRaw("Wide"), Bytes(std::string_view("é東\0", 6)));
  EXPECT_EQ(FReg->ReadRaw("Multi"), Bytes(std::string_view("a\0bc\0\0", 6)));
  EXPECT_FALSE(FReg->GetValueInfo("Missing"));
  EXPECT_FALSE(FReg->ReadRaw("Missing"));
}

TEST_P(RegistryContract, ValueNamesIgnoreCaseAndCanBeDeleted) {
  TRegistryX x(*FReg);
  ASSERT_TRUE(FReg->WriteDword("Port", 7));
  ASSERT_TRUE(FReg->WriteDword("PORT", 9));  // the same value
  ASSERT_TRUE(FReg->WriteString("", "default value"));
  EXPECT_EQ(x.ReadIntegerDef("port", 0), 9);
  EXPECT_EQ(x.ReadStringDef("", "def"), "default value");

  ASSERT_TRUE(FReg->WriteString("Port", "now text"));  // a write replaces the type too
  EXPECT_EQ(x.ReadIntegerDef("Port", 0), 0);
  EXPECT_EQ(x.ReadStringDef("Port", ""), "now text");

  EXPECT_TRUE(FReg->DeleteValue("pOrT"));
  EXPECT_FALSE(FReg->GetValueInfo("Port"));
  EXPECT_FALSE(FReg->DeleteValue("Port"));
  EXPECT_EQ(x.ReadStringDef("", "def"), "default value");
}

// ---- Keys ----

TEST_P(RegistryContract, OpenWithoutCreateNeedsTheKey) {
  EXPECT_FALSE(FReg->OpenKey(Sub("Missing"), false));
  EXPECT_FALSE(FReg->KeyExists(Sub("Missing")));
  // The failed open closed the previous key: nothing is written anywhere.
  EXPECT_FALSE(FReg->WriteDword("Stray", 1));
  EXPECT_FALSE(FReg->ReadDword("Stray"));
  EXPECT_TRUE(FReg->GetKeyNames().empty());

  for (const char* path : {"", "\\", "\\\\"}) {
    EXPECT_FALSE(FReg->OpenKey(path, false)) << '"' << path << '"';
    EXPECT_FALSE(FReg->OpenKey(path, true)) << '"' << path << '"';
    EXPECT_FALSE(FReg->DeleteKey(path)) << '"' << path << '"';
  }
}

TEST_P(RegistryContract, CreateMakesMissingParents) {
  ASSERT_TRUE(FReg->OpenKey(Sub("A\\B\\C"), true));
  ASSERT_TRUE(FReg->WriteDword("Deep", 3));
  FReg->CloseKey();
  EXPECT_FALSE(FReg->ReadDword("Deep")) << "closed";

  EXPECT_TRUE(FReg->KeyExists(Sub("A")));
  EXPECT_TRUE(FReg->KeyExists(Sub("A\\B")));
  // Paths: case-insensitive, a leading '\' allowed, doubled and trailing ones ignored.
  EXPECT_TRUE(FReg->KeyExists("software\\BRINDLECOTE\\registrycontracttest\\a\\b\\c"));
  EXPECT_TRUE(FReg->KeyExists("\\SOFTWARE\\Brindlecote\\RegistryContractTest\\A\\B\\C"));
  EXPECT_TRUE(FReg->KeyExists(Sub("A\\\\B\\C\\")));
  ASSERT_TRUE(FReg->OpenKey("\\SOFTWARE\\Brindlecote\\RegistryContractTest\\a\\b\\c", false));
  EXPECT_EQ(FReg->ReadDword("Deep"), 3u);

  // Opening an existing key with create keeps its contents.
  ASSERT_TRUE(FReg->OpenKey(Sub("A\\B\\C"), true));
  EXPECT_EQ(FReg->ReadDword("Deep"), 3u);
}

TEST_P(RegistryContract, SubkeysListInTheRegistrysOrder) {
  // Created out of order and in mixed case; one name twice in other case.
  for (const char* name : {"1001", "beta", "0001", "Zulu", "10000", "ALPHA", "0000", "ab", "1000", "alpha", "a_b",
                           "_x", "Ab9"}) {
    ASSERT_TRUE(FReg->OpenKey(Sub(std::string("List\\") + name), true)) << name;
  }
  ASSERT_TRUE(Reopen(TRegAccess::Read, Sub("List")));
  // Case-insensitive, shorter first on a common start, names kept as first created. Wine
  // compares lower case, so '_' comes before the letters (Windows, comparing upper case,
  // would put "_x" last and "a_b" after "ALPHA").
  const std::vector<std::string> expected = {"0000", "0001", "1000", "10000", "1001", "_x",
                                             "a_b",  "ab",   "Ab9",  "ALPHA", "beta", "Zulu"};
  EXPECT_EQ(FReg->GetKeyNames(), expected);

  ASSERT_TRUE(Reopen(TRegAccess::Read, Sub("List\\0000")));
  EXPECT_TRUE(FReg->GetKeyNames().empty());
}

TEST_P(RegistryContract, ValueNamesListEachValueOnceAndNoSubkeys) {
  ASSERT_TRUE(FReg->OpenKey(Sub("Values\\Child"), true));
  ASSERT_TRUE(FReg->OpenKey(Sub("Values"), false));
  EXPECT_TRUE(FReg->GetValueNames().empty());
  ASSERT_TRUE(FReg->WriteDword("b", 1));
  ASSERT_TRUE(FReg->WriteString("A.Owner", "x"));
  ASSERT_TRUE(FReg->WriteDword("B", 2));  // the same value, other case
  auto names = FReg->GetValueNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"A.Owner", "b"}));
  ASSERT_TRUE(Reopen(TRegAccess::Write, Sub("Values")));
  EXPECT_TRUE(FReg->GetValueNames().empty()) << "no listing through a write-only key";
}

TEST_P(RegistryContract, DeleteKeyRemovesTheWholeTree) {
  for (const char* path : {"Tree\\A\\B", "Tree\\C", "Keep"}) {
    ASSERT_TRUE(FReg->OpenKey(Sub(path), true));
    ASSERT_TRUE(FReg->WriteDword("V", 1));
  }
  FReg->CloseKey();
  EXPECT_TRUE(FReg->DeleteKey(Sub("tree")));
  for (const char* path : {"Tree", "Tree\\A", "Tree\\A\\B", "Tree\\C"}) EXPECT_FALSE(FReg->KeyExists(Sub(path))) << path;
  EXPECT_TRUE(FReg->KeyExists(Sub("Keep")));
  EXPECT_FALSE(FReg->DeleteKey(Sub("Tree")));

  // Recreated, the key starts empty.
  ASSERT_TRUE(FReg->OpenKey(Sub("Tree"), true));
  EXPECT_FALSE(FReg->GetValueInfo("V"));
  EXPECT_TRUE(FReg->GetKeyNames().empty());
}

TEST_P(RegistryContract, DeleteLeafKeyRefusesAKeyWithSubkeys) {
  ASSERT_TRUE(FReg->OpenKey(Sub("Parent\\Child"), true));
  ASSERT_TRUE(FReg->OpenKey(Sub("Parent"), false));
  ASSERT_TRUE(FReg->WriteDword("V", 1));
  FReg->CloseKey();
  EXPECT_FALSE(FReg->DeleteLeafKey(Sub("Parent")));
  EXPECT_TRUE(FReg->KeyExists(Sub("Parent\\Child")));
  EXPECT_TRUE(FReg->DeleteLeafKey(Sub("parent\\child")));
  EXPECT_TRUE(FReg->DeleteLeafKey(Sub("Parent")));  // its values go with it
  EXPECT_FALSE(FReg->KeyExists(Sub("Parent")));
  EXPECT_FALSE(FReg->DeleteLeafKey(Sub("Parent")));
  EXPECT_FALSE(FReg->DeleteLeafKey("\\"));
}

TEST_P(RegistryContract, DeletedOpenKeyRefusesWork) {
  ASSERT_TRUE(FReg->OpenKey(Sub("Gone\\Child"), true));
  ASSERT_TRUE(FReg->OpenKey(Sub("Gone"), false));
  ASSERT_TRUE(FReg->WriteDword("V", 1));
  ASSERT_TRUE(FReg->DeleteKey(Sub("Gone")));
  EXPECT_FALSE(FReg->WriteDword("W", 1));
  EXPECT_FALSE(FReg->GetValueInfo("V"));
  EXPECT_TRUE(FReg->GetKeyNames().empty());
  EXPECT_FALSE(FReg->KeyExists(Sub("Gone")));
}

TEST_P(RegistryContract, AccessRightsHoldForTheOpenKey) {
  TRegistryX x(*FReg);
  ASSERT_TRUE(FReg->OpenKey(Sub("Sub"), true));
  ASSERT_TRUE(Reopen(TRegAccess::All));
  ASSERT_TRUE(FReg->WriteDword("V", 1));

  ASSERT_TRUE(Reopen(TRegAccess::Read));
  EXPECT_FALSE(FReg->WriteDword("V", 2));
  EXPECT_FALSE(x.WriteInt64("New", 2));
  EXPECT_FALSE(FReg->DeleteValue("V"));
  EXPECT_EQ(x.ReadIntegerDef("V", 0), 1);
  EXPECT_EQ(FReg->GetKeyNames(), std::vector<std::string>{"Sub"});

  ASSERT_TRUE(Reopen(TRegAccess::Write));
  EXPECT_TRUE(FReg->WriteDword("V", 3));
  EXPECT_EQ(x.ReadIntegerDef("V", 0), 0) << "no reading through a write-only key";
  EXPECT_TRUE(FReg->GetKeyNames().empty());

  // Rights are taken at open: changing them does not change the open key.
  FReg->SetAccess(TRegAccess::Read);
  EXPECT_TRUE(FReg->WriteDword("V", 4));

  ASSERT_TRUE(Reopen(TRegAccess::All));
  EXPECT_EQ(x.ReadIntegerDef("V", 0), 4);
  EXPECT_TRUE(FReg->DeleteValue("V"));

  // Creating with read rights makes the key, which then refuses writes.
  FReg->SetAccess(TRegAccess::Read);
  ASSERT_TRUE(FReg->OpenKey(Sub("ReadOnlyNew"), true));
  EXPECT_FALSE(FReg->WriteDword("V", 1));
  EXPECT_TRUE(FReg->KeyExists(Sub("ReadOnlyNew")));
}

TEST_P(RegistryContract, RootsAreSeparate) {
  FReg->SetRoot(TRegRoot::CurrentUser);
  EXPECT_FALSE(FReg->WriteDword("V", 1)) << "changing the root closes the key";
  ASSERT_TRUE(FReg->OpenKey(Sub("UserOnly"), true));
  ASSERT_TRUE(FReg->WriteDword("V", 2));

  FReg->SetRoot(TRegRoot::LocalMachine);
  EXPECT_FALSE(FReg->KeyExists(Sub("UserOnly")));
  EXPECT_TRUE(FReg->KeyExists(kScratch));
  FReg->SetRoot(TRegRoot::CurrentUser);
  ASSERT_TRUE(FReg->OpenKey(Sub("UserOnly"), false));
  EXPECT_EQ(FReg->ReadDword("V"), 2u);
}

}  // namespace kst::test
