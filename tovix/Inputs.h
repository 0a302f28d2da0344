#pragma once

#include "tovix/Support.h"

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

struct OpenedInput {
  std::string path;
  std::string data; // the whole file, when small enough; outlives `pdf`
  std::unique_ptr<QPDF> pdf;
  bool keepEncryption = false; // encrypted, yet opened without any password
  // libqpdf's repairs so far (it hands each one over once).
  std::size_t problems = 0;
  std::string firstProblem;

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
  std::shared_ptr<FontCache> fonts; // programs read, glyphs per page, recent subsets
};

// Opens one input, as a one-shot run does.
std::unique_ptr<OpenedInput> openInput(const Input& in);

// A session's open inputs, keyed by path and password. Before each use the
// file is checked against what was opened (device, inode, size, modification
// time); a changed file is opened again.
class InputCache {
public:
  OpenedInput& get(const Input& in);
  // Closes all but the `keep` most recently used inputs.
  void trim(std::size_t keep);
  // Closes `in`: a command failed on it, and libqpdf may have left it half
  // changed; the next command opens the file afresh, as a new process would.
  void drop(const OpenedInput* in);

private:
  struct Entry {
    std::string path, password;
    bool hasPassword = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    std::int64_t mtimeNs = 0;
    std::unique_ptr<OpenedInput> input;
  };
  std::list<Entry> entries_; // most recently used first
};

// The inputs of one command, each file opened once however often it is named.
class Inputs {
public:
  // From `cache` when given, else opened for this command alone.
  void open(const Command& cmd, InputCache* cache);

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

// The pages of an input, read once.
std::vector<QPDFPageObjectHelper>& pagesOf(OpenedInput& in);

} // namespace sundrel::tovix
