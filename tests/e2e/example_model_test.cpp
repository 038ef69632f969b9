// The bundled example model: its files are what the generator writes, and
// the four answer files give the checked-in outputs byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/testkit.h"

using namespace testkit;

namespace {

const std::string kExamples = std::string(VANTORELL_SOURCE_DIR) + "/examples";
const char* const kModelFiles[] = {"basin.dis", "basin.hds", "basin.grid.csv", "basin.ibound"};

}  // namespace

TEST(ExampleModel, GeneratorWritesTheCheckedInFiles) {
  ScratchDir dir;
  std::string command = std::string(MAKE_EXAMPLE_MODEL_EXE) + " " + dir.path;
  ASSERT_EQ(std::system(command.c_str()), 0);
  for (const char* name : kModelFiles) {
    SCOPED_TRACE(name);
    EXPECT_EQ(readFile(dir.file(name)), readFile(kExamples + "/" + name));
  }
}

TEST(ExampleModel, AnswerFilesGiveTheExpectedOutputs) {
  const std::pair<const char*, const char*> runs[] = {
      {"month-to-binary", "out-month.hds"},
      {"steady-to-binary", "out-steady.hds"},
      {"month-to-table-attributes", "out-month-attributes.txt"},
      {"month-to-table-ibound", "out-month-ibound.txt"},
  };
  for (const auto& [name, output] : runs) {
    SCOPED_TRACE(name);
    ScratchDir dir;
    for (const char* file : kModelFiles) writeFile(dir.file(file), readFile(kExamples + "/" + file));
    std::string expected = kExamples + "/expected/" + name;
    std::string extension = std::string(output).substr(std::string(output).rfind('.'));
    RunResult r = runProgram(dir.path, readFile(kExamples + "/" + name + ".answers"));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, readFile(expected + ".stdout"));
    EXPECT_EQ(readFile(dir.file(output)), readFile(expected + extension));
    EXPECT_EQ(readFile(dir.file("Vantorell.log")), readFile(expected + ".log"));
  }
}
