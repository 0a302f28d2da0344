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

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
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

} // namespace

int main(int argc, char** argv) {
  home = fs::canonical("/proc/self/exe").parent_path();
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "--session")
    return 1; // no session: the driver runs one process per command
  {
    std::ofstream log(home / "log.txt", std::ios::app);
    for (std::size_t i = 0; i < args.size(); ++i)
      log << (i ? "|" : "") << args[i];
    log << '\n';
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
    auto sizes = table("sizes.txt");
    writeBytes(args[4], sizes.count(range) ? sizes[range] : 1000);
    return 0;
  }
  if (args.size() >= 5 && args[1] == "update_info") {
    copy(args[2], (home / "info.txt").string());
    copy(args[0], args[4]);
    const long long grow = table("grow.txt").count("by") ? table("grow.txt")["by"] : 0;
    std::ofstream(args[4], std::ios::binary | std::ios::app)
        << std::string(static_cast<std::size_t>(grow), 'g');
    return 0;
  }
  if (args.size() >= 3 && args[1] == "output") {
    copy(args[0], args[2]);
    return 0;
  }
  return 1;
}
