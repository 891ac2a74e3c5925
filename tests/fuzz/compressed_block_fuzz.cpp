// libFuzzer target for the DATACOMP reader: the input supplies the code
// lengths stream, the block sizes and the compressed block bytes; a valid
// header (banner, checksum) is built around them so that the fuzzer reaches
// the code-length decoder and the block decoder, not just the banner check.
// Every read or write outside a buffer is a finding (AddressSanitizer).
#include <cstdint>
#include <cstdio>
#include <vector>

#include "helpers/datacomp_writer.h"
#include "tablebases/compressed_file.h"

using namespace tablebases;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  // Byte 0: blocks (1..4); bytes 1-2: length of the code-lengths stream.
  uint32_t blocks = uint32_t(data[0] % 4) + 1;
  size_t codeBytes = (size_t(data[1]) << 8 | data[2]) % (size - 3 + 1);
  const uint8_t* code = data + 3;
  const uint8_t* rest = code + codeBytes;
  size_t restBytes = size - 3 - codeBytes;
  if (codeBytes == 0) return 0;

  // Compressed sizes: split the rest evenly; uncompressed 8192 except the last.
  testing_tb::BitWriter first;
  size_t per = restBytes / blocks;
  if (per == 0 || per > 8191) return 0;
  for (uint32_t i = 0; i < blocks; ++i) first.put(per, 13);
  first.put(1 + (restBytes % 8191), 13);  // last block's size
  for (int d = 0; d < 24; ++d) first.put(uint64_t(testing_tb::writerDistances[d]), 13);
  std::vector<uint8_t> second(code, code + codeBytes);
  std::vector<uint8_t> payload(rest, rest + per * blocks);
  std::vector<uint8_t> image = testing_tb::assembleDatacompFile(13, blocks, first.bytes, second, payload);

  std::FILE* file = std::tmpfile();
  if (!file) return 0;
  std::fwrite(image.data(), 1, image.size(), file);
  std::rewind(file);
  CompressedFileIndex* index = nullptr;
  if (dcOpenFile(&index, file) == 0) {
    DecodeBlock* block = nullptr;
    if (dcAllocDecodeBlock(&block, 8192) == 0) {
      std::vector<uint8_t> out(8192 + 36);
      for (uint32_t i = 0; i < index->blockCount; ++i) {
        dcInitDecodeBlock(block, 8192, out.data());
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
