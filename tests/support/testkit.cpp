#include "support/testkit.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
// The Windows build of the unit tests gets the in-process helpers only: the
// runs of the program are driven from the Linux side (see runProgram).
#include <io.h>
#else
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "records/file_units.h"

namespace testkit {

ScratchDir::ScratchDir() {
#ifdef _WIN32
  std::random_device entropy;
  for (int attempt = 0; attempt < 100 && path.empty(); ++attempt) {
    auto candidate = std::filesystem::temp_directory_path() / ("vantorell-test-" + std::to_string(entropy()));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) path = candidate.generic_string();
  }
  if (path.empty()) throw std::runtime_error("cannot create a scratch directory");
#else
  std::string pattern = (std::filesystem::temp_directory_path() / "vantorell-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path = pattern;
#endif
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  // Make everything writable again first, so that read-only fixtures go too.
  for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path, ec);
}

void writeFile(const std::string& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

#ifndef _WIN32
const char* programUnderTest() {
  const char* exe = std::getenv("VANTORELL_EXE_UNDER_TEST");
  return exe != nullptr && *exe != '\0' ? exe : VANTORELL_EXE;
}

const char* programRunner() {
  const char* runner = std::getenv("VANTORELL_RUNNER");
  return runner != nullptr && *runner != '\0' ? runner : nullptr;
}

RunResult runProgram(const std::string& cwd, std::string_view input) {
  std::signal(SIGPIPE, SIG_IGN);
  const char* exe = programUnderTest();
  const char* runner = programRunner();
  int inPipe[2], outPipe[2], errPipe[2];
  if (::pipe(inPipe) != 0 || ::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) throw std::runtime_error("pipe");
  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    ::dup2(inPipe[0], 0);
    ::dup2(outPipe[1], 1);
    ::dup2(errPipe[1], 2);
    for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) ::close(fd);
    std::signal(SIGPIPE, SIG_DFL);
    if (::chdir(cwd.c_str()) != 0) ::_exit(127);
    if (runner != nullptr) {
      ::execl(runner, runner, exe, static_cast<char*>(nullptr));
    } else {
      ::execl(exe, exe, static_cast<char*>(nullptr));
    }
    ::_exit(127);
  }
  ::close(inPipe[0]);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  ::fcntl(inPipe[1], F_SETFL, O_NONBLOCK);

  RunResult result;
  std::size_t sent = 0;
  bool inOpen = true, outOpen = true, errOpen = true;
  if (input.empty()) {
    ::close(inPipe[1]);
    inOpen = false;
  }
  while (outOpen || errOpen) {
    pollfd fds[3];
    int n = 0;
    int iOut = -1, iErr = -1, iIn = -1;
    if (outOpen) {
      fds[n] = {outPipe[0], POLLIN, 0};
      iOut = n++;
    }
    if (errOpen) {
      fds[n] = {errPipe[0], POLLIN, 0};
      iErr = n++;
    }
    if (inOpen) {
      fds[n] = {inPipe[1], POLLOUT, 0};
      iIn = n++;
    }
    if (::poll(fds, static_cast<nfds_t>(n), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    char buf[65536];
    auto drain = [&](int idx, int fd, std::string& into, bool& open) {
      if (idx < 0 || !(fds[idx].revents & (POLLIN | POLLHUP | POLLERR))) return;
      ssize_t got = ::read(fd, buf, sizeof buf);
      if (got > 0) {
        into.append(buf, static_cast<std::size_t>(got));
      } else {
        open = false;
        ::close(fd);
      }
    };
    drain(iOut, outPipe[0], result.out, outOpen);
    drain(iErr, errPipe[0], result.err, errOpen);
    if (iIn >= 0 && (fds[iIn].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t put = ::write(inPipe[1], input.data() + sent, input.size() - sent);
      if (put > 0) sent += static_cast<std::size_t>(put);
      if (put < 0 || sent == input.size()) {
        ::close(inPipe[1]);
        inOpen = false;
      }
    }
  }
  if (inOpen) ::close(inPipe[1]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}
#endif  // !_WIN32

std::string connectWith(const ScratchDir& dir, int unit, std::string_view content, bool binary) {
  vantorell::resetUnitsForTesting();
  static int counter = 0;
  std::string path = dir.file("unit" + std::to_string(unit) + "-" + std::to_string(++counter));
  writeFile(path, content);
  vantorell::connect(1, unit, path, binary ? vantorell::Form::Binary : vantorell::Form::Text, vantorell::Use::Input);
  return path;
}

std::string connectConsoleFiles(const ScratchDir& dir, std::string_view input) {
  std::string in = dir.file("console-in");
  std::string out = dir.file("console-out");
  writeFile(in, input);
#ifdef _WIN32
  int inFd = ::_open(in.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  int outFd = ::_open(out.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
#else
  int inFd = ::open(in.c_str(), O_RDONLY | O_CLOEXEC);
  int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
#endif
  if (inFd < 0 || outFd < 0) throw std::runtime_error("cannot open console files");
  vantorell::connectConsole(inFd, outFd);
  return out;
}

#ifndef _WIN32
int runUnprivileged(int (*action)(const std::string& dir), const ScratchDir& dir) {
  ::chmod(dir.path.c_str(), 0777);
  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    if (::geteuid() == 0) {
      constexpr uid_t kNobody = 65534;
      if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(125);
    }
    ::_exit(action(dir.path));
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#endif  // !_WIN32

}  // namespace testkit
