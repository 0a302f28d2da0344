#include "tovix/Engine.h"

#include "tovix/Command.h"
#include "tovix/InfoText.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFNameTreeObjectHelper.hh>
#include <qpdf/QPDFNumberTreeObjectHelper.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFOutlineObjectHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageLabelDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>

namespace sundrel::tovix {

namespace {

// Every failure the user should read: one line, no "Error: " prefix.
class Failure : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Paths in messages stay readable even when absurdly long.
std::string shown(const std::string& path) {
  constexpr std::size_t limit = 240;
  if (path.size() <= limit)
    return path;
  return path.substr(0, limit / 2) + "..." + path.substr(path.size() - limit / 2);
}

std::string oneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r')
      c = ' ';
  }
  return text;
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A file written beside its target and renamed into place, so a failed run
// leaves neither a partial file nor a damaged previous version.
class StagedOutput {
public:
  explicit StagedOutput(const std::string& target) : target_(target) {
    const std::size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? "." : target.substr(0, slash);
    if (dir.empty())
      dir = "/";
    std::string pattern = dir + "/.tovix-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const int fd = ::mkstemp(buf.data());
    if (fd < 0)
      throw Failure("Unable to open file for writing: " + shown(target) + ": " +
                    std::strerror(errno));
    temp_.assign(buf.data());
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
      const int saved = errno;
      ::close(fd);
      ::unlink(temp_.c_str());
      throw Failure("Unable to open file for writing: " + shown(target) + ": " +
                    std::strerror(saved));
    }
  }
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;
  ~StagedOutput() {
    if (file_ != nullptr)
      std::fclose(file_);
    if (!committed_)
      ::unlink(temp_.c_str());
  }

  std::FILE* file() { return file_; }

  void commit() {
    // mkstemp makes the file private; give it the mode a plain creation would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(::fileno(file_), 0666 & ~mask);
    const bool writeFailed = std::fflush(file_) != 0 || std::ferror(file_) != 0;
    const int saved = errno;
    const bool closeFailed = std::fclose(file_) != 0;
    file_ = nullptr;
    if (writeFailed || closeFailed)
      throw Failure("Unable to write file: " + shown(target_) + ": " +
                    std::strerror(writeFailed ? saved : errno));
    if (::rename(temp_.c_str(), target_.c_str()) != 0)
      throw Failure("Unable to write file: " + shown(target_) + ": " + std::strerror(errno));
    committed_ = true;
  }

private:
  std::string target_;
  std::string temp_;
  std::FILE* file_ = nullptr;
  bool committed_ = false;
};

struct OpenedInput {
  const Input* given = nullptr; // the input as the command line names it
  std::string data;             // the whole file, when small enough; outlives `pdf`
  std::unique_ptr<QPDF> pdf;
  std::vector<QPDFPageObjectHelper> pages;
  bool pagesLoaded = false;
  bool keepEncryption = false; // encrypted, yet opened without any password
  std::unique_ptr<QPDFAcroFormDocumentHelper> forms;
  bool sharesResourcesKnown = false;
  bool sharesResources = false;
};

class Engine {
public:
  Engine(const Command& cmd, std::FILE* out, std::FILE* err, std::FILE* in)
      : cmd_(cmd), out_(out), err_(err), in_(in) {}

  int execute() {
    checkOutputName();
    checkOutputIsNotAnInput();
    openInputs();
    switch (cmd_.operation) {
    case Operation::DumpData:
    case Operation::DumpDataUtf8:
      dumpData(*inputs_.front());
      break;
    case Operation::UpdateInfo:
    case Operation::UpdateInfoUtf8:
      updateInfo(*inputs_.front());
      break;
    case Operation::Copy:
      if (inputs_.size() == 1) {
        writeDocument(*inputs_.front()->pdf, inputs_.front()->keepEncryption, nullptr, false);
        break;
      }
      [[fallthrough]];
    case Operation::Cat:
      cat();
      break;
    }
    reportRepairs();
    return warnings_ ? ExitWarnings : ExitOk;
  }

private:
  void warn(const std::string& text) {
    std::fprintf(err_, "Warning: %s\n", oneLine(text).c_str());
    warnings_ = true;
  }

  // Refused before any work, so no temporary file is made for a name that
  // could never be created.
  void checkOutputName() {
    if (!cmd_.hasOutput || cmd_.output == "-")
      return;
    const std::size_t slash = cmd_.output.rfind('/');
    const std::size_t nameLength =
        slash == std::string::npos ? cmd_.output.size() : cmd_.output.size() - slash - 1;
    if (cmd_.output.size() >= PATH_MAX || nameLength > NAME_MAX)
      throw Failure("Unable to open file for writing: " + shown(cmd_.output) + ": " +
                    std::strerror(ENAMETOOLONG));
    if (nameLength == 0)
      throw Failure("The given output filename is a directory: " + shown(cmd_.output));
  }

