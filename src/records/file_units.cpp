#include "records/file_units.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "records/run_error.h"

namespace vantorell {

namespace {

std::array<Unit, kUnitCount> g_units;

std::string_view withoutTrailingBlanks(std::string_view field) {
  std::size_t n = field.size();
  while (n > 0 && field[n - 1] == ' ') --n;
  return field.substr(0, n);
}

// The first failure that release met, for releaseAll.
WriteFailure g_releaseFailure;

void noteWriteError(Unit& u, int error) {
  if (u.writeError == 0) u.writeError = error;
}

// The console: one system write of the bytes still held from an earlier
// refusal followed by `data`. Whatever the system does not take is kept, to
// go in front of the next record; nothing is ever sent twice.
void sendToConsole(Unit& u, const char* data, std::size_t n) {
  std::size_t taken = 0;
  int error = 0;
  if (u.undelivered.empty()) {
    if (!platform::writeAll(u.handle, data, n, taken, error)) u.undelivered.assign(data + taken, n - taken);
    return;
  }
  u.undelivered.append(data, n);
  platform::writeAll(u.handle, u.undelivered.data(), u.undelivered.size(), taken, error);
  u.undelivered.erase(0, taken);
}

// A file: a regular file is written at the explicit offset outStart, any
// other file in sequence. outStart moves by what the system took, so after
// a failure it is the end of the file's good data. Once a write has failed
// nothing more is written: later data would land after a gap.
void sendToFile(Unit& u, const char* data, std::size_t n) {
  if (u.writeError != 0 || n == 0) return;
  std::size_t taken = 0;
  int error = 0;
  bool ok = u.buffered ? platform::writeAt(u.handle, u.outStart, data, n, taken, error)
                       : platform::writeAll(u.handle, data, n, taken, error);
  u.outStart += static_cast<std::int64_t>(taken);
  if (taken > 0) u.wroteAny = true;
  if (!ok) noteWriteError(u, error != 0 ? error : EIO);
}

void send(Unit& u, const char* data, std::size_t n) {
  if (u.console) {
    sendToConsole(u, data, n);
    u.outStart += static_cast<std::int64_t>(n);
  } else {
    sendToFile(u, data, n);
  }
}

// After a failed write on a file that still held older data (no statement
// has cut it yet): cut it after what the system took, so that nothing old
// follows the new data. A file that took nothing keeps its old content, as
// after a run that never wrote to it.
void cutAfterFailure(Unit& u) {
  if (u.atEnd) return;
  u.atEnd = true;
  if (!u.wroteAny) return;
  int error = 0;
  platform::truncateAt(u.handle, u.outStart, error);  // the write failure is what gets reported
}

void resetUnit(Unit& u, int number) {
  u = Unit{};
  u.number = number;
}

}  // namespace

Unit& unitAt(int number) {
  if (number < 0 || number >= kUnitCount) throw std::logic_error("unit number out of range");
  Unit& u = g_units[static_cast<std::size_t>(number)];
  u.number = number;
  return u;
}

void connectConsole(platform::FileHandle input, platform::FileHandle output) {
  Unit& in = unitAt(5);
  resetUnit(in, 5);
  in.connected = true;
  in.console = true;
  in.name = "stdin";
  in.direction = Direction::ReadOnly;
  in.handle = input;
  in.atEnd = false;
  in.buffer = std::make_unique<char[]>(kBufferSize);

  Unit& out = unitAt(6);
  resetUnit(out, 6);
  out.connected = true;
  out.console = true;
  out.name = "stdout";
  out.direction = Direction::WriteOnly;
  out.handle = output;
  out.atEnd = true;
  out.buffered = platform::inspect(output).regular;
  out.buffer = std::make_unique<char[]>(kBufferSize);
}

void connect(int stmt, int number, std::string_view nameField, Form form, Use use) {
  std::string name(withoutTrailingBlanks(nameField));

  platform::FileId id = platform::identityOfPath(name);
  if (id.valid) {
    for (const Unit& other : g_units) {
      if (other.connected && !other.console && other.number != number && other.id == id) {
        failStatement(stmt, number, "File already opened in another unit");
      }
    }
  }

  platform::OpenResult opened;
  Direction direction = Direction::ReadWrite;
  if (platform::namesPipe(name)) {
    direction = use == Use::Input ? Direction::ReadOnly : Direction::WriteOnly;
    opened =
        platform::openCreating(name, use == Use::Input ? platform::OpenMode::ReadOnly : platform::OpenMode::WriteOnly);
  } else {
    opened = platform::openCreating(name, platform::OpenMode::ReadWrite);
  }
  if (opened.handle == platform::kNoFile && direction == Direction::ReadWrite &&
      (opened.failure == platform::OpenFailure::AccessDenied ||
       opened.failure == platform::OpenFailure::ReadOnlyMedium)) {
    opened = platform::openCreating(name, platform::OpenMode::ReadOnly);
    direction = Direction::ReadOnly;
    if (opened.handle == platform::kNoFile && opened.failure == platform::OpenFailure::AccessDenied) {
      opened = platform::openCreating(name, platform::OpenMode::WriteOnly);
      direction = Direction::WriteOnly;
    }
  }
  if (opened.handle == platform::kNoFile) {
    switch (opened.failure) {
      case platform::OpenFailure::NotFound: failStatement(stmt, number, "File '" + name + "' does not exist");
      case platform::OpenFailure::AccessDenied:
        failStatement(stmt, number, "Permission denied trying to open file '" + name + "'");
      case platform::OpenFailure::IsDirectory: failStatement(stmt, number, "'" + name + "' is a directory");
      default: failStatement(stmt, number, platform::errorText(opened.error));
    }
  }

  Unit& u = unitAt(number);
  resetUnit(u, number);
  u.connected = true;
  u.name = std::move(name);
  u.form = form;
  u.direction = direction;
  u.handle = opened.handle;
  u.id = platform::identityOf(opened.handle);
  platform::FileInfo info = platform::inspect(opened.handle);
  u.atEnd = !info.regular || info.size == 0;
  u.buffered = info.regular;
  u.buffer = std::make_unique<char[]>(kBufferSize);
}

void release(int number) {
  Unit& u = unitAt(number);
  if (!u.connected) return;
  flushOutput(u);
  if (u.console) {
    // Bytes the console refused get one more chance; they are never reported.
    if (!u.undelivered.empty()) sendToConsole(u, "", 0);
    return;
  }
  if (u.writeError != 0) cutAfterFailure(u);
  int closeError = 0;
  bool closed = platform::closeFile(u.handle, closeError);
  // A close that fails matters only for a file that the run wrote to.
  bool wrote = u.lastWriteStatement != 0 || u.wroteAny;
  int failure = u.writeError != 0 ? u.writeError : (!closed && wrote ? closeError : 0);
  if (failure != 0 && g_releaseFailure.error == 0) {
    g_releaseFailure = WriteFailure{number, u.lastWriteStatement, u.name, failure};
  }
  resetUnit(u, number);
}

WriteFailure releaseAll() {
  for (int number = 0; number < kUnitCount; ++number) release(number);
  WriteFailure first = std::move(g_releaseFailure);
  g_releaseFailure = WriteFailure{};
  return first;
}

std::string_view unitName(int number) {
  const Unit& u = unitAt(number);
  if (!u.connected) return {};
  return u.name;
}

Unit& readableUnit(int stmt, int number) {
  Unit& u = unitAt(number);
  if (!u.connected) throw std::logic_error("read statement on a unit that is not connected");
  if (u.direction == Direction::WriteOnly) failStatement(stmt, number, "Cannot read from file opened for WRITE");
  return u;
}

Unit& writableUnit(int stmt, int number) {
  Unit& u = unitAt(number);
  if (!u.connected) throw std::logic_error("write statement on a unit that is not connected");
  if (u.direction == Direction::ReadOnly) failStatement(stmt, number, "Cannot write to file opened for READ");
  u.lastWriteStatement = stmt;
  return u;
}

// ---- Reading ------------------------------------------------------------

bool refillInput(Unit& u) {
  if (u.inPos < u.inLen) return true;
  if (u.inputEnded) return false;
  int error = 0;
  long got = platform::readSome(u.handle, u.buffer.get(), kBufferSize, error);
  u.inPos = 0;
  if (got <= 0) {
    u.inLen = 0;
    if (got < 0) {
      u.inputError = error;
    } else {
      u.inputEnded = true;
    }
    return false;
  }
  u.inLen = static_cast<std::size_t>(got);
  u.inFileEnd += got;
  return true;
}

std::size_t readBytes(Unit& u, char* dst, std::size_t n, int& error) {
  error = 0;
  std::size_t delivered = 0;
  while (n > 0) {
    std::size_t avail = u.inLen - u.inPos;
    if (avail > 0) {
      std::size_t take = std::min(avail, n);
      std::memcpy(dst, u.buffer.get() + u.inPos, take);
      u.inPos += take;
      dst += take;
      n -= take;
      delivered += take;
      continue;
    }
    if (u.inputEnded) break;
    if (n > kDirectTransfer) {
      long got = platform::readSome(u.handle, dst, n, error);
      if (got < 0) break;
      if (got == 0) {
        u.inputEnded = true;
        break;
      }
      u.inFileEnd += got;
      dst += got;
      n -= static_cast<std::size_t>(got);
      delivered += static_cast<std::size_t>(got);
      continue;
    }
    if (!refillInput(u)) {
      error = u.inputError;
      u.inputError = 0;
      break;
    }
  }
  return delivered;
}

void skipBytes(Unit& u, std::uint64_t n, int& error) {
  error = 0;
  std::size_t avail = u.inLen - u.inPos;
  if (n <= avail) {
    u.inPos += static_cast<std::size_t>(n);
    return;
  }
  n -= avail;
  u.inPos = u.inLen = 0;
  if (u.buffered) {
    std::int64_t target = u.inFileEnd + static_cast<std::int64_t>(n);
    if (!platform::seekTo(u.handle, target, error)) return;
    u.inFileEnd = target;
    u.inputEnded = false;
    return;
  }
  while (n > 0 && !u.inputEnded) {
    std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(n, kDirectTransfer));
    long got = platform::readSome(u.handle, u.buffer.get(), piece, error);
    if (got < 0) return;
    if (got == 0) {
      u.inputEnded = true;
      return;
    }
    u.inFileEnd += got;
    n -= static_cast<std::uint64_t>(got);
  }
}

