// Writes a synthetic model of any size for the scale benchmarks:
//
//   make_scale_model <directory> <nrows> <ncols> <pairs> [<pairs> ...]
//
// model.dis      one layer, as many monthly (transient) stress periods as the
//                largest pair count
// heads-<P>.hds  P monthly record pairs (52-byte header, nrows x ncols heads)
// grid.csv       the grid attributes file, one record per cell
// ibound.txt     the ibound array, read with the format (20I4)
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int iboundAt(long row, long col) {
  if ((row * 7 + col * 3) % 23 == 0) return 0;
  if (col % 97 == 0) return -1;
  return 1;
}

template <typename T>
void putLE(std::vector<char>& out, T value) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  if constexpr (std::endian::native == std::endian::big) {
    for (std::size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
  }
  for (char c : bytes) out.push_back(c);
}

void putRecord(std::FILE* f, const std::vector<char>& payload) {
  std::vector<char> marker;
  putLE(marker, static_cast<std::int32_t>(payload.size()));
  std::fwrite(marker.data(), 1, 4, f);
  std::fwrite(payload.data(), 1, payload.size(), f);
  std::fwrite(marker.data(), 1, 4, f);
}

std::FILE* create(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    std::perror(path.c_str());
    std::exit(1);
  }
  return f;
}

void close(std::FILE* f, const std::string& path) {
  if (std::ferror(f) != 0 || std::fclose(f) != 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: make_scale_model <directory> <nrows> <ncols> <pairs> [<pairs> ...]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const long nrows = std::atol(argv[2]);
  const long ncols = std::atol(argv[3]);
  std::vector<long> pairCounts;
  long maxPairs = 0;
  for (int i = 4; i < argc; ++i) {
    pairCounts.push_back(std::atol(argv[i]));
    if (pairCounts.back() > maxPairs) maxPairs = pairCounts.back();
  }
  const long cells = nrows * ncols;

  std::string path = dir + "/model.dis";
  std::FILE* f = create(path);
  std::fprintf(f, "1 %ld %ld %ld 4 2\n0\nDELR 1000.0\nDELC 1000.0\nSynthetic model\nMonthly periods\n", nrows, ncols,
               maxPairs);
  for (long p = 1; p <= maxPairs; ++p) std::fprintf(f, "31.0 1 1.0 TR month%ld\n", p);
  close(f, path);

  for (long pairs : pairCounts) {
    path = dir + "/heads-" + std::to_string(pairs) + ".hds";
    f = create(path);
    std::vector<char> header, array;
    array.reserve(static_cast<std::size_t>(cells) * 8);
    for (long p = 1; p <= pairs; ++p) {
      header.clear();
      putLE<std::int32_t>(header, 1);
      putLE<std::int32_t>(header, static_cast<std::int32_t>(p));
      putLE<double>(header, 31.0);
      putLE<double>(header, 31.0 * static_cast<double>(p));
      for (char c : std::string(12, ' ') + "HEAD") header.push_back(c);
      putLE<std::int32_t>(header, static_cast<std::int32_t>(ncols));
      putLE<std::int32_t>(header, static_cast<std::int32_t>(nrows));
      putLE<std::int32_t>(header, 1);
      putRecord(f, header);
      array.clear();
      for (long k = 1; k <= nrows; ++k) {
        for (long l = 1; l <= ncols; ++l) {
          double head = iboundAt(k, l) == 0
                            ? 1.0e30
                            : 1520.0 - 0.0371 * static_cast<double>(k) - 0.0113 * static_cast<double>(l) +
                                  0.0137 * static_cast<double>(p % 12) / 3.0;
          putLE<double>(array, head);
        }
      }
      putRecord(f, array);
    }
    close(f, path);
  }

  path = dir + "/grid.csv";
  f = create(path);
  std::fputs("node,row,col,ibound,cty,x,bsn,alluv,st\n", f);
  for (long k = 1, node = 1; k <= nrows; ++k) {
    for (long l = 1; l <= ncols; ++l, ++node) {
      std::fprintf(f, "%ld,%ld,%ld,%d,%ld,0,%ld,%ld,%s\n", node, k, l, iboundAt(k, l), 100 + k % 40, l % 9, node % 2,
                   l <= ncols / 2 ? "KS" : "NE");
    }
  }
  close(f, path);

  path = dir + "/ibound.txt";
  f = create(path);
  for (long k = 1; k <= nrows; ++k) {
    for (long l = 1; l <= ncols; ++l) {
      std::fprintf(f, "%4d", iboundAt(k, l));
      if (l % 20 == 0 || l == ncols) std::fputc('\n', f);
    }
  }
  close(f, path);
  return 0;
}
