// The registry contract against the in-memory registry; tests/win32/registry_test.cpp runs the
// same cases against the platform's.
#include "tests/contract/registry_contract.h"

namespace kst::test {
namespace {

INSTANTIATE_TEST_SUITE_P(Memory, RegistryContract, ::testing::Values(TRegistryKind{"memory", &MakeMemoryRegistry}));

TEST(RegistryMemory, EachRegistryIsItsOwn) {
  const auto a = MakeMemoryRegistry();
  const auto b = MakeMemoryRegistry();
  ASSERT_TRUE(a->OpenKey(kScratch, true));
  EXPECT_FALSE(b->KeyExists(kScratch));
}

}  // namespace
}  // namespace kst::test
