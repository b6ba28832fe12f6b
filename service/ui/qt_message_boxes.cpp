#include "service/ui/qt_message_boxes.h"

#include <QMessageBox>
#include <cstdio>

#include "common/ui/offscreen.h"

namespace vornix {

MessageBoxAnswer QtMessageBoxes::Show(const std::string& text, const std::string& caption,
                                      MessageBoxButtons buttons) {
  const bool question = buttons == MessageBoxButtons::kYesNo;
  if (RunningOffscreen()) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    return question ? MessageBoxAnswer::kYes : MessageBoxAnswer::kOk;
  }
  QMessageBox box(question ? QMessageBox::Question : QMessageBox::Critical,
                  QString::fromLocal8Bit(caption.c_str()), QString::fromLocal8Bit(text.c_str()),
                  question ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, owner_.data());
  const int answer = box.exec();
  if (!question) return MessageBoxAnswer::kOk;
  return answer == QMessageBox::Yes ? MessageBoxAnswer::kYes : MessageBoxAnswer::kNo;
}

}  // namespace vornix
