// One engine session against one process per command: the same `measure`
// commands (ranges of about 1 MB of the source, then single pages) on the
// largest corpus file, on a 2,000+-page document built from corpus files
// with the engine itself, and on a reference manual of the shape TeX makes
// (bench/split/make-tex-manual: 15,000+ named destinations, 1,000+
// bookmarks; needs Debian's python3-pikepdf, else it is left out). A
// one-page measure should cost about the same on all of them: the cost
// follows the pages copied, not the document.
//
// usage: tovix_session_bench [corpus-dir] [engine] [commands]
// Defaults: $SUNDREL_CORPUS_DIR (else the configured corpus), tovix.dll
// beside this program, 50 commands. One-shot runs are timed on the first
// 10 commands and extrapolated.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Starts argv with pipes on its standard input and output (stderr to
// /dev/null); `in` and `out` get the ends this side keeps. 0 when it could not start.
pid_t spawnPiped(std::vector<std::string> argv, int& in, int& out) {
  int down[2], up[2];
  if (::pipe(down) != 0 || ::pipe(up) != 0)
    return 0;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, down[0], 0);
  posix_spawn_file_actions_adddup2(&actions, up[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  for (int fd : {down[0], down[1], up[0], up[1]})
    posix_spawn_file_actions_addclose(&actions, fd);
  std::vector<char*> cargv;
  for (auto& a : argv)
    cargv.push_back(a.data());
  cargv.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), environ) != 0)
    pid = 0;
  posix_spawn_file_actions_destroy(&actions);
  ::close(down[0]);
  ::close(up[1]);
  in = down[1];
  out = up[0];
  return pid;
}

// Runs argv with `input` on standard input; returns standard output.
std::string run(const std::vector<std::string>& argv, const std::string& input = "") {
  int in = -1, out = -1;
  const pid_t pid = spawnPiped(argv, in, out);
  if (pid == 0)
    return {};
  // Small inputs: the commands fit in the pipe before the engine answers.
  if (!input.empty() && ::write(in, input.data(), input.size()) < 0)
    std::perror("write");
  ::close(in);
  std::string text;
  char buf[65536];
  for (ssize_t n; (n = ::read(out, buf, sizeof buf)) > 0;)
    text.append(buf, static_cast<std::size_t>(n));
  ::close(out);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return text;
}

std::string quoted(const std::string& path) {
  return "\"" + path + "\"";
}

// Seconds a session takes for `commands` (`count` answers without payload)
// once it has opened `pdf` and sized its pages.
double afterOpening(const std::string& engine, const std::string& pdf, const std::string& commands,
                    std::size_t count) {
  int in = -1, out = -1;
  const pid_t pid = spawnPiped({engine, "--session"}, in, out);
  if (pid == 0)
    return 0;
  std::FILE* answers = ::fdopen(out, "r");
  auto send = [&](const std::string& text) {
    return ::write(in, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  };
  auto await = [&](std::size_t lines) {
    char line[4096];
    for (std::size_t i = 0; i < lines; ++i)
      if (std::fgets(line, sizeof line, answers) == nullptr)
        return false;
    return true;
  };
  double seconds = 0;
  const std::string a = "A=" + quoted(pdf);
  if (answers != nullptr && await(1) &&
      send(a + " dump_data measure\n" + a + " page_sizes measure\n") && await(2)) {
    const auto start = Clock::now();
    if (send(commands) && await(count))
      seconds = since(start);
  }
  ::close(in);
  if (answers != nullptr)
    std::fclose(answers);
  else
    ::close(out);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return seconds;
}

int pageCount(const std::string& engine, const std::string& pdf) {
  const std::string report = run({engine, pdf, "dump_data"});
  const auto at = report.find("NumberOfPages: ");
  return at == std::string::npos ? 0 : std::atoi(report.c_str() + at + 15);
}

// Ranges of about `bytes` of the source spread over the document.
std::vector<std::string> ranges(const std::string& pdf, int pages, int count, double bytes) {
  const double perPage = static_cast<double>(fs::file_size(pdf)) / pages;
  const int span = std::clamp(static_cast<int>(bytes / perPage), 1, pages);
  std::vector<std::string> result;
  for (int i = 0; i < count; ++i) {
    const int first = 1 + static_cast<int>((static_cast<long long>(i) * 7919) % (pages - span + 1));
    result.push_back("A" + std::to_string(first) + "-" + std::to_string(first + span - 1));
  }
  return result;
}

// `share`: the bytes of the source each command takes (0: one page).
void compare(const std::string& engine, const std::string& pdf, int count, double share) {
  const int pages = pageCount(engine, pdf);
  if (pages == 0) {
    std::printf("%s: no pages\n", pdf.c_str());
    return;
  }
  const auto list = ranges(pdf, pages, count, share);
  std::string commands;
  for (const auto& r : list)
    commands += "A=" + quoted(pdf) + " cat " + r + " measure\n";
  auto start = Clock::now();
  const std::string answers = run({engine, "--session"}, commands);
  const double session = since(start);
  long long bytes = 0, answered = 0;
  for (std::size_t at = answers.find("\n0 "); at != std::string::npos;
       at = answers.find("\n0 ", at + 1), ++answered)
    bytes += std::atoll(answers.c_str() + at + 3);

  // The measures alone, as a split makes them: after the file is opened and
  // its pages sized. The machine is shared: the fastest of three counts.
  double measures = 1e9;
  for (int round = 0; round < 3; ++round)
    measures = std::min(measures, afterOpening(engine, pdf, commands, list.size()));

  const int sample = std::min(count, 10);
  start = Clock::now();
  for (int i = 0; i < sample; ++i)
    run({engine, "A=" + pdf, "cat", list[static_cast<std::size_t>(i)], "measure"});
  const double oneShot = since(start) / sample * count;
  std::printf("%-34s %6d %4d %8.0f %10.2f %10.2f %7.1fx %9.1f%s\n",
              fs::path(pdf).filename().c_str(), pages, count,
              answered ? static_cast<double>(bytes) / answered / 1024 : 0.0, session, oneShot,
              oneShot / session, measures / count * 1000,
              answered == count ? "" : "  (some commands failed)");
}

} // namespace

