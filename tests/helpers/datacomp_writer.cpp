#include "helpers/datacomp_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace testing_tb {

const int32_t writerDistances[24] = {1,  2,  3,   4,   5,   6,   7,   8,    12,   16,   24,   32,
                                     48, 64, 100, 128, 200, 256, 512, 1000, 1024, 2048, 4000, 4096};

void BitWriter::put(uint64_t value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    if (bitCount % 8 == 0) bytes.push_back(0);
    if ((value >> i) & 1) bytes.back() |= uint8_t(0x80 >> (bitCount % 8));
    ++bitCount;
  }
}

void BitWriter::putBits(const char* bits) {
  for (; *bits; ++bits)
    if (*bits == '0' || *bits == '1') put(uint64_t(*bits - '0'), 1);
}

uint32_t referenceChecksum(const uint8_t* bytes, size_t length) {
  // Bitwise form of the same checksum: the polynomial applies when the bit
  // leaving the register is 0.
  uint32_t c = 0;
  for (size_t i = 0; i < length; ++i) {
    uint32_t index = (c ^ bytes[i]) & 255;
    uint32_t t = index;
    for (int k = 0; k < 8; ++k) t = (t & 1) ? (t >> 1) : ((t >> 1) ^ 0xedb88320u);
    c = (c >> 8) ^ t;
  }
  return c;
}

static void putBigEndian32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  out[at] = uint8_t(v >> 24);
  out[at + 1] = uint8_t(v >> 16);
  out[at + 2] = uint8_t(v >> 8);
  out[at + 3] = uint8_t(v);
}

std::vector<uint8_t> assembleDatacompFile(int blockSizeLog, uint32_t blockCount,
                                          const std::vector<uint8_t>& firstStream,
                                          const std::vector<uint8_t>& secondStream,
                                          const std::vector<uint8_t>& blocks) {
  static const char banner[] = "Compressed by DATACOMP v 1.0 (c) 1991--1998 Lemuel Tolvash\r\n";
  size_t headerBytes = 80 + 8 * size_t(blockCount) + firstStream.size() + secondStream.size() + 4;
  std::vector<uint8_t> file(headerBytes, 0);
  std::memcpy(file.data(), banner, 60);  // then four NULs
  putBigEndian32(file, 64, uint32_t(headerBytes));
  file[70] = uint8_t(blockSizeLog);
  file[71] = 24;
  putBigEndian32(file, 72, blockCount);
  putBigEndian32(file, 76, 0x004001f5);
  std::copy(firstStream.begin(), firstStream.end(), file.begin() + 80 + 8 * long(blockCount));
  std::copy(secondStream.begin(), secondStream.end(),
            file.begin() + 80 + 8 * long(blockCount) + long(firstStream.size()));
  putBigEndian32(file, headerBytes - 4, referenceChecksum(file.data(), headerBytes - 4));
  file.insert(file.end(), blocks.begin(), blocks.end());
  return file;
}

