#include "run/driver.h"
namespace vantorell { int runProgram() { return 0; } }
