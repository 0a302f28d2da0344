#include "tovix/Inputs.h"

#include "tovix/Xmp.h"

#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QUtil.hh>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

namespace sundrel::tovix {

namespace {

constexpr std::size_t kKeptProblemTexts = 64;

FileState stateOf(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_size,
          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::unique_ptr<QPDF> tryOpen(const OpenedInput& in, const char* password) {
  auto pdf = std::make_unique<QPDF>();
  pdf->setSuppressWarnings(true);
  if (!in.data.empty()) {
    pdf->processMemoryFile(in.path.c_str(), in.data.data(), in.data.size(), password);
    return pdf;
  }
  // A descriptor of its own, so that libqpdf's reading never moves the
  // offset of the one that stays for the checks.
  const int fd = ::fcntl(in.file.get(), F_DUPFD_CLOEXEC, 0);
  std::FILE* f = fd < 0 ? nullptr : ::fdopen(fd, "rb");
  if (f == nullptr) {
    if (fd >= 0)
      ::close(fd);
    throw Failure(Reason::Io,
                  "Failed to open PDF file: " + shown(in.path) + ": " + std::strerror(errno));
  }
  pdf->processFile(in.path.c_str(), f, true, password);
  return pdf;
}

// Reads a file in one go: libqpdf otherwise seeks and reads once per object,
// which dominates a short extraction in a process of its own. A session
// reads its objects once, so it takes only small files whole: a copy in
// memory would add the file's size to what it holds anyway (every object
// it has read). A larger file is read through the descriptor as libqpdf
// needs it.
constexpr off_t kWholeFileLimit = 64 << 20;
constexpr off_t kWholeFileLimitInSession = 1 << 20;

void slurp(OpenedInput& in, off_t limit) {
  if (in.opened.size > limit)
    return;
  in.data.resize(static_cast<std::size_t>(in.opened.size));
  std::size_t done = 0;
  while (done < in.data.size()) {
    const ssize_t got = ::pread(in.file.get(), in.data.data() + done, in.data.size() - done,
                                static_cast<off_t>(done));
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0) {
      const std::string why = got < 0 ? std::strerror(errno) : "it was shortened while it was read";
      throw Failure(got < 0 ? Reason::Io : Reason::Changed,
                    "Failed to open PDF file: " + shown(in.path) + ": " + why);
    }
    done += static_cast<std::size_t>(got);
  }
}

void openFile(OpenedInput& in, off_t wholeFileLimit) {
  const int fd = ::open(in.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int saved = errno;
    if (saved == ENOENT || saved == ENOTDIR)
      throw Failure(Reason::NotFound,
                    "Unable to find file: " + shown(in.path) + ": " + std::strerror(saved));
    throw Failure(Reason::Io,
                  "Failed to open PDF file: " + shown(in.path) + ": " + std::strerror(saved));
  }
  in.file = Descriptor(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0)
    throw Failure(Reason::Io,
                  "Failed to open PDF file: " + shown(in.path) + ": " + std::strerror(errno));
  if (S_ISDIR(st.st_mode))
    throw Failure(Reason::Io, "Failed to open PDF file: " + shown(in.path) + ": it is a directory");
  if (!S_ISREG(st.st_mode))
    throw Failure(Reason::Io,
                  "Failed to open PDF file: " + shown(in.path) +
                      ": it is not a regular file (a pipe or a device cannot be read twice)");
  if (st.st_size == 0)
    throw Failure(Reason::Damaged,
                  "Failed to open PDF file: " + shown(in.path) + ": the file is empty");
  in.opened = stateOf(st);
  slurp(in, wholeFileLimit);
}

std::unique_ptr<QPDF> openDocument(const OpenedInput& opened, const Input& in) {
  const char* password = in.hasPassword ? in.password.c_str() : nullptr;
  try {
    return tryOpen(opened, password);
  } catch (const Failure&) {
    throw;
  } catch (const QPDFExc& e) {
    if (e.getErrorCode() != qpdf_e_password)
      throw Failure(Reason::Damaged, "Failed to open PDF file: " + shown(in.path) + ": " +
                                         oneLine(e.getMessageDetail()));
    // Older encryption takes PDFDocEncoding passwords; a UTF-8 one may need converting.
    std::string converted;
    if (in.hasPassword && QUtil::utf8_to_pdf_doc(in.password, converted) &&
        converted != in.password) {
      try {
        return tryOpen(opened, converted.c_str());
      } catch (const std::exception&) {
      }
    }
    throw Failure(in.hasPassword ? Reason::PasswordIncorrect : Reason::PasswordRequired,
                  "Failed to open PDF file: " + shown(in.path) + ": " +
                      (in.hasPassword ? "the given input_pw password is incorrect"
                                      : "OWNER OR USER PASSWORD REQUIRED, but not given"));
  } catch (const std::exception& e) {
    throw Failure(dynamic_cast<const std::bad_alloc*>(&e) != nullptr ? Reason::Failed
                                                                     : Reason::Damaged,
                  "Failed to open PDF file: " + shown(in.path) + ": " + oneLine(e.what()));
  }
}

void readDocument(OpenedInput& opened, const Input& in) {
  opened.pdf = openDocument(opened, in);
  opened.keepEncryption = opened.pdf->isEncrypted() && !in.hasPassword;
}

} // namespace

Descriptor::~Descriptor() {
  if (fd_ >= 0)
    ::close(fd_);
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0)
      ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

std::unique_ptr<OpenedInput> openInput(const Input& in) {
  auto opened = std::make_unique<OpenedInput>();
  opened->path = in.path;
  openFile(*opened, kWholeFileLimit);
  readDocument(*opened, in);
  return opened;
}

void checkUnchanged(const OpenedInput& in) {
  struct stat st {};
  if (in.file.get() < 0 || ::fstat(in.file.get(), &st) != 0)
    return; // nothing read through a descriptor
  const FileState now = stateOf(st);
  if (now.sameContents(in.opened))
    return;
  throw Failure(Reason::Changed,
                "Failed to read PDF file: " + shown(in.path) +
                    ": the file was changed while it was being read (" +
                    std::to_string(in.opened.size) + " bytes when opened, " +
                    std::to_string(now.size) +
                    " now); it is not split from two versions: try again once it is complete");
}

std::size_t collectProblems(OpenedInput& in) {
  const std::vector<QPDFExc> fresh = in.pdf->getWarnings();
  for (const QPDFExc& problem : fresh) {
    if (in.problemTexts.size() < kKeptProblemTexts) {
      const std::string object = problem.getObject();
      in.problemTexts.push_back(
          oneLine((object.empty() ? "" : object + ": ") + problem.getMessageDetail()));
    }
  }
  in.problems += fresh.size();
  return fresh.size();
}

bool damaged(OpenedInput& in) {
  collectProblems(in);
  return in.problems > 0;
}

std::string problemWith(OpenedInput& in, const std::string& object) {
  collectProblems(in);
  // libqpdf names an object "12 0" in some messages and "12/0" in others.
  std::string slashed = object;
  const std::size_t blank = slashed.find(' ');
  if (blank != std::string::npos)
    slashed[blank] = '/';
  for (const std::string& text : in.problemTexts) {
    if (text.find("object " + object + ":") != std::string::npos ||
        text.find("object " + slashed + ":") != std::string::npos)
      return text;
  }
  return in.problemTexts.empty() ? std::string() : in.problemTexts.front();
}

void InputCache::remember(const OpenedInput& opened) {
  const auto [first, fresh] = firstSeen_.emplace(opened.path, opened.opened);
  if (fresh || first->second.sameContents(opened.opened))
    return;
  throw Failure(Reason::Changed,
                "Failed to open PDF file: " + shown(opened.path) + ": " +
                    (first->second.sameFile(opened.opened)
                         ? "the file was changed since this session first read it"
                         : "another file has taken its place since this session first read it") +
                    "; it is not split from two versions: split it again");
}

OpenedInput& InputCache::get(const Input& in) {
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->path != in.path || it->hasPassword != in.hasPassword || it->password != in.password)
      continue;
    // Moved or deleted since: the file opened at the start is read on.
    // Changed in place: it can no longer be read consistently.
    try {
      checkUnchanged(*it->input);
    } catch (const Failure&) {
      entries_.erase(it);
      throw;
    }
    entries_.splice(entries_.begin(), entries_, it);
    return *entries_.front().input;
  }
  Entry entry{in.path, in.password, in.hasPassword, openOnce(in)};
  entries_.push_front(std::move(entry));
  return *entries_.front().input;
}

