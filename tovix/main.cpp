#include "tovix/Engine.h"
#include "tovix/Process.h"

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int code = sundrel::tovix::runOnLargeStack([&args] {
    if (args.size() == 1 && args[0] == "--session") {
      sundrel::tovix::runSession(stdin, stdout);
      return 0;
    }
    return sundrel::tovix::run(args, stdout, stderr, stdin);
  });
  // The documents stay in memory: the system takes them back at once,
  // freeing them object by object would not.
  std::fflush(nullptr);
  ::_exit(code);
}
