// Real faults of the machine met by the built program: full devices, file
// size and memory limits, read-only files for an unprivileged user, inputs
// that are directories or pipes, fatal signals, and sizes at and beyond the
// storage limits.
#ifndef _WIN32

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "support/model_fixture.h"
#include "support/testkit.h"

using namespace testkit;

namespace {

// A program built with AddressSanitizer reserves far more address space than
// any memory limit that makes sense here, so the runs under RLIMIT_AS are
// left out of such a build.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// ---- Running the program under a fault ------------------------------------

struct Fault {
  std::string stdoutFile;                // standard output goes to this new file instead of a pipe
  rlim_t fileSizeLimit = RLIM_INFINITY;  // RLIMIT_FSIZE, in bytes
  rlim_t memoryLimit = RLIM_INFINITY;    // RLIMIT_AS, in bytes
  bool unprivileged = false;             // when root, run as user and group 65534
  int signal = 0;                        // sent once the program waits for an answer that never comes
};

// The program's state letter in /proc ('S' while it sleeps in a read).
char processState(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::size_t close = all.rfind(')');
  return close != std::string::npos && close + 2 < all.size() ? all[close + 2] : '?';
}

RunResult runUnder(const std::string& cwd, std::string_view input, const Fault& fault) {
  std::signal(SIGPIPE, SIG_IGN);
  int inPipe[2], outPipe[2], errPipe[2];
  if (::pipe(inPipe) != 0 || ::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) throw std::runtime_error("pipe");
  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    ::dup2(inPipe[0], 0);
    if (fault.stdoutFile.empty()) {
      ::dup2(outPipe[1], 1);
    } else {
      int fd = ::open(fault.stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      if (fd < 0) ::_exit(126);
      ::dup2(fd, 1);
      ::close(fd);
    }
    ::dup2(errPipe[1], 2);
    for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) ::close(fd);
    // Everything the program meets must be its own doing: default signal
    // dispositions (SIGXFSZ included) and an empty signal mask.
    for (int sig : {SIGPIPE, SIGXFSZ, SIGILL, SIGABRT, SIGFPE, SIGSEGV}) std::signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    if (fault.fileSizeLimit != RLIM_INFINITY) {
      rlimit limit{fault.fileSizeLimit, fault.fileSizeLimit};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(125);
    }
    if (fault.memoryLimit != RLIM_INFINITY && !kAddressSanitizer) {
      rlimit limit{fault.memoryLimit, fault.memoryLimit};
      if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(125);
    }
    if (fault.unprivileged && ::geteuid() == 0) {
      constexpr uid_t kNobody = 65534;
      if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(125);
    }
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
  bool inOpen = true, outOpen = true, errOpen = true, signalled = false;
  auto closeInput = [&] {
    if (inOpen) ::close(inPipe[1]);
    inOpen = false;
  };
  // With a signal to send, the input stays open after the last answer, so
  // that the program waits for the next one.
  if (input.empty() && fault.signal == 0) closeInput();
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
    if (inOpen && sent < input.size()) {
      fds[n] = {inPipe[1], POLLOUT, 0};
      iIn = n++;
    }
    bool waitForSleep = fault.signal != 0 && !signalled && sent == input.size();
    int ready = ::poll(fds, static_cast<nfds_t>(n), waitForSleep ? 20 : -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (ready == 0 && waitForSleep) {
      // All answers are taken from the pipe and the program sleeps: it is
      // blocked reading the answer that never comes.
      int unread = -1;
      if (::ioctl(inPipe[1], FIONREAD, &unread) == 0 && unread == 0 && processState(pid) == 'S') {
        ::kill(pid, fault.signal);
        signalled = true;
      }
      continue;
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
      if (put < 0) closeInput();
      if (sent == input.size() && fault.signal == 0) closeInput();
    }
  }
  closeInput();
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

// ---- A small model --------------------------------------------------------

// nrows x ncols cells, one transient stress period, `pairs` monthly pairs
// whose heads are 100 * i + 1 + cell index, an ibound array file of ones.
struct Model {
  ScratchDir dir;
  int nrows, ncols;
  Model(int rows, int cols, int pairs) : nrows(rows), ncols(cols) {
    writeFile(dir.file("dis.txt"), disFile(1, nrows, ncols, {"TR"}));
    writeFile(dir.file("heads.bin"), headsPairs(pairs));
    std::string ibound;
    for (int k = 0; k < nrows; ++k) {
      for (int l = 0; l < ncols; ++l) ibound += "  1";
      ibound += "\n";
    }
    writeFile(dir.file("ibound.txt"), ibound);
  }
  std::string pair(int i) const {
    PairHeader h;
    h.kper = i + 1;
    h.ncol = ncols;
    h.nrow = nrows;
    return headsPair(h, nrows * ncols, 100.0 * i + 1.0);
  }
  std::string headsPairs(int count) const {
    std::string s;
    for (int i = 0; i < count; ++i) s += pair(i);
    return s;
  }
  std::string file(const std::string& name) const { return readFile(dir.file(name)); }
  RunResult run(const std::string& answers, const Fault& fault = {}) const {
    return runUnder(dir.path, answers, fault);
  }
  std::string format() const { return "(" + std::to_string(ncols) + "I3)"; }
};

// Month 2 of 1990, as a table read with the ibound array file, or as binary.
std::string tableAnswers(const Model& m, const std::string& out = "out.txt") {
  return "dis.txt\nheads.bin\n1990 1990\n" + out + "\nD\nA\nibound.txt\n" + m.format() + "\ny\n2\n";
}
std::string binaryAnswers(const std::string& out = "out.bin") {
  return "dis.txt\nheads.bin\n1990 1990\n" + out + "\nU\ny\n2\n";
}

std::string report(int stmt, int unit, const std::string& file, const std::string& message) {
  return "At line " + std::to_string(stmt) + " of file Vantorell (unit = " + std::to_string(unit) + ", file = '" +
         file + "')\nVantorell runtime error: " + message + "\n";
}

// One or more lines "#<frame>  0x<hex address>".
bool isAddressList(const std::string& text) {
  std::size_t at = 0;
  int lines = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) return false;
    std::string line = text.substr(at, end - at);
    std::size_t gap = line.find("  0x");
    if (line.size() < 2 || line[0] != '#' || gap == std::string::npos || gap == 1) return false;
    if (line.find_first_not_of("0123456789", 1) != gap) return false;
    if (gap + 4 == line.size() || line.find_first_not_of("0123456789abcdef", gap + 4) != std::string::npos) {
      return false;
    }
    ++lines;
    at = end + 1;
  }
  return lines > 0;
}

