// libFuzzer target for the DATACOMP reader: the input supplies the code
// lengths stream, the block sizes and the compressed block bytes
// (fuzz_input.h); a valid header (banner, checksum) is built around them so
// that the fuzzer reaches the code-length decoder and the block decoder,
// not just the banner check. Every read or write outside a buffer is a
// finding (AddressSanitizer).
#include <cstdint>
#include <cstdio>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "helpers/datacomp_writer.h"
#include "tablebases/compressed_file.h"

using namespace tablebases;
using namespace fuzz_input;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size <= HeaderBytes) return 0;
  uint32_t blocks = uint32_t(data[0] % MaxBlocks) + 1;
  size_t codeBytes = (size_t(data[1]) << 8 | data[2]) % (size - HeaderBytes + 1);
  uint32_t lastBlock = (uint32_t(data[3]) << 8 | data[4]) & (BlockBytes - 1);
  const uint8_t* code = data + HeaderBytes;
  const uint8_t* rest = code + codeBytes;
  size_t restBytes = size - HeaderBytes - codeBytes;
  if (codeBytes == 0) return 0;

  // Every block but the last expands to a whole block; a size field of 0
  // means a whole block.
  testing_tb::BitWriter first;
  size_t per = restBytes / blocks;
  if (per == 0 || per > BlockBytes) return 0;
  for (uint32_t i = 0; i < blocks; ++i) first.put(per & (BlockBytes - 1), BlockSizeLog);
  first.put(lastBlock, BlockSizeLog);
  for (int d = 0; d < 24; ++d) first.put(uint64_t(testing_tb::writerDistances[d]), BlockSizeLog);
  std::vector<uint8_t> second(code, code + codeBytes);
  std::vector<uint8_t> payload(rest, rest + per * blocks);
  std::vector<uint8_t> image = testing_tb::assembleDatacompFile(BlockSizeLog, blocks, first.bytes, second, payload);

  std::FILE* file = std::tmpfile();
  if (!file) return 0;
  std::fwrite(image.data(), 1, image.size(), file);
  std::rewind(file);
  CompressedFileIndex* index = nullptr;
  if (dcOpenFile(&index, file) == 0) {
    DecodeBlock* block = nullptr;
    if (dcAllocDecodeBlock(&block, BlockBytes) == 0) {
      std::vector<uint8_t> out(BlockBytes + 36);
      for (uint32_t i = 0; i < index->blockCount; ++i) {
        dcInitDecodeBlock(block, BlockBytes, out.data());
        if (dcReadBlock(block, index, file, i) != 0) continue;
        dcDecodeBlock(block, index, block->blockSize);
      }
      dcFreeDecodeBlock(block);
    }
    dcFreeIndex(index);
  }
  std::fclose(file);
  return 0;
}
