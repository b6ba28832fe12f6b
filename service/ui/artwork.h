#pragma once

#include <QIcon>
#include <QPixmap>

namespace vornix {

// Icon 128: the program icon of the window, the tray and the About box.
QPixmap ProgramIconPixmap(int size);
QIcon ProgramIcon();
// Bitmap 204: the splash picture.
QPixmap SplashPicture();

}  // namespace vornix