const std::string kNoSpace = std::strerror(ENOSPC);
const std::string kTooLarge = std::strerror(EFBIG);

}  // namespace

// ---- Full devices -----------------------------------------------------------

TEST(Faults, OutputOrLogOnAFullDeviceEndsTheRunAtTheStatement) {
  struct Case {
    const char* name;
    bool logOnFullDevice;
    std::string answers;
    std::string err;
  };
  Model m(2, 3, 12);
  const std::vector<Case> cases = {
      {"table on /dev/full", false, tableAnswers(m, "/dev/full"), report(303, 11, "/dev/full", kNoSpace)},
      {"binary on /dev/full", false, binaryAnswers("/dev/full"), report(311, 11, "/dev/full", kNoSpace)},
      {"log on /dev/full", true, binaryAnswers(), report(216, 14, "Vantorell.log", kNoSpace)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::unlink(m.dir.file("Vantorell.log").c_str());
    if (c.logOnFullDevice) {
      ASSERT_EQ(::symlink("/dev/full", m.dir.file("Vantorell.log").c_str()), 0);
    }
    RunResult r = m.run(c.answers);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, 2);
    if (c.logOnFullDevice) {
      EXPECT_FALSE(fileExists(m.dir.file("out.bin")));  // the run ended before the output was connected
    } else {
      // The log, on a sound disk, holds everything up to the failing statement.
      EXPECT_NE(m.file("Vantorell.log").find("Write computed heads for (month, year)"), std::string::npos);
    }
  }
}

