#pragma once

namespace vornix {

// A screen rectangle as the system gives it: right and bottom lie just outside.
struct ScreenRect {
  int left, top, right, bottom;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
};

inline constexpr int kNoticeAtBottom = 200;  // slides up out of the bottom edge
inline constexpr int kNoticeAtTop = 201;     // slides down from the top edge

struct NoticePlacement {
  int mode = kNoticeAtBottom;
  int x = 0, y = 0;           // top-left corner of the full-size box
  int bottom = 0;             // y + full height
  int width = 0, height = 0;  // full size
};

// Where a notice of w x h pixels goes: at the right-hand corner of the work area, sliding at
// the bottom edge unless the task bar sits at the top of the screen.
NoticePlacement PlaceNotice(int screenWidth, int screenHeight, const ScreenRect& workArea, int w,
                            int h);

// The window's frame at `currentHeight` pixels: 10 pixels narrower than the box; at the bottom
// it grows upwards with its lower edge 5 pixels above the work area's bottom, at the top it
// grows downwards from the work area's top.
ScreenRect NoticeFrame(const NoticePlacement& placement, int currentHeight);

// The notice's timers: 100 grows by a pixel every 40 ms, 102 holds, 101 shrinks by a pixel
// every 40 ms; then the window goes.
inline constexpr int kGrowTimerId = 100;
inline constexpr int kShrinkTimerId = 101;
inline constexpr int kHoldTimerId = 102;
inline constexpr int kNoticeStepMs = 40;

struct NoticeOrder {
  int stopTimer = 0;   // timer id to stop, 0 for none
  int startTimer = 0;  // timer id to start, 0 for none
  int periodMs = 0;
  bool place = false;    // move the window to NoticeFrame(currentHeight)
  bool destroy = false;  // the notice is over
};

class NoticeAnimation {
 public:
  NoticeAnimation(int fullHeight, int holdMs) : fullHeight_(fullHeight), holdMs_(holdMs) {}
  NoticeOrder Start();
  NoticeOrder OnTimer(int timerId);
  int currentHeight() const { return currentHeight_; }

 private:
  int fullHeight_;
  int holdMs_;
  int currentHeight_ = 0;
};

}  // namespace vornix
