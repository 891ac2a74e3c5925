// Set-up the tablebase tests share: a probe board written as text, the
// block cache's memory, and table files (of given bytes or a given size).
#pragma once
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testing_tb {

// A probe board (a1 = 0 .. h8 = 63) from men like "Kc3 Qd5 ka8": upper case
// White, lower case Black, K Q R B N P. An empty square holds 6, a White
// man 6 + k and a Black one 6 - k (k = 1 pawn .. 6 king).
std::array<int8_t, 64> probeBoard(const char* men);

// Memory for the block cache, handed to tbSetCache: `slots` slots, fewer
// than one turning it off. The holder turns the cache off when it goes.
class CacheMemory {
 public:
  CacheMemory() = default;
  explicit CacheMemory(uint64_t slots) { give(slots); }
  ~CacheMemory();
  CacheMemory(const CacheMemory&) = delete;
  CacheMemory& operator=(const CacheMemory&) = delete;
  // Returns tbSetCache's answer.
  int32_t give(uint64_t slots);
  int32_t giveBytes(uint64_t bytes);

 private:
  std::vector<uint8_t> memory_;
};

// A file of `bytes` zero bytes, sparse where the file system allows.
void zeroFile(const std::filesystem::path& path, uint64_t bytes);
// Writes bytes at an offset of an existing file.
void putBytes(const std::filesystem::path& path, uint64_t offset, const std::vector<int8_t>& bytes);
// A whole file of the given bytes.
void writeBytes(const std::filesystem::path& path, const std::vector<int8_t>& bytes);
// The table file `name` (e.g. "krk.nbw") in `dir`: the entries as they are,
// or compressed by the test writer under the name with ".emd" added.
void writeTable(const std::filesystem::path& dir, const std::string& name, const std::vector<int8_t>& entries,
                bool compressed);

}  // namespace testing_tb
