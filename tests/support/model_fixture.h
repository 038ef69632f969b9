// Small model files for the end-to-end tests, written independently of the
// program's own writers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace testkit {

inline std::string le32(std::int32_t v) {
  auto u = static_cast<std::uint32_t>(v);
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>(u >> (8 * i));
  return s;
}

inline std::string le64(double d) {
  std::uint64_t u;
  std::memcpy(&u, &d, sizeof u);
  std::string s(8, '\0');
  for (int i = 0; i < 8; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>(u >> (8 * i));
  return s;
}

// One record of a single subrecord: marker, payload, marker.
inline std::string framed(std::string_view payload) {
  auto n = static_cast<std::int32_t>(payload.size());
  return le32(n) + std::string(payload) + le32(n);
}

struct PairHeader {
  std::int32_t kstp = 1;
  std::int32_t kper = 1;
  double pertim = 31.0;
  double totim = 31.0;
  std::string text = "            HEAD";
  std::int32_t ncol = 0;
  std::int32_t nrow = 0;
  std::int32_t ilay = 1;
};

inline std::string headerPayload(const PairHeader& h) {
  std::string text = h.text;
  text.resize(16, ' ');
  return le32(h.kstp) + le32(h.kper) + le64(h.pertim) + le64(h.totim) + text + le32(h.ncol) + le32(h.nrow) +
         le32(h.ilay);
}

inline std::string doublesPayload(const std::vector<double>& values) {
  std::string s;
  for (double v : values) s += le64(v);
  return s;
}

// A heads file pair whose heads are `base + cell index` for every cell.
inline std::string headsPair(const PairHeader& h, int cells, double base) {
  std::vector<double> values;
  for (int i = 0; i < cells; ++i) values.push_back(base + i);
  return framed(headerPayload(h)) + framed(doublesPayload(values));
}

// A discretization file: dimensions, the unused records, one row per period.
inline std::string disFile(int nlay, int nrows, int ncols, const std::vector<std::string>& chsstr) {
  std::string s = std::to_string(nlay) + " " + std::to_string(nrows) + " " + std::to_string(ncols) + " " +
                  std::to_string(chsstr.size()) + " 4 2\n0\nWIDTH 1000.0\nWIDTH 1000.0\nany text\nany text\n";
  for (const std::string& c : chsstr) s += "31.0 1 1.0 " + c + " label\n";
  return s;
}

// The 11-character field of an int32.
inline std::string i11(std::int32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%11d", v);
  return buf;
}

// A free-form record of one text item: one blank, the text, CR LF.
inline std::string said(std::string_view text) { return " " + std::string(text) + "\r\n"; }
// A whole-line record: the text, CR LF.
inline std::string line(std::string_view text) { return std::string(text) + "\r\n"; }
// `text` blank-padded to `n` characters.
inline std::string padded(std::string_view text, std::size_t n) {
  std::string s(text);
  s.resize(n, ' ');
  return s;
}

}  // namespace testkit