// ---- Writing ------------------------------------------------------------

void putBytes(Unit& u, const char* data, std::size_t n) {
  if (u.writeError != 0) return;
  if (!u.buffered) {
    send(u, data, n);
    return;
  }
  if (n > kDirectTransfer) {  // a large piece goes straight to the file, after the buffer
    flushOutput(u);
    send(u, data, n);
    return;
  }
  if (u.outLen + n > kBufferSize) flushOutput(u);
  if (u.writeError != 0) return;
  std::memcpy(u.buffer.get() + u.outLen, data, n);
  u.outLen += n;
}

void putRecord(Unit& u, const char* data, std::size_t n) {
  if (u.writeError != 0) return;
  if (!u.buffered) {
    // One system write per record; on the console a refused record is kept
    // and sent again in front of the next one.
    send(u, data, n);
    return;
  }
  // Appended to the buffer, which is written out first when the record does
  // not fit; a long record that meets an empty buffer goes straight out.
  if (u.outLen + n > kBufferSize) flushOutput(u);
  if (u.writeError != 0) return;
  if (u.outLen == 0 && n > kDirectTransfer) {
    send(u, data, n);
    return;
  }
  std::memcpy(u.buffer.get() + u.outLen, data, n);
  u.outLen += n;
}

std::int64_t writePosition(const Unit& u) { return u.outStart + static_cast<std::int64_t>(u.outLen); }

