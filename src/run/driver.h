// The run driver: the whole console dialogue, from the banner to the stop.
#pragma once

namespace vantorell {

// Runs the dialogue on the console units and returns the exit status after
// every unit has been released: 0 for a normal stop, 2 after an error
// report, 1 after memory exhaustion.
int runProgram();

}  // namespace vantorell