std::unique_ptr<OpenedInput> InputCache::openOnce(const Input& in) {
  auto opened = std::make_unique<OpenedInput>();
  opened->path = in.path;
  openFile(*opened, kWholeFileLimitInSession);
  remember(*opened); // before reading: another version is never read at all
  readDocument(*opened, in);
  return opened;
}

void InputCache::trim(std::size_t keep) {
  while (entries_.size() > keep)
    entries_.pop_back();
}

void InputCache::drop(const OpenedInput* in) {
  entries_.remove_if([in](const Entry& e) { return e.input.get() == in; });
}

void Inputs::open(const Command& cmd, InputCache* cache, bool keep) {
  // The same file named twice (two handles) is opened once.
  std::map<std::pair<std::string, std::string>, OpenedInput*> byPath;
  for (const Input& in : cmd.inputs) {
    OpenedInput*& opened = byPath[{in.path, in.password}];
    if (opened == nullptr) {
      if (cache != nullptr && keep) {
        opened = &cache->get(in);
      } else {
        owned_.push_back(cache != nullptr ? cache->openOnce(in) : openInput(in));
        opened = owned_.back().get();
      }
      distinct_.push_back(opened);
    }
    byIndex_.push_back(opened);
  }
}

void Inputs::reportRepairs(Context& ctx) const {
  for (OpenedInput* in : distinct_) {
    if (!damaged(*in))
      continue;
    // A repaired input still gives a complete output, which the caller
    // judges by exit code 0; the note is for a human reading the console.
    const std::size_t count = in->problems;
    ctx.note(shown(in->path) + " is damaged and was repaired (" + std::to_string(count) +
             " problem" + (count == 1 ? "" : "s") + "; first: " + in->problemTexts.front() + ")");
  }
}

std::vector<QPDFPageObjectHelper>& pagesOf(OpenedInput& in) {
  if (!in.pagesLoaded) {
    try {
      in.pages = QPDFPageDocumentHelper(*in.pdf).getAllPages();
    } catch (const std::exception& e) {
      throw Failure(Reason::Damaged,
                    "Failed to read the pages of " + shown(in.path) + ": " + oneLine(e.what()));
    }
    in.pagesLoaded = true;
  }
  return in.pages;
}

int pdfaPartOf(OpenedInput& in) {
  if (in.pdfaPart < 0)
    in.pdfaPart = pdfaPart(*in.pdf);
  return in.pdfaPart;
}

} // namespace sundrel::tovix
