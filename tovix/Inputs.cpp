#include "tovix/Inputs.h"

#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QUtil.hh>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <map>

namespace sundrel::tovix {

namespace {

std::unique_ptr<QPDF> tryOpen(const std::string& path, const std::string& data,
                              const char* password) {
  auto pdf = std::make_unique<QPDF>();
  pdf->setSuppressWarnings(true);
  if (data.empty())
    pdf->processFile(path.c_str(), password);
  else
    pdf->processMemoryFile(path.c_str(), data.data(), data.size(), password);
  return pdf;
}

// Reads a file of ordinary size in one go: libqpdf otherwise seeks and
// reads once per object, which dominates a short extraction.
void slurp(const std::string& path, std::size_t size, std::string& data) {
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

} // namespace

std::unique_ptr<OpenedInput> openInput(const Input& in) {
  auto opened = std::make_unique<OpenedInput>();
  opened->path = in.path;
  opened->pdf = openOne(in, opened->data);
  opened->keepEncryption = opened->pdf->isEncrypted() && !in.hasPassword;
  return opened;
}

OpenedInput& InputCache::get(const Input& in) {
  struct stat st {};
  if (::stat(in.path.c_str(), &st) != 0)
    throw Failure("Unable to find file: " + shown(in.path) + ": " + std::strerror(errno));
  const std::int64_t mtimeNs =
      static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->path != in.path || it->hasPassword != in.hasPassword || it->password != in.password)
      continue;
    if (it->dev == st.st_dev && it->ino == st.st_ino && it->size == st.st_size &&
        it->mtimeNs == mtimeNs) {
      entries_.splice(entries_.begin(), entries_, it);
      return *entries_.front().input;
    }
    entries_.erase(it); // replaced or changed since it was opened
    break;
  }
  Entry entry{in.path,   in.password, in.hasPassword, st.st_dev,
              st.st_ino, st.st_size,  mtimeNs,        openInput(in)};
  entries_.push_front(std::move(entry));
  return *entries_.front().input;
}

void InputCache::trim(std::size_t keep) {
  while (entries_.size() > keep)
    entries_.pop_back();
}

void InputCache::drop(const OpenedInput* in) {
  entries_.remove_if([in](const Entry& e) { return e.input.get() == in; });
}

void Inputs::open(const Command& cmd, InputCache* cache) {
  // The same file named twice (two handles) is opened once.
  std::map<std::pair<std::string, std::string>, OpenedInput*> byPath;
  for (const Input& in : cmd.inputs) {
    OpenedInput*& opened = byPath[{in.path, in.password}];
    if (opened == nullptr) {
      if (cache != nullptr) {
        opened = &cache->get(in);
      } else {
        owned_.push_back(openInput(in));
        opened = owned_.back().get();
      }
      distinct_.push_back(opened);
    }
    byIndex_.push_back(opened);
  }
}

void Inputs::reportRepairs(Context& ctx) const {
  for (OpenedInput* in : distinct_) {
    const auto list = in->pdf->getWarnings();
    if (!list.empty() && in->problems == 0)
      in->firstProblem = list.front().what();
    in->problems += list.size();
    if (in->problems == 0)
      continue;
    // A repaired input still gives a complete output, which the caller
    // judges by exit code 0; the note is for a human reading the console.
    const std::size_t count = in->problems;
    ctx.note(shown(in->path) + " is damaged and was repaired (" + std::to_string(count) +
             " problem" + (count == 1 ? "" : "s") + "; first: " + in->firstProblem + ")");
  }
}

std::vector<QPDFPageObjectHelper>& pagesOf(OpenedInput& in) {
  if (!in.pagesLoaded) {
    try {
      in.pages = QPDFPageDocumentHelper(*in.pdf).getAllPages();
    } catch (const std::exception& e) {
      throw Failure("Failed to read the pages of " + shown(in.path) + ": " + oneLine(e.what()));
    }
    in.pagesLoaded = true;
  }
  return in.pages;
}

} // namespace sundrel::tovix
