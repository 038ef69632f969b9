#include "records/binary_records.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "records/binary_records_detail.h"
#include "records/file_units.h"
#include "records/platform.h"
#include "support/testkit.h"

using namespace vantorell;
using testkit::failureOf;
using testkit::ScratchDir;

namespace {

// ---- Fixture bytes, built without the code under test -------------------

std::string le(std::uint64_t bits, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((bits >> (8 * i)) & 0xFF);
  return out;
}
std::string m(std::int64_t marker) { return le(static_cast<std::uint32_t>(marker), 4); }
std::uint64_t bitsOf(double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, 8);
  return bits;
}
std::string record(const std::string& payload) {
  return m(static_cast<std::int64_t>(payload.size())) + payload + m(static_cast<std::int64_t>(payload.size()));
}

struct Header {
  std::int32_t kstp = 0, kper = 0;
  double pertim = 0, totim = 0;
  FixedText<16> text;
  std::int32_t ncol = 0, nrow = 0, ilay = 0;
};
const Header kHeader = [] {
  Header h;
  h.kstp = 3;
  h.kper = -7;
  h.pertim = 30.5;
  h.totim = -0.0;
  h.text.assign("            HEAD");
  h.ncol = 4;
  h.nrow = 2;
  h.ilay = 1;
  return h;
}();
const std::string H = le(3, 4) + le(static_cast<std::uint32_t>(-7), 4) + le(bitsOf(30.5), 8) + le(bitsOf(-0.0), 8) +
                      "            HEAD" + le(4, 4) + le(2, 4) + le(1, 4);

// Value i of the fixture arrays; a few whose bit patterns must survive.
std::uint64_t valueBits(std::size_t i) {
  switch (i % 7) {
    case 1: return 0x8000000000000000u;  // -0
    case 2: return 0x7FF0000000000000u;  // +inf
    case 3: return 0x7FF4000000000123u;  // NaN with a payload
    default: return bitsOf(static_cast<double>(i) * 1.5 - 2.25);
  }
}
std::string values(std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out += le(valueBits(i), 8);
  return out;
}
std::vector<double> valueArray(std::size_t n) {
  std::vector<double> v(n);
  for (std::size_t i = 0; i < n; ++i) {
    std::uint64_t bits = valueBits(i);
    std::memcpy(&v[i], &bits, 8);
  }
  return v;
}
const std::string S = record(le(99, 4));  // a one-int32 record that follows

void readHeader(int stmt, int unit, Header& h, const detail::RecordLayout& layout = {}) {
  BinaryItem items[] = {h.kstp, h.kper, h.pertim, h.totim, h.text, h.ncol, h.nrow, h.ilay};
  detail::readBinaryRecord(stmt, unit, items, layout);
}
void writeHeader(int stmt, int unit, Header& h, const detail::RecordLayout& layout = {}) {
  BinaryItem items[] = {h.kstp, h.kper, h.pertim, h.totim, h.text, h.ncol, h.nrow, h.ilay};
  detail::writeBinaryRecord(stmt, unit, items, layout);
}
void readDoubles(int stmt, std::vector<double>& v, const detail::RecordLayout& layout = {}) {
  BinaryItem item = BinaryItem::doubles(v.data(), v.size());
  detail::readBinaryRecord(stmt, 10, {&item, 1}, layout);
}
void writeDoubles(int stmt, std::vector<double>& v, const detail::RecordLayout& layout = {}) {
  BinaryItem item = BinaryItem::doubles(v.data(), v.size());
  detail::writeBinaryRecord(stmt, 11, {&item, 1}, layout);
}
void expectHeader(const Header& h) {
  EXPECT_EQ(h.kstp, 3);
  EXPECT_EQ(h.kper, -7);
  EXPECT_EQ(bitsOf(h.pertim), bitsOf(30.5));
  EXPECT_EQ(bitsOf(h.totim), bitsOf(-0.0));
  EXPECT_EQ(h.text.view(), "            HEAD");
  EXPECT_EQ(h.ncol, 4);
  EXPECT_EQ(h.nrow, 2);
  EXPECT_EQ(h.ilay, 1);
}
void expectValues(const std::vector<double>& v, std::size_t n) {
  ASSERT_EQ(v.size(), n);
  for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(bitsOf(v[i]), valueBits(i)) << "value " << i;
}

