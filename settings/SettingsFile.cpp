#include "settings/SettingsFile.h"

#include "settings/ProfileFile.h"

#include <cerrno>
#include <optional>
#include <string>
#include <unistd.h>

namespace sundrel::settings {
namespace {

constexpr std::string_view kFileNameSection = "OutputFileName";
constexpr std::string_view kSecuritySection = "Output Security";
constexpr std::string_view kPropertiesSection = "Output Preperies"; // spelled so in every file
constexpr std::string_view kTabSection = "TabSelect";
// Added after the seventeen keys, in a section of its own at the end: a file
// written before it lacks the key, which then means on.
constexpr std::string_view kFontsSection = "Output Fonts";
constexpr std::string_view kSubsetFontsKey = "SubsetFonts";

// Buffer sizes of the reads: passwords 260 bytes, properties 1024 bytes.
constexpr std::size_t kPasswordBuffer = 260;
constexpr std::size_t kPropertyBuffer = 1024;

struct IntKey {
  std::string_view section;
  std::string_view key;
  std::int32_t SplitSettings::*field;
};

struct TextKey {
  std::string_view section;
  std::string_view key;
  std::string SplitSettings::*field;
  std::size_t bufferSize;
};

// In the order a save writes them.
enum class Kind { Int, Text };
struct Entry {
  Kind kind;
  std::size_t index;
};

constexpr IntKey kIntKeys[] = {
    {kFileNameSection, "FileName", &SplitSettings::namePatternIndex},
    {kSecuritySection, "FileEncry", &SplitSettings::keepEncryption},
    {kSecuritySection, "PrintAllow", &SplitSettings::printAllowed},
    {kSecuritySection, "ChangeAllow", &SplitSettings::changesAllowed},
    {kSecuritySection, "CopyContent", &SplitSettings::copyAllowed},
    {kSecuritySection, "AddSecuritySet", &SplitSettings::addSecurity},
    {kSecuritySection, "SetUsePassword", &SplitSettings::restrictPermissions},
    {kSecuritySection, "SetRequirePassword", &SplitSettings::requireOpenPassword},
    {kTabSection, "TabNumber", &SplitSettings::selectedTab},
};

constexpr TextKey kTextKeys[] = {
    {kSecuritySection, "DocumentPassword", &SplitSettings::openPassword, kPasswordBuffer},
    {kSecuritySection, "PermissionPassword", &SplitSettings::permissionsPassword, kPasswordBuffer},
    {kPropertiesSection, "Title", &SplitSettings::docTitle, kPropertyBuffer},
    {kPropertiesSection, "Subject", &SplitSettings::docSubject, kPropertyBuffer},
    {kPropertiesSection, "Author", &SplitSettings::docAuthor, kPropertyBuffer},
    {kPropertiesSection, "Keyword", &SplitSettings::docKeywords, kPropertyBuffer},
    {kPropertiesSection, "Creator", &SplitSettings::docCreator, kPropertyBuffer},
    {kPropertiesSection, "Producer", &SplitSettings::docProducer, kPropertyBuffer},
};

// FileName; FileEncry, DocumentPassword, PermissionPassword, PrintAllow, ChangeAllow,
// CopyContent, AddSecuritySet, SetUsePassword, SetRequirePassword; the six properties;
// TabNumber.
constexpr Entry kSaveOrder[] = {
    {Kind::Int, 0},  {Kind::Int, 1},  {Kind::Text, 0}, {Kind::Text, 1}, {Kind::Int, 2},
    {Kind::Int, 3},  {Kind::Int, 4},  {Kind::Int, 5},  {Kind::Int, 6},  {Kind::Int, 7},
    {Kind::Text, 2}, {Kind::Text, 3}, {Kind::Text, 4}, {Kind::Text, 5}, {Kind::Text, 6},
    {Kind::Text, 7}, {Kind::Int, 8},
};

} // namespace

std::string loadSettings(SplitSettings& settings, const std::string& path) {
  std::string error;
  const std::optional<ProfileFile> read = ProfileFile::read(path, error);
  const bool missing =
      !read && ::access(path.c_str(), F_OK) != 0 && (errno == ENOENT || errno == ENOTDIR);
  const ProfileFile profile = read.value_or(ProfileFile{});
  for (const auto& key : kIntKeys)
    settings.*key.field = profile.getInt(key.section, key.key, settings.*key.field);
  for (const auto& key : kTextKeys)
    settings.*key.field = profile.getString(key.section, key.key, "", key.bufferSize);
  settings.subsetFonts = profile.getInt(kFontsSection, kSubsetFontsKey, 1);
  return read || missing ? std::string() : error;
}

bool saveSettings(const SplitSettings& settings, const std::string& path, std::string* reason) {
  ProfileFile profile = ProfileFile::load(path);
  for (const auto& entry : kSaveOrder) {
    if (entry.kind == Kind::Int) {
      const auto& key = kIntKeys[entry.index];
      profile.setString(key.section, key.key, std::to_string(settings.*key.field));
    } else {
      const auto& key = kTextKeys[entry.index];
      profile.setString(key.section, key.key, settings.*key.field);
    }
  }
  profile.setString(kFontsSection, kSubsetFontsKey, std::to_string(settings.subsetFonts));
  return profile.save(path, reason);
}

} // namespace sundrel::settings
