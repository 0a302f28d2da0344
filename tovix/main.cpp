#include "tovix/Engine.h"
#include "tovix/Process.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return sundrel::tovix::runOnLargeStack(
      [&args] { return sundrel::tovix::run(args, stdout, stderr, stdin); });
}
