#include "tovix/Engine.h"
#include "tovix/Process.h"

#include <unistd.h>

#ifdef SUNDREL_MIMALLOC
#include <mimalloc.h>
#endif

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
#ifdef SUNDREL_MIMALLOC
  // Used, so that no linker drops the library whose malloc replaces the C
  // library's for the whole process.
  (void)mi_version();
#endif
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
