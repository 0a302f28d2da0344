// The password file of sundrel-split: its two forms, what is refused, and
// that a path finds its file however it is spelled.

#include "cli/Passwords.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace sundrel::cli {
namespace {

namespace fs = std::filesystem;

struct Case {
  const char* name;
  std::string text;  // "{D}" stands for the absolute folder of the files
  std::string error; // part of the expected error; empty: accepted
  std::vector<std::pair<std::string, std::optional<std::string>>> lookups;
  std::string warning = {}; // part of the one expected warning
};

const std::vector<Case>& cases() {
  static const std::vector<Case> all{
      {"one password for every file", "Pw#1\n", "", {{"a.pdf", "Pw#1"}, {"none.pdf", "Pw#1"}}},
      {"blanks kept, CRLF and byte-order mark dropped",
       "\xEF\xBB\xBF Pw #1 \r\n\n",
       "",
       {{"b.pdf", " Pw #1 "}}},
      {"every spelling of a listed file",
       "a.pdf\tPw#A\n{D}/b.pdf\tPw#B\n",
       "",
       {{"./a.pdf", "Pw#A"},
        {"{D}/a.pdf", "Pw#A"},
        {"link.pdf", "Pw#A"},
        {"sub/../b.pdf", "Pw#B"},
        {"c.pdf", std::nullopt}}},
      {"a link listed finds its target", "link.pdf\tPw#L\n", "", {{"a.pdf", "Pw#L"}}},
      {"one table line; blank lines; a tab inside the password",
       "\na.pdf\tPw\t#2\n\n",
       "",
       {{"a.pdf", "Pw\t#2"}, {"b.pdf", std::nullopt}}},
      {"same file twice with the same password",
       "a.pdf\tPw#A\nlink.pdf\tPw#A\n",
       "",
       {{"a.pdf", "Pw#A"}}},
      {"a line naming no file is left out",
       "gone.pdf\tPw#G\na.pdf\tPw#A\n",
       "",
       {{"a.pdf", "Pw#A"}, {"gone.pdf", std::nullopt}},
       "line 1: no file gone.pdf"},
      {"empty", "", "no password", {}},
      {"only blank lines", "\n\r\n", "no password", {}},
      {"two lines without tabs", "Pw#1\nPw#2\n", "line 1: expected a path", {}},
      {"table line without a tab", "a.pdf\tPw#A\nPw#B\n", "line 2: expected a path", {}},
      {"empty password", "a.pdf\t\n", "line 1: no password after the tab", {}},
      {"empty path", "\tPw#A\n", "line 1: no path before the tab", {}},
      {"same file, two passwords",
       "a.pdf\tPw#A\nlink.pdf\tPw#L\n",
       "line 2: link.pdf is the file of line 1, with another password",
       {}},
  };
  return all;
}

class PasswordFileTest : public ::testing::TestWithParam<std::size_t> {
protected:
  void SetUp() override {
    old = fs::current_path();
    fs::create_directory(dir.path() / "sub");
    for (const char* name : {"a.pdf", "b.pdf", "c.pdf"})
      test::writeFile(dir.file(name), "%PDF-1.4\n");
    fs::create_symlink(dir.path() / "a.pdf", dir.path() / "link.pdf");
    fs::current_path(dir.path());
  }
  void TearDown() override { fs::current_path(old); }

  std::string expand(std::string text) const {
    for (std::size_t at; (at = text.find("{D}")) != std::string::npos;)
      text.replace(at, 3, dir.str());
    return text;
  }

  test::TempDir dir;
  fs::path old;
};

TEST_P(PasswordFileTest, ParsesAndMatches) {
  const Case& c = cases()[GetParam()];
  SCOPED_TRACE(c.name);
  PasswordBook book;
  std::vector<std::string> warnings;
  const std::string error = book.parse(expand(c.text), warnings);
  if (c.error.empty())
    EXPECT_EQ(error, "");
  else
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  // Messages name lines and paths, never a password.
  for (const std::string& message : [&] {
         auto all = warnings;
         all.push_back(error);
         return all;
       }())
    EXPECT_EQ(message.find("Pw"), std::string::npos) << message;
  if (c.warning.empty()) {
    EXPECT_TRUE(warnings.empty());
  } else {
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(c.warning), std::string::npos) << warnings[0];
  }
  if (!error.empty())
    return;
  for (const auto& [path, expected] : c.lookups)
    EXPECT_EQ(book.find(expand(path)), expected) << path;
}

INSTANTIATE_TEST_SUITE_P(Cases, PasswordFileTest, ::testing::Range<std::size_t>(0, cases().size()),
                         [](const auto& info) {
                           std::string name = cases()[info.param].name;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c)))
                               c = '_';
                           return name;
                         });

TEST(PasswordFile, RememberedPasswordWinsOverTheOneForEveryFile) {
  test::TempDir dir;
  test::writeFile(dir.file("a.pdf"), "%PDF-1.4\n");
  PasswordBook book;
  std::vector<std::string> warnings;
  ASSERT_EQ(book.parse("Pw#all\n", warnings), "");
  book.remember(dir.file("a.pdf"), "Pw#a");
  EXPECT_EQ(book.find(dir.str() + "/./a.pdf"), "Pw#a");
  EXPECT_EQ(book.find(dir.file("b.pdf")), "Pw#all");
  EXPECT_NE(readPasswordFile(dir.file("missing.txt"), book, warnings), "");
}

} // namespace
} // namespace sundrel::cli
