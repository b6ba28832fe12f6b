// The notice's place and slide without a window: exact geometry with the task bar at each edge
// of a 1024x768 screen (and none, and a notice taller than the work area), and every step of
// its timers from the start to the end.
#include <gtest/gtest.h>

#include <array>
#include <tuple>

#include "service/ui/notice_placement.h"

namespace vornix {
namespace {

using Rect = std::array<int, 4>;  // left, top, right, bottom

Rect Of(const ScreenRect& r) {
  return {r.left, r.top, r.right, r.bottom};
}

TEST(NoticePlacement, TheNoticeSitsAtTheWorkAreasCornerOnTheSideAwayFromATopTaskBar) {
  constexpr int kB = kNoticeAtBottom, kT = kNoticeAtTop;
  const struct {
    const char* bar;  // where the task bar is
    ScreenRect work;
    int h;
    Rect place;  // mode, x, y, bottom
    Rect full;   // the frame at the full height
  } cases[] = {
      {"bottom", {0, 0, 1024, 728}, 70, {kB, 814, 658, 728}, {814, 653, 1014, 723}},
      {"bottom, 1 px", {0, 0, 1024, 767}, 70, {kB, 814, 697, 767}, {814, 692, 1014, 762}},
      {"top", {0, 40, 1024, 768}, 70, {kT, 814, 40, 110}, {814, 40, 1014, 110}},
      {"top, 1 px", {0, 1, 1024, 768}, 70, {kT, 814, 1, 71}, {814, 1, 1014, 71}},
      {"left", {60, 0, 1024, 768}, 70, {kB, 814, 698, 768}, {814, 693, 1014, 763}},
      {"right", {0, 0, 964, 768}, 70, {kB, 754, 698, 768}, {754, 693, 954, 763}},
      {"left and top", {60, 40, 1024, 768}, 70, {kB, 814, 698, 768}, {814, 693, 1014, 763}},
      {"top and right", {0, 40, 964, 768}, 70, {kT, 754, 40, 110}, {754, 40, 954, 110}},
      {"none", {0, 0, 1024, 768}, 70, {kB, 814, 698, 768}, {814, 693, 1014, 763}},
      {"bottom, tall notice", {0, 0, 1024, 728}, 800, {kB, 814, -72, 728}, {814, -77, 1014, 723}},
      {"top, tall notice", {0, 40, 1024, 768}, 800, {kT, 814, 40, 840}, {814, 40, 1014, 840}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bar);
    const NoticePlacement p = PlaceNotice(1024, 768, c.work, 210, c.h);
    EXPECT_EQ((Rect{p.mode, p.x, p.y, p.bottom}), c.place);
    EXPECT_EQ(p.width, 210);
    EXPECT_EQ(p.height, c.h);
    EXPECT_EQ(Of(NoticeFrame(p, c.h)), c.full);
  }
  // One pixel high: at the bottom it rises from 5 pixels above the edge, at the top it hangs.
  EXPECT_EQ(Of(NoticeFrame(PlaceNotice(1024, 768, {0, 0, 1024, 728}, 210, 70), 1)),
            (Rect{814, 722, 1014, 723}));
  EXPECT_EQ(Of(NoticeFrame(PlaceNotice(1024, 768, {0, 40, 1024, 768}, 210, 70), 1)),
            (Rect{814, 40, 1014, 41}));
}

// Grows a pixel a step to its full height, holds, shrinks a pixel a step and goes. The tick
// after the full height ends the growing without a move, one pixel above it, so the first
// shrinking tick shows the full height again.
TEST(NoticeAnimation, EachTimerStepGivesItsOrderAndHeight) {
  constexpr int kStart = 0;  // Start() rather than a timer
  const struct {
    int timer;
    NoticeOrder order;  // stop, start, period, place, destroy
    int height;
  } steps[] = {
      {kStart, {0, kGrowTimerId, 40, false, false}, 0},
      {kGrowTimerId, {0, 0, 0, true, false}, 1},
      {kGrowTimerId, {0, 0, 0, true, false}, 2},
      {kGrowTimerId, {0, 0, 0, true, false}, 3},
      {kGrowTimerId, {kGrowTimerId, kHoldTimerId, 500, false, false}, 4},
      {7, {0, 0, 0, false, false}, 4},  // no timer of the notice's
      {kHoldTimerId, {kHoldTimerId, kShrinkTimerId, 40, false, false}, 4},
      {kShrinkTimerId, {0, 0, 0, true, false}, 3},
      {kShrinkTimerId, {0, 0, 0, true, false}, 2},
      {kShrinkTimerId, {0, 0, 0, true, false}, 1},
      {kShrinkTimerId, {kShrinkTimerId, 0, 0, false, true}, 0},
  };
  NoticeAnimation animation(3, 500);
  int step = 0;
  for (const auto& s : steps) {
    SCOPED_TRACE(step++);
    const NoticeOrder o = s.timer == kStart ? animation.Start() : animation.OnTimer(s.timer);
    EXPECT_EQ(std::make_tuple(o.stopTimer, o.startTimer, o.periodMs, o.place, o.destroy),
              std::make_tuple(s.order.stopTimer, s.order.startTimer, s.order.periodMs,
                              s.order.place, s.order.destroy));
    EXPECT_EQ(animation.currentHeight(), s.height);
  }
}

}  // namespace
}  // namespace vornix
