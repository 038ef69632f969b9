// Shared pieces of the fuzz targets: a per-process scratch file that holds
// the bytes a unit reads, and a cursor over the bytes that choose the items.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "records/file_units.h"

namespace fuzzing {

// The scratch file of this process, in a directory of its own (on /dev/shm
// when there is one, so that the file never reaches a disk).
inline const std::string& scratchFile() {
  static const std::string path = [] {
    std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    if (const char* tmp = std::getenv("VANTORELL_FUZZ_TMP")) base = tmp;
    std::string dir = base + "/vantorell-fuzz-XXXXXX";
    if (::mkdtemp(dir.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    static std::string removeDir = dir;
    std::atexit([] {
      ::unlink((removeDir + "/input").c_str());
      ::rmdir(removeDir.c_str());
    });
    return dir + "/input";
  }();
  return path;
}

inline void writeAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t put = ::write(fd, p, size);
    if (put <= 0) {
      std::perror("write scratch file");
      std::abort();
    }
    p += put;
    size -= static_cast<std::size_t>(put);
  }
}

// Resets the unit table and connects `unit` for input to a file holding
// `prefix`, then exactly `size` bytes of `data`.
inline void connectInput(int unit, std::string_view prefix, const std::uint8_t* data, std::size_t size,
                         vantorell::Form form) {
  vantorell::resetUnitsForTesting();
  const std::string& path = scratchFile();
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::perror("open scratch file");
    std::abort();
  }
  writeAll(fd, prefix.data(), prefix.size());
  writeAll(fd, data, size);
  ::close(fd);
  vantorell::connect(1, unit, path, form, vantorell::Use::Input);
}
inline void connectInput(int unit, const std::uint8_t* data, std::size_t size, vantorell::Form form) {
  connectInput(unit, {}, data, size, form);
}

// Takes bytes from the front of the input: the parameters of one run. What
// is left over is the content of the file.
struct Cursor {
  const std::uint8_t* data;
  std::size_t size;

  std::uint8_t byte() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
  std::uint16_t u16() {
    std::uint16_t lo = byte();
    return static_cast<std::uint16_t>(lo | (byte() << 8));
  }
};

}  // namespace fuzzing
