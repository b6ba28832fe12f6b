// ApplyUpdate: carries out a package's UPDATE.XML in the package's program folder.

#include <cstdio>

#include "common/activity_log.h"
#include "common/package_markers.h"
#include "platform/process.h"
#include "platform/text.h"
#include "updater/core/package_pass.h"
#include "updater/core/run_flags.h"

namespace vornix {

namespace {

constexpr const char* kNoUpdateText = "Arvel Application '%s' does not need updating!";
constexpr const char* kUpdatedText = "Arvel Application '%s' has been successfully updated!";
constexpr const char* kUpdateErrorText = "Arvel Application '%s' update error '%s'";
constexpr const char* kUpdatedLogText = "'%s' successfully updated!";
constexpr const char* kCopyError = "Error copying '%s'";
constexpr const char* kBzip2Error = "Error decompressing '%s'";
constexpr const char* kGtarError = "Error extracting files from '%s'";
constexpr const char* kCommandError = "Error running command '%s'";

struct StepError {
  std::string text;
  const char* detail;
};

}  // namespace

void PackagePass::ApplyUpdate(PackageRecord& record) {
  const std::string name = record.Name.str();
  const std::string updates = UpdatesFolder(PackageFolder("", name));
  const UpdateMarker script = ReadUpdateXml(updates + "/UPDATE.XML");
  if (script.Build.empty() || script.Build == record.Update.view()) {
    front_.ShowStatus(FillText(kNoUpdateText, {record.Desc.view()}));
    return;
  }
  if (RefuseUnsignedUpdate(record, script)) return;
  if (PrepareProgram(record, false)) return;  // the copy of the utility takes over

  const std::string programFolder = CurrentFolder();
  const std::string path = record.Path.str();
  std::string fileName = script.FileName;

  auto failed = [&](const StepError& error) {
    WriteLogLine(error.text, error.detail);
    ChangeFolder(programFolder);
    Report(error.text);
    front_.ShowStatus(FillText(kUpdateErrorText, {record.Desc.view(), error.text}));
  };

  // A name from the server that is not one plain file name never reaches a command line. The
  // target ends in '/' so that a Path that is no folder fails the copy instead of becoming a
  // file, which would leave the later steps in the program folder.
  if (!IsPlainFileName(fileName) ||
      RunShellCommand("cp -f -- " + ShellQuote(updates + "/" + fileName) + " " +
                      ShellQuote(path + "/")) != 0) {
    failed({FillText(kCopyError, {fileName}), "COPY"});
    return;
  }
  ChangeFolder(path);

  if (EndsWithIgnoringCase(fileName, ".bz2")) {
    // bzip2 names its output after the ending only when that is ".bz2" in small letters;
    // writing the output under the shortened name serves every spelling of the ending.
    const std::string decompressed = fileName.substr(0, fileName.size() - 4);
    if (RunShellCommand(ShellQuote(programFolder + "/bzip2") + " -d -f -c -- " +
                        ShellQuote(fileName) + " > " + ShellQuote(decompressed)) != 0) {
      failed({FillText(kBzip2Error, {fileName}), "BZIP2"});
      return;
    }
    std::remove(fileName.c_str());  // the decompressed file takes the compressed one's place
    fileName = decompressed;
  }
  if (EndsWithIgnoringCase(fileName, ".tar")) {
    if (RunShellCommand(ShellQuote(programFolder + "/gtar") + " -xf " + ShellQuote(fileName)) !=
        0) {
      failed({FillText(kGtarError, {fileName}), "GTAR"});
      return;
    }
    // Only the archive just unpacked goes; any other update file stays for its command.
    std::remove(fileName.c_str());
  }
  if (!script.UpdateCmd.empty() && RunShellCommand(script.UpdateCmd) != 0) {
    failed({FillText(kCommandError, {script.UpdateCmd}), "EXEC"});
    return;
  }

  ChangeFolder(programFolder);
  front_.ShowStatus(FillText(kUpdatedText, {record.Desc.view()}));
  g_changesMade = true;
  record.Update.assign(script.Build);
  const std::string done = FillText(kUpdatedLogText, {record.Desc.view()});
  Report(done);
  WriteLogLine(done, "OK");
  m_startFolder = path;
  m_startCommand = path + "/" + record.Key.str();
}

}  // namespace vornix
