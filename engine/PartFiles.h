#pragma once
// Helpers that the split paths share: part names, file checks, the text the
// properties and security stages hand to the engine, and replacing a file in
// one step.

#include "settings/SplitSettings.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>

namespace sundrel::engine {

using settings::SplitSettings;

bool fileExists(const std::string& path);
std::optional<std::uint64_t> fileSize(const std::string& path);

// True when both paths name one existing file, however they are spelled.
bool sameFile(const std::string& a, const std::string& b);

// An absolute, lexically normal spelling of path, so that no path the engine
// sees can be taken for a handle ("Q=x.pdf") or a keyword ("output").
std::string absolutePath(const std::string& path);

// The files a run lists, as they are when it starts: by device and inode
// where they exist, by their normal absolute path where they do not (yet).
class ListedInputs {
public:
  void add(const std::string& path);
  // The listed path (as listed) of the file that partPath would replace;
  // empty when it replaces none.
  std::string replacedBy(const std::string& partPath) const;

private:
  std::map<std::pair<dev_t, ino_t>, std::string> files_;
  std::map<std::string, std::string> paths_;
};

// The folder a source's parts go to, with its trailing '/'.
std::string partFolder(const std::string& sourcePath, bool originalDirectory,
                       const std::string& outputFolder);

struct PartName {
  std::string path;  // empty when refused
  std::string error; // why it was refused
};

// The part's path: the name pattern with its tokens replaced ({basename} by
// the source's file name without extension), ".pdf" appended, inside folder.
// A name that would leave the folder is refused.
PartName partPathFor(const std::string& pattern, const std::string& folder,
                     const std::string& sourcePath, int partNumber, int firstPage, int lastPage);

// Puts replacement in the place of target in one step, so target is never
// missing: a rename, or across file systems a copy beside target renamed
// over it. The result has the mode a new file gets from the umask.
bool replaceFile(const std::string& replacement, const std::string& target);

// A new empty file with a hidden name in folder, where a part is written and
// given its stages before it is put under its own name; removed if SIGINT or
// SIGTERM ends the run. Empty, with error set, when folder takes no file.
std::string makeStagingFile(const std::string& folder, std::string& error);
void removeStagingFile(const std::string& staging);

// message with the hidden staging name replaced by the part's own name, the
// one the user knows.
std::string withPartName(std::string message, const std::string& staging,
                         const std::string& partPath);

// Moves a finished staging file to the part's name; false, with errno set,
// when it could not be put there (the staging file is then removed).
bool placeStagedPart(const std::string& staging, const std::string& partPath);

// The update_info text for the chosen properties.
std::string infoText(const SplitSettings& settings);

// " encrypt_128bit user_pw ... allow ..." for the chosen security.
std::string encryptionClauses(const SplitSettings& settings);

// Whether parts get the security stage.
bool wantsSecurity(const SplitSettings& settings);

} // namespace sundrel::engine
