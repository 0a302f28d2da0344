#include "tovix/Process.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace sundrel::tovix {

namespace {

constexpr std::size_t kStackBytes = std::size_t{256} << 20;

int crashFd = 2;
const char* crashLine =
    "Error: [failed] the engine failed on this file (nested too deeply or damaged)\n";

void onCrash(int) {
  // Only async-signal-safe calls: the stack may be exhausted.
  const ssize_t ignored = ::write(crashFd, crashLine, std::strlen(crashLine));
  (void)ignored;
  ::_exit(1);
}

// The handler runs on a stack of its own: the thread's stack is the one
// that overflowed. One set up already (by a sanitizer) is kept.
void installCrashHandler() {
  static thread_local std::vector<char> altStack(64 * 1024);
  stack_t current{};
  if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) != 0) {
    stack_t ss{};
    ss.ss_sp = altStack.data();
    ss.ss_size = altStack.size();
    ::sigaltstack(&ss, nullptr);
  }
  struct sigaction sa {};
  sa.sa_handler = onCrash;
  sa.sa_flags = SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGSEGV, SIGBUS})
    ::sigaction(sig, &sa, nullptr);
}

struct Job {
  const std::function<int()>* work;
  int result = 1;
};

void* runJob(void* arg) {
  auto* job = static_cast<Job*>(arg);
  installCrashHandler();
  job->result = (*job->work)();
  return nullptr;
}

} // namespace

void setCrashLine(int fd, const char* line) {
  crashFd = fd;
  crashLine = line;
}

int runOnLargeStack(const std::function<int()>& work) {
  Job job{&work};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_t thread;
  const bool started = pthread_attr_setstacksize(&attr, kStackBytes) == 0 &&
                       pthread_create(&thread, &attr, runJob, &job) == 0;
  pthread_attr_destroy(&attr);
  if (!started) {
    runJob(&job); // no memory for the large stack: do what the default one allows
    return job.result;
  }
  pthread_join(thread, nullptr);
  return job.result;
}

} // namespace sundrel::tovix
