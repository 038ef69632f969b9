#include "support/testkit.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "records/file_units.h"

namespace testkit {

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vantorell-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  // Make everything writable again first, so that read-only fixtures go too.
  for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
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

RunResult runProgram(const std::string& cwd, std::string_view input) {
  std::signal(SIGPIPE, SIG_IGN);
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
    ::execl(VANTORELL_EXE, VANTORELL_EXE, static_cast<char*>(nullptr));
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
    if (outOpen) { fds[n] = {outPipe[0], POLLIN, 0}; iOut = n++; }
    if (errOpen) { fds[n] = {errPipe[0], POLLIN, 0}; iErr = n++; }
    if (inOpen) { fds[n] = {inPipe[1], POLLOUT, 0}; iIn = n++; }
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
  int inFd = ::open(in.c_str(), O_RDONLY | O_CLOEXEC);
  int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (inFd < 0 || outFd < 0) throw std::runtime_error("cannot open console files");
  vantorell::connectConsole(inFd, outFd);
  return out;
}

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

}  // namespace testkit
