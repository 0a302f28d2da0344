#include "settings/ProfileFile.h"
#include "settings/SettingsFile.h"

#include "tests/support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sundrel::settings {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(ProfileFile, ReadsValuesByTheProfileRules) {
  const ProfileFile profile = ProfileFile::parse("; comment = not a key\r\n"
                                                 "[Output Security]\r\n"
                                                 "  DocumentPassword  =  secret word  \r\n"
                                                 "Quoted=\"  kept blanks  \"\r\n"
                                                 "Single='x'\r\n"
                                                 "Half=\"open\r\n"
                                                 "Inner=a\"b\"c\r\n"
                                                 "Empty=\r\n"
                                                 "Number=12abc\r\n"
                                                 "Negative=-1\r\n"
                                                 "Word=abc\r\n"
                                                 "Dup=first\r\n"
                                                 "Dup=second\r\n"
                                                 "[tabselect]\r\n"
                                                 "TABNUMBER=2\r\n"
                                                 "[Output Security]\r\n"
                                                 "Later=ignored\r\n");
  struct Case {
    std::string section, key, expected;
  };
  const Case strings[] = {
      {"output security", "documentpassword", "secret word"},
      {"Output Security", "Quoted", "  kept blanks  "},
      {"Output Security", "Single", "x"},
      {"Output Security", "Half", "\"open"},
      {"Output Security", "Inner", "a\"b\"c"},
      {"Output Security", "Empty", ""},
      {"Output Security", "Dup", "first"},
      {"Output Security", "Missing", "default"},
      {"Output Security", "Later", "default"}, // only the first section of a name counts
      {"Nowhere", "Number", "default"},
      {"", "comment", "default"},
  };
  for (const auto& c : strings)
    EXPECT_EQ(profile.getString(c.section, c.key, "default", 260), c.expected) << c.key;

  EXPECT_EQ(profile.getInt("Output Security", "Number", 5), 12);
  EXPECT_EQ(profile.getInt("Output Security", "Negative", 5), -1);
  EXPECT_EQ(profile.getInt("Output Security", "Word", 5), 0);
  EXPECT_EQ(profile.getInt("Output Security", "Empty", 5), 5);
  EXPECT_EQ(profile.getInt("Output Security", "Missing", 5), 5);
  EXPECT_EQ(profile.getInt("TabSelect", "TabNumber", 0), 2);
}

TEST(ProfileFile, CutsValuesToTheBuffer) {
  const std::string longValue(1100, 'a');
  ProfileFile profile;
  profile.setString("S", "K", longValue);
  EXPECT_EQ(profile.getString("S", "K", "", 1024), std::string(1023, 'a'));
  EXPECT_EQ(profile.getString("S", "K", "", 260), std::string(259, 'a'));
  EXPECT_EQ(profile.getString("S", "K", "", 1), "");
}

TEST(ProfileFile, WritingKeepsEveryOtherLineInPlace) {
  ProfileFile profile = ProfileFile::parse("; my notes\n"
                                           "[TabSelect]\n"
                                           "TabNumber=1\n"
                                           "\n"
                                           "[Other]\n"
                                           "keep=me\n");
  profile.setString("tabselect", "tabnumber", "2");
  profile.setString("TabSelect", "New", "x");
  profile.setString("Added", "Key", "v");
  EXPECT_EQ(profile.text(), "; my notes\n"
                            "[TabSelect]\n"
                            "TabNumber=2\n" // the existing key keeps its place
                            "New=x\n"       // a new key goes after the section's last entry
                            "\n"
                            "[Other]\n"
                            "keep=me\n"
                            "[Added]\n"
                            "Key=v\n");
}

TEST(ProfileFile, MalformedFilesLoadWithoutHarm) {
  TempDir dir;
  std::string garbage;
  for (int i = 0; i < 70000; ++i)
    garbage += static_cast<char>((i * 7919) % 256);
  std::string manySections;
  for (int i = 0; i < 10000; ++i)
    manySections += "[S" + std::to_string(i) + "]\nk=v\n";
  const std::string inputs[] = {
      garbage,
      std::string(300000, 'x') + "=[y",                      // no line end at all
      manySections,                                          // 10,000 sections
      "[TabSelect]\nTabNumber=" + std::string(1 << 20, '9'), // a 1 MiB line
      "[" + std::string(1 << 20, 'T') + "\n=\n[\n]\n==\n",
  };
  for (const auto& input : inputs) {
    writeFile(dir.file("SettingValue.ini"), input);
    SplitSettings loaded;
    // Read, or refused as too large (and said so); never harmful.
    const std::string reason = loadSettings(loaded, dir.file("SettingValue.ini"));
    EXPECT_EQ(reason, input.size() > (1u << 20) ? "it is too large to be a settings file" : "");
    EXPECT_EQ(loaded.keepEncryption, 1);
    EXPECT_EQ(loaded.namePatternIndex, 0);
    EXPECT_EQ(loaded.docTitle, "");
  }
}

