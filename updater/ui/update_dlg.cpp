#include "updater/ui/update_dlg.h"

#include <QContextMenuEvent>
#include <QPushButton>
#include <QShortcut>
#include <QTextEdit>

#include "common/ui/dialog_units.h"
#include "common/ui/qt_text.h"
#include "updater/ui/about_dlg.h"
#include "updater/ui/app_icon.h"

namespace vornix {

namespace {

constexpr const char* kTitle = "Vornix Update";
constexpr const char* kAboutItem = "&About VornixUpdate...";  // string 101

}  // namespace

CUpdateDlg::CUpdateDlg(const RunOptions& options, PassHooks hooks, QWidget* parent,
                       const std::string& programFolder)
    : QDialog(parent), pass_(*this, options, programFolder, std::move(hooks)) {
  const QFont font = DialogFont();
  setFont(font);
  setWindowTitle(kTitle);
  // An application window of its own, with caption and system menu but no resizing.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(DialogToPixels({0, 0, 217, 70}, BaseUnitsOf(font)).size());
  setWindowIcon(UpdateIcon());

  m_status = new QTextEdit(this);
  m_status->setObjectName(QString::number(kStatusLineId));
  m_status->setGeometry(DialogToPixels({7, 7, 203, 36}, BaseUnitsOf(font)));
  m_status->setReadOnly(true);
  m_status->setLineWrapMode(QTextEdit::NoWrap);  // scrolls sideways rather than wrapping
  m_status->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_status->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_status->setFrameShape(QFrame::Box);

  ok_ = new QPushButton("OK", this);
  ok_->setObjectName(QString::number(kOkId));
  ok_->setGeometry(DialogToPixels({83, 49, 50, 14}, BaseUnitsOf(font)));
  ok_->setDefault(true);
  ok_->setEnabled(false);
  connect(ok_, &QPushButton::clicked, this, &CUpdateDlg::accept);

  // Qt windows have no system menu of their own: the menu opens from the dialog's context
  // menu and with Alt+Space.
  systemMenu_.addSeparator();
  QAction* about = systemMenu_.addAction(kAboutItem);
  about->setData(kAboutCommandId);
  connect(about, &QAction::triggered, this, [this] { OnSysCommand(kAboutCommandId); });
  auto* menuKey = new QShortcut(QKeySequence("Alt+Space"), this);
  connect(menuKey, &QShortcut::activated, this,
          [this] { systemMenu_.popup(mapToGlobal(QPoint(0, 0))); });

  passTimer_.setTimerType(Qt::PreciseTimer);
  passTimer_.setInterval(kPassTimerMs);
  connect(&passTimer_, &QTimer::timeout, this, [this] { OnTimer(kPassTimerId); });
  passTimer_.start();
}

void CUpdateDlg::ShowStatus(const std::string& text) {
  m_status->setPlainText(ToQString(text));
  m_status->selectAll();
  m_status->setAlignment(Qt::AlignHCenter);
  m_status->moveCursor(QTextCursor::Start);
  // The pass keeps the thread busy: paint now, or the text would never be seen.
  m_status->repaint();
  repaint();
}

void CUpdateDlg::EnableOk() {
  ok_->setEnabled(true);
}

void CUpdateDlg::EndAsCancel() {
  endAsCancel_ = true;
}

void CUpdateDlg::OnSysCommand(int id) {
  if ((id & 0xFFF0) == kAboutCommandId) {
    CAboutDlg about(this);
    about.exec();
  }
}

void CUpdateDlg::OnTimer(int id) {
  if (id != kPassTimerId) return;
  passTimer_.stop();
  pass_.RunPackagePass();
  if (endAsCancel_) {
    reject();
    return;
  }
  m_status->setFocus();
  QTextCursor cursor = m_status->textCursor();
  cursor.clearSelection();
  m_status->setTextCursor(cursor);
  m_status->ensureCursorVisible();
}

void CUpdateDlg::accept() {
  pass_.OnOk();
  QDialog::accept();
}

void CUpdateDlg::contextMenuEvent(QContextMenuEvent* event) {
  systemMenu_.popup(event->globalPos());
}

}  // namespace vornix
