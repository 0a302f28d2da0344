// How much processor time the program spends while it waits for the engine:
// the responsive mode must keep the window live without spinning a core.
// Prints the parent's CPU time as a share of the wall time for both modes.

#include "bridge/EngineRunner.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <sys/resource.h>

namespace {

double cpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Measure {
  double wall;
  double cpu;
  long pumps;
};

template <typename Run> Measure measure(Run run, long& pumps) {
  pumps = 0;
  const double cpuBefore = cpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  run();
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  return {wall.count(), cpuSeconds() - cpuBefore, pumps};
}

} // namespace

int main(int argc, char** argv) {
  const std::string seconds = argc > 1 ? argv[1] : "2";
  const std::string command = "/bin/sleep " + seconds;
  long pumps = 0;
  sundrel::bridge::setThreadPumpHook([&] { ++pumps; });

  bool ran = true;
  const Measure pumping =
      measure([&] { ran = sundrel::bridge::runCommandPumping(command).succeeded() && ran; }, pumps);
  const long pumpingPumps = pumps;
  const Measure blocking = measure(
      [&] { ran = sundrel::bridge::runCommandBlocking(command).succeeded() && ran; }, pumps);
  if (!ran) {
    std::fprintf(stderr, "%s did not run as it should\n", command.c_str());
    return 1;
  }

  std::printf("child runs %s s\n", seconds.c_str());
  std::printf("%-10s %8s %10s %8s %8s\n", "mode", "wall s", "parent cpu", "cpu/wall", "pumps/s");
  std::printf("%-10s %8.3f %10.4f %7.2f%% %8.0f\n", "responsive", pumping.wall, pumping.cpu,
              100.0 * pumping.cpu / pumping.wall, double(pumpingPumps) / pumping.wall);
  std::printf("%-10s %8.3f %10.4f %7.2f%% %8s\n", "blocking", blocking.wall, blocking.cpu,
              100.0 * blocking.cpu / blocking.wall, "-");
  const double share = pumping.cpu / pumping.wall;
  std::printf("responsive mode: %s (target: parent CPU under 5%% of the wall time)\n",
              share < 0.05 ? "OK" : "OVER TARGET");
  return share < 0.05 ? 0 : 1;
}
