#pragma once

#include <QDialog>
#include <set>
#include <string>

namespace vornix {

// The About box's application line: the texts in their sorted order joined by ", ", or
// "None Detected.".
QString ApplicationsText(const std::set<std::string>& applications);

// Dialog 103.
class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  AboutDialog(QWidget* owner, const std::string& serviceVersion,
              std::set<std::string> applications);
};

}  // namespace vornix