// The next statement on unit 10: one int32, shown as its value or the failure.
std::string nextStatement() {
  std::int32_t v = 0;
  std::string failure = failureOf([&] { readBinaryRecord(296, 10, {v}); });
  return failure == "no error" ? std::to_string(v) : failure;
}

// ---- Reading --------------------------------------------------------------

struct ReadCase {
  const char* name;
  std::string file;
  std::size_t doubles;  // 0: the statement reads the 52-byte header; else this many doubles
  std::string failure;  // of statement 295
  bool filled;          // the items hold the fixture's values afterwards
  std::string next;     // the next statement, when the first one succeeded
};

const std::string kEof = "296/10: End of file";
const std::string kShort = "295/10: I/O past end of record on unformatted file";
const std::string kCorrupt = "295/10: Corrupt unformatted sequential file";
const std::string kTruncated = "295/10: Unformatted file structure has been corrupted";

const std::vector<ReadCase>& readCases() {
  static const std::string V3 = values(3);
  static const std::string V1000 = values(1000);
  static const std::vector<ReadCase> cases = {
      {"exact header", record(H) + S, 0, "no error", true, "99"},
      {"file ends after the tail marker", record(H), 0, "no error", true, kEof},
      {"file ends inside the tail marker", m(52) + H + m(52).substr(0, 2), 0, "no error", true, kEof},
      {"60-byte header, rest passed over", record(H + "12345678") + S, 0, "no error", true, "99"},
      {"44-byte header", record(H.substr(0, 44)) + S, 0, kShort, false, ""},
      {"head marker 0", m(0) + m(0) + S, 0, kShort, false, ""},
      {"wrong tail markers are not looked at", m(52) + H + m(-9999) + m(4) + le(99, 4) + m(123456), 0, "no error", true,
       "99"},
      {"header split inside TOTIM", m(-20) + H.substr(0, 20) + m(20) + m(32) + H.substr(20) + m(-32) + S, 0, "no error",
       true, "99"},
      {"-52 and the continuation is missing", m(-52) + H + m(52), 0, "295/10: End of file", true, ""},
      {"-52 and 2 bytes of the continuation marker", m(-52) + H + m(52) + m(8).substr(0, 2), 0, kCorrupt, true, ""},
      {"continuation missing inside an item", m(-20) + H.substr(0, 20) + m(20), 0, "295/10: End of file", false, ""},
      {"empty file", "", 0, "295/10: End of file", false, ""},
      {"file ends 2 bytes into a head marker", m(52).substr(0, 2), 0, kCorrupt, false, ""},
      {"file ends right after a head marker", m(52), 0, kTruncated, false, ""},
      {"file ends inside the payload", m(52) + H.substr(0, 30), 0, kTruncated, false, ""},
      {"marker promises 800 bytes, 100 left", m(800) + H + std::string(48, 'x'), 0, "no error", true, kEof},
      {"marker promises 2 GB", m(0x7FFFFFFF) + H + std::string(100, 'x'), 0, "no error", true, kEof},
      {"head marker -2^31 promises 2^31 bytes and more", m(std::numeric_limits<std::int32_t>::min()) + H + m(0) + S, 0,
       "295/10: End of file", true, ""},
      {"exact array", record(values(8)) + S, 8, "no error", true, "99"},
      {"array with 5 extra values", record(values(13)) + S, 8, "no error", true, "99"},
      {"array one value short", record(values(7)) + S, 8, kShort, false, ""},
      {"array of 800 bytes, 100 left", m(800) + values(12) + "abcd", 100, kTruncated, false, ""},
      {"subrecords -10, -10, +4, 16 bytes read",
       m(-10) + V3.substr(0, 10) + m(10) + m(-10) + V3.substr(10, 10) + m(-10) + m(4) + V3.substr(20) + m(-4) + S, 2,
       "no error", true, "99"},
      {"large array with extra values", record(V1000) + S, 995, "no error", true, "99"},
      {"large array split inside a value",
       m(-4001) + V1000.substr(0, 4001) + m(4001) + m(3999) + V1000.substr(4001) + m(-3999) + S, 1000, "no error", true,
       "99"},
  };
  return cases;
}

