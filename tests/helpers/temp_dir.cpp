#include "tests/helpers/temp_dir.h"

#include <stdlib.h>

#include <stdexcept>
#include <system_error>
#include <vector>

ScopedTempDir::ScopedTempDir(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
  std::vector<char> text(pattern.begin(), pattern.end());
  text.push_back('\0');
  if (mkdtemp(text.data()) == nullptr) throw std::runtime_error("cannot create a directory from " + pattern);
  path = text.data();
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}
