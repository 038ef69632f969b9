// Fixed-length, blank-padded text fields.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace vantorell {

// A text field of exactly N characters. Values shorter than the field are
// padded with blanks, longer ones keep their first N characters.
template <std::size_t N>
struct FixedText {
  std::array<char, N> chars;

  FixedText() { chars.fill(' '); }
  explicit FixedText(std::string_view value) { assign(value); }

  void assign(std::string_view value) {
    std::size_t n = value.size() < N ? value.size() : N;
    std::memcpy(chars.data(), value.data(), n);
    std::memset(chars.data() + n, ' ', N - n);
  }

  static constexpr std::size_t size() { return N; }
  char* data() { return chars.data(); }
  const char* data() const { return chars.data(); }
  char operator[](std::size_t i) const { return chars[i]; }

  // The whole field, trailing blanks included.
  std::string_view view() const { return {chars.data(), N}; }

  // The field without its trailing blanks (blank characters only).
  std::string_view trimmed() const {
    std::size_t n = N;
    while (n > 0 && chars[n - 1] == ' ') --n;
    return {chars.data(), n};
  }

  bool operator==(const FixedText&) const = default;
};

// A view of any fixed-length field, used in item lists.
struct TextRef {
  char* data;
  std::size_t length;

  template <std::size_t N>
  TextRef(FixedText<N>& field) : data(field.data()), length(N) {}  // NOLINT(google-explicit-constructor)
  TextRef(char* d, std::size_t n) : data(d), length(n) {}
};

}  // namespace vantorell
