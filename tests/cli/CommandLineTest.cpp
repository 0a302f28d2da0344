// sundrel-split's command line: the size forms and the option forms, as
// tables of what is typed and what comes out.

#include "cli/CommandLine.h"
#include "settings/SizeLimit.h"

#include <gtest/gtest.h>

namespace sundrel::cli {
namespace {

TEST(SizeLimit, FormsGiveBytesOrSayWhatIsWrong) {
  struct Case {
    const char* text;
    std::uint64_t bytes; // 0: refused, with error containing `error`
    const char* error;
  };
  const Case cases[] = {
      // The window's presets, 1024-based.
      {"100K", 102400, ""},
      {"512K", 524288, ""},
      {"1000K", 1024000, ""},
      {"2000K", 2048000, ""},
      {"1M", 1048576, ""},
      {"2M", 2097152, ""},
      {"5M", 5242880, ""},
      // Byte counts.
      {"1", 1, ""},
      {"102400", 102400, ""},
      {"4294967295", 4294967295u, ""},
      {"100B", 100, ""},
      {"100 bytes", 100, ""},
      // Blanks around the size and before the unit, as people write it.
      {" 9.5 MB ", 9500000, ""},
      {"5 M", 5242880, ""},
      {"25 MiB", 26214400, ""},
      // Binary and decimal units, any case, decimals rounded down.
      {"100k", 102400, ""},
      {"25MiB", 26214400, ""},
      {"25mib", 26214400, ""},
      {"1G", 1073741824, ""},
      {"3gib", 3221225472u, ""},
      {"9.5M", 9961472, ""},
      {"0.3K", 307, ""},
      {"1KB", 1000, ""},
      {"1.5kb", 1500, ""},
      {"9.5MB", 9500000, ""},
      {"2GB", 2000000000, ""},
      {"0.000000001GB", 1, ""},
      // Refused.
      {"", 0, "byte count or a number with a unit"},
      {"12Q", 0, "byte count or a number with a unit"},
      {"-5", 0, "byte count or a number with a unit"},
      {"+5", 0, "byte count or a number with a unit"},
      {"Custom", 0, "byte count or a number with a unit"},
      {".5M", 0, "byte count or a number with a unit"},
      {"5.M", 0, "byte count or a number with a unit"},
      {"1.2.3M", 0, "byte count or a number with a unit"},
      {"5 0M", 0, "byte count or a number with a unit"},
      {"1e6", 0, "byte count or a number with a unit"},
      {"10MBit", 0, "byte count or a number with a unit"},
      {"1.5", 0, "whole number"},
      {"0", 0, "at least 1 byte"},
      {"0.1B", 0, "whole number"},
      {"0.0001K", 0, "at least 1 byte"},
      {"4294967296", 0, "largest limit"},
      {"4GiB", 0, "largest limit"},
      {"5GB", 0, "largest limit"},
      {"99999999999999999999", 0, "too many digits"},
      {"1844674407370955161G", 0, "largest limit"},
      {"1.0000000001G", 0, "too many digits"},
  };
  for (const auto& c : cases) {
    const settings::SizeText size = settings::parseSize(c.text);
    if (c.bytes != 0) {
      EXPECT_EQ(size.bytes, std::optional<std::uint32_t>(c.bytes)) << c.text << ": " << size.error;
    } else {
      EXPECT_FALSE(size.bytes.has_value()) << c.text;
      EXPECT_NE(size.error.find(c.error), std::string::npos) << c.text << ": " << size.error;
    }
  }
}

CommandLine parse(std::vector<std::string> words) {
  words.insert(words.begin(), "sundrel-split");
  std::vector<char*> argv;
  for (auto& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);
  return parseCommandLine(static_cast<int>(words.size()), argv.data());
}

// The mail limits, against sizes that Python's base64.encodebytes gives (76
// characters a line; CR LF counted as two): the largest part that fits, + 1.
TEST(SizeLimit, MailLimitLeavesRoomForBase64AndHeaders) {
  const std::pair<std::uint64_t, std::uint64_t> cases[] = {
      {10'000'000, 7'259'800},
      {20'000'000, 14'567'491},
      {25'000'000, 18'221'338},
      {65'616, 58},
      {65'614, 58},
      {65'540, 0},
      {65'536, 0},
  };
  for (const auto& [mail, limit] : cases) {
    EXPECT_EQ(settings::mailPartLimit(mail), limit) << mail;
    if (limit > 1) {
      EXPECT_LE(settings::base64MailBytes(limit - 1) + settings::kMailAllowance, mail);
      EXPECT_GT(settings::base64MailBytes(limit) + settings::kMailAllowance, mail);
    }
  }
  const CommandLine mail = parse({"--mail-size", "25MB", "a.pdf"});
  EXPECT_EQ(mail.options.sizeLimit, 18'221'338u) << mail.error;
  EXPECT_NE(parse({"--mail-size=60K", "a.pdf"}).error.find("no part fits"), std::string::npos);
}

TEST(CommandLine, SizeOptionForms) {
  const std::vector<std::vector<std::string>> forms = {
      {"--size=2M", "a.pdf"}, {"--size", "2M", "a.pdf"}, {"-s", "2M", "a.pdf"},
      {"-s2M", "a.pdf"},      {"a.pdf", "--size", "2M"}, {"--si=2M", "a.pdf"},
  };
  for (const auto& form : forms) {
    const CommandLine line = parse(form);
    ASSERT_EQ(line.action, Action::Run) << form[0] << ": " << line.error;
    EXPECT_EQ(line.options.sizeLimit, 2097152u) << form[0];
    EXPECT_EQ(line.options.files, std::vector<std::string>{"a.pdf"}) << form[0];
  }
}

TEST(CommandLine, EveryOptionInShortAndLongForm) {
  const CommandLine shortForms =
      parse({"-q", "-o", "out", "-p", "{basename}-{part:0000}", "a.pdf", "b.pdf"});
  const CommandLine longForms = parse({"--quiet", "--output-dir=out", "--pattern",
                                       "{basename}-{part:0000}", "a.pdf", "--", "b.pdf"});
  for (const CommandLine& line : {shortForms, longForms}) {
    ASSERT_EQ(line.action, Action::Run) << line.error;
    EXPECT_TRUE(line.options.quiet);
    EXPECT_EQ(line.options.outputDir, "out");
    EXPECT_EQ(line.options.pattern, "{basename}-{part:0000}");
    EXPECT_EQ(line.options.files, (std::vector<std::string>{"a.pdf", "b.pdf"}));
    EXPECT_EQ(line.options.sizeLimit, 102400u); // the first preset
    EXPECT_FALSE(line.options.settingsPath.has_value());
    EXPECT_FALSE(line.options.keepFonts);
  }
  EXPECT_TRUE(parse({"--keep-fonts", "a.pdf"}).options.keepFonts);
  EXPECT_EQ(parse({"--settings", "my.ini", "a.pdf"}).options.settingsPath, "my.ini");
  // After "--" a name that starts with a dash is a file.
  EXPECT_EQ(parse({"--", "-x.pdf"}).options.files, std::vector<std::string>{"-x.pdf"});
  EXPECT_EQ(parse({"--help", "--bogus"}).action, Action::Help);
  EXPECT_EQ(parse({"-h"}).action, Action::Help);
  EXPECT_EQ(parse({"--version"}).action, Action::Version);
}

TEST(CommandLine, UsageErrorsNameTheProblem) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--bogus", "a.pdf"}, "unknown option --bogus"},
      {{"--bogus=1", "a.pdf"}, "unknown option --bogus"},
      {{"-x", "a.pdf"}, "unknown option -x"},
      {{"--quiet=yes", "a.pdf"}, "option --quiet takes no value"},
      {{"--keep-fonts=no", "a.pdf"}, "option --keep-fonts takes no value"},
      {{"--size"}, "option --size needs a value"},
      {{"a.pdf", "-s"}, "option -s needs a value"},
      {{"--settings"}, "option --settings needs a value"},
      {{"--size", "12Q", "a.pdf"}, "bad size \"12Q\""},
      {{"-s", "0", "a.pdf"}, "bad size \"0\": the limit must be at least 1 byte"},
      {{"--output-dir=", "a.pdf"}, "--output-dir needs a directory"},
      {{"-q"}, "no PDF files given"},
      {{}, "no PDF files given"},
  };
  for (const auto& [words, message] : cases) {
    const CommandLine line = parse(words);
    EXPECT_EQ(line.action, Action::UsageError) << message;
    EXPECT_NE(line.error.find(message), std::string::npos) << message << " / " << line.error;
  }
}

TEST(CommandLine, HelpDescribesEveryOption) {
  const std::string help = helpText();
  for (const char* text : {"--size=SIZE", "-s,", "--output-dir=DIR", "-o,", "--pattern=PATTERN",
                           "-p,", "--settings=FILE", "--quiet", "-q,", "--help", "--version",
                           "--keep-fonts", "KiB", "KB", "9.5M", "Exit status", "Examples"})
    EXPECT_NE(help.find(text), std::string::npos) << text;
  EXPECT_NE(versionText().find(SUNDREL_VERSION), std::string::npos);
}

} // namespace
} // namespace sundrel::cli
