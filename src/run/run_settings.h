// What the dialogue gathers: paths, years, options and answers.
#pragma once

#include <cstdint>

#include "records/fixed_text.h"

namespace vantorell {

struct RunSettings {
  FixedText<128> disfile;
  FixedText<200> headsfile;
  std::int32_t bgnyr = 0;
  std::int32_t endyr = 0;
  std::int32_t numyrs = 0;
  FixedText<128> outfile;
  FixedText<1> outopt;   // 'U' or 'D' once normalised
  FixedText<1> gridopt;  // 'A' or 'D' once normalised; only for outopt 'D'
  FixedText<128> iboundfile;
  FixedText<20> iboundfmt;
  FixedText<128> gridfile;
  FixedText<1> answer;  // the confirmation, then the steady-state question
  std::int32_t month = 0;
  std::int32_t year = 0;
  bool steady = false;
  bool written = false;
};

}  // namespace vantorell
