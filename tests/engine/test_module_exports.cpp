// The engine module is a shared library whose one export is EngineInit: the
// engine core linked into it stays hidden, so its globals never bind to the
// front end's copy.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpers/elf_symbols.h"

namespace {

std::string modulePath() {
  return std::string(QUILLON_BINARY_DIR) + (sizeof(void*) == 8 ? "/qln12.x64.so" : "/qln12.w32.so");
}

}  // namespace

TEST(ModuleExports, OnlyEngineInit) {
  std::vector<std::string> names;
  ASSERT_TRUE(testing_helpers::readExportedSymbols(modulePath(), &names)) << modulePath();
  EXPECT_EQ(names, std::vector<std::string>{"EngineInit"});
}
