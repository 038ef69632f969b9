// The run log "Vantorell.log" on unit 14: the inputs of the run and the
// period it wrote.
#pragma once

#include "heads/head_records.h"
#include "model/discretization.h"
#include "run/run_settings.h"

namespace vantorell {

// Statement 215.
void openRunLog();
// Statements 216 to 228 (219 writes the dimension line to the console).
void logRunInputs(const RunSettings& settings, const Discretization& dis);
// Statements 242 and 243.
void logHeadsFileOpening();
// Statement 253.
void logSteadyState();
// Statements 261 to 263.
void logSteadyStateWritten(const HeadRecordHeader& header);
// Statements 299 to 301.
void logMonthWritten(const RunSettings& settings, const HeadRecordHeader& header);

}  // namespace vantorell
