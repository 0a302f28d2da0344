#include <cstdio>

int main() {
  std::fputs("Error: the engine is not built yet.\n", stderr);
  return 1;
}