// Standard output keeps its own rule: what the console refuses is kept for
// the next record and never reported, so the run itself succeeds.
TEST(Faults, ConsoleOnAFullDeviceIsNotAFailureOfTheRun) {
  Model m(2, 3, 12);
  Fault fault;
  fault.stdoutFile = "/dev/full";
  RunResult r = m.run(binaryAnswers(), fault);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(m.file("out.bin"), m.pair(1));
}

// ---- File size limits -----------------------------------------------------

// The buffer is written out during the run (the table is far longer than it)
// and meets the limit: the statement that was running reports it, and the
// file holds exactly what the system took.
TEST(Faults, FileSizeLimitMetWhileTheBufferIsWrittenOut) {
  Model m(20, 30, 2);
  ASSERT_EQ(m.run(tableAnswers(m)).status, 0);
  const std::string full = m.file("out.txt");
  ASSERT_GT(full.size(), 40000u);

  Fault fault;
  fault.fileSizeLimit = 20000;
  RunResult r = m.run(tableAnswers(m), fault);
  EXPECT_EQ(r.err, report(307, 11, "out.txt", kTooLarge));
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(m.file("out.txt") == full.substr(0, 20000));
}

// The first write statement on an existing longer file fails part-way: the
// file is cut after what the system took, so no old byte follows the new
// ones. The log, which also fails at its last write-out, does not add a
// second report.
TEST(Faults, FirstWriteMeetingTheLimitCutsAfterWhatWasTaken) {
  Model m(2, 3, 12);
  writeFile(m.dir.file("out.bin"), std::string(5000, 'x'));
  Fault fault;
  fault.fileSizeLimit = 30;
  RunResult r = m.run(binaryAnswers(), fault);
  EXPECT_EQ(r.err, report(311, 11, "out.bin", kTooLarge));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(m.file("out.bin"), m.pair(1).substr(0, 30));
  EXPECT_EQ(m.file("Vantorell.log").size(), 30u);
}

// Everything fits the buffer and only the last write-out at the end of the
// run meets the limit: the run that would have ended with status 0 ends with
// the report of the unit's last write statement and status 2; the other
// units are still written out in full.
TEST(Faults, FileSizeLimitMetAtTheEndOfTheRun) {
  {
    SCOPED_TRACE("table");
    Model m(8, 10, 2);
    ASSERT_EQ(m.run(tableAnswers(m)).status, 0);
    const std::string full = m.file("out.txt");
    const std::string log = m.file("Vantorell.log");
    ASSERT_GT(full.size(), 6000u);
    ASSERT_LT(full.size(), 8192u);  // never written out before the end
    ASSERT_LT(log.size(), 4000u);

    Fault fault;
    fault.fileSizeLimit = 4000;
    RunResult r = m.run(tableAnswers(m), fault);
    EXPECT_EQ(r.err, report(307, 11, "out.txt", kTooLarge));
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(m.file("out.txt") == full.substr(0, 4000));
    EXPECT_EQ(m.file("Vantorell.log"), log);
  }
  {
    SCOPED_TRACE("log of a declined run");
    Model m(2, 3, 2);
    const std::string answers = "dis.txt\nheads.bin\n1990 1990\nout.bin\nU\nn\n";
    ASSERT_EQ(m.run(answers).status, 0);
    const std::string log = m.file("Vantorell.log");
    ASSERT_GT(log.size(), 500u);

    Fault fault;
    fault.fileSizeLimit = 500;
    RunResult r = m.run(answers, fault);
    EXPECT_EQ(r.err, report(225, 14, "Vantorell.log", kTooLarge));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(m.file("Vantorell.log"), log.substr(0, 500));
  }
}