TEST(BinaryRecords, ReadsFramedRecords) {
  ScratchDir dir;
  for (const ReadCase& c : readCases()) {
    SCOPED_TRACE(c.name);
    testkit::connectWith(dir, 10, c.file, true);
    Header h;
    std::vector<double> v(c.doubles, 1e300);
    std::string failure = failureOf([&] {
      if (c.doubles == 0) {
        readHeader(295, 10, h);
      } else {
        readBinaryRecord(295, 10, {BinaryItem::doubles(v.data(), v.size())});
      }
    });
    EXPECT_EQ(failure, c.failure);
    if (c.filled && c.doubles == 0) expectHeader(h);
    if (c.filled && c.doubles > 0) expectValues(v, c.doubles);
    if (failure == "no error") {
      EXPECT_EQ(nextStatement(), c.next);
    }
  }
  resetUnitsForTesting();
}

TEST(BinaryRecords, ReadsFromAPipeByDiscardingWhatItPassesOver) {
  ScratchDir dir;
  std::string path = dir.file("heads.fifo");
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  resetUnitsForTesting();
  // A writer must exist before the pipe can be opened for reading.
  int writer = ::open(path.c_str(), O_RDWR);
  ASSERT_GE(writer, 0);
  connect(244, 10, path, Form::Binary, Use::Input);
  ASSERT_FALSE(unitAt(10).buffered);
  std::string content = record(H + "12345678") + record(values(8) + std::string(10000, 'x')) + S;
  ASSERT_EQ(::write(writer, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  ::close(writer);

  Header h;
  readHeader(295, 10, h);
  expectHeader(h);
  std::vector<double> v(8);
  readBinaryRecord(296, 10, {BinaryItem::doubles(v.data(), v.size())});
  expectValues(v, 8);
  EXPECT_EQ(nextStatement(), "99");
  resetUnitsForTesting();
}

// ---- Passing over -----------------------------------------------------------

// Connects unit 10 to a pipe that holds `content` and then ends.
void connectPipeWith(const ScratchDir& dir, const std::string& content) {
  static int serial = 0;
  std::string path = dir.file("pipe" + std::to_string(++serial));
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  resetUnitsForTesting();
  int writer = ::open(path.c_str(), O_RDWR);  // a writer must exist before the pipe opens for reading
  ASSERT_GE(writer, 0);
  connect(244, 10, path, Form::Binary, Use::Input);
  ASSERT_FALSE(unitAt(10).buffered);
  ASSERT_EQ(::write(writer, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  ::close(writer);
}

// Statement 295 taking `bytes` bytes of `file`, read in full or passed over,
// then the next statement where the unit is left in a defined place.
std::string outcome(const ScratchDir& dir, const std::string& file, std::size_t bytes, bool pipe, bool passOver) {
  if (pipe) {
    connectPipeWith(dir, file);
  } else {
    testkit::connectWith(dir, 10, file, true);
  }
  std::vector<char> items(bytes);
  std::string failure = failureOf([&] {
    if (passOver) {
      passOverBinaryRecord(295, 10, bytes);
    } else {
      readBinaryRecord(295, 10, {BinaryItem(items.data(), items.size(), 1)});
    }
  });
  if (failure == "no error" || failure == kShort) failure += " / next " + nextStatement();
  return failure;
}

TEST(BinaryRecords, PassingOverMeetsTheFailuresOfAFullRead) {
  struct Case {
    const char* name;
    std::string file;
    std::size_t bytes;
    std::string failure;  // of statement 295
  };
  // Payloads beyond the stream buffer, so that the file's size decides.
  const std::string V = values(2000);  // 16,000 bytes
  std::vector<Case> cases = {
      {"large exact array", record(V) + S, 16000, "no error / next 99"},
      {"file ends inside the part that is not needed", m(16000) + V.substr(0, 9000), 8000, "no error / next " + kEof},
      {"file ends exactly after the needed part", m(16000) + V.substr(0, 8000), 8000, "no error / next " + kEof},
      {"file ends one byte short of the needed part", m(16000) + V.substr(0, 7999), 8000, kTruncated},
      {"file ends right after the head marker", m(16000), 8000, kTruncated},
      {"record shorter than the statement", record(V.substr(0, 12000)) + S, 16000, kShort + " / next 99"},
      {"split record", m(-12000) + V.substr(0, 12000) + m(12000) + m(4000) + V.substr(12000) + m(-4000) + S, 16000,
       "no error / next 99"},
      {"split record, continuation missing", m(-12000) + V.substr(0, 12000) + m(12000), 16000, "295/10: End of file"},
      {"split record, continuation marker cut", m(-12000) + V.substr(0, 12000) + m(12000) + m(4000).substr(0, 3), 16000,
       kCorrupt},
      {"split record, continuation short",
       m(-12000) + V.substr(0, 12000) + m(12000) + m(100) + V.substr(0, 100) + m(-100) + S, 16000,
       kShort + " / next 99"},
      {"split record, file ends inside the needed continuation",
       m(-12000) + V.substr(0, 12000) + m(12000) + m(4000) + V.substr(0, 3000), 16000, kTruncated},
      {"split record, file ends inside a continuation not needed",
       m(-12000) + V.substr(0, 12000) + m(12000) + m(4000) + V.substr(0, 3000), 8000, "no error / next " + kEof},
      {"needed part ends in the first subrecord, continuation missing", m(-16000) + V + m(16000), 8000,
       "295/10: End of file"},
      {"needed part ends where the subrecord ends, continuation missing", m(-8000) + V.substr(0, 8000) + m(8000), 8000,
       "295/10: End of file"},
      {"three subrecords, the last one passed over unseen",
       m(-6000) + V.substr(0, 6000) + m(6000) + m(-6000) + V.substr(6000, 6000) + m(-6000) + m(4000) + V.substr(12000) +
           m(-4000) + S,
       7000, "no error / next 99"},
  };
  for (const ReadCase& c : readCases()) {
    std::string failure = c.failure;
    if (failure == "no error" || failure == kShort) failure += " / next " + (c.next.empty() ? "99" : c.next);
    cases.push_back({c.name, c.file, c.doubles == 0 ? 52 : 8 * c.doubles, failure});
  }
  ScratchDir dir;
  for (const Case& c : cases) {
    for (bool pipe : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (pipe ? " (pipe)" : " (file)"));
      std::string full = outcome(dir, c.file, c.bytes, pipe, false);
      std::string passed = outcome(dir, c.file, c.bytes, pipe, true);
      EXPECT_EQ(passed, full);
      if (!pipe) {
        EXPECT_EQ(passed, c.failure);
      }
    }
  }
  resetUnitsForTesting();
}

// ---- Writing --------------------------------------------------------------

TEST(BinaryRecords, WritesTheHeaderAndArrayPairByteForByte) {
  struct Case {
    std::size_t previousSize;  // of the file before the run
    std::size_t doubles;
  } cases[] = {{0, 8}, {0, 2000}, {100, 8}, {20000, 8}, {20000, 2000}};
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.previousSize) + " bytes before, " + std::to_string(c.doubles) + " values");
    std::string path = testkit::connectWith(dir, 11, std::string(c.previousSize, '\x7f'), true);
    Header h = kHeader;
    std::vector<double> v = valueArray(c.doubles);
    EXPECT_EQ(failureOf([&] {
                writeHeader(274, 11, h);
                writeBinaryRecord(275, 11, {BinaryItem::doubles(v.data(), v.size())});
              }),
              "no error");
    release(11);
    EXPECT_EQ(testkit::readFile(path), record(H) + record(values(c.doubles)));
  }
}

