// tovix.dll against pdftk, side by side in one run: per-command wall time
// on corpus files, a split-like run of growing probes, and peak memory.
//
// usage: tovix_bench [corpus-dir] [engine] [pdftk]
// Defaults: $SUNDREL_CORPUS_DIR (else the configured corpus), tovix.dll
// beside this program, /usr/bin/pdftk. Without pdftk only our numbers print.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Sample {
  double seconds = 0;
  long maxRssKb = 0;
  int exitCode = -1;
};

Sample runOnce(const std::vector<std::string>& argv) {
  std::vector<char*> cargv;
  std::vector<std::string> copy = argv;
  for (auto& a : copy)
    cargv.push_back(a.data());
  cargv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execv(cargv[0], cargv.data());
    ::_exit(127);
  }
  Sample s;
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  s.maxRssKb = usage.ru_maxrss;
  s.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return s;
}

// Median wall time of `repeats` runs; the highest peak memory seen.
Sample measure(const std::vector<std::string>& argv, int repeats) {
  std::vector<double> times;
  Sample worst;
  for (int i = 0; i < repeats; ++i) {
    const Sample s = runOnce(argv);
    times.push_back(s.seconds);
    worst.maxRssKb = std::max(worst.maxRssKb, s.maxRssKb);
    worst.exitCode = s.exitCode;
  }
  std::sort(times.begin(), times.end());
  worst.seconds = times[times.size() / 2];
  return worst;
}

} // namespace

int main(int argc, char** argv) {
  const char* envCorpus = std::getenv("SUNDREL_CORPUS_DIR");
  const std::string corpus = argc > 1 ? argv[1] : envCorpus ? envCorpus : SUNDREL_BENCH_CORPUS;
  const std::string engine = argc > 2 ? argv[2] : SUNDREL_BENCH_ENGINE;
  std::string pdftk = argc > 3 ? argv[3] : "/usr/bin/pdftk";
  if (::access(engine.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "engine not found: %s\n", engine.c_str());
    return 1;
  }
  if (::access(pdftk.c_str(), X_OK) != 0) {
    std::printf("pdftk is not installed (%s): printing our numbers only, no ratios\n",
                pdftk.c_str());
    pdftk.clear();
  }
  char dirTemplate[] = "/tmp/tovix-bench-XXXXXX";
  if (::mkdtemp(dirTemplate) == nullptr)
    return 1;
  const std::string tmp = dirTemplate;
  const std::string outPdf = tmp + "/out.pdf", outTxt = tmp + "/report.txt";

  const char* files[] = {"pdfjs__freeculture.pdf", "pypdf-samples__GeoTopo-komprimiert.pdf",
                         "opf__064034.pdf", "pdfplumber__chelsea_pdta.pdf", "pdfjs__pdkids.pdf"};
  const int ourRepeats = 7, theirRepeats = 3;
  double worstRatio = 1e9;
  std::printf("\n%-40s %-14s %10s %10s %8s\n", "file", "command", "tovix ms", "pdftk ms", "ratio");
  for (const char* name : files) {
    const std::string src = corpus + "/" + name;
    if (::access(src.c_str(), R_OK) != 0) {
      std::printf("%-40s missing, skipped\n", name);
      continue;
    }
    struct Command {
      const char* label;
      std::vector<std::string> args;
    };
    const Command commands[] = {
        {"cat A21-40", {"A=" + src, "cat", "A21-40", "output", outPdf}},
        {"dump_data", {src, "dump_data", "output", outTxt, "dont_ask"}},
    };
    for (const Command& c : commands) {
      std::vector<std::string> ours{engine};
      ours.insert(ours.end(), c.args.begin(), c.args.end());
      const Sample a = measure(ours, ourRepeats);
      if (pdftk.empty()) {
        std::printf("%-40s %-14s %10.1f %10s %8s\n", name, c.label, a.seconds * 1e3, "-", "-");
        continue;
      }
      std::vector<std::string> theirs{pdftk};
      theirs.insert(theirs.end(), c.args.begin(), c.args.end());
      const Sample b = measure(theirs, theirRepeats);
      const double ratio = b.seconds / a.seconds;
      worstRatio = std::min(worstRatio, ratio);
      std::printf("%-40s %-14s %10.1f %10.1f %7.1fx%s\n", name, c.label, a.seconds * 1e3,
                  b.seconds * 1e3, ratio, a.exitCode != 0 ? "  (tovix exit != 0)" : "");
    }
  }
  if (!pdftk.empty())
    std::printf("slowest ratio: %.1fx (target: at least 10x)\n", worstRatio);

  // What a split does: one probe per page, each one page longer.
  const std::string splitSrc = corpus + "/pypdf-samples__GeoTopo-komprimiert.pdf";
  if (::access(splitSrc.c_str(), R_OK) == 0) {
    auto probes = [&](const std::string& exe) {
      const auto start = std::chrono::steady_clock::now();
      for (int last = 1; last <= 30; ++last)
        runOnce({exe, "A=" + splitSrc, "cat", "A1-" + std::to_string(last), "output", outPdf});
      return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    const double ours = probes(engine);
    std::printf("\n30 growing probes (split-like), GeoTopo: tovix %.0f ms", ours * 1e3);
    if (!pdftk.empty()) {
      const double theirs = probes(pdftk);
      std::printf(", pdftk %.0f ms, ratio %.1fx", theirs * 1e3, theirs / ours);
    }
    std::printf("\n");
  }

  // Peak memory: 10 pages from the largest corpus file.
  std::string largest;
  std::uintmax_t largestSize = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(corpus, ec)) {
    if (e.path().extension() == ".pdf" && e.file_size(ec) > largestSize) {
      largestSize = e.file_size(ec);
      largest = e.path().string();
    }
  }
  if (!largest.empty()) {
    const Sample a = measure({engine, "A=" + largest, "cat", "A1-10", "output", outPdf}, 3);
    const double outMb = static_cast<double>(fs::file_size(outPdf, ec)) / (1024.0 * 1024.0);
    const double rssMb = static_cast<double>(a.maxRssKb) / 1024.0;
    const double limit = 3 * outMb + 30;
    std::printf("\npeak memory, cat A1-10 of %s (%.1f MB): tovix %.1f MB, output %.2f MB, "
                "limit 3 x output + 30 MB = %.1f MB: %s (%.2f of the limit)",
                fs::path(largest).filename().c_str(),
                static_cast<double>(largestSize) / (1024.0 * 1024.0), rssMb, outMb, limit,
                rssMb < limit ? "ok" : "OVER", rssMb / limit);
    if (!pdftk.empty()) {
      const Sample b = measure({pdftk, "A=" + largest, "cat", "A1-10", "output", outPdf}, 1);
      std::printf("; pdftk %.1f MB", static_cast<double>(b.maxRssKb) / 1024.0);
    }
    std::printf("\n");
  }
  fs::remove_all(tmp, ec);
  return 0;
}
