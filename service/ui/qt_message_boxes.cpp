#include "service/ui/qt_message_boxes.h"

#include "common/ui/message_box.h"

namespace vornix {

MessageBoxAnswer QtMessageBoxes::Show(const std::string& text, const std::string& caption,
                                      MessageBoxButtons buttons) {
  const bool question = buttons == MessageBoxButtons::kYesNo;
  const bool yes = ShowMessageBox(owner_.data(), caption, text, question);
  if (!question) return MessageBoxAnswer::kOk;
  return yes ? MessageBoxAnswer::kYes : MessageBoxAnswer::kNo;
}

}  // namespace vornix