TEST(BinaryRecords, SplitsRecordsAtTheSubrecordLimit) {
  struct Case {
    std::uint64_t limit;
    std::string bytes;
  } cases[] = {
      {20, m(-20) + H.substr(0, 20) + m(20) + m(-20) + H.substr(20, 20) + m(-20) + m(12) + H.substr(40) + m(-12)},
      {26, m(-26) + H.substr(0, 26) + m(26) + m(26) + H.substr(26) + m(-26)},
      {52, record(H)},
      {53, record(H)},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE("limit " + std::to_string(c.limit));
    std::string path = testkit::connectWith(dir, 11, "", true);
    Header h = kHeader;
    writeHeader(311, 11, h, {.subrecordLimit = c.limit});
    release(11);
    EXPECT_EQ(testkit::readFile(path), c.bytes);
  }
}

// Records written in small or odd subrecords, on hosts of either byte order,
// read back as the values written.
TEST(BinaryRecords, SplitRecordsReadBackAsOneRecord) {
  struct Case {
    std::uint64_t headerLimit, arrayLimit;
    bool swapBytes;
  } cases[] = {{1, 4001, false},
               {7, 4096, false},
               {10, 4001, true},
               {3, 8, true},
               {detail::kSubrecordLimit, detail::kSubrecordLimit, true}};
  auto reversedEach = [](char* data, std::size_t count, std::size_t width) {
    for (std::size_t i = 0; i < count; ++i) std::reverse(data + i * width, data + (i + 1) * width);
  };
  auto reverseHeader = [&](Header& h) {
    for (std::int32_t* p : {&h.kstp, &h.kper, &h.ncol, &h.nrow, &h.ilay}) {
      reversedEach(reinterpret_cast<char*>(p), 1, 4);
    }
    for (double* p : {&h.pertim, &h.totim}) reversedEach(reinterpret_cast<char*>(p), 1, 8);
  };
  constexpr std::size_t kValues = 700;  // 5,600 bytes: more than one staging area
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE("limits " + std::to_string(c.headerLimit) + "/" + std::to_string(c.arrayLimit) +
                 (c.swapBytes ? ", big-endian items" : ""));
    // Items as a host of that byte order holds them.
    Header h = kHeader;
    std::vector<double> v = valueArray(kValues);
    if (c.swapBytes) {
      reverseHeader(h);
      reversedEach(reinterpret_cast<char*>(v.data()), v.size(), 8);
    }
    const Header heldHeader = h;
    const std::vector<double> heldValues = v;

    std::string path = testkit::connectWith(dir, 11, "", true);
    writeHeader(311, 11, h, {c.headerLimit, c.swapBytes});
    writeDoubles(312, v, {c.arrayLimit, c.swapBytes});
    release(11);
    // Writing leaves the items as they were.
    EXPECT_EQ(std::memcmp(&h.pertim, &heldHeader.pertim, 8), 0);
    EXPECT_EQ(std::memcmp(v.data(), heldValues.data(), kValues * 8), 0);

    std::string written = testkit::readFile(path);
    testkit::connectWith(dir, 10, written, true);
    Header back;
    std::vector<double> backValues(kValues);
    readHeader(295, 10, back, {.swapBytes = c.swapBytes});
    readDoubles(296, backValues, {.swapBytes = c.swapBytes});
    EXPECT_EQ(nextStatement(), kEof);
    if (c.swapBytes) {
      EXPECT_EQ(std::memcmp(&back.kper, &heldHeader.kper, 4), 0);
      EXPECT_EQ(std::memcmp(backValues.data(), heldValues.data(), kValues * 8), 0);
      reverseHeader(back);
      reversedEach(reinterpret_cast<char*>(backValues.data()), kValues, 8);
    }
    expectHeader(back);
    expectValues(backValues, kValues);
  }
  resetUnitsForTesting();
}

