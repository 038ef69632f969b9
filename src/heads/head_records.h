// Head record pairs: a 52-byte header and an ncols x nrows array of heads,
// read from the heads file and written as a one-period heads file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/grid_array.h"
#include "records/fixed_text.h"

namespace vantorell {

struct HeadRecordHeader {
  std::int32_t KSTP = 0;
  std::int32_t KPER = 0;
  double PERTIM = 0.0;
  double TOTIM = 0.0;
  FixedText<16> TEXT;
  std::int32_t NCOL = 0;
  std::int32_t NROW = 0;
  std::int32_t ILAY = 0;
};

// Statement 244: the heads file on unit 10.
void connectHeadsFile(const FixedText<200>& headsfile);
// Statement 237: the binary output on unit 11.
void connectBinaryOutput(const FixedText<128>& outfile);

// Reads the next pair from unit 10: the header at `headerStmt`, the heads of
// every cell at `arrayStmt`.
void readHeadRecordPair(int headerStmt, int arrayStmt, HeadRecordHeader& header, GridArray<double>& heads);

// Passes over the next pair of unit 10 as readHeadRecordPair would read it,
// with the same failures at the same statements, but leaves the header and
// the heads untouched: for a pair that nothing will look at.
void passOverHeadRecordPair(int headerStmt, int arrayStmt, const GridArray<double>& heads);

// Writes the pair to unit 11 as two records.
void writeHeadRecordPair(int headerStmt, int arrayStmt, HeadRecordHeader& header, GridArray<double>& heads);

}  // namespace vantorell
