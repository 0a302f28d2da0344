#pragma once
// Every option a split run reads. The options group is held by the Options
// dialog and persisted in the settings file; the run group belongs to the main
// window and is never stored.

#include "settings/SizeLimit.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace sundrel::settings {

inline constexpr std::string_view kDefaultNamePattern = "{basename} part {part:0000}";

enum class OutputMode { OriginalDirectory, AlternativeDirectory };

struct SplitSettings {
  // Options group, in the order of the record.
  std::string docTitle;
  std::string docSubject;
  std::string docKeywords;
  std::string docAuthor;
  std::string docCreator;
  std::string docProducer;
  std::string namePattern{kDefaultNamePattern};
  std::int32_t namePatternIndex = 0;
  std::string openPassword;
  std::string permissionsPassword;
  std::int32_t printAllowed = 0;
  std::int32_t changesAllowed = 0;
  std::int32_t keepEncryption = 1;
  std::int32_t restrictPermissions = 0;
  std::int32_t addSecurity = 0;
  std::int32_t requireOpenPassword = 0;
  std::int32_t selectedTab = 0;
  std::int32_t copyAllowed = 0;
  // Parts carry only the glyphs their pages draw (our engine's session);
  // stored under its own key after the seventeen, missing means on.
  std::int32_t subsetFonts = 1;

  // Run group.
  std::string outputFolder;
  std::uint64_t sizeLimit = 102400; // bytes
  OutputMode outputMode = OutputMode::OriginalDirectory;
};

struct PermissionChoice {
  std::string_view itemText; // the Options dialog's combo item
  std::string_view keywords; // engine `allow` keywords, each with a leading blank
};

// Index = combo item of "Print Allowed:".
inline constexpr std::array<PermissionChoice, 3> kPrintChoices{{
    {"None", ""},
    {"Low Resolution", " DegradedPrinting"},
    {"High Resolution", " Printing"},
}};

// Index = combo item of "Changes Allowed:".
inline constexpr std::array<PermissionChoice, 5> kChangeChoices{{
    {"None", ""},
    {"Inserting, deleting, and rotation pages", " Assembly"},
    {"Filling in form fields and signing signature", " FillIn"},
    {"Commenting, filling in form fields, signature", " ModifyAnnotations FillIn"},
    {"Any except extracting pages", " ModifyAnnotations FillIn Assembly ModifyContents"},
}};

struct SizePreset {
  std::string_view itemText;   // the size combo's item
  std::uint32_t bytes;         // 0 for "Custom": the typed number stays
  std::uint64_t mailBytes = 0; // for a mail limit: the mail's size in bytes
};

// The size combo's items in order; K is 1024 bytes, M is 1048576 bytes.
// "Custom" keeps its place; the mail limits follow it. Providers state them
// in MB without saying which: read as 1000000 bytes, the smaller, so the mail
// fits whichever they mean.
inline constexpr std::array<SizePreset, 12> kSizePresets{{
    {"100K", 102400},
    {"512K", 524288},
    {"1000K", 1024000},
    {"2000K", 2048000},
    {"1M", 1048576},
    {"2M", 2097152},
    {"3M", 3145728},
    {"5M", 5242880},
    {"Custom", 0},
    {"E-mail 10 MB", std::uint32_t(mailPartLimit(10'000'000)), 10'000'000},
    {"E-mail 20 MB", std::uint32_t(mailPartLimit(20'000'000)), 20'000'000},
    {"E-mail 25 MB", std::uint32_t(mailPartLimit(25'000'000)), 25'000'000},
}};

inline constexpr std::string_view kCopyKeyword = " CopyContents";

// The engine keywords an index grants; empty for any index outside the table
// (-1 for no selection, or a number the settings file supplied).
template <std::size_t N>
constexpr std::string_view permissionKeywords(const std::array<PermissionChoice, N>& table,
                                              std::int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= N)
    return {};
  return table[static_cast<std::size_t>(index)].keywords;
}

} // namespace sundrel::settings
