// The text of the fatal-signal report, shared by both sides of the platform
// seam. Everything here runs inside a signal handler: no allocation, no
// library calls beyond plain character work.
#pragma once

#include <csignal>
#include <cstdint>

namespace vantorell::platform {

struct SignalText {
  const char* name;
  const char* description;
};

inline SignalText signalText(int sig) {
  switch (sig) {
    case SIGILL: return {"SIGILL", "Illegal instruction"};
    case SIGABRT: return {"SIGABRT", "Process abort signal"};
    case SIGFPE: return {"SIGFPE", "Floating-point exception - erroneous arithmetic operation"};
    default: return {"SIGSEGV", "Segmentation fault - invalid memory reference"};
  }
}

// One line of the backtrace, "#<frame>  0x<hex>\n", NUL-terminated, into
// `line` (48 characters are enough).
inline void formatFrameLine(char* line, int frame, const void* address) {
  char* p = line;
  *p++ = '#';
  char digits[12];
  int nd = 0;
  do {
    digits[nd++] = static_cast<char>('0' + frame % 10);
    frame /= 10;
  } while (frame > 0);
  while (nd > 0) *p++ = digits[--nd];
  *p++ = ' ';
  *p++ = ' ';
  *p++ = '0';
  *p++ = 'x';
  auto value = reinterpret_cast<std::uintptr_t>(address);
  char hex[2 * sizeof value];
  int nh = 0;
  do {
    hex[nh++] = "0123456789abcdef"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  while (nh > 0) *p++ = hex[--nh];
  *p++ = '\n';
  *p = '\0';
}

}  // namespace vantorell::platform
