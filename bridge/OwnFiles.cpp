#include "bridge/OwnFiles.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace sundrel::bridge {
namespace {

// Written into the private temporary folder when it is made: a folder of the
// right name without it is not the program's.
constexpr const char* kMarkerName = ".sundrel-folder";

std::string markerText(pid_t pid) {
  return "Sundrel private temporary folder of process " + std::to_string(pid) + "\n";
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

bool isAlnum(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The process id of a name "<prefix><pid>-XXXXXX" (six letters or digits, as
// mkstemp and mkdtemp make them); 0 for any other name.
pid_t processOfName(std::string_view name, std::string_view prefix) {
  if (name.substr(0, prefix.size()) != prefix)
    return 0;
  name.remove_prefix(prefix.size());
  std::size_t digits = 0;
  long value = 0;
  // Process ids have at most seven digits (the kernel's limit is 4194304).
  while (digits < name.size() && digits < 8 && isDigit(name[digits]))
    value = value * 10 + (name[digits++] - '0');
  if (digits == 0 || digits > 7 || name[0] == '0' || name.size() != digits + 7 ||
      name[digits] != '-')
    return 0;
  for (const char c : name.substr(digits + 1))
    if (!isAlnum(c))
      return 0;
  return static_cast<pid_t>(value);
}

pid_t stagingProcess(std::string_view name) {
  const pid_t own = processOfName(name, ".sundrel-");
  return own != 0 ? own : processOfName(name, ".tovix-");
}

bool processEnded(pid_t pid) {
  return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

struct Fd {
  int fd = -1;
  explicit Fd(int value) : fd(value) {}
  ~Fd() {
    if (fd >= 0)
      ::close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

// The names in an open folder, "." and ".." left out.
std::vector<std::string> namesIn(int dirFd) {
  std::vector<std::string> names;
  const int copy = ::dup(dirFd);
  DIR* dir = copy < 0 ? nullptr : ::fdopendir(copy);
  if (dir == nullptr) {
    if (copy >= 0)
      ::close(copy);
    return names;
  }
  ::rewinddir(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..")
      names.emplace_back(name);
  }
  ::closedir(dir);
  return names;
}

// A plain file of this user, not followed through a link.
bool ownPlainFile(int dirFd, const std::string& name, struct stat& info) {
  return ::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
         info.st_uid == ::getuid();
}

bool markerMatches(int dirFd, pid_t pid) {
  const int fd = ::openat(dirFd, kMarkerName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0)
    return false;
  const Fd guard(fd);
  struct stat info {};
  const std::string expected = markerText(pid);
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid() ||
      info.st_size != static_cast<off_t>(expected.size()))
    return false;
  std::string text(expected.size(), '\0');
  return ::read(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
         text == expected;
}

// Removes the private temporary folder name in rootFd of process pid, and
// its entries, when all of it is provably the program's; else nothing.
void removeTempFolderAt(int rootFd, const std::string& name, pid_t pid) {
  const int fd = ::openat(rootFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0)
    return;
  const Fd guard(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0 || info.st_uid != ::getuid() || (info.st_mode & 07777) != 0700 ||
      !markerMatches(fd, pid))
    return;
  const std::vector<std::string> names = namesIn(fd);
  for (const std::string& entry : names) {
    struct stat entryInfo {};
    if (!isTempEntryName(entry.c_str()) || !ownPlainFile(fd, entry, entryInfo))
      return;
  }
  // The marker goes last: a folder not emptied keeps it for a later run.
  bool emptied = true;
  for (const std::string& entry : names)
    if (entry != kMarkerName && ::unlinkat(fd, entry.c_str(), 0) != 0)
      emptied = false;
  if (emptied && ::unlinkat(fd, kMarkerName, 0) == 0)
    ::unlinkat(rootFd, name.c_str(), AT_REMOVEDIR);
}

// Where the private temporary folder may go, in order of preference.
std::vector<std::string> temporaryRoots() {
  std::vector<std::string> roots;
  const char* base = std::getenv("TMPDIR");
  if (base != nullptr && *base != '\0') {
    std::error_code error;
    std::string root = std::filesystem::absolute(base, error).string();
    // A path with a line break cannot travel in a session command.
    if (!error && root.find_first_of("\r\n") == std::string::npos)
      roots.push_back(root);
  }
  roots.emplace_back("/tmp");
  roots.emplace_back("/var/tmp");
  for (std::string& root : roots)
    if (root.back() != '/')
      root += '/';
  return roots;
}

bool writeMarker(const std::string& folder) {
  const int fd = ::open((folder + "/" + kMarkerName).c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0)
    return false;
  const std::string text = markerText(::getpid());
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  return ::close(fd) == 0 && written;
}

// The private temporary folder of this process, made on first use and
// removed at exit (every caller deletes its own files).
class TempDirectory {
public:
  const std::string& path() {
    std::call_once(once, [this] { create(); });
    return directory;
  }
  ~TempDirectory() {
    if (directory.empty())
      return;
    const std::string folder = directory.substr(0, directory.size() - 1);
    const std::size_t slash = folder.rfind('/');
    const int rootFd =
        ::open(folder.substr(0, slash + 1).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0)
      return;
    removeTempFolderAt(rootFd, folder.substr(slash + 1), ::getpid());
    ::close(rootFd);
  }

private:
  void create() {
    for (const std::string& root : temporaryRoots()) {
      removeLeftoverTempFolders(root);
      // The process id in the name lets a later start find folders whose
      // owner was killed before it could clean up.
      std::string pattern = root + "sundrel-" + std::to_string(::getpid()) + "-XXXXXX";
      // mkdtemp creates the directory with mode 0700, less the umask's bits:
      // made exactly 0700, the mode the leftover cleanup asks of it.
      if (::mkdtemp(pattern.data()) == nullptr)
        continue;
      if (::chmod(pattern.c_str(), 0700) != 0 || !writeMarker(pattern)) {
        ::unlink((pattern + "/" + kMarkerName).c_str());
        ::rmdir(pattern.c_str());
        continue;
      }
      directory = pattern + '/';
      registerCleanupPath(pattern);
      return;
    }
  }

  std::once_flag once;
  std::string directory;
};

TempDirectory& tempDirectory() {
  static TempDirectory instance;
  return instance;
}

// Paths removed when SIGINT or SIGTERM ends the process, and the engines to
// stop first so that none writes a file after we are gone: fixed slots
// claimed with atomic operations, so that several threads (one engine
// session each) can use them and the handler touches nothing but kill,
// unlink and rmdir.
constexpr int kCleanupSlots = 128;
enum SlotState : int { kFree, kWriting, kUsed, kFreeing };
struct PathSlots {
  char paths[kCleanupSlots][PATH_MAX];
  std::atomic<int> state[kCleanupSlots];
};
PathSlots cleanupPaths;
PathSlots engineFolders;
constexpr int kChildSlots = 64;
std::atomic<pid_t> childSlots[kChildSlots];
// Set by the handlers; sections (see CleanupSection) open at the moment.
std::atomic<bool> ending{false};
std::atomic<int> openSections{0};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<pid_t>::is_always_lock_free &&
                  std::atomic<bool>::is_always_lock_free,
              "the signal handler reads the slots");

void claimSlot(PathSlots& slots, const std::string& path) {
  if (path.size() >= PATH_MAX)
    return;
  for (int i = 0; i < kCleanupSlots; ++i) {
    int expected = kFree;
    if (slots.state[i].compare_exchange_strong(expected, kWriting)) {
      std::memcpy(slots.paths[i], path.c_str(), path.size() + 1);
      slots.state[i].store(kUsed);
      return;
    }
  }
}

void releaseSlot(PathSlots& slots, const std::string& path) {
  for (int i = 0; i < kCleanupSlots; ++i) {
    int expected = kUsed;
    if (slots.state[i].load() != kUsed || path != slots.paths[i] ||
        !slots.state[i].compare_exchange_strong(expected, kFreeing))
      continue;
    slots.state[i].store(kFree);
    return;
  }
}

// Calls visit for every entry of the open folder fd, without allocating, so
// that signal handlers can use it.
template <typename Visit> void eachEntry(int fd, Visit visit) {
  alignas(8) char buffer[4096];
  for (;;) {
    const ssize_t read = ::getdents64(fd, buffer, sizeof buffer);
    if (read <= 0)
      break;
    for (ssize_t at = 0; at < read;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
      visit(*entry);
      at += entry->d_reclen;
    }
  }
}

// Removes the engine's hidden files ".tovix-<pid>-XXXXXX" of the given ended
// processes from folder, with calls that are safe in a signal handler.
void removeStagingOf(const char* folder, const pid_t* pids, int count) {
  const int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  eachEntry(fd, [&](const dirent64& entry) {
    const pid_t owner = processOfName(entry.d_name, ".tovix-");
    for (int i = 0; owner != 0 && i < count; ++i)
      if (pids[i] == owner && entry.d_type != DT_DIR)
        ::unlinkat(fd, entry.d_name, 0);
  });
  ::close(fd);
}

void removeStagingInFolders(const pid_t* pids, int count) {
  for (int i = 0; i < kCleanupSlots; ++i)
    if (engineFolders.state[i].load() == kUsed)
      removeStagingOf(engineFolders.paths[i], pids, count);
}

// Empties the private temporary folder of the names the program makes, with
// calls that are safe in a signal handler.
void emptyFolder(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0)
    return;
  eachEntry(fd, [&](const dirent64& entry) {
    if (isTempEntryName(entry.d_name))
      ::unlinkat(fd, entry.d_name, 0);
  });
  ::close(fd);
}

extern "C" void cleanUpAndDie(int signal) {
  // Other threads go on while this runs: let the files and engines they are
  // making be registered (a moment at most), and no new ones be made.
  ending.store(true);
  for (int wait = 0; wait < 400 && openSections.load() > 0; ++wait) {
    const timespec step{0, 5'000'000};
    ::nanosleep(&step, nullptr);
  }
  pid_t killed[kChildSlots];
  int count = 0;
  for (auto& slot : childSlots) {
    const pid_t pid = slot.load();
    if (pid > 0 && ::kill(pid, SIGKILL) == 0)
      killed[count++] = pid;
  }
  // An engine writes until it is gone: wait for each (a moment at most)
  // before its hidden files are removed.
  for (int i = 0; i < count; ++i) {
    for (int wait = 0; wait < 400; ++wait) {
      const pid_t done = ::waitpid(killed[i], nullptr, WNOHANG);
      if (done == killed[i] || (done < 0 && errno != EINTR))
        break;
      const timespec step{0, 5'000'000};
      ::nanosleep(&step, nullptr);
    }
  }
  removeStagingInFolders(killed, count);
  for (int i = kCleanupSlots - 1; i >= 0; --i) {
    if (cleanupPaths.state[i].load() == kUsed && ::unlink(cleanupPaths.paths[i]) != 0) {
      emptyFolder(cleanupPaths.paths[i]);
      ::rmdir(cleanupPaths.paths[i]);
    }
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

} // namespace

bool isStagingName(std::string_view name) {
  return stagingProcess(name) != 0;
}

bool isTempFolderName(std::string_view name) {
  return processOfName(name, "sundrel-") != 0;
}

bool isTempEntryName(const char* name) {
  const std::string_view text = name;
  if (text == kMarkerName || processOfName(text, ".tovix-") != 0)
    return true;
  // "pdf", one to four upper-case hex digits, ".tmp", and the suffix.
  if (text.substr(0, 3) != "pdf")
    return false;
  std::size_t hex = 3;
  while (hex < text.size() && (isDigit(text[hex]) || (text[hex] >= 'A' && text[hex] <= 'F')))
    ++hex;
  if (hex == 3 || hex > 7 || text.substr(hex, 4) != ".tmp")
    return false;
  const std::string_view suffix = text.substr(hex + 4);
  return suffix.empty() || suffix == ".txt" || suffix == ".pdf";
}

void removeLeftoverStagingFiles(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  const Fd guard(fd);
  for (const std::string& name : namesIn(fd)) {
    struct stat info {};
    if (isStagingName(name) && ownPlainFile(fd, name, info) && info.st_nlink == 1 &&
        processEnded(stagingProcess(name)))
      ::unlinkat(fd, name.c_str(), 0);
  }
}

void removeLeftoverTempFolders(const std::string& root) {
  const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  const Fd guard(fd);
  for (const std::string& name : namesIn(fd)) {
    struct stat info {};
    const pid_t owner = processOfName(name, "sundrel-");
    if (owner != 0 && ::fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && processEnded(owner))
      removeTempFolderAt(fd, name, owner);
  }
}

void registerCleanupPath(const std::string& path) {
  claimSlot(cleanupPaths, path);
}

void unregisterCleanupPath(const std::string& path) {
  releaseSlot(cleanupPaths, path);
}

void registerEngineFolder(const std::string& folder) {
  claimSlot(engineFolders, folder);
}

void unregisterEngineFolder(const std::string& folder) {
  releaseSlot(engineFolders, folder);
}

void removeEngineStagingFiles(pid_t pid) {
  if (pid > 0)
    removeStagingInFolders(&pid, 1);
}

void trackEngineProcess(pid_t pid) {
  for (auto& slot : childSlots) {
    pid_t expected = 0;
    if (slot.compare_exchange_strong(expected, pid))
      return;
  }
}

void untrackEngineProcess(pid_t pid) {
  for (auto& slot : childSlots) {
    pid_t expected = pid;
    if (slot.compare_exchange_strong(expected, 0))
      return;
  }
}

CleanupSection::CleanupSection() {
  sigset_t interrupts;
  sigemptyset(&interrupts);
  sigaddset(&interrupts, SIGINT);
  sigaddset(&interrupts, SIGTERM);
  ::pthread_sigmask(SIG_BLOCK, &interrupts, &saved_);
  openSections.fetch_add(1);
  if (ending.load()) {
    // The handler runs on another thread and ends the process.
    openSections.fetch_sub(1);
    for (;;)
      ::pause();
  }
}

CleanupSection::~CleanupSection() {
  openSections.fetch_sub(1);
  ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

void installInterruptCleanup() {
  struct sigaction action {};
  action.sa_handler = cleanUpAndDie;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

std::string makeTempPath(std::string_view suffix) {
  const std::string& directory = tempDirectory().path();
  if (directory.empty())
    return {};
  // One generator per thread: engine sessions may run side by side.
  thread_local std::mt19937 generator{std::random_device{}()};
  for (int attempt = 0; attempt < 1000; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "pdf%X.tmp", static_cast<unsigned>(generator() & 0xFFFFu));
    std::string path = directory + name;
    // Claim the name exclusively, then give it up: the caller owns the final name.
    const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST)
        continue;
      return {};
    }
    ::close(fd);
    ::unlink(path.c_str());
    path.append(suffix);
    if (::access(path.c_str(), F_OK) == 0)
      continue; // a suffixed file of that name is still in use
    return path;
  }
  return {};
}

} // namespace sundrel::bridge
