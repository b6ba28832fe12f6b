#include "common/ui/message_box.h"

#include <QMessageBox>
#include <cstdio>

#include "common/ui/offscreen.h"
#include "common/ui/qt_text.h"

namespace vornix {

bool ShowMessageBox(QWidget* owner, const std::string& caption, const std::string& text,
                    bool question) {
  if (RunningOffscreen()) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    return question;
  }
  QMessageBox box(question ? QMessageBox::Question : QMessageBox::Critical, ToQString(caption),
                  ToQString(text),
                  question ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, owner);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace vornix
