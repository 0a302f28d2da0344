// A stand-in for the PDF engine that logs every command and answers from
// tables in its own directory, so the split driver's commands can be checked
// exactly and cheaply.
//
//   log.txt     one line per run: the arguments joined by '|'
//   pages.txt   "<file name> <pages>" lines; "*" matches any source
//   sizes.txt   "<first>-<last> <bytes>" lines for cat outputs; default 1000
//   fail.txt    "<first>-<last>" lines: cat of that range writes nothing, exit 1
//   nowrite     when present, cat writes nothing and exits 1
//   info.txt    the last update_info input, copied
//   grow.txt    "by <bytes>": update_info makes its output that much larger
//   perpage.txt "<page> <bytes>" lines: a range not in sizes.txt measures
//               300 bytes plus its pages' bytes
//   hang        when present, every command sleeps for a minute
//   wait.txt    a text: the first command whose joined arguments hold it
//               writes "waiting" and waits, writing nothing, until the
//               program that started it is gone
//   locked.txt  file names whose dump_data says a password is required
//   noinfo      when present, update_info fails; nosecurity: so does encryption
//   session     when present, --session serves commands over the pipe:
//               measure, dump_data/page_sizes to "-", and the one-pass part
//               (written, or measured in a dry run)
//   damaged.txt file names: in a session, dump_data notes a repair, and so
//               does every cat; "<name> page" makes every cat fail instead
//   reason.txt  "<file name> <code>" lines: dump_data of that file fails with
//               that reason code, in a session and in a process

#include "bridge/EngineRunner.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path home;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::map<std::string, long long> table(const std::string& name) {
  std::map<std::string, long long> entries;
  std::ifstream in(home / name);
  std::string key;
  long long value = 0;
  while (in >> key >> value)
    entries[key] = value;
  return entries;
}

bool listed(const std::string& name, const std::string& key) {
  std::ifstream in(home / name);
  std::string line;
  while (in >> line)
    if (line == key)
      return true;
  return false;
}

void writeBytes(const std::string& path, long long bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << std::string(static_cast<std::size_t>(bytes), 'x');
}

void copy(const std::string& from, const std::string& to) {
  std::ofstream(to, std::ios::binary | std::ios::trunc) << readFile(from);
}

long long rangeSize(const std::string& range) {
  auto sizes = table("sizes.txt");
  if (sizes.count(range))
    return sizes[range];
  auto perPage = table("perpage.txt");
  if (perPage.empty())
    return 1000;
  const std::size_t dash = range.find('-');
  const int first = std::stoi(range.substr(0, dash));
  const int last = std::stoi(range.substr(dash + 1));
  long long total = 300;
  for (int page = first; page <= last; ++page)
    total += perPage[std::to_string(page)];
  return total;
}

long long pageCount(const std::string& handle) {
  auto pages = table("pages.txt");
  const std::string name = fs::path(handle).filename().string();
  return pages.count(name) ? pages[name] : pages.count("*") ? pages["*"] : 0;
}

// The reason code reason.txt gives the file; empty when none.
std::string reasonFor(const std::string& name) {
  std::ifstream in(home / "reason.txt");
  std::string file;
  std::string code;
  while (in >> file >> code)
    if (file == name)
      return code;
  return {};
}

// One command of a session: its status line, and the payload for "-".
std::string answer(const std::vector<std::string>& args) {
  const std::string path = args.empty() ? "" : args[0].substr(args[0].find('=') + 1);
  const std::string name = fs::path(path).filename().string();
  if (const std::string code = reasonFor(name);
      !code.empty() && args.size() >= 2 && args[1] == "dump_data")
    return "1 0 Error: [" + code + "] refused as the table says\n";
  const std::string note =
      listed("damaged.txt", name) ? "Warning: " + path + " is damaged and was repaired" : "ok";
  if (args.size() >= 4 && args[1] == "dump_data") {
    const long long count = pageCount(args[0]);
    if (count <= 0)
      return "1 0 Error: Failed to open PDF file: no pages\n";
    const std::string report = "NumberOfPages: " + std::to_string(count) + "\n";
    return "0 " + std::to_string(report.size()) + " " + note + "\n" + report;
  }
  if (args.size() >= 4 && args[1] == "cat") {
    const std::string range = args[2].substr(1);
    if (listed("fail.txt", range))
      return "1 0 Error: cannot extract " + range + "\n";
    if (readFile(home / "damaged.txt").find(name + " page") != std::string::npos)
      return "1 0 Error: Damaged PDF file: " + path + ": page 1 could not be read\n";
    const long long size = rangeSize(range);
    if (args[3] == "measure")
      return "0 " + std::to_string(size) + " " + note + "\n";
    const long long grow = table("grow.txt").count("by") ? table("grow.txt")["by"] : 0;
    const auto output = std::find(args.begin(), args.end(), "output");
    const bool measure = std::find(args.begin(), args.end(), "measure") != args.end();
    if (!measure && (output == args.end() || output + 1 == args.end()))
      return "1 0 Error: no output\n";
    if (!measure)
      writeBytes(*(output + 1), size + grow);
    return "0 " + std::to_string(size + grow) + " cat_bytes=" + std::to_string(size) + " " + note +
           "\n";
  }
  return "1 0 Error: not supported here\n";
}

