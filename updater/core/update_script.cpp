#include "updater/core/update_script.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "common/activity_log.h"
#include "common/catalogue_edit.h"
#include "common/package_markers.h"
#include "common/package_places.h"
#include "platform/file_descriptor.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/regular_file.h"
#include "platform/temporary_files.h"
#include "platform/text.h"
#include "updater/core/hand_over.h"
#include "updater/core/signature_check.h"

namespace vornix {

namespace {

constexpr const char* kNoUpdateText = "Arvel Application '%s' does not need updating!";
constexpr const char* kUpdatedText = "Arvel Application '%s' has been successfully updated!";
constexpr const char* kUpdatedLogText = "'%s' successfully updated!";
constexpr const char* kCopyError = "Error copying '%s'";
constexpr const char* kBzip2Error = "Error decompressing '%s'";
constexpr const char* kGtarError = "Error extracting files from '%s'";
constexpr const char* kCommandError = "Error running command '%s'";
constexpr const char* kRecordError = "Error recording update '%s': %s";

constexpr const char* kDecompressPrefix = ".bzip2-";

// Decompresses the open file `compressed` into `output` in `folder`, leaving `decompressed`
// open on the output. The output goes to a new temporary file first and takes its name only
// when bzip2 succeeded: a damaged file leaves no empty or partial output behind, and a link that
// has the output's name is replaced, never written through.
bool Decompress(const std::string& bzip2, const std::string& folder, int compressed,
                const std::string& output, FileDescriptor& decompressed) {
  RemoveStaleTemporaries(folder, kDecompressPrefix);
  std::string temp;
  FileDescriptor fd = CreateTemporaryBeside(folder, kDecompressPrefix, temp);
  if (!fd.valid()) return false;
  // The output gets the mode of the compressed file, as bzip2 gives it when it writes one.
  struct stat st {};
  const bool ok = fstat(compressed, &st) == 0 && fchmod(fd.get(), st.st_mode & 07777) == 0 &&
                  RunProgram({bzip2, "-d", "-c"}, folder, fd.get(), compressed) == 0 &&
                  std::rename(temp.c_str(), (folder + "/" + output).c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  if (ok) decompressed = std::move(fd);
  return ok;
}

// Records an applied update's build in the catalogue, changing nothing else there; the empty
// text, or why it could not.
std::string RecordUpdate(const PassContext& pass, const PackageRecord& record,
                         std::string_view build) {
  const std::string_view name = record.Name.view();
  bool found = false;
  const std::string problem = EditCatalogue([&](PackageCatalogue& catalogue) {
    // The package where the pass found it, unless the file changed under the pass.
    int index = pass.recordIndex;
    if (index < 0 || index >= catalogue.count || catalogue.records[index].Name.view() != name)
      index = FindPackage(catalogue, name, NameCase::kSignificant);
    found = index >= 0;
    if (found) catalogue.records[static_cast<size_t>(index)].Update.assign(build);
    return found;
  });
  if (!problem.empty() || found) return problem;
  return "the catalogue " + CataloguePath() + " holds no package '" + std::string(name) +
         "' any more";
}

}  // namespace

void ApplyUpdate(PassContext& pass, PackageRecord& record) {
  const PackagePlaces places = pass.Places(record.Name.view());
  const UpdateMarker script = ReadUpdateXml(places.updateXml);
  if (script.Build.empty() || script.Build == record.Update.view()) {
    pass.front.ShowStatus(FillText(kNoUpdateText, {record.Desc.view()}));
    return;
  }
  std::string fileName = script.FileName;
  const std::string& programFolder = pass.programFolder;
  const std::string path = record.Path.str();
  const auto failed = [&](const std::string& error, const char* detail) {
    pass.FailStep(record, kUpdateErrorText, error, detail);
  };
  // The update file is opened once: its signature is checked on these bytes, and these bytes
  // are copied and unpacked, whatever happens to the file's name while programs are asked to
  // end (a name from the server that is no plain file name opens nothing).
  FileDescriptor update =
      IsPlainFileName(fileName) ? OpenRegularFile(places.UpdateFile(fileName)) : FileDescriptor();
  if (RefuseUnsignedUpdate(pass, record, script, update)) return;
  // A marker made by hand or damaged on its way: a build with markup would corrupt the
  // catalogue, so the script is not carried out at all.
  if (!IsCatalogueSafe(script.Build) || !IsCatalogueSafe(fileName)) {
    failed(FillText(kCopyError, {fileName}), "COPY");
    return;
  }
  if (PrepareProgram(pass, record, false)) return;  // the copy of the utility takes over

  // A name from the server that is not one plain file name never reaches a path, and only a
  // regular file is copied (a FIFO would hold the copy for ever). A Path that is no folder, or
  // an empty one (the root folder), fails the copy. The later steps run in Path, as programs
  // of their own started with their words as they are; only the command goes to the shell.
  if (!update.valid() || path.empty() ||
      !CopyDescriptorReplacing(update.get(), path + "/" + fileName)) {
    failed(FillText(kCopyError, {fileName}), "COPY");
    return;
  }

  int archive = update.get();  // what gtar unpacks
  FileDescriptor decompressed;
  if (EndsWithIgnoringCase(fileName, ".bz2")) {
    // bzip2 names its output after the ending only when that is ".bz2" in small letters, so
    // the output is written under the shortened name, whatever the spelling of the ending.
    const std::string output = fileName.substr(0, fileName.size() - 4);
    if (!Decompress(programFolder + "bzip2", path, update.get(), output, decompressed)) {
      failed(FillText(kBzip2Error, {fileName}), "BZIP2");
      return;
    }
    // The decompressed file takes the compressed one's place.
    std::remove((path + "/" + fileName).c_str());
    fileName = output;
    archive = decompressed.get();
  }
  if (EndsWithIgnoringCase(fileName, ".tar")) {
    if (RunProgram({programFolder + "gtar", "-xf", "-"}, path, -1, archive) != 0) {
      failed(FillText(kGtarError, {fileName}), "GTAR");
      return;
    }
    // Only the archive just unpacked goes; any other update file stays for its command.
    std::remove((path + "/" + fileName).c_str());
  }
  if (!script.UpdateCmd.empty() && RunShellCommand(script.UpdateCmd, path) != 0) {
    failed(FillText(kCommandError, {script.UpdateCmd}), "EXEC");
    return;
  }

  // Only an update the catalogue records is done: one that could not be recorded would be
  // applied again by the next run, and must not be reported as successful.
  const std::string notRecorded = RecordUpdate(pass, record, script.Build);
  if (!notRecorded.empty()) {
    failed(FillText(kRecordError, {script.Build, notRecorded}), "CATALOGUE");
    return;
  }
  pass.front.ShowStatus(FillText(kUpdatedText, {record.Desc.view()}));
  pass.results.changesMade = true;
  record.Update.assign(script.Build);
  const std::string done = FillText(kUpdatedLogText, {record.Desc.view()});
  pass.Report(done);
  WriteLogLine(done, "OK");
  pass.results.startFolder = path;
  pass.results.startCommand = path + "/" + record.Key.str();
}

}  // namespace vornix
