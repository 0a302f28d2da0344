#include "tests/tovix/Harness.h"

#include "tests/support/TestEnv.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace sundrel::tovix::test {

namespace fs = std::filesystem;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

long long fileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "tovix-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::vector<std::string> TempDir::entries() const {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(path_))
    names.push_back(e.path().filename().string());
  return names;
}

RunResult runProgram(const std::vector<std::string>& argv, const std::string& input, int seconds) {
  TempDir io;
  const std::string inPath = io.file("in"), outPath = io.file("out"), errPath = io.file("err");
  writeFile(inPath, input);
  std::vector<std::string> full{"timeout", "-k", "5", std::to_string(seconds)};
  full.insert(full.end(), argv.begin(), argv.end());
  std::vector<char*> cargv;
  for (auto& a : full)
    cargv.push_back(a.data());
  cargv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  pid_t pid = 0;
  RunResult result;
  if (posix_spawnp(&pid, "timeout", &actions, nullptr, cargv.data(), environ) == 0) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  return result;
}

std::string enginePath() {
  return sundrel::test::binDir() + "/tovix.dll";
}

std::string pdftkPath() {
  for (const char* candidate : {"/usr/bin/pdftk", "/usr/local/bin/pdftk"}) {
    if (::access(candidate, X_OK) == 0)
      return candidate;
  }
  return {};
}

std::string corpusFile(const std::string& name) {
  const std::string path = sundrel::test::corpusDir() + "/" + name;
  return exists(path) ? path : std::string();
}

void writeObjects(const std::string& path, const std::map<int, std::string>& obj,
                  const std::string& trailer) {
  std::string out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  const int size = obj.rbegin()->first + 1;
  std::vector<std::size_t> offsets(static_cast<std::size_t>(size), 0);
  for (const auto& [id, body] : obj) {
    offsets[static_cast<std::size_t>(id)] = out.size();
    out += std::to_string(id) + " 0 obj\n" + body + "\nendobj\n";
  }
  const std::size_t xref = out.size();
  out += "xref\n0 " + std::to_string(size) + "\n0000000000 65535 f \n";
  char line[32];
  for (int id = 1; id < size; ++id) {
    const std::size_t at = offsets[static_cast<std::size_t>(id)];
    if (at == 0)
      std::snprintf(line, sizeof line, "0000000000 00000 f \n");
    else
      std::snprintf(line, sizeof line, "%010zu 00000 n \n", at);
    out += line;
  }
  out += "trailer\n<< /Size " + std::to_string(size) + " /Root 1 0 R" + trailer +
         " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  writeFile(path, out);
}

std::map<int, std::string> textPages(int pages, std::size_t padding, const std::string& resources,
                                     const std::string& draw) {
  std::map<int, std::string> o;
  std::string kids;
  for (int i = 0; i < pages; ++i) {
    const int id = 10 + 2 * i;
    const std::string text =
        draw + "BT /F1 24 Tf 20 120 Td (Page " + std::to_string(i + 1) + ") Tj ET";
    o[id] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Resources " + resources +
            " /Contents " + std::to_string(id + 1) + " 0 R >>";
    o[id + 1] =
        "<< /Length " + std::to_string(text.size()) + " >>\nstream\n" + text + "\nendstream";
    kids += std::to_string(id) + " 0 R ";
  }
  o[1] = "<< /Type /Catalog /Pages 2 0 R >>";
  o[2] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
  o[3] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
  if (padding > 0)
    o[5] = "<< /Length " + std::to_string(padding) + " >>\nstream\n" + std::string(padding, ' ') +
           "\nendstream";
  return o;
}

int pageCount(const std::string& pdf) {
  const RunResult r = runProgram({"pdfinfo", pdf}, "", 20);
  if (r.exitCode != 0)
    return -1;
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("Pages:", 0) == 0)
      return std::atoi(line.c_str() + 6);
  }
  return -1;
}

std::vector<std::string> pageTexts(const std::string& pdf) {
  const RunResult r = runProgram({"pdftotext", "-q", pdf, "-"}, "", 20);
  std::vector<std::string> pages;
  std::string current;
  auto trim = [](std::string s) {
    const auto b = s.find_first_not_of(" \n\r\t");
    const auto e = s.find_last_not_of(" \n\r\t");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
  };
  for (char c : r.out) {
    if (c == '\f') {
      pages.push_back(trim(current));
      current.clear();
    } else {
      current += c;
    }
  }
  return pages;
}

std::string infoValue(const std::string& pdf, const std::string& key) {
  const RunResult r = runProgram({"pdfinfo", pdf}, "", 20);
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    // pdfinfo pads "Key:" to 17 columns
    if (line.rfind(key + ":", 0) == 0 && line.size() >= 17)
      return line.substr(17);
  }
  return "<missing>";
}

bool qpdfCheckClean(const std::string& pdf) {
  const RunResult r = runProgram({"qpdf", "--check", pdf}, "", 20);
  return r.exitCode == 0 && r.out.find("No syntax or stream encoding errors") != std::string::npos;
}

std::map<std::string, std::string> encryption(const std::string& pdf, const std::string& password) {
  std::vector<std::string> argv{"qpdf", "--show-encryption"};
  if (!password.empty())
    argv.push_back("--password=" + password);
  argv.push_back(pdf);
  const RunResult r = runProgram(argv, "", 20);
  std::map<std::string, std::string> values;
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    std::size_t sep = line.find(" = ");
    std::size_t len = 3;
    if (sep == std::string::npos) {
      sep = line.find(": ");
      len = 2;
    }
    if (sep == std::string::npos)
      values[line] = "";
    else
      values[line.substr(0, sep)] = line.substr(sep + len);
  }
  return values;
}

std::string qdf(const std::string& pdf) {
  return runProgram({"qpdf", "--qdf", "--object-streams=disable", pdf, "-"}, "", 20).out;
}

std::string qpdfJson(const std::string& pdf, const std::string& key) {
  return runProgram({"qpdf", "--json", "--json-key=" + key, pdf}, "", 20).out;
}

std::vector<std::string> render(const std::string& pdf, int first, int last,
                                const std::string& tool, const std::string& dir) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string dpi = "50";
  if (tool == "poppler")
    runProgram({"pdftoppm", "-r", dpi, "-f", std::to_string(first), "-l", std::to_string(last), pdf,
                dir + "/p"},
               "", 300);
  else
    runProgram({"mutool", "draw", "-q", "-r", dpi, "-o", dir + "/p-%04d.ppm", pdf,
                std::to_string(first) + "-" + std::to_string(last)},
               "", 300);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.push_back(entry.path().string());
  std::sort(names.begin(), names.end());
  std::vector<std::string> pages;
  for (const auto& name : names)
    pages.push_back(readFile(name));
  return pages;
}

} // namespace sundrel::tovix::test
