// A fresh directory under the system's temporary directory, unique to this
// process and call (test programs of several builds run at the same time),
// removed with everything in it when the holder goes out of scope.
#pragma once
#include <filesystem>
#include <string>

struct ScopedTempDir {
  std::filesystem::path path;
  explicit ScopedTempDir(const std::string& prefix);
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
};
