// File units: the table of unit numbers, connecting and releasing files, and
// the buffered byte transfers that every record operation is built on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "records/platform.h"

namespace vantorell {

enum class Form { Text, Binary };
enum class Direction { ReadWrite, ReadOnly, WriteOnly };
// What the program does with a connected file. It matters only for a named
// pipe, which is opened for that use alone: a pipe opened for reading and
// writing holds its own writer and would never show its end.
enum class Use { Input, Output };

constexpr std::size_t kBufferSize = 8192;
// Transfers larger than this bypass the stream buffer.
constexpr std::size_t kDirectTransfer = 4096;
constexpr int kUnitCount = 16;

struct Unit {
  int number = 0;
  bool connected = false;
  bool console = false;
  std::string name;  // the file name without trailing blanks
  Form form = Form::Text;
  Direction direction = Direction::ReadWrite;
  bool atEnd = false;     // end-of-file state: nothing left to cut after a write
  bool buffered = false;  // regular files get the 8,192-byte stream buffer
  platform::FileHandle handle = platform::kNoFile;
  platform::FileId id;

  std::unique_ptr<char[]> buffer;  // kBufferSize bytes, for reading or for writing

  // Reading: buffer[inPos, inLen) are unread bytes; inFileEnd is the file
  // offset just after buffer[inLen - 1].
  std::size_t inPos = 0;
  std::size_t inLen = 0;
  std::int64_t inFileEnd = 0;
  bool inputEnded = false;  // the last refill found the end of the input
  int inputError = 0;       // the last refill failed with this system error

  // Writing: buffer[0, outLen) belong at file offset outStart. A regular
  // file is written at explicit offsets, so outStart is always the end of
  // what the system has taken, whatever a failed write left behind.
  std::size_t outLen = 0;
  std::int64_t outStart = 0;
  std::string undelivered;  // console bytes refused by the system, sent again later
  // First system error met while writing to a file (never set on a console
  // unit). From then on nothing more is written to the unit: the file holds
  // what the system took up to the failure, and nothing after it.
  int writeError = 0;
  int lastWriteStatement = 0;  // the write statement running or last run on the unit
  bool wroteAny = false;       // the system has taken bytes of this run
};

// A failure to write out or close a file that the run wrote to, met where
// no statement could report it (at release and at the end of the run).
struct WriteFailure {
  int unit = 0;
  int statement = 0;  // the unit's last write statement
  std::string name;   // the unit's file name
  int error = 0;      // the system's error; 0 when nothing failed
};

// The unit with this number (connected or not).
Unit& unitAt(int number);

// Connects units 5 and 6 to the console streams. Called once at start-up;
// tests may hand in other handles.
void connectConsole(platform::FileHandle input, platform::FileHandle output);

// Connects `number` to the file named by `nameField` (trailing blanks removed).
// Ends the run with the connection failure report of statement `stmt`.
void connect(int stmt, int number, std::string_view nameField, Form form, Use use);

// Writes out buffered data and closes the file; never reports anything
// itself. A failure to write out or close a file that the run wrote to is
// kept for releaseAll.
void release(int number);
// Releases every connected unit; the console streams stay open. Returns the
// first failure to write out or close a written file, met here or by an
// earlier release (error 0 when there was none). Console units never fail:
// what they could not deliver is not reported.
WriteFailure releaseAll();

// The name that error reports show for a unit: its file name, "stdin",
// "stdout", or empty when the unit is not connected.
std::string_view unitName(int number);

// The unit for a read statement, or the run ends with the direction check.
Unit& readableUnit(int stmt, int number);
// The unit for a write statement, or the run ends with the direction check.
// The statement is remembered as the unit's current write statement.
Unit& writableUnit(int stmt, int number);

// ---- Reading ------------------------------------------------------------

// Makes at least one unread byte available; false at the end of the input
// (a read error also counts as the end and is kept in inputError).
bool refillInput(Unit& u);

// The next byte without consuming it, or -1 at the end of the input.
inline int peekByte(Unit& u) {
  if (u.inPos < u.inLen || refillInput(u)) return static_cast<unsigned char>(u.buffer[u.inPos]);
  return -1;
}
// The next byte, consumed, or -1 at the end of the input.
inline int getByte(Unit& u) {
  if (u.inPos < u.inLen || refillInput(u)) return static_cast<unsigned char>(u.buffer[u.inPos++]);
  return -1;
}

// Reads up to n bytes into dst; returns how many were delivered. A system
// error stops the transfer and is returned in `error` (0 otherwise).
std::size_t readBytes(Unit& u, char* dst, std::size_t n, int& error);

// Passes over n bytes: by repositioning when the file allows it, else by
// reading and discarding, which stops at the end of the file. A system error
// is returned in `error`.
void skipBytes(Unit& u, std::uint64_t n, int& error);

// ---- Writing ------------------------------------------------------------

// Appends bytes at the unit's write position, through the stream buffer.
// A system failure is kept in writeError (finishWriteStatement reports it).
void putBytes(Unit& u, const char* data, std::size_t n);

// Hands one finished text record to the unit: one system write on an
// unbuffered unit, the buffer rules of the text records on a buffered one.
// On the console, bytes that the system refused are kept and sent again in
// front of the next record; on a file, a failure is kept in writeError.
void putRecord(Unit& u, const char* data, std::size_t n);

// The file offset at which the next putBytes lands.
std::int64_t writePosition(const Unit& u);

// Overwrites n bytes at an earlier file offset (inside the buffer when the
// range is still buffered) without moving the write position. Returns 0, or
// the system error that made the overwrite (or an earlier write) fail.
int patchBytes(Unit& u, std::int64_t offset, const char* data, std::size_t n);

// Writes the stream buffer out. A failure is kept in writeError, or on the
// console in `undelivered`.
void flushOutput(Unit& u);

// End of a write statement: the first write on a file that was not empty
// cuts it off after what the statement wrote. Then a write failure met
// during the statement, its own data or earlier buffered data, ends the run
// with the system's text for it, naming statement `stmt`; a file that held
// older data is first cut after what the system took, so that nothing old
// follows the new data.
void finishWriteStatement(int stmt, Unit& u);

// Forgets every connection without closing anything (tests only).
void resetUnitsForTesting();

}  // namespace vantorell
