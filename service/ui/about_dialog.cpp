#include "service/ui/about_dialog.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "common/ui/dialog_units.h"
#include "common/ui/qt_text.h"
#include "service/ui/artwork.h"

namespace vornix {

namespace {
constexpr DialogRect kAboutSize{0, 0, 235, 73};

QLabel* AddLabel(QWidget* parent, const char* id, const QString& text, const DialogRect& r,
                 const DialogBaseUnits& base) {
  auto* label = new QLabel(text, parent);
  if (id) label->setObjectName(id);
  label->setGeometry(DialogToPixels(r, base));
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}
}  // namespace

QString ApplicationsText(const std::set<std::string>& applications) {
  if (applications.empty()) return QStringLiteral("None Detected.");
  std::string text;
  for (const auto& name : applications) {
    if (!text.empty()) text += ", ";
    text += name;
  }
  return ToQString(text);
}

AboutDialog::AboutDialog(QWidget* owner, const std::string& serviceVersion,
                         std::set<std::string> applications)
    : QDialog(owner && owner->isVisible() && !owner->isMinimized() ? owner : nullptr) {
  setObjectName(QStringLiteral("103"));
  setWindowTitle(QStringLiteral("About"));
  setFont(DialogFont());
  const DialogBaseUnits base = BaseUnitsOf(font());
  setFixedSize(DialogToPixels(kAboutSize, base).size());

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("1"));
  ok->setGeometry(DialogToPixels({178, 5, 50, 14}, base));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("128"));
  const int iconSize = 32;
  icon->setPixmap(ProgramIconPixmap(iconSize));
  icon->setGeometry(QRect(DialogToPixels({5, 5, 0, 0}, base).topLeft(), QSize(iconSize, iconSize)));

  AddLabel(this, nullptr, QStringLiteral("Vornix Update Service"), {35, 5, 131, 8}, base);
  AddLabel(this, "1005", QStringLiteral("Version: ") + ToQString(serviceVersion), {35, 15, 115, 8},
           base);
  AddLabel(this, "1010", QString(), {164, 29, 64, 8}, base);
  AddLabel(this, nullptr, QStringLiteral("Applications:"), {13, 46, 46, 8}, base);
  QLabel* list = AddLabel(this, "1012", ApplicationsText(applications), {66, 46, 153, 22}, base);
  list->setWordWrap(true);

  // Centred on a visible owner, else in the work area.
  if (!parentWidget()) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      QRect frame(QPoint(0, 0), size());
      frame.moveCenter(screen->availableGeometry().center());
      move(frame.topLeft());
    }
  }
}

}  // namespace vornix
