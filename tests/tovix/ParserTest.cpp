// The command grammar and the text formats, without any PDF.

#include "tovix/Command.h"
#include "tovix/InfoText.h"

#include <gtest/gtest.h>

namespace sundrel::tovix {
namespace {

std::vector<std::uint64_t> pagesOf(const std::string& token, std::uint64_t count,
                                   std::string* error = nullptr) {
  std::vector<Input> inputs{{"A", "a.pdf", "", false}, {"BB", "b.pdf", "", false}};
  PageRange range;
  std::string e;
  std::vector<std::uint64_t> pages;
  if (!parsePageRange(token, inputs, range, e) || !resolvePageRange(range, count, pages, e)) {
    if (error)
      *error = e;
    return {};
  }
  return pages;
}

struct RangeCase {
  const char* token;
  std::vector<std::uint64_t> pages;
};

TEST(PageRange, ResolvesAgainstTenPages) {
  const RangeCase cases[] = {
      {"A1-3", {1, 2, 3}},
      {"A5", {5}},
      {"A5-3", {5, 4, 3}},
      {"Aend", {10}},
      {"Ar1", {10}},
      {"Ar3-end", {8, 9, 10}},
      {"Aend-r2", {10, 9}},
      {"A1-endodd", {1, 3, 5, 7, 9}},
      {"Aeven", {2, 4, 6, 8, 10}},
      {"A", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"2-3", {2, 3}},
      {"BB7", {7}},
      {"A1-2east", {1, 2}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(pagesOf(c.token, 10), c.pages) << c.token;
}

TEST(PageRange, RejectsWithOneLineReason) {
  const std::pair<const char*, const char*> cases[] = {
      {"A0", "Invalid page number 0"},
      {"A-", "Missing range start page number"},
      {"A1-", "Missing range end page number"},
      {"Ar0", "Invalid page number r0"},
      {"A11", "Range start page number exceeds size of PDF"},
      {"A2-11", "Range end page number exceeds size of PDF"},
      {"A999999999999", "Range start page number exceeds size of PDF"},
      {"A99999999999999999999999999", "Range start page number exceeds size of PDF"},
      {"Ar11", "exceeds size of PDF"},
      {"C1", "Given handle has no associated file: C"},
      {"A1x", "Unexpected text in page range"},
      {"x", "Unexpected text in page range"},
      {"A1-2-3", "Unexpected text in page range"},
  };
  for (const auto& [token, message] : cases) {
    std::string error;
    EXPECT_TRUE(pagesOf(token, 10, &error).empty()) << token;
    EXPECT_NE(error.find(message), std::string::npos) << token << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << token;
  }
}

TEST(PageRange, RotationWords) {
  std::vector<Input> inputs{{"A", "a.pdf", "", false}};
  PageRange r;
  std::string e;
  ASSERT_TRUE(parsePageRange("A1-2east", inputs, r, e));
  EXPECT_EQ(r.rotation, 90);
  EXPECT_TRUE(r.rotationAbsolute);
  ASSERT_TRUE(parsePageRange("A3left", inputs, r, e));
  EXPECT_EQ(r.rotation, 270);
  EXPECT_FALSE(r.rotationAbsolute);
}

TEST(CommandLine, TheProgramsFiveCommands) {
  auto p = parseCommand({"/x/in.pdf", "dump_data", "output", "/t/r.txt", "dont_ask"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.command.operation, Operation::DumpData);
  EXPECT_EQ(p.command.output, "/t/r.txt");

  p = parseCommand({"A=/x/big.pdf", "cat", "A1-12", "output", "/x/big part 0001.pdf"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.command.inputs.at(0).handle, "A");
  EXPECT_EQ(p.command.ranges.size(), 1u);
  EXPECT_EQ(p.command.output, "/x/big part 0001.pdf");

  p = parseCommand({"/x/p.pdf", "update_info", "/t/i.txt", "output", "/t/o.pdf", "dont_ask"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.command.operation, Operation::UpdateInfo);
  EXPECT_EQ(p.command.infoPath, "/t/i.txt");

  p = parseCommand({"/x/p.pdf", "output", "/x/p.pdf0.pdf", "encrypt_128bit", "user_pw", "u",
                    "owner_pw", "o", "allow", "DegradedPrinting", "ModifyAnnotations", "FillIn",
                    "CopyContents", "dont_ask"});
  ASSERT_TRUE(p.ok) << p.error;
  const Command& c = p.command;
  EXPECT_EQ(c.operation, Operation::Copy);
  EXPECT_EQ(c.encryption, Encryption::Rc4_128);
  EXPECT_EQ(c.userPassword, "u");
  EXPECT_EQ(c.ownerPassword, "o");
  EXPECT_TRUE(c.allow.degradedPrinting && c.allow.modifyAnnotations && c.allow.fillIn &&
              c.allow.copyContents && c.allow.screenReaders);
  EXPECT_FALSE(c.allow.printing || c.allow.assembly || c.allow.modifyContents);
}

TEST(CommandLine, SessionAdditions) {
  auto p = parseCommand({"A=a.pdf", "cat", "A1-10", "measure"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_TRUE(p.command.measure);
  EXPECT_FALSE(p.command.hasOutput);
  EXPECT_EQ(p.command.ranges.size(), 1u);

  p = parseCommand({"A=a.pdf", "cat", "A3-9", "update_info_utf8", "i.txt", "output", "part.pdf",
                    "encrypt_aes128", "user_pw", "u"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.command.operation, Operation::Cat);
  EXPECT_TRUE(p.command.chainInfo);
  EXPECT_EQ(p.command.infoPath, "i.txt");
  EXPECT_EQ(p.command.ranges.size(), 1u);
  EXPECT_EQ(p.command.encryption, Encryption::Aes128);

  p = parseCommand({"A=a.pdf", "page_sizes", "output", "-"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.command.operation, Operation::PageSizes);
  EXPECT_TRUE(parseCommand({"a.pdf", "page_sizes"}).ok);

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"A=a.pdf", "cat", "A1", "update_info", "output", "o.pdf"},
        {"A=a.pdf", "cat", "A1", "measure", "output", "o.pdf"}})
    EXPECT_FALSE(parseCommand(args).ok) << args[3];
}

TEST(CommandLine, InputsAndPasswords) {
  // a bare name with '=' whose prefix is not a handle is a file name
  auto p = parseCommand(
      {"enc-R3,V2,O=master.pdf", "B=b.pdf", "input_pw", "B=secret", "cat", "B", "output", "-"});
  ASSERT_TRUE(p.ok) << p.error;
  ASSERT_EQ(p.command.inputs.size(), 2u);
  EXPECT_EQ(p.command.inputs[0].path, "enc-R3,V2,O=master.pdf");
  EXPECT_TRUE(p.command.inputs[0].handle.empty());
  EXPECT_TRUE(p.command.inputs[1].hasPassword);
  EXPECT_EQ(p.command.inputs[1].password, "secret");

  p = parseCommand({"a.pdf", "input_pw", "pw", "output", "o.pdf"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.command.inputs[0].password, "pw");
}

TEST(CommandLine, RejectsWithOneLineReason) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"cat", "output", "o.pdf"}, "No input files"},
      {{"a.pdf", "cat", "A1", "output", "o.pdf"}, "handle"},
      {{"A=a.pdf", "cat", "A1", "output"}, "Missing output file name"},
      {{"A=a.pdf", "cat", "A1"}, "No output file given"},
      {{"A=a.pdf", "cat", "A1", "output", "o.pdf", "frobnicate"}, "Unexpected data"},
      {{"A=a.pdf", "burst", "output", "o.pdf"}, "not supported"},
      {{"A=a.pdf", "update_info", "output", "o.pdf"}, "Missing info file"},
      {{"A=a.pdf", "output", "o.pdf", "user_pw"}, "Missing password"},
      {{"A=a.pdf", "A=b.pdf", "cat", "output", "o.pdf"}, "more than one file"},
      {{"A=a.pdf", "cat", "A1", "output", "o.pdf", "size_limit"}, "size_limit needs"},
      {{"A=a.pdf", "cat", "A1", "output", "o.pdf", "size_limit", "9k"}, "size_limit needs"},
      {{"A=a.pdf", "output", "o.pdf", "encrypt_40bit", "encrypt_128bit"}, "More than one"},
      {{"A=a.pdf", "input_pw", "B=x", "output", "o.pdf"}, "no associated file"},
  };
  for (const auto& [args, message] : cases) {
    const auto p = parseCommand(args);
    EXPECT_FALSE(p.ok) << message;
    EXPECT_NE(p.error.find(message), std::string::npos) << p.error;
  }
}

TEST(CommandLine, AllFeaturesAndKeywordCase) {
  auto p = parseCommand({"a.pdf", "OUTPUT", "o.pdf", "Encrypt_AES128", "allow", "allfeatures"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.command.encryption, Encryption::Aes128);
  EXPECT_TRUE(p.command.allow.printing && p.command.allow.assembly && p.command.allow.fillIn);
}

TEST(InfoText, EveryPairAppliesWithOrWithoutInfoBegin) {
  const char* texts[] = {
      "InfoKey: Title\nInfoValue: T\nInfoKey: Author\nInfoValue: A\n",
      "InfoKey: Title\r\nInfoValue: T\r\nInfoKey: Author\r\nInfoValue: A\r\n",
      "InfoBegin\nInfoKey: Title\nInfoValue: T\nInfoBegin\nInfoKey: Author\nInfoValue: A",
  };
  for (const char* text : texts) {
    const InfoUpdate u = parseInfoUpdate(text);
    ASSERT_EQ(u.entries.size(), 2u) << text;
    EXPECT_EQ(u.entries[0], std::make_pair(std::string("Title"), std::string("T")));
    EXPECT_EQ(u.entries[1], std::make_pair(std::string("Author"), std::string("A")));
    EXPECT_TRUE(u.problems.empty());
  }
}

TEST(InfoText, ValuesKeepTheirBlanksAndDecode) {
  const InfoUpdate u = parseInfoUpdate("InfoKey: Subject\nInfoValue:   two  \n"
                                       "InfoKey: Title\nInfoValue: Caf&#233; &amp; caf\xC3\xA9\n"
                                       "InfoKey: Author\nInfoValue: Stra\xDF"
                                       "e\n"
                                       "InfoKey: Keywords\nInfoValue:\n");
  ASSERT_EQ(u.entries.size(), 4u);
  EXPECT_EQ(u.entries[0].second, "  two  ");
  EXPECT_EQ(u.entries[1].second, "Caf\xC3\xA9 & caf\xC3\xA9");
  EXPECT_EQ(u.entries[2].second, "Stra\xC3\x9F"
                                 "e"); // Latin-1 input is accepted
  EXPECT_EQ(u.entries[3].second, "");
}

TEST(InfoText, ReportsUnpairedLines) {
  const InfoUpdate u = parseInfoUpdate("InfoValue: orphan\nInfoKey: A\nInfoKey: B\nInfoValue: b\n"
                                       "InfoKey: C\n");
  ASSERT_EQ(u.entries.size(), 1u);
  EXPECT_EQ(u.entries[0].first, "B");
  EXPECT_EQ(u.problems.size(), 3u);
}

TEST(InfoText, ReportEscaping) {
  EXPECT_EQ(escapeReportValue("Caf\xC3\xA9 <a&b> 'q\"", true),
            "Caf&#233; &lt;a&amp;b&gt; &apos;q&quot;");
  EXPECT_EQ(escapeReportValue("Caf\xC3\xA9 <a>", false), "Caf\xC3\xA9 <a>");
  EXPECT_EQ(escapeReportValue("two\nlines", false), "two&#10;lines");
  EXPECT_EQ(decodeReferences("&#x1F600;&#0;&bogus;&"), "\xF0\x9F\x98\x80&#0;&bogus;&");
}

} // namespace
} // namespace sundrel::tovix
