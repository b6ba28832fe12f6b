#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vornix {

// Programs are started from argument vectors: the words reach the program as they are,
// whatever bytes they hold. Only an update's own command, which the server gives as a command
// line, goes through the interpreter.

// The command line the utility and the reset tool read their words from: the words joined by
// single blanks, a word that holds a blank wrapped in double quotes.
std::string JoinCommandLine(const std::vector<std::string>& words);

// WinExec: starts `argv` without waiting for it. argv[0] holding a '/' is used as it is;
// otherwise it is looked up in the current folder and then along PATH. The program runs in a
// new session (it outlives its starter), in `workFolder` when one is given (else in the
// starter's current folder), with the starter's environment. False when it could not be
// started, with the reason in `why` when asked for.
// With `programFd`, the program started is the open file it names, whatever lies at argv[0]'s
// name by then (a script then finds itself as /dev/fd/<n>).
bool StartProgram(const std::vector<std::string>& argv, const std::string& workFolder = {},
                  std::string* why = nullptr, int programFd = -1);

// Runs `argv` (looked up as by StartProgram) in `workFolder` and waits for it, its standard
// output going to `outputFd` and its standard input coming from `inputFd` (read from its start)
// when they are given. Its exit code; 128 + the signal that killed it; -1 when it could not be
// run.
int RunProgram(const std::vector<std::string>& argv, const std::string& workFolder = {},
               int outputFd = -1, int inputFd = -1);

// system(): runs `command` through /bin/sh -c in `workFolder` and waits for it. The command's
// exit code; a command killed by a signal, or one that could not be run, gives a non-zero code.
int RunShellCommand(const std::string& command, const std::string& workFolder = {});

// Copies the regular file `from` to `to` (its bytes and mode) through a temporary file beside
// `to` and a rename: `to` is replaced whole, a link there is replaced and never written
// through, and a program running from `to` keeps running. False, with nothing left behind,
// when it cannot.
bool CopyFileReplacing(const std::string& from, const std::string& to);
// The same from an open file, read from its start.
bool CopyDescriptorReplacing(int from, const std::string& to);

}  // namespace vornix
