#pragma once

#include <string>

class QWidget;

namespace vornix {

// A message box where someone can see it. On the offscreen platform, where nobody can,
// "<caption>: <text>" goes to standard error and the default answer comes back at once: OK, or
// Yes for a question. True when the answer is Yes.
bool ShowMessageBox(QWidget* owner, const std::string& caption, const std::string& text,
                    bool question);

}  // namespace vornix
