#include "records/file_units.h"

#include <gtest/gtest.h>

#include "support/testkit.h"

using namespace vantorell;
using testkit::ScratchDir;

TEST(FileUnits, ConnectCreatesMissingFileEmpty) {
  ScratchDir dir;
  resetUnitsForTesting();
  connect(113, 11, dir.file("missing.txt") + "     ", Form::Text);
  EXPECT_EQ(unitName(11), dir.file("missing.txt"));
  EXPECT_TRUE(testkit::fileExists(dir.file("missing.txt")));
  release(11);
  EXPECT_EQ(unitName(11), "");
}