std::string joined(const std::vector<std::string>& args) {
  std::string text;
  for (std::size_t i = 0; i < args.size(); ++i)
    text += (i ? "|" : "") + args[i];
  return text;
}

void log(const std::vector<std::string>& args) {
  std::ofstream(home / "log.txt", std::ios::app) << joined(args) << '\n';
}

void waitIfAsked(const std::vector<std::string>& args) {
  std::string text = readFile(home / "wait.txt");
  while (!text.empty() && text.back() == '\n')
    text.pop_back();
  if (text.empty() || joined(args).find(text) == std::string::npos)
    return;
  const pid_t parent = ::getppid();
  std::ofstream(home / "waiting") << ::getpid();
  while (::getppid() == parent)
    ::usleep(10000);
  std::_Exit(1);
}

int serve() {
  std::cout << "tovix-session 1" << std::endl;
  for (std::string line; std::getline(std::cin, line);) {
    const auto args = sundrel::bridge::splitCommandLine(line);
    log(args);
    waitIfAsked(args);
    std::cout << answer(args) << std::flush;
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  home = fs::canonical("/proc/self/exe").parent_path();
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "--session")
    return fs::exists(home / "session") ? serve() : 1;
  log(args);
  waitIfAsked(args);
  if (fs::exists(home / "hang"))
    ::sleep(60);
  if (const std::string code = reasonFor(fs::path(args[0]).filename().string());
      !code.empty() && args.size() >= 2 && args[1] == "dump_data") {
    std::cerr << "Error: [" << code << "] refused as the table says\n";
    return 1;
  }
  if (args.size() >= 4 && args[1] == "dump_data" &&
      listed("locked.txt", fs::path(args[0]).filename().string())) {
    std::cerr << "Error: Failed to open PDF file: " << args[0]
              << ": OWNER OR USER PASSWORD REQUIRED, but not given\n";
    return 1;
  }
  if (args.size() >= 4 && args[1] == "dump_data") {
    auto pages = table("pages.txt");
    const std::string name = fs::path(args[0]).filename().string();
    const long long count = pages.count(name) ? pages[name] : pages.count("*") ? pages["*"] : 0;
    if (count > 0)
      std::ofstream(args[3]) << "InfoBegin\nInfoKey: Producer\nInfoValue: fake\nNumberOfPages: "
                             << count << "\n";
    return 0;
  }
  if (args.size() >= 5 && args[1] == "cat") {
    const std::string range = args[2].substr(1); // "A3-5" -> "3-5"
    if (fs::exists(home / "nowrite") || listed("fail.txt", range))
      return 1;
    writeBytes(args[4], rangeSize(range));
    return 0;
  }
  if (args.size() >= 5 && args[1] == "update_info") {
    if (fs::exists(home / "noinfo"))
      return 1;
    copy(args[2], (home / "info.txt").string());
    copy(args[0], args[4]);
    const long long grow = table("grow.txt").count("by") ? table("grow.txt")["by"] : 0;
    std::ofstream(args[4], std::ios::binary | std::ios::app)
        << std::string(static_cast<std::size_t>(grow), 'g');
    return 0;
  }
  if (args.size() >= 3 && args[1] == "output") {
    if (fs::exists(home / "nosecurity"))
      return 1;
    copy(args[0], args[2]);
    return 0;
  }
  return 1;
}
