#pragma once

#include <QDialog>

namespace vornix {

// Dialog 100: the About box of the utility. It has no behaviour beyond OK.
class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kDialogId = 100;
  explicit CAboutDlg(QWidget* parent = nullptr);
};

// "Vornix Update Version 2.0.0.4", from the program's version text.
QString AboutVersionText();

}  // namespace vornix
