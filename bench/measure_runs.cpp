// Runs a command several times and prints the median wall time and the peak
// resident memory of its runs:
//
//   measure_runs <runs> <stdin file> <stdout file> -- <command> [args...]
//
// One warm-up run is not counted. Output: "median_ms min_ms max_ms rss_kib
// status cpu_ms", cpu_ms being the median of user plus system time, which a
// busy machine disturbs less than the wall time.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Run {
  double ms = 0;
  double cpuMs = 0;
  long rssKib = 0;
  int status = -1;
};

Run runOnce(const char* in, const char* out, char** command) {
  auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid < 0) {
    std::perror("fork");
    std::exit(1);
  }
  if (pid == 0) {
    int i = ::open(in, O_RDONLY);
    int o = ::open(out, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (i < 0 || o < 0) _exit(127);
    ::dup2(i, 0);
    ::dup2(o, 1);
    ::close(i);
    ::close(o);
    ::execvp(command[0], command);
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  Run r;
  r.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  r.rssKib = usage.ru_maxrss;
  auto msOf = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
  };
  r.cpuMs = msOf(usage.ru_utime) + msOf(usage.ru_stime);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 == 1 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6 || std::strcmp(argv[4], "--") != 0) {
    std::fprintf(stderr, "usage: measure_runs <runs> <stdin file> <stdout file> -- <command> [args...]\n");
    return 2;
  }
  const int runs = std::max(1, std::atoi(argv[1]));
  char** command = argv + 5;
  runOnce(argv[2], argv[3], command);  // warm-up: page cache, program loading
  std::vector<Run> all;
  for (int i = 0; i < runs; ++i) all.push_back(runOnce(argv[2], argv[3], command));
  std::vector<double> ms, cpu;
  long rss = 0;
  int status = 0;
  for (const Run& r : all) {
    ms.push_back(r.ms);
    cpu.push_back(r.cpuMs);
    rss = std::max(rss, r.rssKib);
    if (r.status != 0) status = r.status;
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%.2f %.2f %.2f %ld %d %.2f\n", median(ms), ms.front(), ms.back(), rss, status, median(cpu));
  return 0;
}
