#pragma once
// The size-driven split: probe page ranges with the engine, write each range
// that fits as a part, then give every part its properties and security.

#include "engine/SplitHost.h"
#include "engine/SplitReport.h"
#include "settings/SplitSettings.h"

#include <string>
#include <string_view>

namespace sundrel::engine {

using settings::SplitSettings;

// Splits every listed file larger than the size edit's limit and says what
// became of each. Sets settings.sizeLimit from the size edit at the start.
SplitReport runSplit(SplitHost& host, SplitSettings& settings);

// Extracts the range into the part named by settings.namePattern and runs the
// two stages on it. Returns the part path when the finished part is in place,
// else empty (the reason goes to host.fileFailed).
std::string writePart(SplitHost& host, const SplitSettings& settings, const std::string& sourcePath,
                      const std::string& rangeText, int partNumber, int firstPage, int lastPage);

// Replaces the first occurrence of token in text by value; false (text
// unchanged) when the token does not occur.
bool replaceToken(std::string& text, std::string_view token, std::string_view value);

// Writes the document properties into the part through update_info; true when
// the part was replaced by its updated copy.
bool applyDocumentInfo(const SplitSettings& settings, const std::string& partPath);

// Encrypts the part when addSecurity is set and keepEncryption is clear.
// False only when security was asked for and the part is not encrypted.
bool applySecurity(const SplitSettings& settings, const std::string& partPath);

} // namespace sundrel::engine
