#include "heads/head_records.h"

#include "records/binary_records.h"
#include "records/file_units.h"

namespace vantorell {

void connectHeadsFile(const FixedText<200>& headsfile) { connect(244, 10, headsfile.view(), Form::Binary, Use::Input); }

void connectBinaryOutput(const FixedText<128>& outfile) { connect(237, 11, outfile.view(), Form::Binary, Use::Output); }

void readHeadRecordPair(int headerStmt, int arrayStmt, HeadRecordHeader& header, GridArray<double>& heads) {
  readBinaryRecord(
      headerStmt, 10,
      {header.KSTP, header.KPER, header.PERTIM, header.TOTIM, header.TEXT, header.NCOL, header.NROW, header.ILAY});
  readBinaryRecord(arrayStmt, 10, {BinaryItem::doubles(heads.data(), heads.count)});
}

void passOverHeadRecordPair(int headerStmt, int arrayStmt, const GridArray<double>& heads) {
  // KSTP, KPER, PERTIM, TOTIM, TEXT, NCOL, NROW, ILAY.
  constexpr std::uint64_t kHeaderBytes = 4 + 4 + 8 + 8 + 16 + 4 + 4 + 4;
  passOverBinaryRecord(headerStmt, 10, kHeaderBytes);
  passOverBinaryRecord(arrayStmt, 10, std::uint64_t{8} * heads.count);
}

void writeHeadRecordPair(int headerStmt, int arrayStmt, HeadRecordHeader& header, GridArray<double>& heads) {
  writeBinaryRecord(
      headerStmt, 11,
      {header.KSTP, header.KPER, header.PERTIM, header.TOTIM, header.TEXT, header.NCOL, header.NROW, header.ILAY});
  writeBinaryRecord(arrayStmt, 11, {BinaryItem::doubles(heads.data(), heads.count)});
}

}  // namespace vantorell