TEST(BinaryRecords, AnOutputThatCannotBeRepositionedEndsTheRun) {
  ScratchDir dir;
  std::string path = dir.file("out.fifo");
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  resetUnitsForTesting();
  // A reader must exist before the pipe can be opened for writing.
  int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  connect(237, 11, path, Form::Binary, Use::Output);
  Header h = kHeader;
  EXPECT_EQ(failureOf([&] { writeHeader(274, 11, h); }), "274/11: " + platform::errorText(ESPIPE));
  resetUnitsForTesting();
  ::close(reader);
}

// A write refused by the system (here: beyond the file size limit) is
// reported by the statement, not passed over as written.
int writeBeyondTheSizeLimit(const std::string& dirPath) {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{1000, 1000};
  if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
  resetUnitsForTesting();
  connect(237, 11, dirPath + "/limited.bin", Form::Binary, Use::Output);
  Header h = kHeader;
  std::vector<double> v = valueArray(2000);
  std::string failure = failureOf([&] {
    writeHeader(311, 11, h);
    writeBinaryRecord(312, 11, {BinaryItem::doubles(v.data(), v.size())});
  });
  return failure == "312/11: " + platform::errorText(EFBIG) ? 0 : 1;
}

TEST(BinaryRecords, AWriteRefusedBySystemEndsTheRun) {
  ScratchDir dir;
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) ::_exit(writeBeyondTheSizeLimit(dir.path));
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
