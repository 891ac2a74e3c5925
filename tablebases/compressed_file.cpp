#include "tablebases/compressed_file.h"

#include <cstring>
#include <new>

#include "platform/file.h"

namespace tablebases {

namespace {

const char dcBanner[64] = "Compressed by DATACOMP v 1.0 (c) 1991--1998 Lemuel Tolvash\r\n";
constexpr int32_t fixedHeaderBytes = 80;
constexpr int32_t minimumHeaderBytes = 84;
constexpr int32_t maximumBlockSizeLog = 16;
constexpr uint32_t formatMark = 0x004001f5;
constexpr int32_t auxiliarySymbolCount = 128;
constexpr int32_t auxiliaryHalf = 64;
constexpr int32_t maximumCodeLength = 31;

uint32_t crcTable[256];
bool crcTableBuilt = false;

uint32_t readBigEndian32(const uint8_t* bytes) {
  return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

// Most-significant-bit-first reader over a bounded byte range. Peeking past
// the end sees zero bits (a short final code may be looked up with its
// neighbours); consuming past the end marks the stream as overrun.
struct BitReader {
  const uint8_t* data;
  uint64_t sizeBits;
  uint64_t position;

  uint32_t peek32() const {
    uint64_t byte = position >> 3;
    uint64_t window = 0;
    for (int i = 0; i < 5; ++i) {
      uint64_t at = byte + uint64_t(i);
      window = window << 8 | ((at << 3) < sizeBits ? data[at] : 0u);
    }
    return uint32_t(window >> (8 - (position & 7)));
  }
  // Reads up to 32 bits; 0 bits read as 0.
  uint32_t read(int32_t bits) {
    if (bits == 0) return 0;
    uint32_t value = peek32() >> (32 - bits);
    position += uint64_t(bits);
    return value;
  }
  bool overrun() const { return position > sizeBits; }
};

int32_t decodeSymbol(const PrefixDecoder& decoder, BitReader& reader) {
  int32_t length = 0;
  int32_t symbol = dcDecodeSymbol(decoder, reader.peek32(), &length);
  reader.position += uint64_t(length);
  return symbol;
}

// Lengths of an alphabet of at most 128 symbols: a width, then each length
// in that width, a zero followed by a 4-bit run of further zeros.
int32_t readSmallLengths(BitReader& reader, int32_t* lengths, int32_t count) {
  if (reader.read(1) == 1) {
    for (int32_t i = 0; i < count; ++i) lengths[i] = 0;
    return 0;
  }
  int32_t width = int32_t(reader.read(5));
  for (int32_t i = 0; i < count;) {
    int32_t length = int32_t(reader.read(width));
    lengths[i++] = length;
    if (length == 0) {
      int32_t run = int32_t(reader.read(4));
      if (i + run > count) return dcErrCodeLengths;
      for (int32_t r = 0; r < run; ++r) lengths[i++] = 0;
    }
  }
  return reader.overrun() ? dcErrCodeLengths : 0;
}

// Lengths of the 1024-symbol alphabet, written with two auxiliary codes:
// code A gives a length or starts a run of one length, code B the run's count.
int32_t readMainLengths(BitReader& reader, int32_t* lengths) {
  if (reader.read(1) == 1) {
    for (int32_t i = 0; i < dcSymbolCount; ++i) lengths[i] = 0;
    return 0;
  }
  int32_t auxiliary[auxiliarySymbolCount];
  if (int32_t error = readSmallLengths(reader, auxiliary, auxiliarySymbolCount)) return error;
  PrefixDecoder codeA, codeB;
  if (dcBuildPrefixDecoder(codeA, auxiliary, auxiliaryHalf, dcAuxLookupBits) != 0 ||
      dcBuildPrefixDecoder(codeB, auxiliary + auxiliaryHalf, auxiliaryHalf, dcAuxLookupBits) != 0)
    return dcErrCodeLengths;
  for (int32_t i = 0; i < dcSymbolCount;) {
    int32_t a = decodeSymbol(codeA, reader);
    if (a < 32) {
      lengths[i++] = a;
      continue;
    }
    int32_t t = decodeSymbol(codeB, reader);
    uint64_t run = t < 32 ? uint64_t(t) + 2
                          : (uint64_t(1) << (t - 32)) + reader.read(t - 32) + 33;
    if (uint64_t(i) + run > uint64_t(dcSymbolCount)) return dcErrCodeLengths;
    for (uint64_t r = 0; r < run; ++r) lengths[i++] = a & 31;
    if (reader.overrun()) return dcErrCodeLengths;
  }
  return reader.overrun() ? dcErrCodeLengths : 0;
}

}  // namespace

void dcBuildCrcTable() {
  if (crcTableBuilt) return;
  // Like the reflected CRC-32 table, but the polynomial is applied when the
  // bit shifted out is 0: the files were written with this variant.
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int step = 0; step < 8; ++step) {
      uint32_t out = c & 1;
      c >>= 1;
      if (out == 0) c ^= 0xedb88320u;
    }
    crcTable[i] = c;
  }
  crcTableBuilt = true;
}

