#include "helpers/tb_probe_setup.h"

#include <cstring>
#include <fstream>

#include "helpers/datacomp_writer.h"
#include "tablebases/block_cache.h"

namespace testing_tb {

namespace {
constexpr int8_t emptySquare = 6;
}

std::array<int8_t, 64> probeBoard(const char* men) {
  std::array<int8_t, 64> board;
  board.fill(emptySquare);
  const char* kinds = "PNBRQK";
  for (const char* c = men; *c != '\0'; c += c[3] == ' ' ? 4 : 3) {
    bool white = *c >= 'A' && *c <= 'Z';
    int k = int(std::strchr(kinds, white ? *c : *c - 'a' + 'A') - kinds) + 1;
    board[size_t((c[1] - 'a') + 8 * (c[2] - '1'))] = int8_t(white ? emptySquare + k : emptySquare - k);
  }
  return board;
}

CacheMemory::~CacheMemory() { tablebases::tbSetCache(nullptr, 0); }

int32_t CacheMemory::give(uint64_t slots) { return giveBytes(slots * tablebases::tbCacheSlotBytes); }

int32_t CacheMemory::giveBytes(uint64_t bytes) {
  memory_.assign(size_t(bytes), 0);
  return tablebases::tbSetCache(memory_.data(), memory_.size());
}

void zeroFile(const std::filesystem::path& path, uint64_t bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).close();
  std::filesystem::resize_file(path, bytes);
}

void putBytes(const std::filesystem::path& path, uint64_t offset, const std::vector<int8_t>& bytes) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(std::streamoff(offset));
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void writeBytes(const std::filesystem::path& path, const std::vector<int8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void writeTable(const std::filesystem::path& dir, const std::string& name, const std::vector<int8_t>& entries,
                bool compressed) {
  if (!compressed) {
    writeBytes(dir / name, entries);
    return;
  }
  std::vector<uint8_t> bytes(entries.begin(), entries.end());
  writeFile((dir / (name + ".emd")).string(), makeDatacompFile(bytes, {}));
}

}  // namespace testing_tb