  void checkOutputIsNotAnInput() {
    if (!cmd_.hasOutput || cmd_.output == "-")
      return;
    struct stat target {};
    if (::stat(cmd_.output.c_str(), &target) != 0)
      return;
    if (S_ISDIR(target.st_mode))
      throw Failure("The given output filename is a directory: " + shown(cmd_.output));
    for (const Input& in : cmd_.inputs) {
      struct stat source {};
      if (::stat(in.path.c_str(), &source) == 0 && sameFile(source, target))
        throw Failure("The given output filename: " + shown(cmd_.output) +
                      " matches an input filename.");
    }
    if (!cmd_.infoPath.empty() && cmd_.infoPath != "-") {
      struct stat info {};
      if (::stat(cmd_.infoPath.c_str(), &info) == 0 && sameFile(info, target))
        throw Failure("The given output filename: " + shown(cmd_.output) +
                      " matches the info filename.");
    }
    if (cmd_.ask)
      confirmOverwrite();
  }

  void confirmOverwrite() {
    std::fprintf(err_, "Warning: the output file %s already exists. Overwrite? (y/n): ",
                 shown(cmd_.output).c_str());
    std::fflush(err_);
    char answer[16] = {};
    if (in_ == nullptr || std::fgets(answer, sizeof answer, in_) == nullptr ||
        (answer[0] != 'y' && answer[0] != 'Y'))
      throw Failure("The output file " + shown(cmd_.output) + " exists and was not replaced");
  }

  static std::unique_ptr<QPDF> tryOpen(const std::string& path, const std::string& data,
                                       const char* password) {
    auto pdf = std::make_unique<QPDF>();
    pdf->setSuppressWarnings(true);
    if (data.empty())
      pdf->processFile(path.c_str(), password);
    else
      pdf->processMemoryFile(path.c_str(), data.data(), data.size(), password);
    return pdf;
  }

  void openInputs() {
    // The same file named twice (two handles) is opened once.
    std::map<std::pair<std::string, std::string>, OpenedInput*> byPath;
    for (const Input& in : cmd_.inputs) {
      const std::string key = in.path;
      auto found = byPath.find({key, in.password});
      if (found != byPath.end()) {
        inputIndex_.push_back(found->second);
        continue;
      }
      auto opened = std::make_unique<OpenedInput>();
      opened->given = &in;
      opened->pdf = openOne(in, opened->data);
      opened->keepEncryption = opened->pdf->isEncrypted() && !in.hasPassword;
      byPath[{key, in.password}] = opened.get();
      inputIndex_.push_back(opened.get());
      inputs_.push_back(std::move(opened));
    }
  }

  // Reads a file of ordinary size in one go: libqpdf otherwise seeks and
  // reads once per object, which dominates a short extraction.
  static void slurp(const std::string& path, std::size_t size, std::string& data) {
    constexpr std::size_t limit = 64u << 20;
    if (size > limit)
      return;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
      return;
    data.resize(size);
    if (std::fread(data.data(), 1, size, f) != size)
      data.clear(); // changed under us: let libqpdf read the file itself
    std::fclose(f);
  }

  std::unique_ptr<QPDF> openOne(const Input& in, std::string& data) {
    struct stat st {};
    if (::stat(in.path.c_str(), &st) != 0)
      throw Failure("Unable to find file: " + shown(in.path) + ": " + std::strerror(errno));
    if (S_ISDIR(st.st_mode))
      throw Failure("Failed to open PDF file: " + shown(in.path) + ": it is a directory");
    if (st.st_size == 0)
      throw Failure("Failed to open PDF file: " + shown(in.path) + ": the file is empty");
    const char* password = in.hasPassword ? in.password.c_str() : nullptr;
    try {
      slurp(in.path, static_cast<std::size_t>(st.st_size), data);
      return tryOpen(in.path, data, password);
    } catch (const QPDFExc& e) {
      if (e.getErrorCode() != qpdf_e_password)
        throw Failure("Failed to open PDF file: " + shown(in.path) + ": " +
                      oneLine(e.getMessageDetail()));
      // Older encryption takes PDFDocEncoding passwords; a UTF-8 one may need converting.
      std::string converted;
      if (in.hasPassword && QUtil::utf8_to_pdf_doc(in.password, converted) &&
          converted != in.password) {
        try {
          return tryOpen(in.path, data, converted.c_str());
        } catch (const QPDFExc&) {
        }
      }
      throw Failure("Failed to open PDF file: " + shown(in.path) + ": " +
                    (in.hasPassword ? "the given input_pw password is incorrect"
                                    : "OWNER OR USER PASSWORD REQUIRED, but not given"));
    } catch (const std::exception& e) {
      throw Failure("Failed to open PDF file: " + shown(in.path) + ": " + oneLine(e.what()));
    }
  }

  static std::vector<QPDFPageObjectHelper>& pagesOf(OpenedInput& in) {
    if (!in.pagesLoaded) {
      try {
        in.pages = QPDFPageDocumentHelper(*in.pdf).getAllPages();
      } catch (const std::exception& e) {
        throw Failure("Failed to read the pages of " + shown(in.given->path) + ": " +
                      oneLine(e.what()));
      }
      in.pagesLoaded = true;
    }
    return in.pages;
  }

  void reportRepairs() {
    for (const auto& in : inputs_) {
      if (in->pdf->anyWarnings()) {
        const auto list = in->pdf->getWarnings();
        warnRepaired(*in, list.size(), list.front().what());
      }
    }
  }

