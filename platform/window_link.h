#pragma once

#include <optional>
#include <string>

namespace vornix {

// FindWindow by title and SendMessage(WM_COMMAND) between processes. A top-level window that
// other programs find by its title listens on the Unix stream socket
// <system root>/run/windows/<title>. A sender connects, writes "WM_COMMAND <id>\n" and waits
// for the window to handle the command and answer "<result>\n".

std::string WindowSocketPath(const std::string& title);

// FindWindow: true when a window with this title accepts connections.
bool FindWindowByTitle(const std::string& title);

// SendMessage(WM_COMMAND, id): the window's result, or nothing when there is no such window or
// no answer came within `timeoutMs`.
std::optional<long> SendWindowCommand(const std::string& title, int commandId,
                                      int timeoutMs = 30000);

// Parses one request line "WM_COMMAND <id>" (the listening side's half of the protocol).
std::optional<int> ParseWindowCommand(const std::string& line);

}  // namespace vornix
