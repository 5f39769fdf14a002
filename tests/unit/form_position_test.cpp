#include <gtest/gtest.h>

#include "ui/form_position.h"

namespace kst {
namespace {

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;
const TRect kScreen{0, 0, kScreenWidth, kScreenHeight};

TRect Work(unsigned state, std::optional<TRect> bar) { return WorkArea(kScreenWidth, kScreenHeight, state, bar); }

TEST(FormPosition, CentresOnTheOwnerWithHalvesRoundedTowardZero) {
  EXPECT_EQ(FormPosition({100, 100, 501, 401}, 201, 101, kScreen), (TPoint{100 + 200 - 100, 100 + 150 - 50}));
  // An owner partly off the left of the screen: its own centre still counts.
  EXPECT_EQ(FormPosition({-101, 10, 300, 611}, 100, 100, kScreen), (TPoint{-101 + 200 - 50, 10 + 300 - 50}));
}

TEST(FormPosition, PushesTheDialogInsideTheWorkArea) {
  EXPECT_EQ(FormPosition({-400, -300, 0, 0}, 300, 200, kScreen), (TPoint{0, 0}));
  EXPECT_EQ(FormPosition({1200, 1000, 1600, 1300}, 300, 200, kScreen), (TPoint{1280 - 300, 1024 - 200}));
}

TEST(FormPosition, TaskBarOnEachEdgeTakesItsRoom) {
  EXPECT_EQ(Work(kTaskBarAlwaysOnTop, TRect{0, 994, 1280, 1024}), (TRect{0, 0, 1280, 994}));
  EXPECT_EQ(Work(kTaskBarAlwaysOnTop, TRect{0, 0, 1280, 30}), (TRect{0, 30, 1280, 1024}));
  EXPECT_EQ(Work(kTaskBarAlwaysOnTop, TRect{0, 0, 60, 1024}), (TRect{60, 0, 1280, 1024}));
  EXPECT_EQ(Work(kTaskBarAlwaysOnTop, TRect{1220, 0, 1280, 1024}), (TRect{0, 0, 1220, 1024}));
  // A task bar hanging over the screen's edges still takes only its inner edge.
  EXPECT_EQ(Work(kTaskBarAlwaysOnTop, TRect{-2, 990, 1282, 1026}), (TRect{0, 0, 1280, 990}));

  // A dialog over an owner at the bottom right stays clear of a bottom and of a right task bar.
  const TRect owner{1000, 800, 1280, 1024};
  EXPECT_EQ(FormPosition(owner, 200, 100, Work(kTaskBarAlwaysOnTop, TRect{0, 994, 1280, 1024})), (TPoint{1040, 862}));
  EXPECT_EQ(FormPosition(owner, 200, 300, Work(kTaskBarAlwaysOnTop, TRect{0, 994, 1280, 1024})), (TPoint{1040, 694}));
  EXPECT_EQ(FormPosition(owner, 300, 100, Work(kTaskBarAlwaysOnTop, TRect{1220, 0, 1280, 1024})), (TPoint{920, 862}));
}

TEST(FormPosition, TaskBarThatHidesOrIsUnknownLeavesTheWholeScreen) {
  const TRect bottomBar{0, 994, 1280, 1024};
  EXPECT_EQ(Work(kTaskBarAutoHide | kTaskBarAlwaysOnTop, bottomBar), kScreen);
  EXPECT_EQ(Work(kTaskBarAutoHide, bottomBar), kScreen);
  EXPECT_EQ(Work(0, bottomBar), kScreen);
  EXPECT_EQ(Work(kTaskBarAlwaysOnTop, std::nullopt), kScreen);
  EXPECT_FALSE(TaskBarTakesRoom(kTaskBarAutoHide | kTaskBarAlwaysOnTop));
  EXPECT_TRUE(TaskBarTakesRoom(kTaskBarAlwaysOnTop));
}

TEST(FormPosition, DialogLargerThanTheWorkAreaKeepsItsFarEdgesInside) {
  const TRect work = Work(kTaskBarAlwaysOnTop, TRect{0, 0, 1280, 30});  // top 30
  EXPECT_EQ(FormPosition({0, 30, 1280, 1024}, 1400, 1100, work), (TPoint{1280 - 1400, 1024 - 1100}));
}

TEST(PlacementToScreen, TaskBarOnTheLeftOrAtTheTopShiftsTheStoredBounds) {
  // A task bar 40 pixels wide on the left: the placement's x 100 is screen x 140.
  EXPECT_EQ(PlacementToScreen({100, 50, 600, 350}, kScreen, {40, 0, 1280, 1024}), (TRect{140, 50, 640, 350}));
  EXPECT_EQ(PlacementToScreen({100, 50, 600, 350}, kScreen, {0, 30, 1280, 1024}), (TRect{100, 80, 600, 380}));
  // A task bar at the bottom takes nothing from the origin.
  EXPECT_EQ(PlacementToScreen({100, 50, 600, 350}, kScreen, {0, 0, 1280, 994}), (TRect{100, 50, 600, 350}));
}

}  // namespace
}  // namespace kst
