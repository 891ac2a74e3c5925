// Writes DATACOMP-compressed files for the tests: stored-only files, and
// really compressed ones (greedy back-references on the 24 distances, a
// fixed prefix code). The reader must read back what these write.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace testing_tb {

// Most-significant-bit-first bit writer.
struct BitWriter {
  std::vector<uint8_t> bytes;
  int bitCount = 0;
  void put(uint64_t value, int width);
  // Appends a string of '0'/'1' characters (spaces are skipped).
  void putBits(const char* bits);
};

enum class MainCode {
  Flat10,      // every symbol 10 bits
  Skewed,      // literals short, long back-references up to 20 bits
};

struct DatacompOptions {
  int blockSizeLog = 13;
  bool compress = true;
  MainCode code = MainCode::Flat10;
};

// The 24 distances the writer uses.
extern const int32_t writerDistances[24];

// What a file image holds besides its fixed header fields.
struct DatacompParts {
  int blockSizeLog = 13;
  uint32_t blockCount = 0;
  std::vector<uint8_t> firstStream;   // block sizes, last block's size, distances
  std::vector<uint8_t> secondStream;  // the code lengths (or "no code")
  std::vector<uint8_t> blocks;        // the blocks back to back
  std::vector<uint32_t> blockBytes;   // each block's size in `blocks`
  uint32_t lastBlockBytes = 0;        // the last block's size once expanded
};

// The parts of the file for `data`, and the whole file image.
DatacompParts makeDatacompParts(const std::vector<uint8_t>& data, const DatacompOptions& options);
std::vector<uint8_t> makeDatacompFile(const std::vector<uint8_t>& data, const DatacompOptions& options);

// Wraps given header fields, bit streams and block bytes into a file image
// with a correct checksum (for hand-assembled files).
std::vector<uint8_t> assembleDatacompFile(int blockSizeLog, uint32_t blockCount,
                                          const std::vector<uint8_t>& firstStream,
                                          const std::vector<uint8_t>& secondStream,
                                          const std::vector<uint8_t>& blocks);

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

// The reader's checksum, computed independently here.
uint32_t referenceChecksum(const uint8_t* bytes, size_t length);

}  // namespace testing_tb
