#include "service/ui/notice_placement.h"

namespace vornix {

NoticePlacement PlaceNotice(int screenWidth, int screenHeight, const ScreenRect& workArea, int w,
                            int h) {
  NoticePlacement p;
  if (workArea.width() == screenWidth && workArea.bottom < screenHeight) {
    p.mode = kNoticeAtBottom;  // task bar at the bottom
  } else if (workArea.left != 0 || workArea.top <= 0) {
    p.mode = kNoticeAtBottom;  // task bar at the left or the right
  } else {
    p.mode = kNoticeAtTop;
  }
  p.width = w;
  p.height = h;
  p.x = workArea.right - w;
  p.y = p.mode == kNoticeAtBottom ? workArea.bottom - h : workArea.top;
  p.bottom = p.y + h;
  return p;
}

ScreenRect NoticeFrame(const NoticePlacement& p, int currentHeight) {
  const int top = p.mode == kNoticeAtBottom ? p.bottom - currentHeight - 5 : p.y;
  return {p.x, top, p.x + p.width - 10, top + currentHeight};
}

NoticeOrder NoticeAnimation::Start() {
  currentHeight_ = 0;
  NoticeOrder order;
  order.startTimer = kGrowTimerId;
  order.periodMs = kNoticeStepMs;
  return order;
}

NoticeOrder NoticeAnimation::OnTimer(int timerId) {
  NoticeOrder order;
  switch (timerId) {
    case kGrowTimerId:
      if (++currentHeight_ > fullHeight_) {
        order.stopTimer = kGrowTimerId;
        order.startTimer = kHoldTimerId;
        order.periodMs = holdMs_;
      } else {
        order.place = true;
      }
      break;
    case kHoldTimerId:
      order.stopTimer = kHoldTimerId;
      order.startTimer = kShrinkTimerId;
      order.periodMs = kNoticeStepMs;
      break;
    case kShrinkTimerId:
      if (--currentHeight_ <= 0) {
        order.stopTimer = kShrinkTimerId;
        currentHeight_ = 0;
        order.destroy = true;
      } else {
        order.place = true;
      }
      break;
    default:
      break;
  }
  return order;
}

}  // namespace vornix
