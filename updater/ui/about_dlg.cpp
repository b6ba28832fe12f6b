#include "updater/ui/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "common/product_version.h"
#include "common/ui/dialog_units.h"
#include "common/ui/qt_text.h"
#include "updater/ui/app_icon.h"

namespace vornix {

namespace {

constexpr const char* kTitle = "About Vornix Update";
constexpr const char* kVersionPrefix = "Vornix Update Version ";
constexpr int kIconId = 128;
constexpr int kOkId = 1;

}  // namespace

QString AboutVersionText() {
  return ToQString(kVersionPrefix) + ToQString(ServiceVersionText(ReadProductVersion()));
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  const QFont font = DialogFont();
  setFont(font);
  setWindowTitle(kTitle);
  setFixedSize(DialogToPixels({0, 0, 235, 55}, BaseUnitsOf(font)).size());

  auto* icon = new QLabel(this);
  icon->setObjectName(QString::number(kIconId));
  icon->setPixmap(UpdateIcon().pixmap(32, 32));
  icon->move(DialogToPixels({11, 17, 0, 0}, BaseUnitsOf(font)).topLeft());
  icon->resize(32, 32);

  auto* text = new QLabel(AboutVersionText(), this);
  text->setObjectName("version");
  text->setGeometry(DialogToPixels({40, 10, 130, 8}, BaseUnitsOf(font)));

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName(QString::number(kOkId));
  ok->setGeometry(DialogToPixels({178, 7, 50, 14}, BaseUnitsOf(font)));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace vornix
