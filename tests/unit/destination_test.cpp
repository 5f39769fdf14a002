#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sender/destination.h"

namespace kst {
namespace {

struct TResolverSpy {
  std::vector<std::string> Asked;
  std::string Answer;
  std::string operator()(std::string_view name) {
    Asked.emplace_back(name);
    return Answer;
  }
};

uint32_t Resolve(std::string_view text, TResolverSpy& spy) {
  return ResolveDestination(text, [&](std::string_view n) { return spy(n); });
}

TEST(ResolveDestination, AddressTextIsUsedWithoutLookup) {
  TResolverSpy spy;
  EXPECT_EQ(Resolve("255.255.255.255", spy), 0xFFFFFFFFu);
  EXPECT_EQ(Resolve("192.168.1.255", spy), 0xC0A801FFu);
  EXPECT_TRUE(spy.Asked.empty());
}

TEST(ResolveDestination, DigitsAndDotsThatAreNotFourOctetsAreNotResolved) {
  TResolverSpy spy;
  spy.Answer = "10.0.0.1";
  EXPECT_EQ(Resolve("1.2.3.4.5", spy), 0u);
  EXPECT_EQ(Resolve("1.2.3", spy), 0u);
  EXPECT_EQ(Resolve("1.2.3.256", spy), 0u);
  EXPECT_EQ(Resolve("0.0.0.0", spy), 0u);
  EXPECT_TRUE(spy.Asked.empty());
}

TEST(ResolveDestination, NamesGoToTheResolver) {
  TResolverSpy spy;
  spy.Answer = "10.77.0.20";
  EXPECT_EQ(Resolve("Router.Example", spy), 0x0A4D0014u);
  ASSERT_EQ(spy.Asked.size(), 1u);
  EXPECT_EQ(spy.Asked[0], "Router.Example");
  spy.Answer.clear();
  EXPECT_EQ(Resolve("unknown", spy), 0u);
}

TEST(ResolveDestination, EmptyTextIsNotResolvedAndNotLookedUp) {
  TResolverSpy spy;
  EXPECT_EQ(Resolve("", spy), 0u);
  EXPECT_TRUE(spy.Asked.empty());
}

}  // namespace
}  // namespace kst