uint32_t dcCrc32(const uint8_t* bytes, size_t length) {
  dcBuildCrcTable();
  uint32_t c = 0;
  for (size_t i = 0; i < length; ++i) c = (c >> 8) ^ crcTable[(c ^ bytes[i]) & 255];
  return c;
}

int32_t dcBuildPrefixDecoder(PrefixDecoder& decoder, const int32_t* lengths, int32_t count,
                             int32_t lookupBits) {
  decoder = PrefixDecoder{};
  decoder.lookupBits = lookupBits;
  for (int32_t s = 0; s < count; ++s) {
    if (lengths[s] < 0 || lengths[s] > maximumCodeLength) return dcErrPrefixCode;
    if (lengths[s] == 0) continue;
    decoder.lengthCount[lengths[s]]++;
    decoder.symbolCount++;
    decoder.onlySymbol = s;
  }
  // No symbol: every lookup yields 0. One symbol: it must have length 1 and
  // then costs no bits.
  if (decoder.symbolCount == 0) {
    decoder.onlySymbol = 0;
    return 0;
  }
  if (decoder.symbolCount == 1) return decoder.lengthCount[1] == 1 ? 0 : dcErrPrefixCode;
  // A complete code: the counts, folded from the longest length up, halve
  // evenly and end at exactly one root.
  uint64_t carry = 0;
  for (int32_t length = maximumCodeLength; length >= 1; --length) {
    uint64_t total = carry + uint64_t(decoder.lengthCount[length]);
    if (total & 1) return dcErrPrefixCode;
    carry = total / 2;
  }
  if (carry != 1) return dcErrPrefixCode;
  // Canonical codes in (length, symbol) order.
  uint32_t code = 0;
  int32_t index = 0;
  for (int32_t length = 1; length <= maximumCodeLength; ++length) {
    code = (code + uint32_t(decoder.lengthCount[length - 1])) << 1;
    decoder.firstCode[length] = code;
    decoder.firstIndex[length] = index;
    index += decoder.lengthCount[length];
  }
  decoder.sortedSymbols.assign(size_t(decoder.symbolCount), 0);
  int32_t next[32];
  for (int32_t length = 1; length <= maximumCodeLength; ++length) next[length] = decoder.firstIndex[length];
  for (int32_t s = 0; s < count; ++s)
    if (lengths[s] != 0) decoder.sortedSymbols[size_t(next[lengths[s]]++)] = uint16_t(s);
  // One-lookup table for the short codes.
  decoder.lookup.assign(size_t(1) << lookupBits, 0);
  for (int32_t length = 1; length <= lookupBits; ++length) {
    for (int32_t k = 0; k < decoder.lengthCount[length]; ++k) {
      uint32_t symbol = decoder.sortedSymbols[size_t(decoder.firstIndex[length] + k)];
      uint32_t first = (decoder.firstCode[length] + uint32_t(k)) << (lookupBits - length);
      uint32_t span = uint32_t(1) << (lookupBits - length);
      for (uint32_t e = 0; e < span; ++e) decoder.lookup[first + e] = symbol << 8 | uint32_t(length);
    }
  }
  return 0;
}

int32_t dcDecodeSymbol(const PrefixDecoder& decoder, uint32_t next32Bits, int32_t* length) {
  if (decoder.symbolCount <= 1) {
    *length = 0;
    return decoder.onlySymbol;
  }
  uint32_t entry = decoder.lookup[next32Bits >> (32 - decoder.lookupBits)];
  if ((entry & 0xFF) != 0) {
    *length = int32_t(entry & 0xFF);
    return int32_t(entry >> 8);
  }
  // A longer code: walk the canonical ranges one length at a time.
  for (int32_t bits = decoder.lookupBits + 1; bits <= maximumCodeLength; ++bits) {
    uint32_t code = next32Bits >> (32 - bits);
    uint32_t offset = code - decoder.firstCode[bits];
    if (code >= decoder.firstCode[bits] && offset < uint32_t(decoder.lengthCount[bits])) {
      *length = bits;
      return decoder.sortedSymbols[size_t(decoder.firstIndex[bits]) + offset];
    }
  }
  *length = 0;  // unreachable for a complete code
  return 0;
}

