#pragma once

#include <QPointer>
#include <QWidget>

#include "service/core/message_box.h"

namespace vornix {

// Message boxes of the window layer. Where nobody can see them (the offscreen platform) the
// text goes to standard error and the default answer comes back at once: OK, or Yes for a
// question.
class QtMessageBoxes : public MessageBoxes {
 public:
  explicit QtMessageBoxes(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }
  MessageBoxAnswer Show(const std::string& text, const std::string& caption,
                        MessageBoxButtons buttons) override;

 private:
  QPointer<QWidget> owner_;
};

}  // namespace vornix
