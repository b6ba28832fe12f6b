#pragma once

#include <QDialog>
#include <QMenu>
#include <QTimer>
#include <memory>

#include "platform/module.h"
#include "updater/core/package_pass.h"

class QPushButton;
class QTextEdit;

namespace vornix {

// Dialog 102: the utility's only window. 100 ms after it opens it runs the package pass once,
// then closes by itself or waits with the last status text.
class CUpdateDlg : public QDialog, public ProgressFront {
  Q_OBJECT
 public:
  static constexpr int kDialogId = 102;
  static constexpr int kStatusLineId = 1001;
  static constexpr int kOkId = 1;
  static constexpr int kAboutCommandId = 16;
  static constexpr int kPassTimerId = 1001;
  static constexpr int kPassTimerMs = 100;

  // The pass works on the packages below `programFolder`, by default the utility's own.
  explicit CUpdateDlg(const RunOptions& options, PassHooks hooks = SystemPassHooks(),
                      QWidget* parent = nullptr, const std::string& programFolder = ModuleFolder());

  // The progress operations of the pass.
  void ShowStatus(const std::string& text) override;
  void EnableOk() override;
  void EndAsCancel() override;

  // A system-menu command: the About item opens the About box.
  void OnSysCommand(int id);
  // A tick of a timer; timer 1001 runs the pass on its first tick.
  void OnTimer(int id);

  PackagePass& Pass() { return pass_; }
  QMenu& SystemMenu() { return systemMenu_; }
  bool PassTimerActive() const { return passTimer_.isActive(); }

 public slots:
  void accept() override;  // OK, with "appstart"

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  PackagePass pass_;
  QTextEdit* m_status = nullptr;
  QPushButton* ok_ = nullptr;
  QMenu systemMenu_;
  QTimer passTimer_;
  bool endAsCancel_ = false;
};

}  // namespace vornix
