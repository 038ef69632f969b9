// POSIX implementation of the platform seam.
#include "records/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantorell::platform {

namespace {

OpenFailure classify(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return OpenFailure::NotFound;
    case EACCES:
    case EPERM:
      return OpenFailure::AccessDenied;
    case EROFS:
      return OpenFailure::ReadOnlyMedium;
    case EISDIR:
      return OpenFailure::IsDirectory;
    default:
      return OpenFailure::Other;
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

bool writeAll(FileHandle handle, const void* data, std::size_t n, int& error) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t put = ::write(handle, p, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    p += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

bool writeAt(FileHandle handle, std::int64_t offset, const void* data, std::size_t n, int& error) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t put = ::pwrite(handle, p, n, static_cast<off_t>(offset));
    if (put < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    p += put;
    n -= static_cast<std::size_t>(put);
    offset += put;
  }
  return true;
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

std::string errorText(int error) { return std::strerror(error); }

int lastError() { return errno; }

FileHandle consoleInput() { return STDIN_FILENO; }
FileHandle consoleOutput() { return STDOUT_FILENO; }

void setConsoleBinaryMode() {}  // POSIX streams never translate bytes

void writeError(std::string_view text) {
  int error = 0;
  writeAll(STDERR_FILENO, text.data(), text.size(), error);
}

namespace {

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
  // "#<frame>  0x<hex>" built without the allocator, which may be broken here.
  char line[48];
  char* p = line;
  *p++ = '#';
  char digits[12];
  int nd = 0;
  do {
    digits[nd++] = static_cast<char>('0' + frame % 10);
    frame /= 10;
  } while (frame > 0);
  while (nd > 0) *p++ = digits[--nd];
  *p++ = ' ';
  *p++ = ' ';
  *p++ = '0';
  *p++ = 'x';
  auto value = reinterpret_cast<std::uintptr_t>(address);
  char hex[2 * sizeof value];
  int nh = 0;
  do {
    hex[nh++] = "0123456789abcdef"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  while (nh > 0) *p++ = hex[--nh];
  *p++ = '\n';
  *p = '\0';
  putRaw(line);
}

void onFatalSignal(int sig) {
  const char* name = "SIGSEGV";
  const char* description = "Segmentation fault - invalid memory reference";
  switch (sig) {
    case SIGILL: name = "SIGILL"; description = "Illegal instruction"; break;
    case SIGABRT: name = "SIGABRT"; description = "Process abort signal"; break;
    case SIGFPE:
      name = "SIGFPE";
      description = "Floating-point exception - erroneous arithmetic operation";
      break;
    default: break;
  }
  putRaw("\nProgram received signal ");
  putRaw(name);
  putRaw(": ");
  putRaw(description);
  putRaw(".\n\nBacktrace for this error:\n");
  void* frames[64];
  int count = ::backtrace(frames, 64);
  for (int i = 0; i < count; ++i) putAddress(i, frames[i]);
  // The signal's own effect, without releasing any unit.
  std::signal(sig, SIG_DFL);
  ::raise(sig);
}

}  // namespace

void installFatalSignalHandlers() {
  // backtrace() loads its unwinder on first use; do that now, not in the handler.
  void* warmup[1];
  ::backtrace(warmup, 1);
  for (int sig : {SIGILL, SIGABRT, SIGFPE, SIGSEGV}) {
    struct sigaction action {};
    action.sa_handler = onFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    ::sigaction(sig, &action, nullptr);
  }
}

}  // namespace vantorell::platform