SplitSettings sampleSettings() {
  SplitSettings s;
  s.namePatternIndex = -1;
  s.keepEncryption = 0;
  s.openPassword = "open pw";
  s.permissionsPassword = "perm";
  s.printAllowed = 2;
  s.changesAllowed = 4;
  s.copyAllowed = 1;
  s.addSecurity = 1;
  s.restrictPermissions = 1;
  s.requireOpenPassword = 1;
  s.docTitle = "Title";
  s.docSubject = "Subject";
  s.docAuthor = "Author";
  s.docKeywords = "a, b";
  s.docCreator = "Creator";
  s.docProducer = "Producer";
  s.selectedTab = 2;
  return s;
}

// What is not a settings file is refused with a reason, never read: no
// crash on a folder, no endless read of a device, no wait on a FIFO.
TEST(ProfileFile, RefusesWhatIsNotASettingsFile) {
  TempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string large = dir.file("large.ini");
  std::filesystem::resize_file((writeFile(large, "x"), large), ProfileFile::kMaxFileBytes + 1);
  const std::pair<std::string, std::string> cases[] = {
      {dir.str(), "it is a folder"},
      {"/dev/zero", "it is not a regular file"},
      {fifo, "it is not a regular file"},
      {large, "it is too large to be a settings file"},
      {dir.file("missing.ini"), "No such file or directory"},
  };
  for (const auto& [path, reason] : cases) {
    std::string error;
    EXPECT_FALSE(ProfileFile::readText(path, error)) << path;
    EXPECT_EQ(error, reason);
    SplitSettings settings;
    // Keeps the defaults, and says why unless the file is simply not there.
    EXPECT_EQ(loadSettings(settings, path), path == dir.file("missing.ini") ? "" : reason);
    EXPECT_EQ(settings.namePattern, SplitSettings{}.namePattern);
  }
}

TEST(SettingsFile, FirstSaveWritesEveryKeyInOrder) {
  TempDir dir;
  const std::string path = dir.file("SettingValue.ini");
  EXPECT_TRUE(saveSettings(SplitSettings{}, path));
  EXPECT_EQ(readFile(path), "[OutputFileName]\n"
                            "FileName=0\n"
                            "[Output Security]\n"
                            "FileEncry=1\n"
                            "DocumentPassword=\n"
                            "PermissionPassword=\n"
                            "PrintAllow=0\n"
                            "ChangeAllow=0\n"
                            "CopyContent=0\n"
                            "AddSecuritySet=0\n"
                            "SetUsePassword=0\n"
                            "SetRequirePassword=0\n"
                            "[Output Preperies]\n"
                            "Title=\n"
                            "Subject=\n"
                            "Author=\n"
                            "Keyword=\n"
                            "Creator=\n"
                            "Producer=\n"
                            "[TabSelect]\n"
                            "TabNumber=0\n"
                            "[Output Fonts]\n"
                            "SubsetFonts=1\n");
}

// The font choice came after the seventeen keys: a file without it means on,
// whatever the record held before.
TEST(SettingsFile, SubsetFontsKeyMissingMeansOn) {
  TempDir dir;
  const std::string path = dir.file("SettingValue.ini");
  const std::pair<std::string, std::int32_t> cases[] = {
      {"[OutputFileName]\nFileName=2\n", 1},
      {"[Output Fonts]\nSubsetFonts=0\n", 0},
      {"[output fonts]\r\nsubsetfonts=1\r\n", 1},
  };
  for (const auto& [text, expected] : cases) {
    writeFile(path, text);
    SplitSettings loaded;
    loaded.subsetFonts = 0;
    EXPECT_EQ(loadSettings(loaded, path), "");
    EXPECT_EQ(loaded.subsetFonts, expected) << text;
  }
  SplitSettings off;
  off.subsetFonts = 0;
  ASSERT_TRUE(saveSettings(off, path));
  SplitSettings loaded;
  EXPECT_EQ(loadSettings(loaded, path), "");
  EXPECT_EQ(loaded.subsetFonts, 0);
}

