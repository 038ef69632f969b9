// POSIX implementation of the platform seam.
#include <execinfo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "records/platform.h"
#include "records/signal_report.h"

namespace vantorell::platform {

namespace {

OpenFailure classify(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return OpenFailure::NotFound;
    case EACCES:
    case EPERM: return OpenFailure::AccessDenied;
    case EROFS: return OpenFailure::ReadOnlyMedium;
    case EISDIR: return OpenFailure::IsDirectory;
    default: return OpenFailure::Other;
  }
}

}  // namespace

OpenResult openCreating(const std::string& path, OpenMode mode) {
  int flags = O_CREAT | O_CLOEXEC;
  switch (mode) {
    case OpenMode::ReadWrite: flags |= O_RDWR; break;
    case OpenMode::ReadOnly: flags |= O_RDONLY; break;
    case OpenMode::WriteOnly: flags |= O_WRONLY; break;
  }
  OpenResult result;
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    result.error = errno;
    result.failure = classify(errno);
    return result;
  }
  result.handle = fd;
  return result;
}

bool namesPipe(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

FileId identityOf(FileHandle handle) {
  struct stat st {};
  if (::fstat(handle, &st) != 0) return {};
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
}

FileId identityOfPath(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
}

FileInfo inspect(FileHandle handle) {
  struct stat st {};
  if (::fstat(handle, &st) != 0) return {};
  return {S_ISREG(st.st_mode), static_cast<std::int64_t>(st.st_size)};
}

long readSome(FileHandle handle, void* buffer, std::size_t n, int& error) {
  for (;;) {
    ssize_t got = ::read(handle, buffer, n);
    if (got >= 0) return static_cast<long>(got);
    if (errno == EINTR) continue;
    error = errno;
    return -1;
  }
}

bool writeAll(FileHandle handle, const void* data, std::size_t n, std::size_t& taken, int& error) {
  const char* p = static_cast<const char*>(data);
  taken = 0;
  while (taken < n) {
    ssize_t put = ::write(handle, p + taken, n - taken);
    if (put < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    if (put == 0) {  // a device that takes nothing without naming a reason
      error = ENOSPC;
      return false;
    }
    taken += static_cast<std::size_t>(put);
  }
  return true;
}

bool writeAll(FileHandle handle, const void* data, std::size_t n, int& error) {
  std::size_t taken = 0;
  return writeAll(handle, data, n, taken, error);
}

bool writeAt(FileHandle handle, std::int64_t offset, const void* data, std::size_t n, std::size_t& taken, int& error) {
  const char* p = static_cast<const char*>(data);
  taken = 0;
  while (taken < n) {
    ssize_t put = ::pwrite(handle, p + taken, n - taken, static_cast<off_t>(offset + static_cast<std::int64_t>(taken)));
    if (put < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    if (put == 0) {
      error = ENOSPC;
      return false;
    }
    taken += static_cast<std::size_t>(put);
  }
  return true;
}

bool writeAt(FileHandle handle, std::int64_t offset, const void* data, std::size_t n, int& error) {
  std::size_t taken = 0;
  return writeAt(handle, offset, data, n, taken, error);
}

bool seekTo(FileHandle handle, std::int64_t offset, int& error) {
  if (::lseek(handle, static_cast<off_t>(offset), SEEK_SET) < 0) {
    error = errno;
    return false;
  }
  return true;
}

bool truncateAt(FileHandle handle, std::int64_t offset, int& error) {
  while (::ftruncate(handle, static_cast<off_t>(offset)) != 0) {
    if (errno == EINTR) continue;
    error = errno;
    return false;
  }
  return true;
}

void closeFile(FileHandle handle) {
  if (handle >= 0) ::close(handle);
}

bool closeFile(FileHandle handle, int& error) {
  if (handle < 0) return true;
  // Not retried on EINTR: the descriptor is released whatever close returns.
  if (::close(handle) == 0) return true;
  error = errno;
  return false;
}

std::string errorText(int error) { return std::strerror(error); }

int lastError() { return errno; }

FileHandle consoleInput() { return STDIN_FILENO; }
FileHandle consoleOutput() { return STDOUT_FILENO; }

void setConsoleBinaryMode() {}  // POSIX streams never translate bytes

void writeError(std::string_view text) {
  int error = 0;
  writeAll(STDERR_FILENO, text.data(), text.size(), error);
}

void ignoreFileSizeSignal() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGXFSZ, &action, nullptr);
}

namespace {

constexpr int kFatalSignals[] = {SIGILL, SIGABRT, SIGFPE, SIGSEGV};

// Set by the first fatal signal: a second one met while its report is being
// written (a fault inside the report itself) takes its default effect at once.
volatile std::sig_atomic_t g_reporting = 0;

// A stack of its own for the handler, so that a stack overflow is reported
// too. Static: nothing is allocated once a signal has arrived.
alignas(16) char g_signalStack[64 * 1024];

// write() is async-signal-safe; errors are passed over, there is no one left
// to tell.
void putRaw(const char* text) {
  std::size_t n = std::strlen(text);
  while (n > 0) {
    ssize_t put = ::write(STDERR_FILENO, text, n);
    if (put <= 0) {
      if (put < 0 && errno == EINTR) continue;
      return;
    }
    text += put;
    n -= static_cast<std::size_t>(put);
  }
}

void putAddress(int frame, void* address) {
  char line[48];
  formatFrameLine(line, frame, address);
  putRaw(line);
}

// The signal's own effect: default disposition, unblocked, raised again.
// Nothing of the program runs after this, and no unit is released.
[[noreturn]] void takeDefaultEffect(int sig) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(sig, &action, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, sig);
  ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(sig);
  // Only reached if the signal could not end the process.
  ::_exit(128 + sig);
}

void onFatalSignal(int sig) {
  if (g_reporting != 0) takeDefaultEffect(sig);
  g_reporting = 1;
  const SignalText text = signalText(sig);
  const char* name = text.name;
  const char* description = text.description;
  putRaw("\nProgram received signal ");
  putRaw(name);
  putRaw(": ");
  putRaw(description);
  putRaw(".\n\nBacktrace for this error:\n");
  // backtrace() was made ready at installation, so it does not load its
  // unwinder (and allocate) here.
  void* frames[64];
  int count = ::backtrace(frames, 64);
  for (int i = 0; i < count; ++i) putAddress(i, frames[i]);
  takeDefaultEffect(sig);
}

}  // namespace

void installFatalSignalHandlers() {
  // backtrace() loads its unwinder on first use; do that now, not in the handler.
  void* warmup[1];
  ::backtrace(warmup, 1);

  stack_t stack{};
  stack.ss_sp = g_signalStack;
  stack.ss_size = sizeof g_signalStack;
  bool ownStack = ::sigaltstack(&stack, nullptr) == 0;

  sigset_t fatal;
  sigemptyset(&fatal);
  for (int sig : kFatalSignals) {
    struct sigaction action {};
    action.sa_handler = onFatalSignal;
    // The other fatal signals are held back while a report is written; the
    // handler's own signal resets to its default, so a fault inside the
    // handler ends the process instead of calling it again.
    sigemptyset(&action.sa_mask);
    for (int other : kFatalSignals) {
      if (other != sig) sigaddset(&action.sa_mask, other);
    }
    action.sa_flags = SA_RESETHAND | SA_NODEFER | (ownStack ? SA_ONSTACK : 0);
    ::sigaction(sig, &action, nullptr);
    sigaddset(&fatal, sig);
  }
  // A mask inherited from the parent must not hold them back.
  ::sigprocmask(SIG_UNBLOCK, &fatal, nullptr);
}

}  // namespace vantorell::platform