namespace {

struct Code {
  int length[1024];
  uint32_t code[1024];
};

void canonical(Code& c) {
  int count[32] = {};
  for (int s = 0; s < 1024; ++s) count[c.length[s]]++;
  count[0] = 0;
  uint32_t next[32] = {};
  uint32_t code = 0;
  for (int len = 1; len < 32; ++len) {
    code = (code + uint32_t(count[len - 1])) << 1;
    next[len] = code;
  }
  for (int s = 0; s < 1024; ++s)
    if (c.length[s]) c.code[s] = next[c.length[s]]++;
}

Code buildCode(MainCode kind) {
  Code c{};
  if (kind == MainCode::Flat10) {
    for (int s = 0; s < 1024; ++s) c.length[s] = 10;
  } else {
    // Start from the flat code, split one 10-bit leaf down a chain to 20
    // bits (literals 245..255 get 11, 12, ..., 20, 20) and merge ten pairs of
    // 10-bit leaves into 9-bit ones (symbols 256..265): still complete, and
    // codes longer than the 13-bit lookup are used by every byte 254 or 255.
    for (int s = 0; s < 1024; ++s) c.length[s] = 10;
    for (int s = 256; s < 266; ++s) c.length[s] = 9;
    for (int s = 245; s < 255; ++s) c.length[s] = 11 + (s - 245);
    c.length[255] = 20;
  }
  canonical(c);
  return c;
}

// Greedy match on the 24 distances; returns the best (length, distance index).
void longestMatch(const std::vector<uint8_t>& block, size_t at, int& bestLength, int& bestDistance) {
  bestLength = 0;
  bestDistance = -1;
  for (int d = 0; d < 24; ++d) {
    size_t dist = size_t(writerDistances[d]);
    if (dist > at) continue;
    size_t len = 0;
    while (at + len < block.size() && len < 262157 && block[at + len] == block[at + len - dist]) ++len;
    if (int(len) > bestLength) {
      bestLength = int(len);
      bestDistance = d;
    }
  }
}

void putLengthSymbol(BitWriter& w, const Code& c, int distanceIndex, int length) {
  int code, k = 0;
  uint32_t extra = 0;
  if (length <= 15) {
    code = length - 1;
  } else {
    k = 1;
    while (14 + (1 << (k + 1)) <= length) ++k;
    code = k + 14;
    extra = uint32_t(length - 14 - (1 << k));
  }
  int symbol = 256 + (distanceIndex << 5) + code;
  w.put(c.code[symbol], c.length[symbol]);
  if (k) w.put(extra, k);
}

std::vector<uint8_t> compressBlock(const std::vector<uint8_t>& block, const Code& c) {
  BitWriter w;
  for (size_t at = 0; at < block.size();) {
    int length, distance;
    longestMatch(block, at, length, distance);
    if (length >= 2) {
      putLengthSymbol(w, c, distance, length);
      at += size_t(length);
    } else {
      w.put(c.code[block[at]], c.length[block[at]]);
      ++at;
    }
  }
  return w.bytes;
}

// Code lengths of the main alphabet through code A = 32 plain lengths of
// 5 bits each (symbol k has canonical code k) and an empty code B.
std::vector<uint8_t> writeCodeLengths(const Code& c) {
  BitWriter w;
  w.put(0, 1);  // not all zero
  // Auxiliary alphabet: symbols 0..31 length 5, 32..127 length 0.
  w.put(0, 1);  // not all zero
  w.put(3, 5);  // width 3
  for (int s = 0; s < 32; ++s) w.put(5, 3);
  int remaining = 96;
  while (remaining > 0) {
    int run = std::min(remaining - 1, 15);
    w.put(0, 3);
    w.put(uint64_t(run), 4);
    remaining -= run + 1;
  }
  for (int s = 0; s < 1024; ++s) w.put(uint64_t(c.length[s]), 5);
  return w.bytes;
}

}  // namespace

DatacompParts makeDatacompParts(const std::vector<uint8_t>& data, const DatacompOptions& options) {
  const int b = options.blockSizeLog;
  const size_t blockSize = size_t(1) << b;
  const uint32_t blockCount = uint32_t((data.size() + blockSize - 1) / blockSize);
  if (blockCount == 0) throw std::runtime_error("no data");
  Code code = buildCode(options.code);
  DatacompParts parts;
  parts.blockSizeLog = b;
  parts.blockCount = blockCount;
  std::vector<uint8_t>& blocks = parts.blocks;
  std::vector<uint32_t>& sizes = parts.blockBytes;
  for (uint32_t i = 0; i < blockCount; ++i) {
    size_t start = size_t(i) * blockSize;
    std::vector<uint8_t> block(data.begin() + long(start),
                               data.begin() + long(std::min(data.size(), start + blockSize)));
    std::vector<uint8_t> packed;
    if (options.compress) packed = compressBlock(block, code);
    // A block is stored when compression does not make it smaller.
    if (!options.compress || packed.size() >= block.size()) packed = block;
    sizes.push_back(uint32_t(packed.size()));
    blocks.insert(blocks.end(), packed.begin(), packed.end());
  }
  size_t lastSize = data.size() - size_t(blockCount - 1) * blockSize;
  parts.lastBlockBytes = uint32_t(lastSize);
  BitWriter first;
  for (uint32_t s : sizes) first.put(s == blockSize ? 0 : s, b);
  first.put(lastSize == blockSize ? 0 : lastSize, b);
  for (int32_t d : writerDistances) first.put(uint64_t(d), b);
  parts.firstStream = first.bytes;
  if (options.compress) {
    parts.secondStream = writeCodeLengths(code);
  } else {
    BitWriter empty;
    empty.put(1, 1);  // no code: every block is stored
    parts.secondStream = empty.bytes;
  }
  return parts;
}

std::vector<uint8_t> makeDatacompFile(const std::vector<uint8_t>& data, const DatacompOptions& options) {
  DatacompParts parts = makeDatacompParts(data, options);
  return assembleDatacompFile(parts.blockSizeLog, parts.blockCount, parts.firstStream, parts.secondStream,
                              parts.blocks);
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

}  // namespace testing_tb