// A run that has already failed keeps its one report when the write-out of
// the log fails at the end as well.
TEST(Faults, AnEarlierReportIsNotHiddenByALaterWriteFailure) {
  Model m(2, 3, 1);  // the heads file ends before month 2
  Fault fault;
  fault.fileSizeLimit = 100;
  RunResult r = m.run(binaryAnswers(), fault);
  EXPECT_EQ(r.err, report(295, 10, "heads.bin", "End of file"));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(m.file("Vantorell.log").size(), 100u);
}

// ---- Read-only files, for a user that permission bits stop ----------------

TEST(Faults, ReadOnlyOutputAndLogForAnUnprivilegedUser) {
  struct Case {
    const char* name;
    const char* readOnly;  // the file made read-only before the run
    std::string answers;
    std::string err;
  };
  Model probe(2, 3, 12);
  const std::vector<Case> cases = {
      {"table", "out.txt", tableAnswers(probe), report(303, 11, "out.txt", "Cannot write to file opened for READ")},
      {"binary", "out.bin", binaryAnswers(), report(311, 11, "out.bin", "Cannot write to file opened for READ")},
      {"log", "Vantorell.log", binaryAnswers(),
       report(216, 14, "Vantorell.log", "Cannot write to file opened for READ")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Model m(2, 3, 12);
    ASSERT_EQ(::chmod(m.dir.path.c_str(), 0777), 0);
    writeFile(m.dir.file(c.readOnly), "old content");
    ASSERT_EQ(::chmod(m.dir.file(c.readOnly).c_str(), 0444), 0);
    Fault fault;
    fault.unprivileged = true;
    RunResult r = m.run(c.answers, fault);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(m.file(c.readOnly), "old content");
  }

  SCOPED_TRACE("output in a directory the user cannot write to");
  Model m(2, 3, 12);
  ASSERT_EQ(::chmod(m.dir.path.c_str(), 0777), 0);
  ASSERT_EQ(::mkdir(m.dir.file("ro").c_str(), 0555), 0);
  Fault fault;
  fault.unprivileged = true;
  RunResult r = m.run(binaryAnswers("ro/out.bin"), fault);
  EXPECT_EQ(r.err, report(237, 11, "", "Permission denied trying to open file 'ro/out.bin'"));
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(fileExists(m.dir.file("ro/out.bin")));
}

// ---- Inputs that are directories -------------------------------------------

TEST(Faults, AFileThatIsADirectoryIsRefusedWhenConnected) {
  struct Case {
    const char* name;
    std::string answers;
    std::string err;
  };
  Model m(2, 3, 12);
  ASSERT_EQ(::mkdir(m.dir.file("sub").c_str(), 0700), 0);
  const std::string isDir = "'sub' is a directory";
  const std::vector<Case> cases = {
      {"discretization", "sub\n", report(113, 11, "", isDir)},
      {"grid attributes", "dis.txt\nheads.bin\n1990 1990\nout.txt\nD\nD\nsub\n", report(188, 12, "", isDir)},
      {"ibound array", "dis.txt\nheads.bin\n1990 1990\nout.txt\nD\nA\nsub\n", report(173, 12, "", isDir)},
      {"output", "dis.txt\nheads.bin\n1990 1990\nsub\nU\ny\n", report(237, 11, "", isDir)},
      {"heads", "dis.txt\nsub\n1990 1990\nout.bin\nU\ny\n", report(244, 10, "", isDir)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunResult r = m.run(c.answers);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, 2);
  }
}

// ---- Fatal signals ----------------------------------------------------------

// Each fatal signal reaches the program while it waits for the confirmation:
// the report is on standard error, the process ends by that signal, and the
// data still in buffers (the prompts to a redirected standard output, the
// first log lines) never reaches its file.
TEST(Faults, FatalSignalsAreReportedThenTakeTheirEffect) {
  struct Case {
    int signal;
    const char* name;
    const char* description;
  };
  const Case cases[] = {
      {SIGILL, "SIGILL", "Illegal instruction"},
      {SIGABRT, "SIGABRT", "Process abort signal"},
      {SIGFPE, "SIGFPE", "Floating-point exception - erroneous arithmetic operation"},
      {SIGSEGV, "SIGSEGV", "Segmentation fault - invalid memory reference"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Model m(2, 3, 12);
    Fault fault;
    fault.stdoutFile = m.dir.file("console.txt");
    fault.signal = c.signal;
    RunResult r = m.run("dis.txt\nheads.bin\n1990 1990\nout.bin\nU\n", fault);
    EXPECT_EQ(r.signal, c.signal);
    EXPECT_EQ(r.status, -1);
    const std::string head =
        std::string("\nProgram received signal ") + c.name + ": " + c.description + ".\n\nBacktrace for this error:\n";
    ASSERT_EQ(r.err.substr(0, head.size()), head);
    EXPECT_TRUE(isAddressList(r.err.substr(head.size()))) << r.err;
    EXPECT_EQ(m.file("console.txt"), "");
    EXPECT_TRUE(fileExists(m.dir.file("Vantorell.log")));  // connected, so the signal came after statement 215
    EXPECT_EQ(m.file("Vantorell.log"), "");
    EXPECT_FALSE(fileExists(m.dir.file("out.bin")));
  }
}

// ---- Hostile sizes ----------------------------------------------------------

TEST(Faults, StorageLimitsAndMemoryExhaustion) {
  struct Case {
    const char* name;
    std::string dimensions;  // the first record of the discretization file
    std::string err;
    int status;
  };
  const std::string overflow =
      "Vantorell runtime error: Integer overflow when calculating the amount of memory to allocate\n";
  const std::string exhausted =
      "Operating system error: Cannot allocate memory\nAllocation would exceed memory limit\n";
  const std::vector<Case> cases = {
      // 536,870,911 cells pass the limit of the head grid (and then need 4 GiB).
      {"largest head grid", "1 1 536870911 1 4 2", exhausted, 1},
      {"one cell more", "1 16384 32768 1 4 2", overflow, 2},  // 2^29 = 536,870,912
      {"largest stress-period table", "1 2 3 536870911 4 2", exhausted, 1},
      {"one period more", "1 2 3 536870912 4 2", overflow, 2},
      {"grids beyond the memory limit", "1 10000 10000 1 4 2", exhausted, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (kAddressSanitizer && c.status == 1) continue;  // needs the memory limit
    ScratchDir dir;
    writeFile(dir.file("dis.txt"), c.dimensions + "\n0\nWIDTH 1.0\nWIDTH 1.0\nx\nx\n31.0 1 1.0 TR label\n");
    Fault fault;
    fault.memoryLimit = rlim_t{512} << 20;
    RunResult r = runUnder(dir.path, "dis.txt\n", fault);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, c.status);
  }

  if (kAddressSanitizer) GTEST_SKIP() << "memory limits do not apply to an AddressSanitizer build";
  SCOPED_TRACE("a model that fits runs under the same limit");
  Model m(2, 3, 12);
  Fault fault;
  fault.memoryLimit = rlim_t{512} << 20;
  RunResult r = m.run(binaryAnswers(), fault);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(m.file("out.bin"), m.pair(1));
}

// Markers near 2^31 in a short heads file: nothing is allocated for what
// they promise, a skip ends at the end of the file (also of a pipe, where
// it reads and discards) instead of waiting, and the reports are the usual
// ones. The memory limit would stop any allocation of their size.
TEST(Faults, HeadMarkersNearTwoToThe31) {
  Model m(2, 3, 0);
  PairHeader h;
  h.ncol = 3;
  h.nrow = 2;
  const std::string header = headerPayload(h);
  const std::string heads = doublesPayload({1, 2, 3, 4, 5, 6});
  struct Case {
    const char* name;
    std::string content;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"header promising 2^31 - 1 bytes", le32(std::numeric_limits<std::int32_t>::max()) + header,
       report(296, 10, "heads.bin", "End of file")},
      {"header continued by 2^31 bytes", le32(std::numeric_limits<std::int32_t>::min()) + header,
       report(295, 10, "heads.bin", "End of file")},
      {"array promising 2^31 - 9 bytes", framed(header) + le32(2147483639) + heads,
       report(295, 10, "heads.bin", "End of file")},
      {"array promising more than the file holds", framed(header) + le32(2147483639) + heads.substr(0, 40),
       report(296, 10, "heads.bin", "Unformatted file structure has been corrupted")},
  };
  for (bool pipe : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (pipe ? ", from a pipe" : ""));
      ::unlink(m.dir.file("heads.bin").c_str());
      pid_t writer = -1;
      if (pipe) {
        ASSERT_EQ(::mkfifo(m.dir.file("heads.bin").c_str(), 0600), 0);
        writer = ::fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
          int fd = ::open(m.dir.file("heads.bin").c_str(), O_WRONLY);
          bool ok =
              fd >= 0 && ::write(fd, c.content.data(), c.content.size()) == static_cast<ssize_t>(c.content.size());
          ::_exit(ok ? 0 : 1);
        }
      } else {
        writeFile(m.dir.file("heads.bin"), c.content);
      }
      Fault fault;
      fault.memoryLimit = rlim_t{256} << 20;
      // Month 2: the first pair is passed over and the second is looked for.
      RunResult r = m.run(binaryAnswers(), fault);
      if (writer > 0) ::waitpid(writer, nullptr, 0);
      EXPECT_EQ(r.err, c.err);
      EXPECT_EQ(r.status, 2);
    }
  }
}

