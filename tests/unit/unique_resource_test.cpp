#include <gtest/gtest.h>

#include <vector>

#include "netcore/unique_resource.h"

namespace kst {
namespace {

std::vector<int> gClosed;

struct TFakeTraits {
  using Type = int;
  static Type Invalid() noexcept { return -1; }
  static void Close(Type h) noexcept { gClosed.push_back(h); }
};
using TFake = TUniqueResource<TFakeTraits>;

class UniqueResource : public ::testing::Test {
 protected:
  void SetUp() override { gClosed.clear(); }
};

TEST_F(UniqueResource, ReleasesOnceOnEveryPath) {
  {
    TFake a(3);
    TFake b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.get(), 3);
    TFake c(4);
    c = std::move(b);  // 4 released, 3 taken over
    EXPECT_EQ(gClosed, std::vector<int>{4});
  }
  EXPECT_EQ(gClosed, (std::vector<int>{4, 3}));
}

TEST_F(UniqueResource, ResetReleaseAndPut) {
  TFake a(5);
  a.reset(6);
  EXPECT_EQ(gClosed, std::vector<int>{5});
  const int raw = a.release();
  EXPECT_EQ(raw, 6);
  EXPECT_FALSE(a);
  TFake b(7);
  *b.put() = 8;
  EXPECT_EQ(gClosed, (std::vector<int>{5, 7}));
  EXPECT_EQ(b.get(), 8);
  TFake empty;
  empty.reset();  // nothing to release
  EXPECT_EQ(gClosed.size(), 2u);
}

}  // namespace
}  // namespace kst
