#include "tovix/Output.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

namespace sundrel::tovix {

namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A file written beside its target and renamed into place, so a failed run
// leaves neither a partial file nor a damaged previous version.
class StagedOutput {
public:
  explicit StagedOutput(const std::string& target) : target_(target) {
    // A device or a pipe is written as it stands: renaming over it would put
    // a plain file in its place (/dev/null among them, for root). A pipe
    // that nobody reads fails at once rather than waiting for a reader.
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
      const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0 || ::fcntl(fd, F_SETFL, 0) != 0 || (file_ = ::fdopen(fd, "wb")) == nullptr) {
        const int saved = errno;
        if (fd >= 0)
          ::close(fd);
        throw Failure(Reason::Io, "Unable to open file for writing: " + shown(target) + ": " +
                                      std::strerror(saved));
      }
      direct_ = true;
      return;
    }
    const std::size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? "." : target.substr(0, slash);
    if (dir.empty())
      dir = "/";
    // The process id lets a later run remove what a killed engine left.
    std::string pattern = dir + "/.tovix-" + std::to_string(::getpid()) + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const int fd = ::mkstemp(buf.data());
    if (fd < 0)
      throw Failure(Reason::Io, "Unable to open file for writing: " + shown(target) + ": " +
                                    std::strerror(errno));
    temp_.assign(buf.data());
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
      const int saved = errno;
      ::close(fd);
      ::unlink(temp_.c_str());
      throw Failure(Reason::Io, "Unable to open file for writing: " + shown(target) + ": " +
                                    std::strerror(saved));
    }
  }
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;
  ~StagedOutput() {
    if (file_ != nullptr)
      std::fclose(file_);
    if (!committed_ && !direct_)
      ::unlink(temp_.c_str());
  }

  std::FILE* file() { return file_; }

  void commit() {
    // mkstemp makes the file private; give it the mode a plain creation would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (!direct_)
      ::fchmod(::fileno(file_), 0666 & ~mask);
    const bool writeFailed = std::fflush(file_) != 0 || std::ferror(file_) != 0;
    const int saved = errno;
    const bool closeFailed = std::fclose(file_) != 0;
    file_ = nullptr;
    if (writeFailed || closeFailed)
      throw Failure(Reason::Io, "Unable to write file: " + shown(target_) + ": " +
                                    std::strerror(writeFailed ? saved : errno));
    if (!direct_ && ::rename(temp_.c_str(), target_.c_str()) != 0)
      throw Failure(Reason::Io,
                    "Unable to write file: " + shown(target_) + ": " + std::strerror(errno));
    committed_ = true;
  }

private:
  std::string target_;
  std::string temp_;
  std::FILE* file_ = nullptr;
  bool committed_ = false;
  bool direct_ = false;
};

void confirmOverwrite(Context& ctx) {
  if (ctx.err == nullptr)
    throw Failure(Reason::Refused,
                  "The output file " + shown(ctx.cmd.output) +
                      " exists and was not replaced (do_ask: no one to answer in a session)");
  std::fprintf(ctx.err, "Warning: the output file %s already exists. Overwrite? (y/n): ",
               shown(ctx.cmd.output).c_str());
  std::fflush(ctx.err);
  char answer[16] = {};
  if (ctx.in == nullptr || std::fgets(answer, sizeof answer, ctx.in) == nullptr ||
      (answer[0] != 'y' && answer[0] != 'Y'))
    throw Failure(Reason::Refused,
                  "The output file " + shown(ctx.cmd.output) + " exists and was not replaced");
}

std::string passwordBytes(const std::string& utf8) {
  // RC4 and AES-128 handlers take PDFDocEncoding passwords.
  std::string converted;
  if (QUtil::utf8_to_pdf_doc(utf8, converted))
    return converted;
  return utf8;
}