int main(int argc, char** argv) {
  const char* envCorpus = std::getenv("SUNDREL_CORPUS_DIR");
  const std::string corpus = argc > 1 ? argv[1] : envCorpus ? envCorpus : SUNDREL_BENCH_CORPUS;
  const std::string engine = argc > 2 ? argv[2] : SUNDREL_BENCH_ENGINE;
  const int count = argc > 3 ? std::max(1, std::atoi(argv[3])) : 50;
  std::vector<std::pair<std::uintmax_t, std::string>> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(corpus, ec)) {
    if (e.path().extension() == ".pdf")
      files.emplace_back(e.file_size(ec), e.path().string());
  }
  if (files.empty()) {
    std::fprintf(stderr, "no corpus at %s\n", corpus.c_str());
    return 1;
  }
  std::sort(files.rbegin(), files.rend());

  // 2,000+ pages: the corpus files with the most pages, twice over.
  char dir[] = "/tmp/tovix-session-bench-XXXXXX";
  if (::mkdtemp(dir) == nullptr)
    return 1;
  const std::string big = std::string(dir) + "/big.pdf";
  std::vector<std::pair<int, std::string>> byPages;
  for (const auto& [size, path] : files)
    byPages.emplace_back(pageCount(engine, path), path);
  std::sort(byPages.rbegin(), byPages.rend());
  std::vector<std::string> cat{engine};
  std::vector<std::string> handles;
  int total = 0;
  for (std::size_t i = 0; i < byPages.size() && total < 1100; ++i) {
    const std::string handle(1, static_cast<char>('A' + i));
    cat.push_back(handle + "=" + byPages[i].second);
    handles.push_back(handle);
    total += byPages[i].first;
  }
  cat.push_back("cat");
  for (int round = 0; round < 2; ++round)
    cat.insert(cat.end(), handles.begin(), handles.end());
  cat.insert(cat.end(), {"output", big});
  run(cat);

  std::vector<std::string> documents{files.front().second, big};
  const std::string manual = std::string(dir) + "/manual.pdf";
  const std::string made =
      run({"/usr/bin/python3", SUNDREL_BENCH_SCRIPTS "/make-tex-manual", corpus, manual});
  if (fs::exists(manual))
    documents.push_back(manual);
  else
    std::printf("the TeX-shaped manual is left out (make-tex-manual needs python3-pikepdf)\n");

  std::printf("%-34s %6s %4s %8s %10s %10s %8s %9s\n", "document", "pages", "cmds", "KB/cmd",
              "session s", "one-shot s", "ratio", "ms/cmd");
  for (const std::string& pdf : documents) {
    compare(engine, pdf, count, 1 << 20);
    compare(engine, pdf, count, 0); // one page: the cost follows the pages, not the document
  }
  fs::remove_all(dir, ec);
  return 0;
}
