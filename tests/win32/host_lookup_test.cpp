#include <gtest/gtest.h>

#include "netcore/host_lookup.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

TEST(HostLookup, AddressOfNamesAndDottedText) {
  ASSERT_TRUE(test::InSandbox());
  EXPECT_EQ(LookupHostAddress("localhost"), "127.0.0.1");
  EXPECT_EQ(LookupHostAddress("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(LookupHostAddress("peer-computer"), test::Env("KST_PEER_ADDRESS"));
  EXPECT_EQ(LookupHostAddress("no-such-computer.invalid"), "");
  EXPECT_EQ(LookupHostAddress(""), "");
}

TEST(HostLookup, FirstAndLastOfSeveralAddresses) {
  ASSERT_TRUE(test::InSandbox());
  const std::string first = ResolveFirstAddress("multi-homed");
  const std::string last = LookupHostAddress("multi-homed");
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(last.empty());
  EXPECT_NE(first, last);
  for (const auto& a : {first, last})
    EXPECT_TRUE(a == test::Env("KST_PEER_ADDRESS") || a == test::Env("KST_GATEWAY")) << a;
}

TEST(HostLookup, NameOfLoopbackAddress) {
  ASSERT_TRUE(test::InSandbox());
  EXPECT_EQ(LookupHostName("127.0.0.1"), "localhost");
  EXPECT_EQ(LookupHostName("not an address"), "");
}

}  // namespace
}  // namespace kst