  void warnRepaired(const OpenedInput& in, std::size_t count, const std::string& first) {
    // A repaired input still gives a complete output, which the caller
    // judges by exit code 0; the note is for a human reading the console.
    std::fprintf(err_, "Warning: %s is damaged and was repaired (%zu problem%s; first: %s)\n",
                 shown(in.given->path).c_str(), count, count == 1 ? "" : "s",
                 oneLine(first).c_str());
  }

  // ----- dump_data -----

  static std::string number(double v) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
  }

  static std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (char c : bytes) {
      const auto b = static_cast<unsigned char>(c);
      out += digits[b >> 4];
      out += digits[b & 15];
    }
    return out;
  }

  void dumpData(OpenedInput& in) {
    const bool ascii = cmd_.operation == Operation::DumpData;
    std::ostringstream report;
    QPDF& pdf = *in.pdf;
    QPDFObjectHandle info = pdf.getTrailer().getKey("/Info");
    if (info.isDictionary()) {
      for (const std::string& key : info.getKeys()) {
        QPDFObjectHandle value = info.getKey(key);
        if (!value.isString())
          continue;
        report << "InfoBegin\nInfoKey: " << escapeReportValue(toUtf8(key.substr(1)), ascii)
               << "\nInfoValue: " << escapeReportValue(value.getUTF8Value(), ascii) << "\n";
      }
    }
    QPDFObjectHandle id = pdf.getTrailer().getKey("/ID");
    if (id.isArray() && id.getArrayNItems() == 2 && id.getArrayItem(0).isString() &&
        id.getArrayItem(1).isString()) {
      report << "PdfID0: " << hex(id.getArrayItem(0).getStringValue()) << "\n";
      report << "PdfID1: " << hex(id.getArrayItem(1).getStringValue()) << "\n";
    }
    auto& pages = pagesOf(in);
    report << "NumberOfPages: " << pages.size() << "\n";

    std::map<QPDFObjGen, std::size_t> pageIndex;
    for (std::size_t i = 0; i < pages.size(); ++i)
      pageIndex.emplace(pages[i].getObjectHandle().getObjGen(), i + 1);
    try {
      QPDFOutlineDocumentHelper outlines(pdf);
      dumpBookmarks(report, outlines.getTopLevelOutlines(), 1, pageIndex, ascii);
    } catch (const std::exception& e) {
      warn("bookmarks of " + shown(in.given->path) + " could not be read: " + e.what());
    }

    for (std::size_t i = 0; i < pages.size(); ++i) {
      QPDFPageObjectHelper& page = pages[i];
      report << "PageMediaBegin\nPageMediaNumber: " << i + 1 << "\n";
      QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
      report << "PageMediaRotation: "
             << (rotate.isInteger() ? ((rotate.getIntValue() % 360) + 360) % 360 : 0) << "\n";
      QPDFObjectHandle media = page.getMediaBox();
      if (media.isRectangle()) {
        const auto r = media.getArrayAsRectangle();
        report << "PageMediaRect: " << number(r.llx) << " " << number(r.lly) << " " << number(r.urx)
               << " " << number(r.ury) << "\n";
        report << "PageMediaDimensions: " << number(r.urx - r.llx) << " " << number(r.ury - r.lly)
               << "\n";
      }
      QPDFObjectHandle crop = page.getAttribute("/CropBox", false);
      if (crop.isRectangle()) {
        const auto r = crop.getArrayAsRectangle();
        report << "PageMediaCropRect: " << number(r.llx) << " " << number(r.lly) << " "
               << number(r.urx) << " " << number(r.ury) << "\n";
      }
    }
    dumpPageLabels(report, pdf, ascii);
    emit(report.str());
  }

  void dumpBookmarks(std::ostringstream& report, std::vector<QPDFOutlineObjectHelper> items,
                     int level, const std::map<QPDFObjGen, std::size_t>& pageIndex, bool ascii) {
    if (level > 64)
      return;
    for (QPDFOutlineObjectHelper& item : items) {
      std::size_t target = 0;
      QPDFObjectHandle page = item.getDestPage();
      if (page.isIndirect()) {
        auto found = pageIndex.find(page.getObjGen());
        if (found != pageIndex.end())
          target = found->second;
      }
      report << "BookmarkBegin\nBookmarkTitle: " << escapeReportValue(item.getTitle(), ascii)
             << "\nBookmarkLevel: " << level << "\nBookmarkPageNumber: " << target << "\n";
      dumpBookmarks(report, item.getKids(), level + 1, pageIndex, ascii);
    }
  }

  static void dumpPageLabels(std::ostringstream& report, QPDF& pdf, bool ascii) {
    QPDFObjectHandle labels = pdf.getRoot().getKey("/PageLabels");
    if (!labels.isDictionary())
      return;
    QPDFNumberTreeObjectHelper tree(labels, pdf);
    for (auto [index, label] : tree) {
      if (!label.isDictionary())
        continue;
      report << "PageLabelBegin\nPageLabelNewIndex: " << index + 1 << "\n";
      QPDFObjectHandle start = label.getKey("/St");
      report << "PageLabelStart: " << (start.isInteger() ? start.getIntValue() : 1) << "\n";
      QPDFObjectHandle prefix = label.getKey("/P");
      if (prefix.isString())
        report << "PageLabelPrefix: " << escapeReportValue(prefix.getUTF8Value(), ascii) << "\n";
      QPDFObjectHandle style = label.getKey("/S");
      const std::string s = style.isName() ? style.getName() : "";
      report << "PageLabelNumStyle: "
             << (s == "/D"   ? "DecimalArabicNumerals"
                 : s == "/R" ? "UppercaseRomanNumerals"
                 : s == "/r" ? "LowercaseRomanNumerals"
                 : s == "/A" ? "UppercaseLetters"
                 : s == "/a" ? "LowercaseLetters"
                             : "NoNumber")
             << "\n";
    }
  }

  void emit(const std::string& data) {
    if (!cmd_.hasOutput || cmd_.output == "-") {
      if (std::fwrite(data.data(), 1, data.size(), out_) != data.size() || std::fflush(out_) != 0)
        throw Failure("Unable to write to standard output");
      return;
    }
    StagedOutput staged(cmd_.output);
    if (std::fwrite(data.data(), 1, data.size(), staged.file()) != data.size())
      throw Failure("Unable to write file: " + shown(cmd_.output) + ": " + std::strerror(errno));
    staged.commit();
  }

  // ----- update_info -----

  std::string readInfoFile() {
    std::string text;
    if (cmd_.infoPath == "-") {
      char buf[4096];
      std::size_t n = 0;
      while (in_ != nullptr && (n = std::fread(buf, 1, sizeof buf, in_)) > 0)
        text.append(buf, n);
      return text;
    }
    struct stat st {};
    if (::stat(cmd_.infoPath.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
      throw Failure("Failed to open info file: " + shown(cmd_.infoPath) + ": " +
                    (S_ISDIR(st.st_mode) ? "it is a directory" : std::strerror(errno)));
    std::ifstream file(cmd_.infoPath, std::ios::binary);
    if (!file)
      throw Failure("Failed to open info file: " + shown(cmd_.infoPath) + ": " +
                    std::strerror(errno));
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
  }

  void updateInfo(OpenedInput& in) {
    const InfoUpdate update = parseInfoUpdate(readInfoFile());
    for (const std::string& problem : update.problems)
      warn("info file " + shown(cmd_.infoPath) + ": " + problem);
    QPDF& pdf = *in.pdf;
    QPDFObjectHandle info = pdf.getTrailer().getKey("/Info");
    if (!info.isDictionary()) {
      info = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
      pdf.getTrailer().replaceKey("/Info", info);
    }
    for (const auto& [key, value] : update.entries) {
      const std::string name = "/" + key;
      if (value.empty())
        info.removeKey(name); // pdftk: an empty value removes the entry
      else
        info.replaceKey(name, QPDFObjectHandle::newUnicodeString(value));
    }
    writeDocument(pdf, in.keepEncryption, nullptr, false);
  }

  // ----- cat -----

  struct Selected {
    OpenedInput* input;
    std::uint64_t page; // 1-based
    const PageRange* range;
  };

  std::vector<Selected> selectPages() {
    std::vector<Selected> selection;
    std::vector<PageRange>& all = wholeRanges_; // outlives the selection that points into it
    const std::vector<PageRange>* ranges = &cmd_.ranges;
    if (ranges->empty()) {
      for (std::size_t i = 0; i < cmd_.inputs.size(); ++i) {
        PageRange r;
        r.text = cmd_.inputs[i].handle.empty() ? cmd_.inputs[i].path : cmd_.inputs[i].handle;
        r.input = i;
        r.whole = true;
        all.push_back(r);
      }
      ranges = &all;
    }
    for (const PageRange& range : *ranges) {
      OpenedInput* input = inputIndex_.at(range.input);
      std::vector<std::uint64_t> numbers;
      std::string error;
      if (!resolvePageRange(range, pagesOf(*input).size(), numbers, error))
        throw Failure(error);
      for (std::uint64_t n : numbers)
        selection.push_back({input, n, &range});
    }
    if (selection.empty())
      throw Failure("No pages were selected by the given page ranges");
    return selection;
  }

  // A page whose content or resources point at a missing object would come
  // out blank; refuse it rather than report success.
  static void checkPage(OpenedInput& in, std::uint64_t number, QPDFPageObjectHelper& page) {
    auto missing = [](QPDFObjectHandle h) { return h.isIndirect() && h.isNull(); };
    QPDFObjectHandle dict = page.getObjectHandle();
    std::vector<QPDFObjectHandle> refs{dict.getKey("/Contents"), dict.getKey("/Resources")};
    QPDFObjectHandle contents = dict.getKey("/Contents");
    if (contents.isArray()) {
      for (auto& item : contents.aitems())
        refs.push_back(item);
    }
    for (auto& h : refs) {
      if (missing(h))
        throw Failure("Damaged PDF file: " + shown(in.given->path) + ": page " +
                      std::to_string(number) + " refers to the missing object " +
                      h.getObjGen().unparse(' '));
    }
  }

  // Whether pages share resource dictionaries, so that copying one page
  // would drag in what others use. Trimming means parsing content streams,
  // which is wasted work when every page has resources of its own.
  bool sharesResources(OpenedInput& in) {
    if (in.sharesResourcesKnown)
      return in.sharesResources;
    in.sharesResourcesKnown = true;
    std::set<QPDFObjGen> seen;
    auto sharedOnce = [&seen](QPDFObjectHandle h) {
      return h.isIndirect() && !seen.insert(h.getObjGen()).second;
    };
    static const char* const kinds[] = {"/Font",    "/XObject", "/ExtGState", "/ColorSpace",
                                        "/Pattern", "/Shading", "/Properties"};
    for (QPDFPageObjectHelper& page : pagesOf(in)) {
      QPDFObjectHandle resources = page.getObjectHandle().getKey("/Resources");
      if (sharedOnce(resources))
        return in.sharesResources = true;
      if (!resources.isDictionary())
        continue;
      for (const char* kind : kinds) {
        if (sharedOnce(resources.getKey(kind)))
          return in.sharesResources = true;
      }
    }
    return false;
  }

  void cat() {
    const std::vector<Selected> selection = selectPages();

    QPDF out;
    out.emptyPDF();
    out.setSuppressWarnings(true);
    QPDFPageDocumentHelper outPages(out);
    QPDFAcroFormDocumentHelper outForms(out);

    std::set<OpenedInput*> prepared;
    std::map<std::pair<OpenedInput*, QPDFObjGen>, QPDFObjectHandle> firstCopy;
    std::vector<OpenedInput*> order; // inputs in order of first use
    std::vector<QPDFObjectHandle> labels;
    bool anyLabels = false;
    std::int64_t outIndex = 0;
    bool needAppearances = false;
    std::vector<PageCopy> copies;

    for (const Selected& sel : selection) {
      OpenedInput& in = *sel.input;
      if (prepared.insert(&in).second) {
        order.push_back(&in);
        QPDFPageDocumentHelper(*in.pdf).pushInheritedAttributesToPage();
        in.forms = std::make_unique<QPDFAcroFormDocumentHelper>(*in.pdf);
        if (in.forms->hasAcroForm() && in.forms->getNeedAppearances())
          needAppearances = true;
        anyLabels = anyLabels || QPDFPageLabelDocumentHelper(*in.pdf).hasPageLabels();
      }
      QPDFPageObjectHelper source = pagesOf(in).at(sel.page - 1);
      checkPage(in, sel.page, source);
      const QPDFObjGen sourceId = source.getObjectHandle().getObjGen();
      QPDFPageObjectHelper toCopy = source;
      const bool first = firstCopy.find({&in, sourceId}) == firstCopy.end();
      if (!first) {
        toCopy = source.shallowCopyPage();
      } else if (sharesResources(in)) {
        // Only what the page draws travels with it: resources shared with
        // other pages are trimmed to the names this page's content uses.
        toCopy.removeUnreferencedResources();
      }
      outPages.addPage(toCopy, false);
      QPDFObjectHandle added = out.copyForeignObject(toCopy.getObjectHandle());
      if (first)
        firstCopy.emplace(std::make_pair(&in, sourceId), added);
      copies.push_back({&in, toCopy.getObjectHandle(), added});
      if (sel.range->rotation != 0 || sel.range->rotationAbsolute)
        QPDFPageObjectHelper(added).rotatePage(sel.range->rotation, !sel.range->rotationAbsolute);
      if (anyLabels || QPDFPageLabelDocumentHelper(*in.pdf).hasPageLabels()) {
        anyLabels = true;
        QPDFPageLabelDocumentHelper(*in.pdf).getLabelsForPageRange(
            static_cast<long long>(sel.page - 1), static_cast<long long>(sel.page - 1), outIndex,
            labels);
      }
      ++outIndex;
    }

    // Links are fixed once every page has its copy: a link to a later page
    // was copied before its target existed.
    for (PageCopy& copy : copies)
      retargetLinks(copy, firstCopy);
    for (PageCopy& copy : copies) {
      if (copy.input->forms->hasAcroForm())
        outForms.fixCopiedAnnotations(copy.copy, copy.source, *copy.input->forms);
    }
    copyNamedDestinations(out, order, firstCopy);

    if (anyLabels && !labels.empty()) {
      QPDFObjectHandle tree = QPDFObjectHandle::newDictionary();
      tree.replaceKey("/Nums", QPDFObjectHandle::newArray(labels));
      out.getRoot().replaceKey("/PageLabels", tree);
    }
    if (needAppearances)
      outForms.setNeedAppearances(true);

    copyOutlines(out, order, firstCopy);

    OpenedInput& primary = *selection.front().input;
    QPDFObjectHandle info = primary.pdf->getTrailer().getKey("/Info");
    if (info.isIndirect() && info.isDictionary())
      out.getTrailer().replaceKey("/Info", out.copyForeignObject(info));

    OpenedInput* keep = nullptr;
    for (OpenedInput* in : order) {
      if (in->keepEncryption) {
        keep = in;
        break;
      }
    }
    std::string version = "1.3";
    for (OpenedInput* in : order) {
      if (in->pdf->getPDFVersion() > version)
        version = in->pdf->getPDFVersion();
    }
    writeDocument(out, false, keep, true, version);
  }

  using CopyMap = std::map<std::pair<OpenedInput*, QPDFObjGen>, QPDFObjectHandle>;

  struct PageCopy {
    OpenedInput* input;
    QPDFObjectHandle source; // page in the input
    QPDFObjectHandle copy;   // page in the output
  };

  // A destination array re-targeted at the copied page, or an uninitialized
  // handle when its page was not copied.
  static QPDFObjectHandle retarget(QPDFObjectHandle dest, OpenedInput* in, const CopyMap& map) {
    if (dest.isDictionary())
      dest = dest.getKey("/D");
    if (!dest.isArray() || dest.getArrayNItems() < 1)
      return {};
    QPDFObjectHandle page = dest.getArrayItem(0);
    auto found = page.isIndirect() ? map.find({in, page.getObjGen()}) : map.end();
    if (found == map.end())
      return {};
    std::vector<QPDFObjectHandle> parts{found->second};
    for (int i = 1; i < dest.getArrayNItems(); ++i) {
      QPDFObjectHandle p = dest.getArrayItem(i);
      parts.push_back(p.isNumber() || p.isName() || p.isBool()
                          ? QPDFObjectHandle::parse(p.unparseResolved())
                          : QPDFObjectHandle::newNull());
    }
    return QPDFObjectHandle::newArray(parts);
  }

  // Link annotations with explicit destinations point at the copies; links
  // to pages left out lose their action instead of pointing nowhere.
  void retargetLinks(PageCopy copy, const CopyMap& map) {
    QPDFObjectHandle sourceAnnots = copy.source.getKey("/Annots");
    QPDFObjectHandle copyAnnots = copy.copy.getKey("/Annots");
    if (!sourceAnnots.isArray() || !copyAnnots.isArray() ||
        sourceAnnots.getArrayNItems() != copyAnnots.getArrayNItems())
      return;
    for (int i = 0; i < sourceAnnots.getArrayNItems(); ++i) {
      QPDFObjectHandle src = sourceAnnots.getArrayItem(i);
      QPDFObjectHandle dst = copyAnnots.getArrayItem(i);
      if (!src.isDictionary() || !dst.isDictionary() || !src.getKey("/Subtype").isName() ||
          src.getKey("/Subtype").getName() != "/Link")
        continue;
      QPDFObjectHandle action = src.getKey("/A");
      const bool goTo = action.isDictionary() && action.getKey("/S").isName() &&
                        action.getKey("/S").getName() == "/GoTo";
      QPDFObjectHandle dest = src.hasKey("/Dest") ? src.getKey("/Dest")
                              : goTo              ? action.getKey("/D")
                                                  : QPDFObjectHandle();
      if (!dest.isInitialized() || !(dest.isArray() || dest.isDictionary()))
        continue; // named destinations resolve through the copied name tree
      QPDFObjectHandle fixed = retarget(dest, copy.input, map);
      if (src.hasKey("/Dest")) {
        if (fixed.isInitialized())
          dst.replaceKey("/Dest", fixed);
        else
          dst.removeKey("/Dest");
      } else {
        if (fixed.isInitialized()) {
          QPDFObjectHandle newAction = QPDFObjectHandle::newDictionary();
          newAction.replaceKey("/S", QPDFObjectHandle::newName("/GoTo"));
          newAction.replaceKey("/D", fixed);
          dst.replaceKey("/A", newAction);
        } else {
          dst.removeKey("/A");
        }
      }
    }
  }

  // Named destinations that lead to copied pages, so links and bookmarks
  // that use names keep working.
  void copyNamedDestinations(QPDF& out, const std::vector<OpenedInput*>& order,
                             const CopyMap& map) {
    std::map<std::string, QPDFObjectHandle> named;    // name tree: strings
    std::map<std::string, QPDFObjectHandle> oldStyle; // catalog /Dests: names
    for (OpenedInput* in : order) {
      try {
        QPDFObjectHandle root = in->pdf->getRoot();
        QPDFObjectHandle names = root.getKey("/Names");
        QPDFObjectHandle tree = names.isDictionary() ? names.getKey("/Dests") : names;
        if (tree.isDictionary()) {
          for (auto [key, value] : QPDFNameTreeObjectHelper(tree, *in->pdf)) {
            QPDFObjectHandle fixed = retarget(value, in, map);
            if (fixed.isInitialized())
              named.emplace(key, fixed);
          }
        }
        QPDFObjectHandle dests = root.getKey("/Dests");
        if (dests.isDictionary()) {
          for (const std::string& key : dests.getKeys()) {
            QPDFObjectHandle fixed = retarget(dests.getKey(key), in, map);
            if (fixed.isInitialized())
              oldStyle.emplace(key, fixed);
          }
        }
      } catch (const std::exception& e) {
        warn("named destinations of " + shown(in->given->path) +
             " could not be copied: " + e.what());
      }
    }
    if (!named.empty()) {
      auto tree = QPDFNameTreeObjectHelper::newEmpty(out);
      for (const auto& [key, dest] : named)
        tree.insert(key, dest);
      QPDFObjectHandle names = QPDFObjectHandle::newDictionary();
      names.replaceKey("/Dests", out.makeIndirectObject(tree.getObjectHandle()));
      out.getRoot().replaceKey("/Names", names);
    }
    if (!oldStyle.empty()) {
      QPDFObjectHandle dests = QPDFObjectHandle::newDictionary();
      for (const auto& [key, dest] : oldStyle)
        dests.replaceKey(key, dest);
      out.getRoot().replaceKey("/Dests", out.makeIndirectObject(dests));
    }
  }

  struct OutlineNode {
    std::string title;
    QPDFObjectHandle dest; // a direct array
    QPDFObjectHandle color;
    QPDFObjectHandle flags;
    bool open = false;
    std::vector<OutlineNode> kids;
  };

  // Keeps the bookmarks that lead to a copied page, re-targeted at the copy;
  // the children of a dropped bookmark move up to its place.
  void collectOutlines(std::vector<QPDFOutlineObjectHelper> items, OpenedInput* in,
                       const std::map<std::pair<OpenedInput*, QPDFObjGen>, QPDFObjectHandle>& map,
                       std::vector<OutlineNode>& nodes, int depth) {
    if (depth > 64)
      return;
    for (QPDFOutlineObjectHelper& item : items) {
      std::vector<OutlineNode> kids;
      collectOutlines(item.getKids(), in, map, kids, depth + 1);
      QPDFObjectHandle page = item.getDestPage();
      auto found = page.isIndirect() ? map.find({in, page.getObjGen()}) : map.end();
      if (found == map.end()) {
        for (auto& kid : kids)
          nodes.push_back(std::move(kid));
        continue;
      }
      OutlineNode node;
      node.title = item.getTitle();
      QPDFObjectHandle dest = item.getDest();
      std::vector<QPDFObjectHandle> parts{found->second};
      if (dest.isArray()) {
        for (int i = 1; i < dest.getArrayNItems(); ++i) {
          QPDFObjectHandle p = dest.getArrayItem(i);
          parts.push_back(p.isNumber() || p.isName() || p.isBool()
                              ? QPDFObjectHandle::parse(p.unparseResolved())
                              : QPDFObjectHandle::newNull());
        }
      }
      if (parts.size() == 1)
        parts.push_back(QPDFObjectHandle::newName("/Fit"));
      node.dest = QPDFObjectHandle::newArray(parts);
      QPDFObjectHandle oh = item.getObjectHandle();
      QPDFObjectHandle color = oh.getKey("/C");
      if (color.isArray() && color.getArrayNItems() == 3)
        node.color = QPDFObjectHandle::parse(color.unparseResolved());
      QPDFObjectHandle flags = oh.getKey("/F");
      if (flags.isInteger())
        node.flags = QPDFObjectHandle::newInteger(flags.getIntValue());
      node.open = item.getCount() > 0;
      node.kids = std::move(kids);
      nodes.push_back(std::move(node));
    }
  }

  // Links the nodes under `parent`; returns how many items are visible.
  static long long linkOutlines(QPDF& out, QPDFObjectHandle parent,
                                std::vector<OutlineNode>& nodes) {
    long long visible = 0;
    QPDFObjectHandle prev;
    QPDFObjectHandle firstItem;
    for (OutlineNode& node : nodes) {
      QPDFObjectHandle item = out.makeIndirectObject(QPDFObjectHandle::newDictionary());
      item.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(node.title));
      item.replaceKey("/Parent", parent);
      item.replaceKey("/Dest", node.dest);
      if (node.color.isInitialized())
        item.replaceKey("/C", node.color);
      if (node.flags.isInitialized())
        item.replaceKey("/F", node.flags);
      if (prev.isInitialized()) {
        prev.replaceKey("/Next", item);
        item.replaceKey("/Prev", prev);
      } else {
        firstItem = item;
      }
      prev = item;
      ++visible;
      if (!node.kids.empty()) {
        const long long below = linkOutlines(out, item, node.kids);
        item.replaceKey("/Count", QPDFObjectHandle::newInteger(node.open ? below : -below));
        if (node.open)
          visible += below;
      }
    }
    if (firstItem.isInitialized()) {
      parent.replaceKey("/First", firstItem);
      parent.replaceKey("/Last", prev);
    }
    return visible;
  }

  void copyOutlines(QPDF& out, const std::vector<OpenedInput*>& order,
                    const std::map<std::pair<OpenedInput*, QPDFObjGen>, QPDFObjectHandle>& map) {
    std::vector<OutlineNode> nodes;
    for (OpenedInput* in : order) {
      try {
        QPDFOutlineDocumentHelper outlines(*in->pdf);
        if (outlines.hasOutlines())
          collectOutlines(outlines.getTopLevelOutlines(), in, map, nodes, 0);
      } catch (const std::exception& e) {
        warn("bookmarks of " + shown(in->given->path) + " could not be copied: " + e.what());
      }
    }
    if (nodes.empty())
      return;
    QPDFObjectHandle root = out.makeIndirectObject(QPDFObjectHandle::newDictionary());
    root.replaceKey("/Type", QPDFObjectHandle::newName("/Outlines"));
    const long long visible = linkOutlines(out, root, nodes);
    root.replaceKey("/Count", QPDFObjectHandle::newInteger(visible));
    out.getRoot().replaceKey("/Outlines", root);
  }

  // ----- writing -----

  static std::string passwordBytes(const std::string& utf8) {
    // RC4 and AES-128 handlers take PDFDocEncoding passwords.
    std::string converted;
    if (QUtil::utf8_to_pdf_doc(utf8, converted))
      return converted;
    return utf8;
  }

  void applyEncryption(QPDFWriter& writer) {
    const Permissions& p = cmd_.allow;
    const std::string user = passwordBytes(cmd_.userPassword);
    const std::string owner =
        passwordBytes(cmd_.hasOwnerPassword ? cmd_.ownerPassword : cmd_.userPassword);
    const qpdf_r3_print_e print = p.printing           ? qpdf_r3p_full
                                  : p.degradedPrinting ? qpdf_r3p_low
                                                       : qpdf_r3p_none;
    switch (cmd_.encryption) {
    case Encryption::Rc4_40:
      writer.setR2EncryptionParametersInsecure(user.c_str(), owner.c_str(),
                                               p.printing || p.degradedPrinting, p.modifyContents,
                                               p.copyContents, p.modifyAnnotations);
      break;
    case Encryption::Rc4_128:
      writer.setR3EncryptionParametersInsecure(user.c_str(), owner.c_str(), p.screenReaders,
                                               p.copyContents, p.assembly, p.modifyAnnotations,
                                               p.fillIn, p.modifyContents, print);
      break;
    case Encryption::Aes128:
      writer.setR4EncryptionParametersInsecure(user.c_str(), owner.c_str(), p.screenReaders,
                                               p.copyContents, p.assembly, p.modifyAnnotations,
                                               p.fillIn, p.modifyContents, print, true, true);
      break;
    case Encryption::None:
      break;
    }
  }

  // Writes `pdf` to the output. `preserve`: keep the document's own
  // encryption; `encryptLike`: take the encryption of that input instead.
  void writeDocument(QPDF& pdf, bool preserve, OpenedInput* encryptLike, bool fresh,
                     const std::string& minVersion = "") {
    std::unique_ptr<StagedOutput> staged;
    QPDFWriter writer(pdf);
    const bool toStdout = cmd_.output == "-";
    if (toStdout) {
      writer.setOutputMemory();
    } else {
      staged = std::make_unique<StagedOutput>(cmd_.output);
      writer.setOutputFile(cmd_.output.c_str(), staged->file(), false);
    }
    bool encrypted = false;
    if (cmd_.encryption != Encryption::None) {
      writer.setPreserveEncryption(false);
      applyEncryption(writer);
      encrypted = true;
    } else if (encryptLike != nullptr) {
      writer.copyEncryptionParameters(*encryptLike->pdf);
      encrypted = true;
    } else {
      writer.setPreserveEncryption(preserve);
      encrypted = preserve && pdf.isEncrypted();
    }
    if (!encrypted) {
      // Same input and range, same bytes: the split measures a range once
      // and extracts it again, and both must have the same size.
      writer.setDeterministicID(true);
    }
    if (fresh)
      writer.setObjectStreamMode(qpdf_o_generate);
    if (!minVersion.empty())
      writer.setMinimumPDFVersion(minVersion);
    try {
      writer.write();
    } catch (const Failure&) {
      throw;
    } catch (const std::exception& e) {
      throw Failure("Unable to write " + shown(cmd_.output) + ": " + oneLine(e.what()));
    }
    if (toStdout) {
      auto buffer = writer.getBufferSharedPointer();
      const auto size = buffer->getSize();
      if (std::fwrite(buffer->getBuffer(), 1, size, out_) != size || std::fflush(out_) != 0)
        throw Failure("Unable to write to standard output");
    } else {
      staged->commit();
    }
  }

  const Command& cmd_;
  std::FILE* out_;
  std::FILE* err_;
  std::FILE* in_;
  std::vector<std::unique_ptr<OpenedInput>> inputs_;
  std::vector<OpenedInput*> inputIndex_; // one per Command::inputs entry
  std::vector<PageRange> wholeRanges_;   // every page of every input, when no range is given
  bool warnings_ = false;
};

} // namespace