int patchBytes(Unit& u, std::int64_t offset, const char* data, std::size_t n) {
  if (u.writeError != 0) return u.writeError;
  if (offset >= u.outStart && offset + static_cast<std::int64_t>(n) <= writePosition(u)) {
    std::memcpy(u.buffer.get() + (offset - u.outStart), data, n);
    return 0;
  }
  flushOutput(u);
  if (u.writeError != 0) return u.writeError;
  std::size_t taken = 0;
  int error = 0;
  if (!platform::writeAt(u.handle, offset, data, n, taken, error)) {
    noteWriteError(u, error);
    return error;
  }
  return 0;
}

void flushOutput(Unit& u) {
  if (u.outLen == 0) return;
  std::size_t n = u.outLen;
  u.outLen = 0;  // on a failure the rest is dropped: outStart already marks the end of the good data
  send(u, u.buffer.get(), n);
}

void finishWriteStatement(int stmt, Unit& u) {
  if (!u.atEnd) {
    flushOutput(u);
    if (u.writeError == 0) {
      int error = 0;
      if (!platform::truncateAt(u.handle, u.outStart, error)) failStatement(stmt, u.number, platform::errorText(error));
      u.atEnd = true;
    } else {
      cutAfterFailure(u);
    }
  }
  // Data refused by the system, this statement's or earlier buffered data
  // written out during it, must not pass as written.
  if (u.writeError != 0) failStatement(stmt, u.number, platform::errorText(u.writeError));
}

void resetUnitsForTesting() {
  for (int number = 0; number < kUnitCount; ++number) {
    Unit& u = unitAt(number);
    if (u.connected && !u.console) platform::closeFile(u.handle);
    resetUnit(u, number);
  }
  g_releaseFailure = WriteFailure{};
}

}  // namespace vantorell
