// The month search through the built program: a damaged pair that the search
// passes over ends the run exactly as when the same pair is the one asked
// for and read in full.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/model_fixture.h"
#include "support/testkit.h"

using namespace testkit;

namespace {

constexpr int kRows = 30;
constexpr int kCols = 40;  // arrays larger than the stream buffer
constexpr int kCells = kRows * kCols;

std::string header() {
  PairHeader h;
  h.ncol = kCols;
  h.nrow = kRows;
  return headerPayload(h);
}

std::string heads(int n, double base) {
  std::vector<double> v;
  for (int i = 0; i < n; ++i) v.push_back(base + i);
  return doublesPayload(v);
}

RunResult runForMonth(const std::string& headsFile, int month) {
  ScratchDir dir;
  writeFile(dir.file("dis.txt"), disFile(1, kRows, kCols, std::vector<std::string>(12, "TR")));
  writeFile(dir.file("heads.bin"), headsFile);
  return runProgram(dir.path, "dis.txt\nheads.bin\n1990 1990\nout.bin\nU\ny\n" + std::to_string(month) + "\n");
}

TEST(MonthSearch, ADamagedPairPassedOverEndsTheRunAsReadingItDoes) {
  const std::string P = framed(header()) + framed(heads(kCells, 1.0));
  const std::string A = heads(kCells, 2.0);
  struct Case {
    const char* name;
    std::string second;  // the damaged second pair, and what follows it
  };
  const Case cases[] = {
      {"a 44-byte header", framed(header().substr(0, 44)) + framed(A) + P},
      {"an array one value short", framed(header()) + framed(A.substr(8)) + P},
      {"the file ends inside the array", framed(header()) + le32(8 * kCells) + A.substr(0, 5000)},
      {"the file ends after the header", framed(header())},
      {"a head marker cut short", framed(header()) + le32(8 * kCells).substr(0, 2)},
      {"a split array whose continuation is missing", framed(header()) + le32(-4000) + A.substr(0, 4000) + le32(4000)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunResult read = runForMonth(P + c.second, 2);
    RunResult passed = runForMonth(P + c.second, 3);
    EXPECT_EQ(read.status, 2);
    EXPECT_NE(read.err, "");
    EXPECT_EQ(passed.err, read.err);
    EXPECT_EQ(passed.status, read.status);
  }
}

TEST(MonthSearch, AFileEndingInsideValuesNobodyNeedsIsPassedOver) {
  // The last array holds 100 more values than the grid, and the file ends
  // inside them: the pair is whole for the search, and the next month finds
  // the end of the file.
  const std::string P = framed(header()) + framed(heads(kCells, 1.0));
  const std::string last = framed(header()) + le32(8 * (kCells + 100)) + heads(kCells + 50, 3.0);
  RunResult r = runForMonth(P + P + last, 4);
  EXPECT_EQ(r.err,
            "At line 295 of file Vantorell (unit = 10, file = 'heads.bin')\n"
            "Vantorell runtime error: End of file\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(runForMonth(P + P + last, 3).status, 0);
}

}  // namespace
