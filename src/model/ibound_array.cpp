#include <cstdint>
#include <span>

#include "model/cell_grid.h"
#include "model/discretization.h"
#include "records/file_units.h"
#include "records/format_reading.h"

namespace vantorell {

void connectIboundArrayFile(const FixedText<128>& iboundfile) {
  connect(173, 12, iboundfile.view(), Form::Text, Use::Input);
}

void readIboundArray(const FixedText<20>& iboundfmt, const Discretization& dis, CellGrid& cells) {
  std::size_t ncols = dis.ncols > 0 ? static_cast<std::size_t>(dis.ncols) : 0;
  for (std::int32_t k = 1; k <= dis.nrows; ++k) {  // statement 176
    std::size_t rowStart = static_cast<std::size_t>(k - 1) * ncols;
    readFormatted(177, 12, iboundfmt.view(), std::span<std::int32_t>(cells.ibound.data() + rowStart, ncols));
    for (std::size_t l = 1; l <= ncols; ++l) {  // statements 178 and 179
      cells.node[rowStart + l - 1] = static_cast<std::int32_t>(rowStart + l);
    }
  }
  release(12);  // statement 209
}

}  // namespace vantorell
