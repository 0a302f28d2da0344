#include <cstdio>

int main() {
  std::fputs("sundrel-split: not built yet\n", stderr);
  return 1;
}
