// Framed binary records. A record is one or more subrecords, each a signed
// little-endian 32-bit head marker, the payload and a tail marker of the same
// magnitude. A negative head marker says that the record goes on in the next
// subrecord; a negative tail marker that the subrecord continues an earlier
// one. Tail markers are written but never read back.
//
// Items are a byte stream in statement order: a value may be split across
// subrecords. An array item moves in one transfer; only on a big-endian host
// are its elements swapped, in place after reading and through a small
// staging area on writing.

#include "records/binary_records.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "records/binary_records_detail.h"
#include "records/file_units.h"
#include "records/platform.h"
#include "records/run_error.h"

namespace vantorell {

namespace {

constexpr std::size_t kMarkerBytes = 4;
constexpr std::size_t kStageBytes = 4096;

void encodeMarker(std::int64_t value, char out[kMarkerBytes]) {
  auto bits = static_cast<std::uint32_t>(value);
  for (std::size_t i = 0; i < kMarkerBytes; ++i) out[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
}

std::int32_t decodeMarker(const char in[kMarkerBytes]) {
  std::uint32_t bits = 0;
  for (std::size_t i = 0; i < kMarkerBytes; ++i) bits |= std::uint32_t{static_cast<unsigned char>(in[i])} << (8 * i);
  return static_cast<std::int32_t>(bits);
}

// Reverses the bytes of each of `count` elements of `width` bytes.
void swapElements(char* data, std::size_t count, unsigned width) {
  for (std::size_t i = 0; i < count; ++i, data += width) std::reverse(data, data + width);
}

// ---- Reading ------------------------------------------------------------

struct RecordReader {
  int stmt;
  int unit;
  Unit& u;
  std::uint64_t bytesLeft = 0;  // payload of the current subrecord not yet consumed
  bool continued = false;       // the current subrecord's head marker was negative
};

// Reads a head marker: the start of a record or of a promised continuation.
void readHeadMarker(RecordReader& r) {
  char bytes[kMarkerBytes];
  int error = 0;
  std::size_t got = readBytes(r.u, bytes, kMarkerBytes, error);
  if (got == 0 && error == 0) failStatement(r.stmt, r.unit, "End of file");
  if (got < kMarkerBytes || error != 0) failStatement(r.stmt, r.unit, "Corrupt unformatted sequential file");
  std::int64_t v = decodeMarker(bytes);  // widened first: -2^31 promises 2^31 bytes
  r.continued = v < 0;
  r.bytesLeft = static_cast<std::uint64_t>(v < 0 ? -v : v);
}

// Passes over bytes without examining them; running past the end of the file
// is left for the next head marker to find.
void skipOver(RecordReader& r, std::uint64_t n) {
  int error = 0;
  skipBytes(r.u, n, error);
  if (error != 0) failStatement(r.stmt, r.unit, platform::errorText(error));
}

void takeItem(RecordReader& r, const BinaryItem& item, bool swap) {
  char* dst = item.data;
  std::size_t want = item.bytes();
  for (;;) {
    auto t = static_cast<std::size_t>(std::min<std::uint64_t>(want, r.bytesLeft));
    if (t > 0) {
      r.bytesLeft -= t;
      int error = 0;
      std::size_t got = readBytes(r.u, dst, t, error);
      if (error != 0) failStatement(r.stmt, r.unit, platform::errorText(error));
      if (got < t) failStatement(r.stmt, r.unit, "Unformatted file structure has been corrupted");
      dst += t;
      want -= t;
    }
    if (want == 0) break;
    if (!r.continued) {
      // The record is used up: leave the unit after it, then report.
      int ignored = 0;
      skipBytes(r.u, kMarkerBytes, ignored);
      failStatement(r.stmt, r.unit, "I/O past end of record on unformatted file");
    }
    skipOver(r, kMarkerBytes);
    readHeadMarker(r);
  }
  if (swap && item.width > 1) swapElements(item.data, item.count, item.width);
}

// ---- Passing over --------------------------------------------------------

// True when a read of `n` bytes, `ahead` bytes past the unit's position,
// would deliver them all: what the buffer holds, then what the file holds.
bool payloadAvailable(Unit& u, std::uint64_t ahead, std::uint64_t n) {
  const std::uint64_t buffered = u.inLen - u.inPos;
  if (ahead + n <= buffered) return true;
  const std::int64_t beyond = platform::inspect(u.handle).size - u.inFileEnd;
  return beyond >= 0 && ahead + n <= buffered + static_cast<std::uint64_t>(beyond);
}

// Takes `want` payload bytes of the record begun in `r` the way a transfer
// would, without reading them: each subrecord's share is checked against the
// size of the file, and only the markers of continuations are read. The
// bytes passed over are left in `pending`, so that one repositioning covers
// the payload and the markers after it.
void passOverPayload(RecordReader& r, std::uint64_t want, std::uint64_t& pending) {
  for (;;) {
    const std::uint64_t t = std::min(want, r.bytesLeft);
    if (t > 0) {
      if (!payloadAvailable(r.u, pending, t)) {
        failStatement(r.stmt, r.unit, "Unformatted file structure has been corrupted");
      }
      r.bytesLeft -= t;
      want -= t;
      pending += t;
    }
    if (want == 0) return;
    if (!r.continued) {
      int ignored = 0;
      skipBytes(r.u, pending + kMarkerBytes, ignored);
      failStatement(r.stmt, r.unit, "I/O past end of record on unformatted file");
    }
    skipOver(r, pending + kMarkerBytes);
    pending = 0;
    readHeadMarker(r);
  }
}

// ---- Writing ------------------------------------------------------------

struct RecordWriter {
  int stmt;
  int unit;
  Unit& u;
  std::uint64_t limit;
  std::int64_t headAt = 0;    // file offset of the current subrecord's head marker
  std::uint64_t left = 0;     // room left in the current subrecord
  bool continuation = false;  // the current subrecord is not the first of its record
};

void beginSubrecord(RecordWriter& w) {
  static constexpr char kPlaceholder[kMarkerBytes] = {};
  w.headAt = writePosition(w.u);
  putBytes(w.u, kPlaceholder, kMarkerBytes);
  w.left = w.limit;
}

void closeSubrecord(RecordWriter& w, bool moreFollow) {
  auto n = static_cast<std::int64_t>(w.limit - w.left);
  char marker[kMarkerBytes];
  encodeMarker(w.continuation ? -n : n, marker);
  putBytes(w.u, marker, kMarkerBytes);
  encodeMarker(moreFollow ? -n : n, marker);
  int error = patchBytes(w.u, w.headAt, marker, kMarkerBytes);
  if (error != 0) failStatement(w.stmt, w.unit, platform::errorText(error));
}

// Appends bytes [from, to) of an item in file byte order.
void putItemRange(Unit& u, const BinaryItem& item, std::size_t from, std::size_t to, bool swap) {
  const std::size_t w = item.width;
  if (!swap || w <= 1) {
    putBytes(u, item.data + from, to - from);
    return;
  }
  if (w > kStageBytes) throw std::logic_error("binary item element too wide");
  char stage[kStageBytes];
  const std::size_t chunk = kStageBytes / w * w;
  while (from < to) {
    // Whole elements are converted, so a range may begin or end inside one.
    std::size_t first = from / w * w;
    std::size_t last = std::min(item.bytes(), first + chunk);
    std::memcpy(stage, item.data + first, last - first);
    swapElements(stage, (last - first) / w, item.width);
    std::size_t end = std::min(to, last);
    putBytes(u, stage + (from - first), end - from);
    from = end;
  }
}

}  // namespace

namespace detail {

void readBinaryRecord(int stmt, int unit, std::span<const BinaryItem> items, const RecordLayout& layout) {
  RecordReader r{stmt, unit, readableUnit(stmt, unit)};
  readHeadMarker(r);
  for (const BinaryItem& item : items) takeItem(r, item, layout.swapBytes);
  skipOver(r, r.bytesLeft + kMarkerBytes);
  while (r.continued) {
    readHeadMarker(r);
    skipOver(r, r.bytesLeft + kMarkerBytes);
  }
}

void writeBinaryRecord(int stmt, int unit, std::span<const BinaryItem> items, const RecordLayout& layout) {
  const std::uint64_t limit = std::clamp<std::uint64_t>(layout.subrecordLimit, 1, kSubrecordLimit);
  RecordWriter w{stmt, unit, writableUnit(stmt, unit), limit};
  beginSubrecord(w);
  for (const BinaryItem& item : items) {
    const std::size_t total = item.bytes();
    std::size_t done = 0;
    while (done < total) {
      if (w.left == 0) {
        closeSubrecord(w, true);
        w.continuation = true;
        beginSubrecord(w);
      }
      auto take = static_cast<std::size_t>(std::min<std::uint64_t>(total - done, w.left));
      putItemRange(w.u, item, done, done + take, layout.swapBytes);
      done += take;
      w.left -= take;
    }
  }
  closeSubrecord(w, false);
  finishWriteStatement(stmt, w.u);
  // Data refused by the system on its way out must not pass as written.
  if (w.u.writeError != 0) failStatement(stmt, unit, platform::errorText(w.u.writeError));
}

}  // namespace detail

void readBinaryRecord(int stmt, int unit, std::span<const BinaryItem> items) {
  detail::readBinaryRecord(stmt, unit, items, detail::RecordLayout{});
}

void passOverBinaryRecord(int stmt, int unit, std::uint64_t bytes) {
  RecordReader r{stmt, unit, readableUnit(stmt, unit)};
  readHeadMarker(r);
  std::uint64_t pending = 0;
  if (r.u.buffered) {
    passOverPayload(r, bytes, pending);
  } else {
    // A file that cannot be repositioned: the bytes are read and discarded.
    char discard[kStageBytes];
    while (bytes > 0) {
      auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, sizeof discard));
      takeItem(r, BinaryItem(discard, piece, 1), false);
      bytes -= piece;
    }
  }
  skipOver(r, pending + r.bytesLeft + kMarkerBytes);
  while (r.continued) {
    readHeadMarker(r);
    skipOver(r, r.bytesLeft + kMarkerBytes);
  }
}

void writeBinaryRecord(int stmt, int unit, std::span<const BinaryItem> items) {
  detail::writeBinaryRecord(stmt, unit, items, detail::RecordLayout{});
}

}  // namespace vantorell
