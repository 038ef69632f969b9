// Micro-benchmarks of the text paths: the 25-character double field against
// a plain formatted-print writer of the same bytes, the free-form reader on
// grid attributes records, and the format-directed reader on ibound rows.
//
//   vantorell_microbench [--benchmark_repetitions=5 ...]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "records/file_units.h"
#include "records/fixed_text.h"
#include "records/format_reading.h"
#include "records/text_input.h"
#include "records/text_output.h"

using namespace vantorell;

namespace {

// ---- The double field through snprintf -----------------------------------

// The same 25 characters as formatDoubleField, built on "%.16E".
char* printfDoubleField(char* out, double value) {
  char* const end = out + 25;
  std::memset(out, ' ', 25);
  if (std::isnan(value)) {
    std::memcpy(out + 22, "NaN", 3);
    return end;
  }
  const bool negative = std::signbit(value);
  if (std::isinf(value)) {
    if (negative) out[16] = '-';
    std::memcpy(out + 17, "Infinity", 8);
    return end;
  }
  const double m = std::fabs(value);
  char text[40];
  std::snprintf(text, sizeof text, "%.16E", m);  // d.dddddddddddddddE±xx[x]
  char digits[17];
  digits[0] = text[0];
  std::memcpy(digits + 1, text + 2, 16);
  const int exponent = std::atoi(text + 19);
  if (m != 0.0 && (m < 0.1 || m >= 1e17)) {
    out[1] = negative ? '-' : ' ';
    out[2] = digits[0];
    out[3] = '.';
    std::memcpy(out + 4, digits + 1, 16);
    char tail[16];
    std::snprintf(tail, sizeof tail, "E%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent) % 1000);
    std::memcpy(out + 20, tail, 5);
    return end;
  }
  char fixed[20];
  std::size_t n = 0;
  if (m == 0.0) {
    std::memcpy(fixed, "0.0000000000000000", 18);
    n = 18;
  } else if (m < 1.0) {
    fixed[n++] = '0';
    fixed[n++] = '.';
    std::memcpy(fixed + n, digits, 17);
    n += 17;
  } else {
    const int k = exponent + 1;
    std::memcpy(fixed, digits, static_cast<std::size_t>(k));
    n = static_cast<std::size_t>(k);
    fixed[n++] = '.';
    std::memcpy(fixed + n, digits + k, static_cast<std::size_t>(17 - k));
    n += static_cast<std::size_t>(17 - k);
  }
  char* p = out + 20 - n;
  std::memcpy(p, fixed, n);
  if (negative) p[-1] = '-';
  return end;
}

// Heads as a model writes them: a few thousand metres with arbitrary digits,
// some dry cells at 1.0E30, and now and then a tiny or negative value.
std::vector<double> headValues(std::size_t n) {
  std::mt19937_64 random(42);
  std::uniform_real_distribution<double> head(1200.0, 1600.0);
  std::vector<double> v(n);
  for (std::size_t i = 0; i < n; ++i) {
    switch (i % 16) {
      case 3: v[i] = 1.0e30; break;
      case 7: v[i] = -head(random) * 1e-5; break;
      case 11: v[i] = 0.5 + head(random) * 1e-4; break;
      default: v[i] = head(random); break;
    }
  }
  return v;
}

std::vector<double> bitPatterns(std::size_t n) {
  std::mt19937_64 random(7);
  std::vector<double> v(n);
  for (double& d : v) {
    std::uint64_t bits = random();
    std::memcpy(&d, &bits, 8);
  }
  return v;
}

// Both writers give the same bytes, or the benchmarks mean nothing.
bool writersAgree() {
  std::vector<double> values = headValues(100000);
  std::vector<double> patterns = bitPatterns(200000);
  values.insert(values.end(), patterns.begin(), patterns.end());
  for (double special :
       {0.0, -0.0, 1.0, 0.1, std::nextafter(0.1, 0.0), 1e17, std::nextafter(1e17, 0.0), 1e16, 9.999999999999999e16,
        -0.5, 0.05, 5e-324, 1.7976931348623157e308, std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), std::nan("")}) {
    values.push_back(special);
  }
  for (double v : values) {
    char a[25], b[25];
    formatDoubleField(a, v);
    printfDoubleField(b, v);
    if (std::memcmp(a, b, 25) != 0) {
      std::fprintf(stderr, "double fields differ for %a: [%.25s] [%.25s]\n", v, a, b);
      return false;
    }
  }
  return true;
}

template <char* (*Writer)(char*, double)>
void doubleField(benchmark::State& state) {
  const std::vector<double> values = headValues(1 << 16);
  char out[25 * 64];
  std::size_t i = 0;
  for (auto _ : state) {
    for (std::size_t j = 0; j < 64; ++j) Writer(out + 25 * j, values[(i + j) & (values.size() - 1)]);
    i += 64;
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 64);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 64 * 25);
}
BENCHMARK_TEMPLATE(doubleField, formatDoubleField)->Name("DoubleField/program");
BENCHMARK_TEMPLATE(doubleField, printfDoubleField)->Name("DoubleField/snprintf");

