// The names a shared library exports: the defined global and weak symbols
// of its dynamic symbol table, read from the ELF file itself (32- or 64-bit,
// little-endian).
#pragma once
#include <string>
#include <vector>

namespace testing_helpers {

// False when the file cannot be read or is not an ELF shared object.
bool readExportedSymbols(const std::string& path, std::vector<std::string>* names);

}  // namespace testing_helpers
