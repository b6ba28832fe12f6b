#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vornix {

// Splits a command line as Windows does: blanks separate words, double quotes group a word and
// are removed.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// The command line a started program receives: its words joined by single blanks, a word that
// holds a blank wrapped in double quotes.
std::string JoinCommandLine(const std::vector<std::string>& words);

// Quotes one word for a WinExec command line (double quotes).
std::string QuoteProgramWord(std::string_view word);

// Quotes one word for a command run through the interpreter: single quotes, ' as '\''.
std::string ShellQuote(std::string_view word);

// WinExec: starts the program named by the command line's first word without waiting for it.
// A first word holding '/' is used as it is; otherwise it is looked up in the current folder
// and then along PATH. The program runs in a new session (it outlives its starter) and inherits
// the current folder and environment. False when the program could not be started.
bool StartProgram(std::string_view commandLine);

// system(): runs `command` through /bin/sh -c and waits for it. The command's exit code; a
// command killed by a signal, or one that could not be run, gives a non-zero code.
int RunShellCommand(const std::string& command);

// The process's current folder and changing it.
std::string CurrentFolder();
bool ChangeFolder(const std::string& folder);

}  // namespace vornix
