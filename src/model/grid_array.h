// Storage for the run's grids: allocated once, zero-filled by the system,
// and left untouched until used, so a run's memory follows what it fills.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "records/platform.h"
#include "records/run_error.h"

namespace vantorell {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

template <typename T>
struct GridArray {
  std::unique_ptr<T[], FreeDeleter> values;
  std::size_t count = 0;

  T* data() { return values.get(); }
  const T* data() const { return values.get(); }
  T& operator[](std::size_t i) { return values[i]; }
  const T& operator[](std::size_t i) const { return values[i]; }
};

// `count` zero-filled elements, or the run ends with the memory-exhaustion
// report.
template <typename T>
GridArray<T> allocateGrid(std::size_t count) {
  GridArray<T> grid;
  void* p = std::calloc(count == 0 ? 1 : count, sizeof(T));
  if (p == nullptr) {
    throw RunError(ReportKind::MemoryExhausted, 0, 0, platform::errorText(platform::lastError()));
  }
  grid.values.reset(static_cast<T*>(p));
  grid.count = count;
  return grid;
}

}  // namespace vantorell
