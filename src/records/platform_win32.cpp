// Windows implementation of the platform seam.
//
// Files are C runtime descriptors opened in binary mode, so that the
// portable code keeps its int handles and errno codes; the Win32 API is used
// where the runtime has no equivalent (file identity, file type, the reason of
// a failed open, the stack walk).
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "records/platform.h"
#include "records/signal_report.h"

namespace vantorell::platform {

namespace {

// Paths arrive as bytes from the dialogue. UTF-8 is taken as UTF-8; anything
// else is taken in the system's ANSI code page, which is what a console in
// its usual set-up delivers.
std::wstring widened(const std::string& path) {
  if (path.empty()) return {};
  const int size = static_cast<int>(path.size());
  UINT codePage = CP_UTF8;
  int n = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, path.data(), size, nullptr, 0);
  if (n <= 0) {
    codePage = CP_ACP;
    n = ::MultiByteToWideChar(codePage, 0, path.data(), size, nullptr, 0);
    if (n <= 0) return {};
  }
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(codePage, codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0, path.data(), size, wide.data(), n);
  return wide;
}

bool isPipeName(const std::string& path) {
  // \\.\pipe\name, with either kind of slash
  if (path.size() < 10) return false;
  auto slash = [](char c) { return c == '\\' || c == '/'; };
  return slash(path[0]) && slash(path[1]) && path[2] == '.' && slash(path[3]) &&
         ::_strnicmp(path.c_str() + 4, "pipe", 4) == 0 && slash(path[8]);
}

bool isDirectory(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The reason of a failed open, from the system's own error code (the
// runtime folds several of them into one errno value).
OpenFailure classify(unsigned long systemError, const std::wstring& path) {
  switch (systemError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return OpenFailure::NotFound;
    case ERROR_ACCESS_DENIED:
      // Opening a directory as a file is refused as an access violation.
      return isDirectory(path) ? OpenFailure::IsDirectory : OpenFailure::AccessDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      // Another program holds the file: treated like missing permission, so
      // that a file held open for reading elsewhere can still be read here.
      return OpenFailure::AccessDenied;
    case ERROR_WRITE_PROTECT: return OpenFailure::ReadOnlyMedium;
    default: return OpenFailure::Other;
  }
}

HANDLE systemHandle(FileHandle handle) { return reinterpret_cast<HANDLE>(::_get_osfhandle(handle)); }

FileId identityOfSystemHandle(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  if (h == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(h, &info)) return {};
  return {static_cast<std::uint64_t>(info.dwVolumeSerialNumber),
          (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, true};
}

}  // namespace

OpenResult openCreating(const std::string& path, OpenMode mode) {
  OpenResult result;
  std::wstring wide = widened(path);
  if (wide.empty()) {
    result.error = ENOENT;
    result.failure = OpenFailure::NotFound;
    return result;
  }
  // A pipe exists or it does not; it is never created by its client.
  int flags = _O_BINARY | _O_NOINHERIT | (isPipeName(path) ? 0 : _O_CREAT);
  switch (mode) {
    case OpenMode::ReadWrite: flags |= _O_RDWR; break;
    case OpenMode::ReadOnly: flags |= _O_RDONLY; break;
    case OpenMode::WriteOnly: flags |= _O_WRONLY; break;
  }
  _doserrno = 0;
  // A created file is writable: _S_IWRITE keeps the read-only attribute off.
  int fd = ::_wopen(wide.c_str(), flags, _S_IREAD | _S_IWRITE);
  if (fd < 0) {
    result.error = errno;
    result.failure = classify(_doserrno, wide);
    return result;
  }
  result.handle = fd;
  return result;
}

bool namesPipe(const std::string& path) {
  if (!isPipeName(path)) return false;
  std::wstring wide = widened(path);
  return !wide.empty() && ::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

FileId identityOf(FileHandle handle) { return identityOfSystemHandle(systemHandle(handle)); }

FileId identityOfPath(const std::string& path) {
  std::wstring wide = widened(path);
  if (wide.empty()) return {};
  // No access rights asked for: this only looks at the file, whoever holds it.
  HANDLE h = ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  FileId id = identityOfSystemHandle(h);
  ::CloseHandle(h);
  return id;
}

FileInfo inspect(FileHandle handle) {
  HANDLE h = systemHandle(handle);
  if (h == INVALID_HANDLE_VALUE || ::GetFileType(h) != FILE_TYPE_DISK) return {};
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(h, &size)) return {};
  return {true, static_cast<std::int64_t>(size.QuadPart)};
}

long readSome(FileHandle handle, void* buffer, std::size_t n, int& error) {
  // The runtime counts in unsigned int; a short read is always allowed.
  unsigned int ask = n > (1u << 30) ? (1u << 30) : static_cast<unsigned int>(n);
  int got = ::_read(handle, buffer, ask);
  if (got >= 0) return got;
  error = errno;
  return -1;
}

bool writeAll(FileHandle handle, const void* data, std::size_t n, std::size_t& taken, int& error) {
  const char* p = static_cast<const char*>(data);
  taken = 0;
  while (taken < n) {
    std::size_t left = n - taken;
    unsigned int piece = left > (1u << 30) ? (1u << 30) : static_cast<unsigned int>(left);
    int put = ::_write(handle, p + taken, piece);
    if (put <= 0) {
      // A zero count is a full medium that the runtime did not name.
      error = put < 0 ? errno : ENOSPC;
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
  // Windows has no positioned write that leaves the file pointer alone on a
  // synchronous handle: move there, write, and move back.
  taken = 0;
  __int64 here = ::_lseeki64(handle, 0, SEEK_CUR);
  if (here < 0 || ::_lseeki64(handle, offset, SEEK_SET) < 0) {
    error = errno;
    return false;
  }
  bool written = writeAll(handle, data, n, taken, error);
  if (::_lseeki64(handle, here, SEEK_SET) < 0 && written) {
    error = errno;
    return false;
  }
  return written;
}

bool writeAt(FileHandle handle, std::int64_t offset, const void* data, std::size_t n, int& error) {
  std::size_t taken = 0;
  return writeAt(handle, offset, data, n, taken, error);
}

bool seekTo(FileHandle handle, std::int64_t offset, int& error) {
  if (::_lseeki64(handle, offset, SEEK_SET) < 0) {
    error = errno;
    return false;
  }
  return true;
}

bool truncateAt(FileHandle handle, std::int64_t offset, int& error) {
  errno_t failed = ::_chsize_s(handle, offset);
  if (failed != 0) {
    error = failed;
    return false;
  }
  return true;
}

void closeFile(FileHandle handle) {
  if (handle >= 0) ::_close(handle);
}

bool closeFile(FileHandle handle, int& error) {
  if (handle < 0) return true;
  if (::_close(handle) == 0) return true;
  error = errno;
  return false;
}

// Every error code that crosses the seam is a C runtime errno value, so the
// runtime's own text describes it.
std::string errorText(int error) { return std::strerror(error); }

int lastError() { return errno; }

FileHandle consoleInput() { return 0; }
FileHandle consoleOutput() { return 1; }

void setConsoleBinaryMode() {
  // The program writes its own CR LF; a translating stream would double the CR.
  ::_setmode(1, _O_BINARY);
  ::_setmode(2, _O_BINARY);
  // Standard input stays in text mode: CR LF arrives as LF, which the readers accept.
  ::_setmode(0, _O_TEXT);
}

void writeError(std::string_view text) {
  int error = 0;
  writeAll(2, text.data(), text.size(), error);
}

// Windows has no file size signal: a write beyond a limit simply fails.
void ignoreFileSizeSignal() {}

namespace {

void putRaw(const char* text) {
  std::size_t n = std::strlen(text);
  while (n > 0) {
    int put = ::_write(2, text, static_cast<unsigned int>(n));
    if (put <= 0) return;
    text += put;
    n -= static_cast<std::size_t>(put);
  }
}

void putAddress(int frame, void* address) {
  char line[48];
  formatFrameLine(line, frame, address);
  putRaw(line);
}

volatile LONG g_reported = 0;

void report(int sig) {
  const SignalText text = signalText(sig);
  const char* name = text.name;
  const char* description = text.description;
  putRaw("\nProgram received signal ");
  putRaw(name);
  putRaw(": ");
  putRaw(description);
  putRaw(".\n\nBacktrace for this error:\n");
  void* frames[62];  // older systems refuse more than 62 frames at once
  USHORT count = ::RtlCaptureStackBackTrace(0, 62, frames, nullptr);
  // The walk may end in a null frame (under Wine, for one): that is no code address.
  for (USHORT i = 0; i < count && frames[i] != nullptr; ++i) putAddress(i, frames[i]);
}

// The signal a hardware exception stands for, or 0 for one that is not
// reported (C++ exceptions and the like take their own way to abort).
int signalOf(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_GUARD_PAGE: return SIGSEGV;
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION: return SIGILL;
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_STACK_CHECK: return SIGFPE;
    default: return 0;
  }
}

LONG WINAPI onFatalException(EXCEPTION_POINTERS* info) {
  int sig = signalOf(info->ExceptionRecord->ExceptionCode);
  if (sig != 0 && ::InterlockedExchange(&g_reported, 1) == 0) report(sig);
  // The exception's own effect: the process ends with the exception code as
  // its status, without releasing any unit.
  return EXCEPTION_CONTINUE_SEARCH;
}

void onAbort(int sig) {
  if (::InterlockedExchange(&g_reported, 1) == 0) report(sig);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

}  // namespace

void installFatalSignalHandlers() {
  // No message boxes: a crash, or a drive without a medium, is reported on
  // the console like everything else.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  // Room below the guard page for the report of a stack overflow.
  ULONG reserve = 64 * 1024;
  ::SetThreadStackGuarantee(&reserve);
  ::SetUnhandledExceptionFilter(onFatalException);
  std::signal(SIGABRT, onAbort);
}

}  // namespace vantorell::platform
