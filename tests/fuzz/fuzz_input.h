// The input of the compressed-block fuzzer, shared by the fuzz target and
// the program that writes its seed corpus. The fuzzer supplies the parts of
// a DATACOMP file that the decoders read; the target builds a valid header
// (banner, checksum, distances) around them:
//
//   byte 0      the number of blocks less one, modulo MaxBlocks
//   bytes 1-2   the length of the code-lengths stream (big-endian, taken
//               modulo the bytes that follow the header)
//   bytes 3-4   the last block's expanded size (big-endian, low
//               BlockSizeLog bits; 0 is a whole block)
//   then        the code-lengths stream, then the blocks, all of one size
//               (the bytes after the stream split evenly between them)
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace fuzz_input {

constexpr size_t HeaderBytes = 5;
constexpr uint32_t MaxBlocks = 4;
constexpr int BlockSizeLog = 13;
constexpr uint32_t BlockBytes = uint32_t(1) << BlockSizeLog;

inline std::vector<uint8_t> encode(uint32_t blockCount, const std::vector<uint8_t>& codeLengths,
                                   uint32_t lastBlockBytes, const std::vector<uint8_t>& blocks) {
  std::vector<uint8_t> input = {uint8_t((blockCount - 1) % MaxBlocks),
                                uint8_t(codeLengths.size() >> 8), uint8_t(codeLengths.size()),
                                uint8_t(lastBlockBytes >> 8), uint8_t(lastBlockBytes)};
  input.insert(input.end(), codeLengths.begin(), codeLengths.end());
  input.insert(input.end(), blocks.begin(), blocks.end());
  return input;
}

}  // namespace fuzz_input
