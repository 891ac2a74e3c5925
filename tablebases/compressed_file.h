// Reader of DATACOMP-compressed table files (".emd").
//
// A file is cut into blocks of 2^b bytes of table data, each compressed by
// itself with one prefix code over 1024 symbols (256 literals and 768
// back-references to 24 fixed distances), so any block can be expanded
// without the others. `dcOpenFile` reads and checks the header once, at
// registration, and keeps a `CompressedFileIndex`; the block cache later
// reads and expands single blocks through one `DecodeBlock` straight into a
// cache block's data area.
//
// Every function returns 0 for success, otherwise site x 256 + kind
// (kind 2 read error, 5 out of memory, 6 broken data, 7 bad argument).
// Nothing read from a file is trusted past its bounds: a block that does not
// decode cleanly is an error, never a read or write outside a buffer.
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

namespace tablebases {

// Error kinds (the low byte of every code).
constexpr int32_t dcKindRead = 2;
constexpr int32_t dcKindMemory = 5;
constexpr int32_t dcKindBroken = 6;
constexpr int32_t dcKindArgument = 7;

// Codes of dcOpenFile.
constexpr int32_t dcErrNoIndexPlace = 179463;
constexpr int32_t dcErrShortHeader = 181250;
constexpr int32_t dcErrBanner = 182018;
constexpr int32_t dcErrHeaderSize = 184326;
constexpr int32_t dcErrDistanceCount = 185094;
constexpr int32_t dcErrFormatMark = 186374;
constexpr int32_t dcErrHeaderMemory = 187141;
constexpr int32_t dcErrHeaderRead = 188421;
constexpr int32_t dcErrChecksum = 189958;
constexpr int32_t dcErrSizesMemory = 193541;
constexpr int32_t dcErrIndexMemory = 195589;
constexpr int32_t dcErrCodeLengths = 208646;
constexpr int32_t dcErrPrefixCode = 210438;
// The header's numbers do not fit the file: no blocks, blocks past the
// header's end, bit streams running past the checksum.
constexpr int32_t dcErrHeaderBroken = 190214;
// Codes of the block reads.
constexpr int32_t dcErrDecodeBlockMemory = 226053;
constexpr int32_t dcErrReadMark = 230663;
constexpr int32_t dcErrBlockNumber = 231431;
constexpr int32_t dcErrSeek = 234242;
constexpr int32_t dcErrShortRead = 234754;
// A block larger than the decode buffers can hold.
constexpr int32_t dcErrBlockTooLarge = 235270;
constexpr int32_t dcErrDecodeMark = 240903;
constexpr int32_t dcErrDecodeSize = 241671;
// A compressed block whose codes run past its bytes, or whose
// back-reference reaches before the start of the output.
constexpr int32_t dcErrBlockBroken = 241926;

constexpr int32_t dcDistanceCount = 24;
constexpr int32_t dcSymbolCount = 1024;
constexpr int32_t dcMainLookupBits = 13;
constexpr int32_t dcAuxLookupBits = 8;
constexpr uint32_t dcDecodeBlockMark = 0x79a3f29d;

// A canonical prefix code: codes up to lookupBits long are found with one
// table lookup, longer ones by the canonical rule one bit at a time.
struct PrefixDecoder {
  int32_t lookupBits = 0;
  int32_t symbolCount = 0;           // symbols with a code
  int32_t onlySymbol = 0;            // the symbol of a code with at most one
  std::vector<uint32_t> lookup;      // symbol << 8 | length; length 0 = longer code
  int32_t lengthCount[32] = {};      // codes of each length
  uint32_t firstCode[32] = {};       // canonical code of the first symbol of each length
  int32_t firstIndex[32] = {};       // its place in `sortedSymbols`
  std::vector<uint16_t> sortedSymbols;  // symbols in (length, value) order
};

// One registered compressed file: its decode table, distances and block
// offsets. A complete set has hundreds of millions of blocks, so the offsets
// take 2.5 bytes a block: a 64-bit file offset per group of 16 blocks (where
// the group's first block starts) and each block's compressed size less one
// (sizes run 1..2^16, so they fit 16 bits). A block's offset is its group's
// base plus the sizes of the blocks before it in the group. The 64-bit base
// keeps files over 4 GB and groups of stored (uncompressed) blocks exact.
//
//   groupBase[g]      = offset of block 16g        (n / 16 + 1 entries)
//   sizeLessOne[i]    = compressed size of block i - 1       (n entries)
//   offset(i)         = groupBase[i / 16] + sum over j in [16 (i / 16), i) of sizeLessOne[j] + 1
struct CompressedFileIndex {
  PrefixDecoder code;
  int32_t distance[dcDistanceCount] = {};
  std::vector<uint64_t> groupBase;
  std::vector<uint16_t> sizeLessOne;
  int32_t blockSize = 0;              // 2^b
  int32_t lastBlockSize = 0;
  int32_t blockSizeLog = 0;           // b
  uint32_t blockCount = 0;            // n
};

constexpr uint32_t dcBlocksPerGroupLog = 4;

// Resident bytes of the block offsets of a file of `blockCount` blocks.
uint64_t dcOffsetIndexBytes(uint64_t blockCount);

// The one decoder per process: the input buffer and the state carried from
// one `dcDecodeBlock` call to the next.
struct DecodeBlock {
  uint32_t mark = 0;
  uint8_t* output = nullptr;
  int32_t outputCapacity = 0;
  int64_t blockNumber = -1;
  int32_t blockSize = -1;       // uncompressed
  int32_t compressedSize = -1;
  int32_t written = 0;
  uint64_t bitPosition = 0;     // next unread bit of the input
  int32_t copyDistance = 0;     // back-reference still being copied
  int32_t copyLength = 0;
  std::vector<uint8_t> input;
};

int32_t dcOpenFile(CompressedFileIndex** index, std::FILE* file);
void dcFreeIndex(CompressedFileIndex* index);
int32_t dcAllocDecodeBlock(DecodeBlock** block, int32_t bufferSize);
void dcFreeDecodeBlock(DecodeBlock* block);
int32_t dcInitDecodeBlock(DecodeBlock* block, int32_t outputCapacity, uint8_t* output);
int32_t dcReadBlock(DecodeBlock* block, const CompressedFileIndex* index, std::FILE* file,
                    uint32_t blockNumber);
int32_t dcDecodeBlock(DecodeBlock* block, const CompressedFileIndex* index, int32_t size);
// File offset of block i; i = n gives the end of the last block.
uint64_t dcBlockOffset(const CompressedFileIndex* index, uint32_t blockNumber);
void dcBuildCrcTable();
uint32_t dcCrc32(const uint8_t* bytes, size_t length);

// Builds a decoder from code lengths; 0, or dcErrPrefixCode for lengths
// that do not form a valid code. Exposed for the tests.
int32_t dcBuildPrefixDecoder(PrefixDecoder& decoder, const int32_t* lengths, int32_t count,
                             int32_t lookupBits);

}  // namespace tablebases

namespace tablebases {
// Decodes one symbol from the next 32 bits of a stream (most significant
// bit first); *length receives the bits it uses. Exposed for the tests.
int32_t dcDecodeSymbol(const PrefixDecoder& decoder, uint32_t next32Bits, int32_t* length);
}  // namespace tablebases
