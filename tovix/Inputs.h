#pragma once

#include "tovix/Support.h"
#include "tovix/Trim.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <sys/types.h>

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The input files of a command, and a session's cache of them.
namespace sundrel::tovix {

struct Outline;
struct NamedDestinations;
struct FontCache;
struct StructIndex;

// A file as it was when opened: a file changed in place keeps its device
// and inode, but not its size or modification time.
struct FileState {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  std::int64_t mtimeNs = 0;
  bool sameFile(const FileState& other) const { return dev == other.dev && ino == other.ino; }
  bool sameContents(const FileState& other) const {
    return sameFile(other) && size == other.size && mtimeNs == other.mtimeNs;
  }
};

// An open file descriptor, closed with its owner.
class Descriptor {
public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor();
  Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Descriptor& operator=(Descriptor&& other) noexcept;
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

private:
  int fd_ = -1;
};

struct OpenedInput {
  std::string path;
  // The file opened at the start. Everything is read from it (the whole file
  // in `data` when small enough, else through this descriptor), so a file
  // moved over its path later is never read by mistake.
  Descriptor file;
  FileState opened;
  std::string data; // the whole file, when small; outlives `pdf`
  std::unique_ptr<QPDF> pdf;
  bool keepEncryption = false; // encrypted, yet opened without any password
  // libqpdf's repairs so far (it hands each one over once), and the first
  // few of them in its words.
  std::size_t problems = 0;
  std::vector<std::string> problemTexts;

  // Read or done on first use; they never change while the file is open.
  std::vector<QPDFPageObjectHelper> pages;
  bool pagesLoaded = false;
  bool prepared = false;   // inherited attributes pushed to the pages, forms read
  std::vector<bool> ready; // per page: in the state in which it is copied
  std::unique_ptr<QPDFAcroFormDocumentHelper> forms;
  bool sharesResourcesKnown = false;
  bool sharesResources = false;
  std::shared_ptr<Outline> outline;
  std::shared_ptr<NamedDestinations> names;
  std::shared_ptr<std::map<long long, QPDFObjectHandle>> labels; // page labels
  ScannedForms scannedForms;              // what each form XObject draws, read once
  std::vector<bool> complete;             // per page: every object it reaches was read
  std::shared_ptr<FontCache> fonts;       // programs read, glyphs per page, recent subsets
  std::shared_ptr<StructIndex> structure; // the tags by page, read when a part first needs them
  int pdfaPart = -1;                      // the PDF/A part its XMP claims (0: none), once read
};

// Opens one input, as a one-shot run does.
std::unique_ptr<OpenedInput> openInput(const Input& in);

// Fails when the file `in` was read from changed in place since it was
// opened: what is read from it now may belong to another version.
void checkUnchanged(const OpenedInput& in);

// Takes over the problems libqpdf reported on `in` since the last call;
// returns how many were new.
std::size_t collectProblems(OpenedInput& in);

// Whether libqpdf met any problem with the file so far.
bool damaged(OpenedInput& in);

// The first problem libqpdf reported that names `object` ("12 0"), else
// its first problem.
std::string problemWith(OpenedInput& in, const std::string& object);

// A session's open inputs, keyed by path and password. A session reads on
// from the file it opened under a path, whatever the path names later, and
// never opens another file under that path: one changed in place, or
// another file in its place, fails the command.
class InputCache {
public:
  OpenedInput& get(const Input& in);
  // An input for one command only (update_info, a copy), held to the same
  // rule as the kept ones.
  std::unique_ptr<OpenedInput> openOnce(const Input& in);
  // Closes all but the `keep` most recently used inputs.
  void trim(std::size_t keep);
  // Closes `in`: a command failed on it, and libqpdf may have left it half
  // changed; the next command opens the file afresh, as a new process would.
  void drop(const OpenedInput* in);

private:
  void remember(const OpenedInput& opened);

  struct Entry {
    std::string path, password;
    bool hasPassword = false;
    std::unique_ptr<OpenedInput> input;
  };
  std::list<Entry> entries_;                   // most recently used first
  std::map<std::string, FileState> firstSeen_; // per path, the file first opened under it
};

// The inputs of one command, each file opened once however often it is named.
class Inputs {
public:
  // Kept in `cache` when given and `keep`, else opened for this command
  // alone (still held to the session's rule when there is a cache).
  void open(const Command& cmd, InputCache* cache, bool keep);

  // The input for Command::inputs[index].
  OpenedInput& at(std::size_t index) { return *byIndex_.at(index); }
  OpenedInput& front() { return *byIndex_.front(); }
  const std::vector<OpenedInput*>& distinct() const { return distinct_; }

  // Notes the inputs that libqpdf had to repair, now or in earlier commands.
  void reportRepairs(Context& ctx) const;

private:
  std::vector<std::unique_ptr<OpenedInput>> owned_;
  std::vector<OpenedInput*> distinct_;
  std::vector<OpenedInput*> byIndex_; // one per Command::inputs entry
};

// The PDF/A part (1, 2, ...) the input's XMP metadata claims, 0 for none; read once.
int pdfaPartOf(OpenedInput& in);

// The pages of an input, read once.
std::vector<QPDFPageObjectHelper>& pagesOf(OpenedInput& in);

} // namespace sundrel::tovix
