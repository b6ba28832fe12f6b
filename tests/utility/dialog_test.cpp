// CUpdateDlg, CAboutDlg and CUpdateApp on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include "common/ui/dialog_units.h"
#include "platform/process.h"
#include "tests/utility/pass_fixture.h"
#include "updater/ui/about_dlg.h"
#include "updater/ui/update_app.h"
#include "updater/ui/update_dlg.h"

namespace vornix::testing {
namespace {

class DialogTest : public PassTest {
 protected:
  std::unique_ptr<CUpdateDlg> Make(const std::string& selector, bool quiet = false,
                                   bool appStart = false) {
    RunOptions o;
    o.m_selector = selector;
    o.hasSelector = true;
    o.m_quiet = quiet;
    o.m_appStart = appStart;
    return std::make_unique<CUpdateDlg>(o, RecordingHooks());
  }
  // Lets timer 1001 fire and the pass run.
  void RunTimer(CUpdateDlg& dlg) {
    QElapsedTimer clock;
    clock.start();
    while (dlg.PassTimerActive() && clock.elapsed() < 5000) QApplication::processEvents();
    QApplication::processEvents();
  }
  QTextEdit* Status(CUpdateDlg& dlg) { return dlg.findChild<QTextEdit*>("1001"); }
  QPushButton* Ok(CUpdateDlg& dlg) { return dlg.findChild<QPushButton*>("1"); }
};

TEST_F(DialogTest, ControlsTextsAndSizes) {
  auto dlg = Make("alpha");
  const QFont font = DialogFont();
  EXPECT_EQ(dlg->windowTitle(), "Vornix Update");
  EXPECT_EQ(dlg->size(), DialogToPixels({0, 0, 217, 70}, BaseUnitsOf(font)).size());
  ASSERT_NE(Status(*dlg), nullptr);
  EXPECT_TRUE(Status(*dlg)->isReadOnly());
  EXPECT_TRUE(Status(*dlg)->toPlainText().isEmpty());
  EXPECT_EQ(Status(*dlg)->geometry(), DialogToPixels({7, 7, 203, 36}, BaseUnitsOf(font)));
  ASSERT_NE(Ok(*dlg), nullptr);
  EXPECT_EQ(Ok(*dlg)->text(), "OK");
  EXPECT_TRUE(Ok(*dlg)->isDefault());
  EXPECT_FALSE(Ok(*dlg)->isEnabled());
  EXPECT_EQ(Ok(*dlg)->geometry(), DialogToPixels({83, 49, 50, 14}, BaseUnitsOf(font)));
  EXPECT_FALSE(dlg->windowIcon().isNull());
  const auto actions = dlg->SystemMenu().actions();
  ASSERT_EQ(actions.size(), 2);
  EXPECT_TRUE(actions[0]->isSeparator());
  EXPECT_EQ(actions[1]->text(), "&About VornixUpdate...");
  EXPECT_EQ(actions[1]->data().toInt(), 16);
  EXPECT_TRUE(dlg->PassTimerActive());
}

TEST_F(DialogTest, OkEnabledOnlyOnceAPackageWasProcessed) {
  AddPackage({"alpha", "Alpha", "", ""});
  SaveCatalogueFile();
  auto dlg = Make("alpha");
  dlg->show();
  EXPECT_FALSE(Ok(*dlg)->isEnabled());
  RunTimer(*dlg);
  EXPECT_TRUE(Ok(*dlg)->isEnabled());
  EXPECT_EQ(Status(*dlg)->toPlainText(), "Arvel Application 'Alpha' does not need updating!");
  EXPECT_TRUE(dlg->isVisible());  // a program id without "quiet" waits for the user
  EXPECT_EQ(Status(*dlg)->document()->firstBlock().blockFormat().alignment(), Qt::AlignHCenter);
  EXPECT_FALSE(dlg->PassTimerActive());
}

TEST_F(DialogTest, WithoutCatalogueOkStaysDisabled) {
  auto dlg = Make("alpha");
  dlg->show();
  RunTimer(*dlg);
  EXPECT_FALSE(Ok(*dlg)->isEnabled());
  EXPECT_TRUE(Status(*dlg)->toPlainText().isEmpty());
  EXPECT_TRUE(dlg->isVisible());
}

TEST_F(DialogTest, AllWithoutChangesClosesAsCancel) {
  AddPackage({"alpha", "Alpha", "", ""});
  SaveCatalogueFile();
  auto dlg = Make("ALL");
  dlg->show();
  RunTimer(*dlg);
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(dlg->result(), QDialog::Rejected);
}

TEST_F(DialogTest, OtherTimerIsIgnored) {
  AddPackage({"alpha", "Alpha", "", ""});
  SaveCatalogueFile();
  auto dlg = Make("alpha");
  dlg->OnTimer(5);
  EXPECT_TRUE(dlg->PassTimerActive());
  EXPECT_TRUE(Status(*dlg)->toPlainText().isEmpty());
}

TEST_F(DialogTest, OkWithAppStartStartsTheUpdatedProgram) {
  AddPackage({"alpha", "Alpha", "", "A1"});
  WriteScript("alpha", "A2", "a.txt", "");
  WriteFileBytes(programFolder / "alpha/updates/a.txt", "a");
  SaveCatalogueFile();
  auto dlg = Make("alpha", false, true);
  dlg->show();
  RunTimer(*dlg);
  EXPECT_EQ(Status(*dlg)->toPlainText(),
            "Arvel Application 'Alpha' has been successfully updated!");
  Ok(*dlg)->click();
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
  EXPECT_EQ(StartCount("alpha", 1), 1);
}

TEST_F(DialogTest, AboutItemOpensTheAboutBox) {
  auto dlg = Make("alpha");
  QString title, version;
  int opened = 0;
  auto closeAbout = [&] {
    QTimer::singleShot(0, [&] {
      QWidget* about = QApplication::activeModalWidget();
      if (!about) return;
      ++opened;
      title = about->windowTitle();
      if (auto* label = about->findChild<QLabel*>("version")) version = label->text();
      about->findChild<QPushButton*>("1")->click();
    });
  };
  closeAbout();
  dlg->OnSysCommand(16);
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(title, "About Vornix Update");
  EXPECT_EQ(version, "Vornix Update Version 2.0.0.4");
  closeAbout();
  dlg->OnSysCommand(16 | 0x3);  // the low four bits play no part
  EXPECT_EQ(opened, 2);
  closeAbout();
  dlg->OnSysCommand(32);
  QApplication::processEvents();
  EXPECT_EQ(opened, 2);
}

TEST(UpdateAppTest, SocketFailureShowsTheMessageAndEnds) {
  CUpdateApp app;
  std::vector<std::string> shown;
  app.startSockets = [] { return false; };
  app.messageBox = [&](const std::string& text) { shown.push_back(text); };
  const std::string before = CurrentFolder();
  EXPECT_NE(app.InitInstance("VornixUpdate ALL quiet"), 0);
  EXPECT_EQ(shown, (std::vector<std::string>{"Windows sockets initialization failed."}));
  EXPECT_EQ(CurrentFolder(), before);
}

TEST(UpdateAppTest, MessageBoxWithoutDisplayWritesToStandardError) {
  ::testing::internal::CaptureStderr();
  ShowErrorBox("Windows sockets initialization failed.");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Windows sockets initialization failed.\n");
}

}  // namespace
}  // namespace vornix::testing
