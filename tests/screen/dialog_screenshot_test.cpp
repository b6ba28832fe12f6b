// The dialog during a pass on a real X server (Xvfb): a screenshot kept as a test artefact.
#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>

#include "common/ui/dialog_units.h"
#include "tests/screen/pixels.h"
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
  AddPackage("alpha", "", "A1").Desc.assign("Alpha Suite");  // fits with room to spare
  WriteScript("alpha", "A2", "a.tar", "sleep 1", true);
  SaveCatalogueFile();
  PhotographedDlg dlg(ParseCommandLine("VornixUpdate alpha"), RecordingHooks());
  dlg.move(20, 20);
  dlg.show();
  QElapsedTimer clock;
  clock.start();
  while (dlg.PassTimerActive() && clock.elapsed() < 5000) QApplication::processEvents();

  ASSERT_FALSE(dlg.shot.isNull());
  // Only the status box and OK are drawn on the dialog's face, each filling its place; the
  // status text is dark and centred in its box; OK is greyed while the pass runs.
  const QImage& shot = dlg.shot;
  const DialogBaseUnits base = BaseUnitsOf(DialogFont());
  const QRect status = DialogToPixels({7, 7, 203, 36}, base);
  const QRect ok = DialogToPixels({83, 49, 50, 14}, base);
  const QRgb face = shot.pixel(1, shot.height() - 2);
  const Marks inStatus = MarksIn(shot, status, face), inOk = MarksIn(shot, ok, face);
  EXPECT_EQ(MarksIn(shot, shot.rect(), face).count, inStatus.count + inOk.count);
  for (const auto& [drawn, place] : {std::pair(inStatus.bounds, status), {inOk.bounds, ok}})
    EXPECT_TRUE(place.contains(drawn) && drawn.contains(place.adjusted(1, 1, -1, -1)));
  const QRect text = inStatus.darkBounds;
  EXPECT_TRUE(status.adjusted(2, 2, -2, -2).contains(text));
  EXPECT_NEAR(text.left() - status.left(), status.right() - text.right(), 3);
  EXPECT_EQ(inOk.dark, 0);
  const std::string folder = ArtefactFolder();
  std::filesystem::create_directories(folder);
  EXPECT_TRUE(dlg.screen.save(QString::fromStdString(folder + "/updater_dialog_during_pass.png")));
  EXPECT_TRUE(dlg.shot.save(QString::fromStdString(folder + "/updater_dialog_only.png")));
}

}  // namespace
}  // namespace vornix::testing