// Repeat counts, widths and positions near and beyond 2^31 in an ibound
// format: each gives what the reading rules say for it, without a large
// allocation or a walk of 2^31 idle steps.
TEST(Faults, FormatNumbersNearTwoToThe31) {
  Model m(2, 3, 1);
  writeFile(m.dir.file("rows.txt"), "  1  0 -1\n  2  3  4\n");
  writeFile(m.dir.file("column.txt"), "  1\n  0\n -1\n  2\n  3\n  4\n");
  auto table = [&](const std::vector<int>& ibound) {
    std::string s = " node row col ibound  head\r\n";
    for (int cell = 0; cell < 6; ++cell) {
      s += " " + i11(cell + 1) + " " + i11(cell / 3 + 1) + " " + i11(cell % 3 + 1) + " " + i11(ibound[cell]) + "   " +
           std::to_string(cell + 1) + ".0000000000000000     \r\n";
    }
    return s;
  };
  const std::vector<int> read = {1, 0, -1, 2, 3, 4};
  const std::vector<int> zeros(6, 0);
  struct Case {
    const char* format;
    const char* file;
    std::string err;  // empty: the run succeeds with `ibound`
    std::vector<int> ibound;
  };
  const std::vector<Case> cases = {
      {"(2147483647I3)", "rows.txt", "", read},
      {"(2147483648I3)", "rows.txt", "", read},
      {"(9999999999999999I3)", "rows.txt", "", read},
      {"(2147483647(I3))", "rows.txt", "", read},
      // One wide field per item takes a whole line; the format reverts for each item.
      {"(I2147483647)", "column.txt", "", read},
      // Moves far to the right stop at the line end; the fields after them are empty.
      {"(2147483647X,I3)", "column.txt", "", zeros},
      {"(TR2147483647,I3)", "column.txt", "", zeros},
      {"(T2147483647,I3)", "column.txt", "", zeros},
      {"(2147483647/,I3)", "column.txt", report(177, 12, "column.txt", "End of file"), {}},
      {"(I3,2147483647(1X))",
       "rows.txt",
       report(177, 12, "rows.txt", "Insufficient data descriptors in format after reversion"),
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    Fault fault;
    fault.memoryLimit = rlim_t{256} << 20;
    RunResult r = m.run(
        std::string("dis.txt\nheads.bin\n1990 1990\nout.txt\nD\nA\n") + c.file + "\n" + c.format + "\ny\n1\n", fault);
    EXPECT_EQ(r.err, c.err);
    if (c.err.empty()) {
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(m.file("out.txt"), table(c.ibound));
    } else {
      EXPECT_EQ(r.status, 2);
    }
  }
}

#endif  // !_WIN32
