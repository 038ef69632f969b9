// The program's only door to the operating system: files, console streams,
// signals and the call stack. Everything above this header is portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantorell::platform {

using FileHandle = int;
constexpr FileHandle kNoFile = -1;

enum class OpenMode { ReadWrite, ReadOnly, WriteOnly };
enum class OpenFailure { None, NotFound, AccessDenied, ReadOnlyMedium, IsDirectory, Other };

struct OpenResult {
  FileHandle handle = kNoFile;
  OpenFailure failure = OpenFailure::None;
  int error = 0;  // the system's error code, for errorText
};

// Opens `path` in binary mode, creating it (owner read and write) when missing.
OpenResult openCreating(const std::string& path, OpenMode mode);

struct FileId {
  std::uint64_t device = 0;
  std::uint64_t index = 0;
  bool valid = false;
  bool operator==(const FileId&) const = default;
};

// True when `path` names an existing named pipe.
bool namesPipe(const std::string& path);

FileId identityOf(FileHandle handle);
FileId identityOfPath(const std::string& path);  // invalid when the path names no file

struct FileInfo {
  bool regular = false;
  std::int64_t size = 0;
};
FileInfo inspect(FileHandle handle);

// Reads up to `n` bytes; returns the count (0 at end of file) or -1 with `error` set.
long readSome(FileHandle handle, void* buffer, std::size_t n, int& error);
// Writes all `n` bytes at the current position; false with `error` set on failure.
bool writeAll(FileHandle handle, const void* data, std::size_t n, int& error);
// The same, and `taken` counts the bytes that the system took, also when it
// refused the rest: those bytes are in the file and must not be sent again.
bool writeAll(FileHandle handle, const void* data, std::size_t n, std::size_t& taken, int& error);
// Writes all `n` bytes at `offset` without moving the current position.
bool writeAt(FileHandle handle, std::int64_t offset, const void* data, std::size_t n, int& error);
// The same, with the count of bytes taken from the start of `data`.
bool writeAt(FileHandle handle, std::int64_t offset, const void* data, std::size_t n, std::size_t& taken, int& error);
bool seekTo(FileHandle handle, std::int64_t offset, int& error);
bool truncateAt(FileHandle handle, std::int64_t offset, int& error);
void closeFile(FileHandle handle);
// Closes the file; false with `error` when the system reports that data
// written earlier may not have reached it. The handle is gone either way.
bool closeFile(FileHandle handle, int& error);

// The system's own description of an error code.
std::string errorText(int error);
// The error code of the last failed allocation or call.
int lastError();

FileHandle consoleInput();
FileHandle consoleOutput();
// Switches standard output and standard error to untranslated bytes.
void setConsoleBinaryMode();
// Writes straight to standard error, unbuffered.
void writeError(std::string_view text);

// Makes a file size limit show as a write that fails (with the system's
// "File too large") rather than as a signal that ends the process.
void ignoreFileSizeSignal();

// Installs the report for illegal instruction, abort, floating-point
// exception and segmentation fault. The report is written without the
// allocator and without touching any unit; the signal then takes its
// default effect.
void installFatalSignalHandlers();

}  // namespace vantorell::platform
