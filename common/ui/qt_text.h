#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace vornix {

// The one way the programs' text (catalogue values, messages, settings, the system's own
// texts) becomes Qt's: UTF-8 where the bytes are UTF-8, else each byte as Latin-1, so that a
// name shows the same in every window and never as replacement characters.
QString ToQString(std::string_view bytes);

// And back, for what is typed into a window: UTF-8.
std::string FromQString(const QString& text);

}  // namespace vornix
