#include "outputs/destination.h"

#include <filesystem>
#include <system_error>

namespace wayloom {

DestinationOpening CheckDestination(const std::string& destPath, const std::string& sourcePath,
                                    Prompter& prompter) {
  // Writing the track over its own source, under any of its names, would lose both.
  if (SameFile(sourcePath, destPath)) {
    prompter.ShowMessage("Error the output file is the input file\n" + destPath);
    return DestinationOpening::kFailed;
  }
  if (DestinationExists(destPath) &&
      !prompter.AskYesNo("The output file already exists\noverwrite ?")) {
    return DestinationOpening::kDeclined;
  }
  return DestinationOpening::kOpen;
}

DestinationOpening OpenDestination(TrackFile& file, const std::string& destPath,
                                   const std::string& sourcePath, Prompter& prompter) {
  if (const DestinationOpening checked = CheckDestination(destPath, sourcePath, prompter);
      checked != DestinationOpening::kOpen) {
    return checked;
  }
  if (!file.Open(destPath)) {
    prompter.ShowFailure("Error can't open output file \n" + destPath, file.Error());
    return DestinationOpening::kFailed;
  }
  return DestinationOpening::kOpen;
}

bool SameCanonicalPath(const std::string& first, const std::string& second) {
  std::error_code firstError;
  std::error_code secondError;
  const std::filesystem::path one = std::filesystem::canonical(first, firstError);
  const std::filesystem::path other = std::filesystem::canonical(second, secondError);
  return !firstError && !secondError && one == other;
}

bool SameOutputFile(const std::string& first, const std::string& second) {
  if (SameFile(first, second)) return true;
  std::error_code firstError;
  std::error_code secondError;
  const std::filesystem::path one = std::filesystem::weakly_canonical(first, firstError);
  const std::filesystem::path other = std::filesystem::weakly_canonical(second, secondError);
  return !firstError && !secondError && one == other;
}

}  // namespace wayloom