void applyEncryption(const Command& cmd, QPDFWriter& writer) {
  const Permissions& p = cmd.allow;
  const std::string user = passwordBytes(cmd.userPassword);
  const std::string owner =
      passwordBytes(cmd.hasOwnerPassword ? cmd.ownerPassword : cmd.userPassword);
  const qpdf_r3_print_e print = p.printing           ? qpdf_r3p_full
                                : p.degradedPrinting ? qpdf_r3p_low
                                                     : qpdf_r3p_none;
  switch (cmd.encryption) {
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

void writeToStdout(Context& ctx, const unsigned char* data, std::size_t size) {
  if (std::fwrite(data, 1, size, ctx.out) != size || std::fflush(ctx.out) != 0)
    throw Failure(Reason::Io, "Unable to write to standard output");
  ctx.bytes = size;
}

// Counts what the writer produces, for `measure`.
class Counter : public Pipeline {
public:
  Counter() : Pipeline("measure", nullptr) {}
  void write(unsigned char const*, size_t len) override { count += len; }
  void finish() override {}
  std::uint64_t count = 0;
};

// The encryption of the written document; true when it is encrypted.
bool chooseEncryption(const Command& cmd, QPDFWriter& writer, QPDF& pdf,
                      const DocumentOptions& options) {
  if (cmd.encryption != Encryption::None && !options.stage) {
    writer.setPreserveEncryption(false);
    applyEncryption(cmd, writer);
    return true;
  }
  if (options.encryptLike != nullptr) {
    writer.copyEncryptionParameters(*options.encryptLike->pdf);
    return true;
  }
  writer.setPreserveEncryption(options.preserve);
  return options.preserve && pdf.isEncrypted();
}

// Streams are written as they are encoded: decoding them to compress them
// again gains little, and nested filters (flate inside flate) would expand a
// few kilobytes into gigabytes. Streams without a filter are still
// compressed: their data lies in the file as it is, which bounds the work.
// Streams changed by a token filter must be decoded to apply it.
void keepStreamsEncoded(QPDF& pdf, QPDFWriter& writer) {
  writer.setDecodeLevel(qpdf_dl_none);
  for (QPDFObjectHandle& oh : pdf.getAllObjects()) {
    if (!oh.isStream() || oh.isDataModified())
      continue;
    QPDFObjectHandle filter = oh.getDict().getKey("/Filter");
    if (filter.isName() || (filter.isArray() && filter.getArrayNItems() > 0))
      oh.setFilterOnWrite(false);
  }
}

// Before a written document is kept: its sources must be the files opened,
// unchanged, and a new document of pages must have read them cleanly (a
// truncated or unreadable file gives empty pages, never a part).
void checkSources(const DocumentOptions& options) {
  for (OpenedInput* source : options.sources) {
    checkUnchanged(*source);
    const std::size_t before = source->problemTexts.size();
    if (collectProblems(*source) > 0 && options.pages) {
      const std::string what = source->problemTexts.size() > before ? source->problemTexts[before]
                                                                    : source->problemTexts.back();
      throw Failure(Reason::Damaged,
                    "Damaged PDF file: " + shown(source->path) +
                        ": reading it failed while the pages were written: " + what);
    }
  }
}

} // namespace

void checkOutput(Context& ctx) {
  const Command& cmd = ctx.cmd;
  if (!cmd.hasOutput || cmd.output == "-")
    return;
  const std::size_t slash = cmd.output.rfind('/');
  const std::size_t nameLength =
      slash == std::string::npos ? cmd.output.size() : cmd.output.size() - slash - 1;
  if (cmd.output.size() >= PATH_MAX || nameLength > NAME_MAX)
    throw Failure(Reason::Io, "Unable to open file for writing: " + shown(cmd.output) + ": " +
                                  std::strerror(ENAMETOOLONG));
  if (nameLength == 0)
    throw Failure(Reason::Refused,
                  "The given output filename is a directory: " + shown(cmd.output));

  struct stat target {};
  if (::stat(cmd.output.c_str(), &target) != 0)
    return;
  if (S_ISDIR(target.st_mode))
    throw Failure(Reason::Refused,
                  "The given output filename is a directory: " + shown(cmd.output));
  for (const Input& in : cmd.inputs) {
    struct stat source {};
    if (::stat(in.path.c_str(), &source) == 0 && sameFile(source, target))
      throw Failure(Reason::Refused, "The given output filename: " + shown(cmd.output) +
                                         " matches an input filename.");
  }
  if (!cmd.infoPath.empty() && cmd.infoPath != "-") {
    struct stat info {};
    if (::stat(cmd.infoPath.c_str(), &info) == 0 && sameFile(info, target))
      throw Failure(Reason::Refused, "The given output filename: " + shown(cmd.output) +
                                         " matches the info filename.");
  }
  if (cmd.ask)
    confirmOverwrite(ctx);
}

void emit(Context& ctx, const std::string& data) {
  const Command& cmd = ctx.cmd;
  if (cmd.measure) {
    ctx.bytes = data.size();
  } else if (!cmd.hasOutput || cmd.output == "-") {
    writeToStdout(ctx, reinterpret_cast<const unsigned char*>(data.data()), data.size());
  } else {
    StagedOutput staged(cmd.output);
    if (std::fwrite(data.data(), 1, data.size(), staged.file()) != data.size())
      throw Failure(Reason::Io,
                    "Unable to write file: " + shown(cmd.output) + ": " + std::strerror(errno));
    staged.commit();
    ctx.bytes = data.size();
  }
}

std::shared_ptr<Buffer> writeDocument(Context& ctx, QPDF& pdf, const DocumentOptions& options) {
  const Command& cmd = ctx.cmd;
  std::unique_ptr<StagedOutput> staged;
  Counter counter;
  QPDFWriter writer(pdf);
  const bool toMemory = options.stage || (!cmd.measure && cmd.output == "-");
  if (toMemory) {
    writer.setOutputMemory();
  } else if (cmd.measure) {
    writer.setOutputPipeline(&counter);
  } else {
    staged = std::make_unique<StagedOutput>(cmd.output);
    writer.setOutputFile(cmd.output.c_str(), staged->file(), false);
  }
  if (!chooseEncryption(cmd, writer, pdf, options) && !(cmd.measure && !options.stage)) {
    // Same input and range, same bytes: the split measures a range once
    // and extracts it again, and both must have the same size. A size alone
    // needs no digest of the whole output: any /ID has the same length.
    writer.setDeterministicID(true);
  }
  if (options.fresh)
    writer.setObjectStreamMode(qpdf_o_generate);
  if (!options.minVersion.empty())
    writer.setMinimumPDFVersion(options.minVersion);
  for (OpenedInput* source : options.sources)
    collectProblems(*source); // from here on, a problem is one of writing
  try {
    keepStreamsEncoded(pdf, writer);
    writer.write();
  } catch (const Failure&) {
    throw;
  } catch (const QPDFExc& e) {
    // libqpdf reading an object of the source that it cannot parse
    throw Failure(Reason::Damaged, "Unable to write " +
                                       shown(cmd.measure ? "the measured document" : cmd.output) +
                                       ": " + oneLine(e.what()));
  } catch (const std::exception& e) {
    throw Failure(Reason::Io, "Unable to write " +
                                  shown(cmd.measure ? "the measured document" : cmd.output) + ": " +
                                  oneLine(e.what()));
  }
  checkSources(options);
  if (options.stage)
    return writer.getBufferSharedPointer();
  if (toMemory) {
    auto buffer = writer.getBufferSharedPointer();
    writeToStdout(ctx, buffer->getBuffer(), buffer->getSize());
  } else if (cmd.measure) {
    ctx.bytes = counter.count;
  } else {
    std::fflush(staged->file());
    ctx.bytes = static_cast<std::uint64_t>(::ftello(staged->file()));
    staged->commit();
  }
  return nullptr;
}

std::unique_ptr<QPDF> openStage(const std::shared_ptr<Buffer>& stage) {
  auto pdf = std::make_unique<QPDF>();
  pdf->setSuppressWarnings(true);
  pdf->processMemoryFile("the finished part", reinterpret_cast<const char*>(stage->getBuffer()),
                         stage->getSize());
  return pdf;
}

} // namespace sundrel::tovix