TEST(SettingsFile, RoundTripKeepsEveryFieldButThePatternText) {
  TempDir dir;
  const std::string path = dir.file("SettingValue.ini");
  SplitSettings saved = sampleSettings();
  saved.namePattern = "{part:0000}";
  ASSERT_TRUE(saveSettings(saved, path));
  SplitSettings loaded;
  EXPECT_EQ(loadSettings(loaded, path), "");
  saved.namePattern = std::string(kDefaultNamePattern);
  EXPECT_EQ(loaded.namePattern, saved.namePattern);
  EXPECT_EQ(loaded.namePatternIndex, -1);
  EXPECT_EQ(loaded.openPassword, saved.openPassword);
  EXPECT_EQ(loaded.permissionsPassword, saved.permissionsPassword);
  EXPECT_EQ(loaded.printAllowed, 2);
  EXPECT_EQ(loaded.changesAllowed, 4);
  EXPECT_EQ(loaded.keepEncryption, 0);
  EXPECT_EQ(loaded.copyAllowed, 1);
  EXPECT_EQ(loaded.addSecurity, 1);
  EXPECT_EQ(loaded.restrictPermissions, 1);
  EXPECT_EQ(loaded.requireOpenPassword, 1);
  EXPECT_EQ(loaded.docTitle, "Title");
  EXPECT_EQ(loaded.docSubject, "Subject");
  EXPECT_EQ(loaded.docAuthor, "Author");
  EXPECT_EQ(loaded.docKeywords, "a, b");
  EXPECT_EQ(loaded.docCreator, "Creator");
  EXPECT_EQ(loaded.docProducer, "Producer");
  EXPECT_EQ(loaded.selectedTab, 2);
}

TEST(SettingsFile, LoadingWhatTheFileSupplies) {
  TempDir dir;
  const std::string path = dir.file("SettingValue.ini");
  // Written on Windows: CRLF, other case, quotes and blanks around values, a
  // number out of range, an unknown key and a comment.
  writeFile(path, "[outputfilename]\r\nfilename=3\r\n"
                  "[OUTPUT SECURITY]\r\nPrintAllow=7\r\n; note\r\nUnknown=1\r\n"
                  "DocumentPassword=" +
                      std::string(300, 'p') +
                      "\r\n"
                      "[Output Preperies]\r\nTitle=\"Quoted title\"\r\nAuthor=  padded  \r\n"
                      "Subject=" +
                      std::string(1100, 's') + "\r\n");
  SplitSettings loaded = sampleSettings();
  EXPECT_EQ(loadSettings(loaded, path), "");
  EXPECT_EQ(loaded.namePatternIndex, 3);
  EXPECT_EQ(loaded.printAllowed, 7); // taken as it is; the dialog copes with it
  EXPECT_EQ(loaded.openPassword, std::string(259, 'p'));
  EXPECT_EQ(loaded.docTitle, "Quoted title");
  EXPECT_EQ(loaded.docAuthor, "padded");
  EXPECT_EQ(loaded.docSubject, std::string(1023, 's'));
  // Missing integer keys keep the current values; missing texts become empty.
  EXPECT_EQ(loaded.changesAllowed, 4);
  EXPECT_EQ(loaded.keepEncryption, 0);
  EXPECT_EQ(loaded.selectedTab, 2);
  EXPECT_EQ(loaded.permissionsPassword, "");
  EXPECT_EQ(loaded.docProducer, "");

  // A save keeps the unknown key and the comment in place.
  ASSERT_TRUE(saveSettings(loaded, path));
  const std::string text = readFile(path);
  EXPECT_NE(text.find("; note\nUnknown=1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[outputfilename]\nfilename=3\n"), std::string::npos) << text;
}