int32_t dcOpenFile(CompressedFileIndex** indexOut, std::FILE* file) {
  if (indexOut == nullptr || file == nullptr) return dcErrNoIndexPlace;
  dcBuildCrcTable();

  // Step 1. The fixed part of the header.
  uint8_t fixed[fixedHeaderBytes];
  if (std::fread(fixed, 1, sizeof(fixed), file) != sizeof(fixed)) return dcErrShortHeader;
  if (std::memcmp(fixed, dcBanner, sizeof(dcBanner)) != 0) return dcErrBanner;
  uint32_t headerBytes = readBigEndian32(fixed + 64);
  int32_t blockSizeLog = fixed[70];
  int32_t distanceCount = fixed[71];
  uint32_t blockCount = readBigEndian32(fixed + 72);
  if (headerBytes < uint32_t(minimumHeaderBytes) || blockSizeLog > maximumBlockSizeLog) return dcErrHeaderSize;
  if (distanceCount != dcDistanceCount) return dcErrDistanceCount;
  if (readBigEndian32(fixed + 76) != formatMark) return dcErrFormatMark;
  // The numbers must fit the file before anything is allocated by them.
  int64_t size = platform::fileSize(file);
  if (size >= 0 && uint64_t(headerBytes) > uint64_t(size)) return dcErrHeaderRead;
  uint64_t firstStream = uint64_t(fixedHeaderBytes) + 8ull * blockCount;
  if (blockCount == 0 || firstStream >= uint64_t(headerBytes) - 4) return dcErrHeaderBroken;

  // Step 2. The whole header and its checksum.
  std::vector<uint8_t> header;
  try {
    header.resize(headerBytes);
  } catch (const std::bad_alloc&) {
    return dcErrHeaderMemory;
  }
  std::memcpy(header.data(), fixed, sizeof(fixed));
  size_t rest = headerBytes - fixedHeaderBytes;
  if (std::fread(header.data() + fixedHeaderBytes, 1, rest, file) != rest) return dcErrHeaderRead;
  if (dcCrc32(header.data(), headerBytes - 4) != readBigEndian32(header.data() + headerBytes - 4))
    return dcErrChecksum;

  CompressedFileIndex* index = new (std::nothrow) CompressedFileIndex;
  if (index == nullptr) return dcErrIndexMemory;
  auto fail = [index](int32_t error) {
    delete index;
    return error;
  };

  // Step 3. First bit stream: the compressed sizes (0 = a whole block), the
  // last block's size, the distances.
  uint64_t streamEndBits = uint64_t(headerBytes - 4) * 8;
  BitReader sizes{header.data(), streamEndBits, firstStream * 8};
  int32_t blockSize = int32_t(1) << blockSizeLog;
  std::vector<uint32_t> compressedSize;
  try {
    compressedSize.resize(size_t(blockCount) + 1);
    index->groupBase.resize(size_t(blockCount >> dcBlocksPerGroupLog) + 1);
    index->sizeLessOne.resize(size_t(blockCount));
  } catch (const std::bad_alloc&) {
    return fail(dcErrSizesMemory);
  }
  for (uint32_t i = 0; i <= blockCount; ++i) {
    uint32_t value = sizes.read(blockSizeLog);
    compressedSize[i] = value == 0 ? uint32_t(blockSize) : value;
  }
  for (int32_t d = 0; d < dcDistanceCount; ++d) index->distance[d] = int32_t(sizes.read(blockSizeLog));
  if (sizes.overrun()) return fail(dcErrHeaderBroken);

  // Step 4. Second bit stream: the code lengths, then the decode table.
  uint64_t secondStream = firstStream + (uint64_t(blockSizeLog) * (blockCount + 25) + 7) / 8;
  if (secondStream * 8 > streamEndBits) return fail(dcErrHeaderBroken);
  BitReader codes{header.data(), streamEndBits, secondStream * 8};
  int32_t lengths[dcSymbolCount];
  if (int32_t error = readMainLengths(codes, lengths)) return fail(error);
  if (dcBuildPrefixDecoder(index->code, lengths, dcSymbolCount, dcMainLookupBits) != 0)
    return fail(dcErrPrefixCode);

  // Step 5. Block offsets, running from the end of the header: a base at
  // the start of every group of 16 blocks, and each block's size.
  uint64_t offset = headerBytes;
  for (uint32_t i = 0; i <= blockCount; ++i) {
    if ((i & ((1u << dcBlocksPerGroupLog) - 1)) == 0) index->groupBase[i >> dcBlocksPerGroupLog] = offset;
    if (i == blockCount) break;
    index->sizeLessOne[i] = uint16_t(compressedSize[i] - 1);
    offset += compressedSize[i];
  }
  index->blockSize = blockSize;
  index->lastBlockSize = int32_t(compressedSize[blockCount]);
  index->blockSizeLog = blockSizeLog;
  index->blockCount = blockCount;
  *indexOut = index;
  return 0;
}

void dcFreeIndex(CompressedFileIndex* index) { delete index; }

