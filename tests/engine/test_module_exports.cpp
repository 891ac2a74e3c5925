// The engine module is a shared library whose one export is EngineInit: the
// engine core linked into it stays hidden, so its globals never bind to the
// front end's copy.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpers/elf_symbols.h"
#include "helpers/module_host.h"

TEST(ModuleExports, OnlyEngineInit) {
  const std::string path = testing_host::modulePath();
  std::vector<std::string> names;
  ASSERT_TRUE(testing_helpers::readExportedSymbols(path, &names)) << path;
  EXPECT_EQ(names, std::vector<std::string>{"EngineInit"});
}
