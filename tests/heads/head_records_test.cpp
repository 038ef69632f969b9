#include "heads/head_records.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "model/grid_array.h"
#include "records/file_units.h"
#include "support/model_fixture.h"
#include "support/testkit.h"

using namespace vantorell;
using testkit::failureOf;
using testkit::framed;
using testkit::le32;
using testkit::ScratchDir;

namespace {

// 40 columns by 30 rows: an array payload larger than the stream buffer.
constexpr int kCells = 40 * 30;

std::string pairHeader() {
  testkit::PairHeader h;
  h.ncol = 40;
  h.nrow = 30;
  return testkit::headerPayload(h);
}

// The payload of `n` heads, base + index.
std::string heads(int n, double base) {
  std::vector<double> v;
  for (int i = 0; i < n; ++i) v.push_back(base + i);
  return testkit::doublesPayload(v);
}

std::string pair(double base) { return framed(pairHeader()) + framed(heads(kCells, base)); }

// Pairs taken one after another until a statement fails (at most 5), in
// full or passed over: "ok" per pair, then the failure.
std::string pairsTaken(const ScratchDir& dir, const std::string& file, bool passOver) {
  testkit::connectWith(dir, 10, file, true);
  GridArray<double> grid = allocateGrid<double>(kCells);
  HeadRecordHeader header;
  std::string taken;
  for (int i = 0; i < 5; ++i) {
    std::string failure = failureOf([&] {
      if (passOver) {
        passOverHeadRecordPair(295, 296, grid);
      } else {
        readHeadRecordPair(295, 296, header, grid);
      }
    });
    if (failure != "no error") return taken + failure;
    taken += "ok, ";
  }
  return taken;
}

TEST(HeadRecords, PassingOverPairsFailsWhereReadingThemFails) {
  const std::string P = pair(100.0);
  const std::string A = heads(kCells, 7.0);
  const std::string eof295 = "295/10: End of file";
  struct Case {
    const char* name;
    std::string file;
    std::string taken;
  };
  const Case cases[] = {
      {"three whole pairs", P + P + P, "ok, ok, ok, " + eof295},
      {"a 44-byte header", P + framed(pairHeader().substr(0, 44)) + framed(A) + P,
       "ok, 295/10: I/O past end of record on unformatted file"},
      {"an array one value short", P + framed(pairHeader()) + framed(A.substr(8)) + P,
       "ok, 296/10: I/O past end of record on unformatted file"},
      {"an array with 5 extra values", P + framed(pairHeader()) + framed(A + heads(5, 0.0)) + P,
       "ok, ok, ok, " + eof295},
      {"the file ends inside the last array", P + P + framed(pairHeader()) + le32(8 * kCells) + A.substr(0, 5000),
       "ok, ok, 296/10: Unformatted file structure has been corrupted"},
      {"the file ends inside the extra values of the last array",
       P + P + framed(pairHeader()) + le32(8 * kCells + 800) + A + heads(50, 0.0), "ok, ok, ok, " + eof295},
      {"the file ends after a header", P + framed(pairHeader()), "ok, 296/10: End of file"},
      {"a head marker cut short", P + le32(52).substr(0, 3), "ok, 295/10: Corrupt unformatted sequential file"},
      {"an array split in two, the continuation missing",
       P + framed(pairHeader()) + le32(-4000) + A.substr(0, 4000) + le32(4000), "ok, 296/10: End of file"},
      {"an array split in two",
       P + framed(pairHeader()) + le32(-4000) + A.substr(0, 4000) + le32(4000) + le32(8 * kCells - 4000) +
           A.substr(4000) + le32(-(8 * kCells - 4000)) + P,
       "ok, ok, ok, " + eof295},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(pairsTaken(dir, c.file, true), c.taken);
    EXPECT_EQ(pairsTaken(dir, c.file, false), c.taken);
  }
  resetUnitsForTesting();
}

TEST(HeadRecords, ThePairAfterThosePassedOverIsReadInFull) {
  ScratchDir dir;
  testkit::PairHeader third;
  third.kstp = 3;
  third.ncol = 40;
  third.nrow = 30;
  testkit::connectWith(
      dir, 10, pair(1.0) + pair(2.0) + framed(testkit::headerPayload(third)) + framed(heads(kCells, 3.0)), true);
  GridArray<double> grid = allocateGrid<double>(kCells);
  grid[0] = -5.0;
  HeadRecordHeader header;
  passOverHeadRecordPair(295, 296, grid);
  passOverHeadRecordPair(295, 296, grid);
  EXPECT_EQ(grid[0], -5.0);  // nothing passed over reaches the grid
  EXPECT_EQ(header.KSTP, 0);
  readHeadRecordPair(295, 296, header, grid);
  EXPECT_EQ(header.KSTP, 3);
  for (int i = 0; i < kCells; ++i) ASSERT_EQ(grid[static_cast<std::size_t>(i)], 3.0 + i) << "cell " << i;
  resetUnitsForTesting();
}

}  // namespace