uint64_t dcOffsetIndexBytes(uint64_t blockCount) {
  return ((blockCount >> dcBlocksPerGroupLog) + 1) * sizeof(uint64_t) + blockCount * sizeof(uint16_t);
}

uint64_t dcBlockOffset(const CompressedFileIndex* index, uint32_t blockNumber) {
  uint32_t first = blockNumber & ~((1u << dcBlocksPerGroupLog) - 1);
  uint64_t offset = index->groupBase[blockNumber >> dcBlocksPerGroupLog];
  for (uint32_t j = first; j < blockNumber; ++j) offset += uint64_t(index->sizeLessOne[j]) + 1;
  return offset;
}

int32_t dcAllocDecodeBlock(DecodeBlock** blockOut, int32_t bufferSize) {
  DecodeBlock* block = new (std::nothrow) DecodeBlock;
  if (block == nullptr) return dcErrDecodeBlockMemory;
  try {
    block->input.resize(size_t(bufferSize > 0 ? bufferSize : 0));
  } catch (const std::bad_alloc&) {
    delete block;
    return dcErrDecodeBlockMemory;
  }
  *blockOut = block;
  return 0;
}

void dcFreeDecodeBlock(DecodeBlock* block) { delete block; }

int32_t dcInitDecodeBlock(DecodeBlock* block, int32_t outputCapacity, uint8_t* output) {
  block->mark = dcDecodeBlockMark;
  block->output = output;
  block->outputCapacity = outputCapacity;
  block->blockNumber = -1;
  block->blockSize = -1;
  block->compressedSize = -1;
  block->written = 0;
  block->bitPosition = 0;
  block->copyDistance = 0;
  block->copyLength = 0;
  return 0;
}

int32_t dcReadBlock(DecodeBlock* block, const CompressedFileIndex* index, std::FILE* file,
                    uint32_t blockNumber) {
  if (block->mark != dcDecodeBlockMark) return dcErrReadMark;
  if (blockNumber >= index->blockCount) return dcErrBlockNumber;
  int32_t expected = blockNumber == index->blockCount - 1 ? index->lastBlockSize : index->blockSize;
  uint64_t compressed = uint64_t(index->sizeLessOne[blockNumber]) + 1;
  if (expected > block->outputCapacity || compressed > block->input.size())
    return dcErrBlockTooLarge;
  block->blockNumber = blockNumber;
  block->blockSize = expected;
  block->compressedSize = int32_t(compressed);
  if (!platform::seekFile(file, dcBlockOffset(index, blockNumber))) return dcErrSeek;
  if (std::fread(block->input.data(), 1, size_t(compressed), file) != compressed) return dcErrShortRead;
  block->copyLength = 0;
  block->copyDistance = 0;
  block->bitPosition = 0;
  if (compressed == uint64_t(expected)) {
    std::memcpy(block->output, block->input.data(), size_t(expected));
    block->written = expected;
  } else {
    block->written = 0;
  }
  return 0;
}

int32_t dcDecodeBlock(DecodeBlock* block, const CompressedFileIndex* index, int32_t size) {
  if (block->mark != dcDecodeBlockMark) return dcErrDecodeMark;
  if (size < 1 || size > block->blockSize) return dcErrDecodeSize;
  uint8_t* out = block->output;
  int32_t written = block->written;
  // Step 1. Finish a back-reference that the previous call cut short.
  while (block->copyLength > 0 && written < size) {
    out[written] = out[written - block->copyDistance];
    ++written;
    --block->copyLength;
  }
  // Step 2. Symbols until the requested size is there.
  BitReader reader{block->input.data(), uint64_t(block->compressedSize) * 8, block->bitPosition};
  while (written < size) {
    int32_t symbol = decodeSymbol(index->code, reader);
    if (symbol < 256) {
      out[written++] = uint8_t(symbol);
    } else {
      int32_t s = symbol - 256;
      int32_t distance = index->distance[s >> 5];
      int32_t code = s & 31;
      int64_t length = code <= 14 ? code + 1
                                  : 14 + (int64_t(1) << (code - 14)) + reader.read(code - 14);
      if (distance <= 0 || distance > written) {
        block->written = written;
        return dcErrBlockBroken;
      }
      // Byte by byte, so a length above the distance repeats the pattern;
      // the copy is cut at the block's end.
      int64_t room = block->blockSize - written;
      int32_t total = int32_t(length < room ? length : room);
      int32_t now = total < size - written ? total : size - written;
      for (int32_t k = 0; k < now; ++k, ++written) out[written] = out[written - distance];
      block->copyDistance = distance;
      block->copyLength = total - now;
    }
    if (reader.overrun()) {
      block->written = written;
      return dcErrBlockBroken;
    }
  }
  block->written = written;
  block->bitPosition = reader.position;
  return 0;
}

}  // namespace tablebases
