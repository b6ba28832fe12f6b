// The dialog during a pass on a real X server (Xvfb): a screenshot kept as a test artefact.
#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QSet>

#include "tests/utility/pass_fixture.h"
#include "updater/ui/update_dlg.h"

namespace vornix::testing {
namespace {

// Takes the picture while the pass shows its first "Updating" text.
class PhotographedDlg : public CUpdateDlg {
 public:
  using CUpdateDlg::CUpdateDlg;
  void ShowStatus(const std::string& text) override {
    CUpdateDlg::ShowStatus(text);
    if (!shot.isNull() || text.rfind("Updating", 0) != 0) return;
    QApplication::processEvents();
    screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    shot = screen.copy(QRect(mapToGlobal(QPoint(0, 0)), size()));
  }
  QImage shot, screen;
};

class DialogScreenshotTest : public PassTest {};

TEST_F(DialogScreenshotTest, DialogDuringAPass) {
  if (QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "no X display: run under xvfb-run for the screenshot";
  AddPackage("alpha", "", "A1").Desc.assign("Alpha Office Suite");
  WriteScript("alpha", "A2", "a.tar", "sleep 1", true);
  SaveCatalogueFile();
  PhotographedDlg dlg(ParseCommandLine("VornixUpdate alpha"), RecordingHooks());
  dlg.move(20, 20);
  dlg.show();
  QElapsedTimer clock;
  clock.start();
  while (dlg.PassTimerActive() && clock.elapsed() < 5000) QApplication::processEvents();

  ASSERT_FALSE(dlg.shot.isNull());
  // Text and frame on the dialog's face: far more than a blank area's one or two colours.
  QSet<QRgb> colours;
  for (int y = 0; y < dlg.shot.height(); ++y)
    for (int x = 0; x < dlg.shot.width(); ++x) colours.insert(dlg.shot.pixel(x, y));
  EXPECT_GT(colours.size(), 4);
  const std::string folder = ArtefactFolder();
  std::filesystem::create_directories(folder);
  EXPECT_TRUE(dlg.screen.save(QString::fromStdString(folder + "/updater_dialog_during_pass.png")));
  EXPECT_TRUE(dlg.shot.save(QString::fromStdString(folder + "/updater_dialog_only.png")));
}

}  // namespace
}  // namespace vornix::testing