// As the Windows profile functions read them: a UTF-8 byte order mark is
// skipped, UTF-16 with its mark is text (converted here by iconv, the
// oracle), and a save keeps the form; broken UTF-16 is refused with the
// reason, never read as a file without security.
TEST(SettingsFile, ByteOrderMarks) {
  TempDir dir;
  const std::string path = dir.file("SettingValue.ini");
  const std::string text = "[Output Security]\r\nFileEncry=0\r\nAddSecuritySet=1\r\n"
                           "DocumentPassword=Zo\u00eb \U0001D11E\r\n";
  writeFile(dir.file("utf8"), text);
  for (const std::string form : {"UTF-8", "UTF-16LE", "UTF-16BE"}) {
    SCOPED_TRACE(form);
    const std::string mark = form == "UTF-8"      ? "\xEF\xBB\xBF"
                             : form == "UTF-16LE" ? "\xFF\xFE"
                                                  : "\xFE\xFF";
    writeFile(path, mark);
    ASSERT_EQ(
        std::system(("iconv -f UTF-8 -t " + form + " " + dir.file("utf8") + " >>" + path).c_str()),
        0);
    SplitSettings loaded;
    ASSERT_EQ(loadSettings(loaded, path), "");
    EXPECT_EQ(loaded.openPassword, "Zo\u00eb \U0001D11E");
    EXPECT_EQ(std::pair(loaded.keepEncryption, loaded.addSecurity), std::pair(0, 1));
    loaded.docTitle = "\u00c9t\u00e9";
    ASSERT_TRUE(saveSettings(loaded, path));
    EXPECT_EQ(readFile(path).substr(0, mark.size()), mark);
    // iconv reads the saved file back (UTF-16 by its mark).
    const std::string from = form == "UTF-8" ? "UTF-8" : "UTF-16";
    ASSERT_EQ(std::system(
                  ("iconv -f " + from + " -t UTF-8 " + path + " | grep -q '^Title=\u00c9t\u00e9$'")
                      .c_str()),
              0);
  }
  for (const auto& [bytes, reason] :
       {std::pair<std::string, std::string>{std::string("\xFF\xFE[\0O", 5),
                                            "cut in the middle of a character"},
        {std::string("\xFF\xFE[\0\0\xD8", 6), "broken character at byte 4"}}) {
    writeFile(path, bytes);
    SplitSettings loaded;
    EXPECT_NE(loadSettings(loaded, path).find(reason), std::string::npos);
  }
}

TEST(SettingsFile, MissingFileKeepsNumbersAndClearsTexts) {
  SplitSettings loaded = sampleSettings();
  EXPECT_EQ(loadSettings(loaded, "/nonexistent/SettingValue.ini"), "");
  EXPECT_EQ(loaded.printAllowed, 2);
  EXPECT_EQ(loaded.selectedTab, 2);
  EXPECT_EQ(loaded.openPassword, "");
  EXPECT_EQ(loaded.docTitle, "");
}

// Saves as the current user, or, for root (whom permissions do not stop), in a
// child process that has given up root first.
// Gives 0 for a successful save, 1 for a failed one.
int saveAsUnprivilegedUser(const SplitSettings& settings, const std::string& path) {
  if (::geteuid() != 0)
    return saveSettings(settings, path) ? 0 : 1;
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0)
      ::_exit(2);
    ::_exit(saveSettings(settings, path) ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SettingsFile, FailedSavesLeaveTheOldFileWhole) {
  TempDir dir;
  // A directory that cannot hold the file: its parent is a regular file.
  writeFile(dir.file("plain"), "x");
  EXPECT_FALSE(saveSettings(sampleSettings(), dir.file("plain") + "/SettingValue.ini"));

  // A write-protected program directory with an older settings file in it.
  const auto program = dir.path() / "program";
  std::filesystem::create_directory(program);
  const std::string path = (program / "SettingValue.ini").string();
  ASSERT_TRUE(saveSettings(SplitSettings{}, path));
  const std::string before = readFile(path);
  std::filesystem::permissions(
      program, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                   std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
  std::filesystem::permissions(dir.path(), std::filesystem::perms::others_exec,
                               std::filesystem::perm_options::add);
  EXPECT_EQ(saveAsUnprivilegedUser(sampleSettings(), path), 1);
  EXPECT_EQ(readFile(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(program),
                          std::filesystem::directory_iterator()),
            1); // no temporary file left behind
}

TEST(Permissions, IndexesOutsideTheTablesGrantNothing) {
  EXPECT_EQ(permissionKeywords(kPrintChoices, 1), " DegradedPrinting");
  EXPECT_EQ(permissionKeywords(kPrintChoices, 2), " Printing");
  EXPECT_EQ(permissionKeywords(kChangeChoices, 3), " ModifyAnnotations FillIn");
  for (int index : {-1, 3, 7})
    EXPECT_EQ(permissionKeywords(kPrintChoices, index), "") << index;
  for (int index : {-1, 5, 100})
    EXPECT_EQ(permissionKeywords(kChangeChoices, index), "") << index;
}

} // namespace
} // namespace sundrel::settings
