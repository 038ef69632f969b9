#include "run/driver.h"

#include <cerrno>
#include <cstdint>
#include <new>

#include "heads/cell_table.h"
#include "heads/head_records.h"
#include "model/cell_grid.h"
#include "model/discretization.h"
#include "records/file_units.h"
#include "records/platform.h"
#include "records/text_input.h"
#include "records/text_output.h"
#include "run/error_report.h"
#include "run/run_log.h"
#include "run/run_settings.h"

namespace vantorell {

namespace {

constexpr int kConsoleIn = 5;
constexpr int kConsoleOut = 6;

bool isYes(const FixedText<1>& answer) { return answer[0] == 'y' || answer[0] == 'Y'; }

void normalise(FixedText<1>& option, char lower, char upper, char otherwise) {
  option.assign(std::string_view(option[0] == lower || option[0] == upper ? &upper : &otherwise, 1));
}

// The chosen pair, as a text table (statements `tableHeaderStmt` and
// `tableCellStmt`) or as two binary records.
void writeChosenPair(const RunSettings& s, int tableHeaderStmt, int tableCellStmt, int binaryHeaderStmt,
                     int binaryArrayStmt, bool activeOnly, const Discretization& dis, const CellGrid& cells,
                     HeadRecordHeader& header, GridArray<double>& heads) {
  if (s.outopt[0] == 'D') {
    writeCellTable(tableHeaderStmt, tableCellStmt, dis, cells, heads, activeOnly);
  } else {
    writeHeadRecordPair(binaryHeaderStmt, binaryArrayStmt, header, heads);
  }
}

// The dialogue, from the banner to the normal stop. Every failure leaves it
// as a RunError.
void runDialogue() {
  RunSettings s;
  Discretization dis;
  GridArray<double> heads;
  CellGrid cells;
  HeadRecordHeader header;

  // 1. Banner and the discretization file.
  writeFreeForm(110, kConsoleOut, {"program Vantorell: Extract computed heads for a specified month and year."});
  writeFreeForm(111, kConsoleOut, {"Enter discretization file pathname: "});
  readWholeLine(112, kConsoleIn, s.disfile);

  // 2. Dimensions and stress periods (statements 113 to 141).
  readDiscretization(s.disfile, dis, heads, cells);
  s.steady = dis.steady;

  // 3. Heads file, years, output file, output option.
  writeFreeForm(147, kConsoleOut, {"Enter unformatted heads file pathname: "});
  readWholeLine(148, kConsoleIn, s.headsfile);
  writeWholeLine(150, kConsoleOut, " Enter first and last year of simulation (YYYY): ");
  readFreeForm(151, kConsoleIn, {s.bgnyr, s.endyr});
  s.numyrs = static_cast<std::int32_t>(static_cast<std::uint32_t>(s.endyr) - static_cast<std::uint32_t>(s.bgnyr) + 1u);
  writeFreeForm(154, kConsoleOut, {"Enter output filename: "});
  readWholeLine(155, kConsoleIn, s.outfile);
  writeFreeForm(157, kConsoleOut, {"Write heads as unformatted file (U) or in dbf format(D)? "});
  writeFreeForm(158, kConsoleOut, {"Enter U or D: "});
  readFreeForm(159, kConsoleIn, {s.outopt});
  normalise(s.outopt, 'u', 'U', 'D');

  // 4. The cell grid, for the text table only.
  if (s.outopt[0] == 'D') {
    writeFreeForm(165, kConsoleOut, {"Read ibound array file (A) or dbf-style grid attributes file (D)?"});
    writeFreeForm(166, kConsoleOut, {"Enter A or D: "});
    readFreeForm(167, kConsoleIn, {s.gridopt});
    normalise(s.gridopt, 'a', 'A', 'D');
    if (s.gridopt[0] == 'A') {
      writeFreeForm(170, kConsoleOut, {"Enter ibound array file pathname: "});
      readWholeLine(171, kConsoleIn, s.iboundfile);
      connectIboundArrayFile(s.iboundfile);  // 173
      writeFreeForm(174, kConsoleOut, {"Enter ibound array input format: "});
      readWholeLine(175, kConsoleIn, s.iboundfmt);
      readIboundArray(s.iboundfmt, dis, cells);  // 176 to 209
    } else {
      writeFreeForm(186, kConsoleOut, {"Enter grid attributes input file pathname: "});
      readWholeLine(187, kConsoleIn, s.gridfile);
      readGridAttributes(s.gridfile, dis, cells);  // 188 to 209
    }
  }

  // 5. Log and confirmation.
  writeFreeForm(214, kConsoleOut, {"Open log file Vantorell.log"});
  openRunLog();          // 215
  logRunInputs(s, dis);  // 216 to 228
  writeFreeForm(231, kConsoleOut, {"Continue? (y/n): "});
  readFreeForm(232, kConsoleIn, {s.answer});
  if (!isYes(s.answer)) return;

  // 6. Output and heads file.
  writeFreeForm(235, kConsoleOut, {"Open output file ", s.outfile});
  if (s.outopt[0] == 'U') {
    connectBinaryOutput(s.outfile);  // 237
  } else {
    connectCellTable(s.outfile);  // 239
  }
  logHeadsFileOpening();          // 242, 243
  connectHeadsFile(s.headsfile);  // 244
  s.written = false;

  // 7. The steady-state solution.
  if (s.steady) {
    logSteadyState();  // 253
    readHeadRecordPair(254, 255, header, heads);
    writeWholeLine(256, kConsoleOut, " Extract steady-state solution? (y/n)");
    readFreeForm(257, kConsoleIn, {s.answer});
    if (isYes(s.answer)) {
      s.written = true;
      logSteadyStateWritten(header);  // 261 to 263
      writeChosenPair(s, 265, 270, 274, 275, true, dis, cells, header, heads);
      return;
    }
  }

  // 8. The month search: one pair per month from January of the first year.
  if (s.numyrs >= 2) {
    writeWholeLine(283, kConsoleOut, " Enter month(1-12) and year(YYYY): ");
    readFreeForm(284, kConsoleIn, {s.month, s.year});
  } else {
    s.year = s.bgnyr;
    writeWholeLine(287, kConsoleOut, " Enter month(1-12): ");
    readFreeForm(288, kConsoleIn, {s.month});
  }
  writeFreeForm(291, kConsoleOut, {"Read computed heads for month", s.month, " year", s.year});
  for (std::int64_t y = s.bgnyr; y <= s.endyr; ++y) {
    for (std::int32_t m = 1; m <= 12; ++m) {
      if (s.year == y && s.month == m) {
        readHeadRecordPair(295, 296, header, heads);
        logMonthWritten(s, header);  // 299 to 301
        writeChosenPair(s, 303, 307, 311, 312, false, dis, cells, header, heads);
        return;
      }
      passOverHeadRecordPair(295, 296, heads);  // a pair that is never logged or written
    }
  }
}

}  // namespace

int runProgram() {
  platform::setConsoleBinaryMode();
  platform::ignoreFileSizeSignal();  // a file size limit then fails the write that meets it
  platform::installFatalSignalHandlers();
  connectConsole(platform::consoleInput(), platform::consoleOutput());
  int status = 0;
  try {
    runDialogue();
  } catch (const RunError& error) {
    status = reportRunError(error);
  } catch (const std::bad_alloc&) {
    status = reportRunError(RunError(ReportKind::MemoryExhausted, 0, 0, platform::errorText(ENOMEM)));
  }
  // Data that the system refused at the end of the run (the last write-out
  // of a buffer, or the close) ends an otherwise sound run with a report and
  // status 2. A run that already failed keeps its one report and its status:
  // a second report would only hide the first.
  WriteFailure lost = releaseAll();
  if (lost.error != 0 && status == 0) status = reportWriteFailure(lost);
  return status;
}

}  // namespace vantorell