// ---- Readers on files ----------------------------------------------------

struct ScratchFile {
  std::string path;
  explicit ScratchFile(const std::string& content) {
    char name[] = "/tmp/vantorell-bench-XXXXXX";
    int fd = ::mkstemp(name);
    if (fd < 0 || ::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size())) std::abort();
    ::close(fd);
    path = name;
  }
  ~ScratchFile() { ::unlink(path.c_str()); }
};

constexpr int kRecords = 100000;

std::string attributesFile() {
  std::string s = "node,row,col,ibound,cty,x,bsn,alluv,st\n";
  char line[96];
  for (int n = 1; n <= kRecords; ++n) {
    int row = (n - 1) / 1000 + 1, col = (n - 1) % 1000 + 1;
    std::snprintf(line, sizeof line, "%d,%d,%d,%d,%d,0,%d,%d,%s\r\n", n, row, col, n % 5 == 0 ? 0 : 1, 100 + row % 50,
                  col % 9, n % 2, n % 3 == 0 ? "KS" : "NE");
    s += line;
  }
  return s;
}

void freeFormReader(benchmark::State& state) {
  ScratchFile file(attributesFile());
  std::int64_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    resetUnitsForTesting();
    connect(188, 12, file.path, Form::Text, Use::Input);
    FixedText<60> header;
    readWholeLine(189, 12, header);
    state.ResumeTiming();
    std::int32_t node, row, col, ibound, cty, x, bsn, alluv;
    FixedText<2> st;
    for (int i = 0; i < kRecords; ++i) {
      readFreeForm(194, 12, {node, row, col, ibound, cty, x, bsn, alluv, st});
      benchmark::DoNotOptimize(node + ibound);
    }
    bytes += static_cast<std::int64_t>(unitAt(12).inFileEnd);
  }
  resetUnitsForTesting();
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kRecords);
  state.SetBytesProcessed(bytes);
}
BENCHMARK(freeFormReader)->Name("FreeFormReader/gridAttributes")->Unit(benchmark::kMillisecond);

constexpr int kColumns = 1000;
constexpr int kRows = 100;

std::string iboundFile() {
  std::string s;
  char field[8];
  for (int k = 0; k < kRows; ++k) {
    for (int l = 0; l < kColumns; ++l) {
      std::snprintf(field, sizeof field, "%4d", (k + l) % 7 == 0 ? 0 : ((k * l) % 11 == 0 ? -1 : 1));
      s += field;
      if (l % 20 == 19) s += "\r\n";
    }
  }
  return s;
}

void formatReader(benchmark::State& state) {
  ScratchFile file(iboundFile());
  std::vector<std::int32_t> row(kColumns);
  std::int64_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    resetUnitsForTesting();
    connect(173, 12, file.path, Form::Text, Use::Input);
    state.ResumeTiming();
    for (int k = 0; k < kRows; ++k) {
      readFormatted(177, 12, "(20I4)              ", row);
      benchmark::DoNotOptimize(row.data());
    }
    bytes += static_cast<std::int64_t>(unitAt(12).inFileEnd);
  }
  resetUnitsForTesting();
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kRows * kColumns);
  state.SetBytesProcessed(bytes);
}
BENCHMARK(formatReader)->Name("FormatReader/20I4")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!writersAgree()) return 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