int run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, std::FILE* in) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs("tovix.dll: the Sundrel PDF engine (pdftk command language)\n"
               "usage: tovix.dll <input PDF files | HANDLE=file> [input_pw <passwords>]\n"
               "         [cat <page ranges> | dump_data | dump_data_utf8 |\n"
               "          update_info <file> | update_info_utf8 <file>]\n"
               "         output <file | -> [encrypt_40bit | encrypt_128bit | encrypt_aes128]\n"
               "         [user_pw <pw>] [owner_pw <pw>] [allow <permissions>] "
               "[dont_ask | do_ask]\n",
               args.empty() ? err : out);
    return args.empty() ? ExitError : ExitOk;
  }
  ParseResult parsed = parseCommand(args);
  if (!parsed.ok) {
    std::fprintf(err, "Error: %s\n", oneLine(parsed.error).c_str());
    return ExitError;
  }
  try {
    Engine engine(parsed.command, out, err, in);
    return engine.execute();
  } catch (const Failure& e) {
    std::fprintf(err, "Error: %s\n", e.what());
  } catch (const std::exception& e) {
    std::fprintf(err, "Error: %s\n", oneLine(e.what()).c_str());
  } catch (...) {
    std::fputs("Error: unexpected failure\n", err);
  }
  return ExitError;
}

} // namespace sundrel::tovix
