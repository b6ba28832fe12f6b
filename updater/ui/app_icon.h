#pragma once

#include <QIcon>

namespace vornix {

// Icon 128 of the utility: the dialog's large and small icon and the About box's picture.
QIcon UpdateIcon();

}  // namespace vornix
