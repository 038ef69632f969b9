#include "heads/cell_table.h"

#include <cstddef>

#include "model/discretization.h"
#include "records/file_units.h"
#include "records/text_output.h"

namespace vantorell {

namespace {

// " node row col ibound head" as four int32 fields and a double field.
constexpr std::size_t kCellLine = 4 * (1 + kInt32Field) + 1 + kDoubleField + 2;

}  // namespace

void connectCellTable(const FixedText<128>& outfile) { connect(239, 11, outfile.view(), Form::Text, Use::Output); }

void writeCellTable(int headerStmt, int cellStmt, const Discretization& dis, const CellGrid& cells,
                    const GridArray<double>& heads, bool activeOnly) {
  writeFreeForm(headerStmt, 11, {"node row col ibound  head"});

  Unit& u = writableUnit(cellStmt, 11);
  char line[kCellLine];
  std::size_t cell = 0;
  for (std::int32_t k = 1; k <= dis.nrows; ++k) {
    for (std::int32_t l = 1; l <= dis.ncols; ++l, ++cell) {
      if (activeOnly && cells.ibound[cell] == 0) continue;  // statement 268
      char* p = line;
      *p++ = ' ';
      p = formatInt32Field(p, cells.node[cell]);
      *p++ = ' ';
      p = formatInt32Field(p, k);
      *p++ = ' ';
      p = formatInt32Field(p, l);
      *p++ = ' ';
      p = formatInt32Field(p, cells.ibound[cell]);
      *p++ = ' ';
      p = formatDoubleField(p, heads[cell]);
      *p++ = '\r';
      *p++ = '\n';
      putRecord(u, line, kCellLine);
      finishWriteStatement(cellStmt, u);
    }
  }
}

}  // namespace vantorell
