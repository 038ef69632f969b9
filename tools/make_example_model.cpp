// Writes the bundled example model: a 20-row, 30-column basin with a
// steady-state first stress period and three years of monthly heads.
//
//   make_example_model <directory>
//
// writes basin.dis, basin.hds, basin.grid.csv and basin.ibound into the
// directory. The output depends only on this program: heads are computed
// with exact binary arithmetic, so every platform writes the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 20;
constexpr int kCols = 30;
constexpr int kFirstYear = 1990;
constexpr int kYears = 3;
constexpr double kNoFlow = 1.0e30;

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// ibound: 0 outside the basin (the corners and a ridge), -1 along the river
// (constant head), 1 elsewhere.
int iboundAt(int row, int col) {
  if (row + col < 6 || (kRows - row) + (kCols - col) < 5) return 0;
  if (col >= 12 && col <= 14 && row >= 3 && row <= 6) return 0;
  if (col == 22) return -1;
  return 1;
}

// State code of the cell's county, for the attributes file.
const char* stateAt(int col) { return col <= 15 ? "KS" : "NE"; }

double headAt(int row, int col, int period) {
  if (iboundAt(row, col) == 0) return kNoFlow;
  double base = 1520.0 - 1.5 * row - 0.75 * (col > 22 ? 44 - col : col);
  if (period == 0) return base;
  int month = (period - 1) % 12;  // 0 = January
  int seasonal = month < 6 ? month : 11 - month;
  return base - 0.125 * seasonal - 0.0625 * ((period - 1) / 12) + 0.001953125 * (row % 3);
}

void put32(std::vector<unsigned char>& out, std::int32_t v) {
  auto u = static_cast<std::uint32_t>(v);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(u >> (8 * i)));
}

void put64(std::vector<unsigned char>& out, double d) {
  std::uint64_t u;
  std::memcpy(&u, &d, sizeof u);
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<unsigned char>(u >> (8 * i)));
}

bool writeAll(const std::string& path, const void* data, std::size_t n) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(data, 1, n, f) == n;
  return std::fclose(f) == 0 && ok;
}

bool writeText(const std::string& path, const std::string& text) { return writeAll(path, text.data(), text.size()); }

std::string discretization() {
  std::string s;
  s += "1 20 30 37 4 2\r\n";
  s += "0\r\n";
  s += "DELR 1000.0\r\n";
  s += "DELC 1000.0\r\n";
  s += "Example basin: 20 rows, 30 columns, one layer\r\n";
  s += "Steady-state start, then monthly stress periods 1990-1992\r\n";
  s += "1.0 1 1.0 SS steady\r\n";
  for (int year = 0; year < kYears; ++year) {
    for (int m = 0; m < 12; ++m) {
      s += std::to_string(kMonthDays[m]) + ".0 1 1.0 TR " + kMonths[m] + std::to_string(kFirstYear + year) + "\r\n";
    }
  }
  return s;
}

std::vector<unsigned char> heads() {
  std::vector<unsigned char> out;
  double totim = 0.0;
  for (int period = 0; period <= 12 * kYears; ++period) {
    double pertim = period == 0 ? 1.0 : kMonthDays[(period - 1) % 12];
    totim += pertim;
    put32(out, 52);
    put32(out, 1);           // KSTP
    put32(out, period + 1);  // KPER
    put64(out, pertim);
    put64(out, totim);
    const char* text = "            HEAD";
    out.insert(out.end(), text, text + 16);
    put32(out, kCols);
    put32(out, kRows);
    put32(out, 1);
    put32(out, 52);
    put32(out, 8 * kRows * kCols);
    for (int row = 1; row <= kRows; ++row) {
      for (int col = 1; col <= kCols; ++col) put64(out, headAt(row, col, period));
    }
    put32(out, 8 * kRows * kCols);
  }
  return out;
}

std::string gridAttributes() {
  std::string s = "node,row,col,ibound,cty,x,bsn,alluv,st\r\n";
  for (int row = 1; row <= kRows; ++row) {
    for (int col = 1; col <= kCols; ++col) {
      int node = (row - 1) * kCols + col;
      s += std::to_string(node) + "," + std::to_string(row) + "," + std::to_string(col) + "," +
           std::to_string(iboundAt(row, col)) + "," + std::to_string(col <= 15 ? 101 : 202) + ",0," +
           std::to_string(row <= 10 ? 7 : 8) + "," + (col >= 21 && col <= 23 ? "1" : "0") + "," + stateAt(col) + "\r\n";
    }
  }
  return s;
}

// Thirty 3-character fields per line: read with the format (30I3).
std::string iboundArray() {
  std::string s;
  for (int row = 1; row <= kRows; ++row) {
    for (int col = 1; col <= kCols; ++col) {
      char field[8];
      std::snprintf(field, sizeof field, "%3d", iboundAt(row, col));
      s += field;
    }
    s += "\r\n";
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_example_model <directory>\n");
    return 2;
  }
  std::string dir = argv[1];
  std::vector<unsigned char> hds = heads();
  bool ok = writeText(dir + "/basin.dis", discretization()) && writeAll(dir + "/basin.hds", hds.data(), hds.size()) &&
            writeText(dir + "/basin.grid.csv", gridAttributes()) && writeText(dir + "/basin.ibound", iboundArray());
  if (!ok) {
    std::perror("make_example_model");
    return 1;
  }
  return 0;
}
