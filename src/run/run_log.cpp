#include "run/run_log.h"

#include "records/file_units.h"
#include "records/text_output.h"

namespace vantorell {

namespace {

constexpr int kLog = 14;

void logHeader(int titleStmt, int valuesStmt, const HeadRecordHeader& h) {
  writeFreeForm(titleStmt, kLog, {"[KSTP,KPER,PERTIM,TOTIM,TEXT,NCOL,NROW,ILAY]"});
  writeFreeForm(valuesStmt, kLog, {h.KSTP, h.KPER, h.PERTIM, h.TOTIM, h.TEXT, h.NCOL, h.NROW, h.ILAY});
}

}  // namespace

void openRunLog() { connect(215, kLog, "Vantorell.log", Form::Text, Use::Output); }

void logRunInputs(const RunSettings& s, const Discretization& dis) {
  // A literal followed by a field is one text item: two text items in a row
  // are written without a separator, so the field follows at full length.
  writeFreeForm(216, kLog, {"Log file Vantorell.log"});
  writeFreeForm(217, kLog, {"Discretization file: ", s.disfile});
  writeDimensionLine(219, dis);
  writeFreeForm(220, kLog, {"nlay*nrows*ncols = ", dis.nodes, " nodes"});
  writeFreeForm(221, kLog, {"Computed heads input file: ", s.headsfile});
  writeFreeForm(222, kLog, {"(bgnyr,endyr): first and last year of simulation;"});
  writeFreeForm(223, kLog, {s.bgnyr, s.endyr, s.numyrs, " [bgnyr, endyr,numyrs]"});
  writeFreeForm(224, kLog, {"output file: ", s.outfile});
  writeFreeForm(225, kLog, {"output option (unformatted or dbf-style): ", s.outopt});
  if (s.outopt[0] == 'D') {
    // With a grid attributes file the cell grid came from that file: the log
    // names it in place of the ibound array file, and the format is blank.
    bool fromIboundArray = s.gridopt[0] == 'A';
    writeFreeForm(227, kLog, {"ibound array input file: ", fromIboundArray ? s.iboundfile : s.gridfile});
    writeFreeForm(228, kLog, {"ibound array input file format: ", fromIboundArray ? s.iboundfmt : FixedText<20>()});
  }
}

void logHeadsFileOpening() {
  writeFreeForm(242, kLog, {" "});
  writeFreeForm(243, kLog, {"Open unformatted file for computed heads"});
}

void logSteadyState() { writeFreeForm(253, kLog, {"First stress period is steady state."}); }

void logSteadyStateWritten(const HeadRecordHeader& header) {
  writeFreeForm(261, kLog, {"Write computed heads for steady-state solution"});
  logHeader(262, 263, header);
}

void logMonthWritten(const RunSettings& s, const HeadRecordHeader& header) {
  writeFreeForm(299, kLog, {"Write computed heads for (month, year)", s.month, s.year});
  logHeader(300, 301, header);
}

}  // namespace vantorell
