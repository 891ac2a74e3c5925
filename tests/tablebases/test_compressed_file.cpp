// The DATACOMP reader against files the tests write: a hand-assembled one,
// stored-only ones and really compressed ones, and damaged copies of them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "helpers/datacomp_writer.h"
#include "helpers/temp_dir.h"
#include "platform/file.h"
#include "tablebases/compressed_file.h"

using namespace tablebases;
using testing_tb::BitWriter;

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File fileWith(const std::vector<uint8_t>& bytes) {
  File f(std::tmpfile());
  std::fwrite(bytes.data(), 1, bytes.size(), f.get());
  std::rewind(f.get());
  return f;
}

int32_t openImage(const std::vector<uint8_t>& bytes, CompressedFileIndex** index) {
  File f = fileWith(bytes);
  return dcOpenFile(index, f.get());
}

// Opens the image and expands every block; returns the concatenated data.
std::vector<uint8_t> readAll(const std::vector<uint8_t>& image, int32_t* error = nullptr) {
  File f = fileWith(image);
  CompressedFileIndex* index = nullptr;
  int32_t code = dcOpenFile(&index, f.get());
  std::vector<uint8_t> all;
  if (code == 0) {
    DecodeBlock* block = nullptr;
    EXPECT_EQ(dcAllocDecodeBlock(&block, 8192), 0);
    std::vector<uint8_t> out(8192 + 36);
    for (uint32_t i = 0; i < index->blockCount && code == 0; ++i) {
      dcInitDecodeBlock(block, 8192, out.data());
      code = dcReadBlock(block, index, f.get(), i);
      if (code == 0) code = dcDecodeBlock(block, index, block->blockSize);
      if (code == 0) all.insert(all.end(), out.begin(), out.begin() + block->blockSize);
    }
    dcFreeDecodeBlock(block);
    dcFreeIndex(index);
  }
  if (error) *error = code;
  return all;
}

// Table-like data: long runs, repeats at many distances, some noise.
std::vector<uint8_t> sampleData(size_t size, uint32_t seed) {
  std::vector<uint8_t> data(size);
  uint32_t x = seed;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    uint32_t r = (x >> 16) & 0xFF;
    if (r < 120 && i >= 64) data[i] = data[i - 1 - (r % 64)];
    else if (r < 200) data[i] = uint8_t(i / 97);
    else data[i] = uint8_t(r);
  }
  return data;
}

// The header's first part: the compressed size of each block but the
// last (13 bits each; 0 for a stored block), the last block's size (0 for a
// whole block), then the 24 distances d0 = firstDistance onwards.
BitWriter sizesAndDistances(std::initializer_list<uint32_t> sizes, int firstDistance = 1) {
  BitWriter first;
  for (uint32_t size : sizes) first.put(size, 13);
  for (int d = 0; d < 24; ++d) first.put(uint64_t(firstDistance + d), 13);
  return first;
}

// The code of the hand-assembled block, field by field: the main code gives
// the literal 7 and symbol 272 one bit each.
BitWriter handAssembledCode() {
  BitWriter second;
  second.putBits("0");      // the main code has lengths
  second.putBits("0");      // auxiliary alphabet: lengths follow
  second.putBits("00010");  // width 2
  // Auxiliary lengths: A = {1: 1, 32: 1}; B = {5: 1, 39: 2, 41: 2}
  // (auxiliary symbols 69, 103, 105). "00 rrrr" is a zero and a run.
  second.putBits("00 0000");  // 0
  second.putBits("01");       // 1 -> length 1
  second.putBits("00 1111");  // 2..17
  second.putBits("00 1101");  // 18..31
  second.putBits("01");       // 32 -> length 1
  second.putBits("00 1111");  // 33..48
  second.putBits("00 1111");  // 49..64
  second.putBits("00 0011");  // 65..68
  second.putBits("01");       // 69 -> length 1 (B symbol 5)
  second.putBits("00 1111");  // 70..85
  second.putBits("00 1111");  // 86..101
  second.putBits("00 0000");  // 102
  second.putBits("10");       // 103 -> length 2 (B symbol 39)
  second.putBits("00 0000");  // 104
  second.putBits("10");       // 105 -> length 2 (B symbol 41)
  second.putBits("00 1111");  // 106..121
  second.putBits("00 0101");  // 122..127
  // Main lengths with A (1 = "0", 32 = "1") and B (5 = "0", 39 = "10", 41 = "11").
  second.putBits("1 0");                   // run of zeros, count 5 + 2 = 7: symbols 0..6
  second.putBits("0");                     // symbol 7: length 1
  second.putBits("1 10 1100111");          // zeros, count 2^7 + 103 + 33 = 264: 8..271
  second.putBits("0");                     // symbol 272: length 1
  second.putBits("1 11 011001110");        // zeros, count 2^9 + 206 + 33 = 751: 273..1023
  return second;
}

}  // namespace

// The round trips below check the codes a writer builds; these are codes no
// writer builds, which the reader must refuse.
TEST(PrefixCode, InvalidCodesAreRefused) {
  PrefixDecoder decoder;
  const int32_t incomplete[3] = {1, 2, 0};
  EXPECT_EQ(dcBuildPrefixDecoder(decoder, incomplete, 3, 8), dcErrPrefixCode);
  const int32_t overfull[3] = {1, 1, 1};
  EXPECT_EQ(dcBuildPrefixDecoder(decoder, overfull, 3, 8), dcErrPrefixCode);
  const int32_t tooLong[2] = {32, 1};
  EXPECT_EQ(dcBuildPrefixDecoder(decoder, tooLong, 2, 8), dcErrPrefixCode);
  const int32_t singleLong[3] = {0, 2, 0};
  EXPECT_EQ(dcBuildPrefixDecoder(decoder, singleLong, 3, 8), dcErrPrefixCode);
  // A single symbol of length 1 costs no bits (no symbol at all: the empty
  // code below).
  const int32_t single[3] = {0, 1, 0};
  ASSERT_EQ(dcBuildPrefixDecoder(decoder, single, 3, 8), 0);
  int32_t used = -1;
  EXPECT_EQ(dcDecodeSymbol(decoder, 0xFFFFFFFFu, &used), 1);
  EXPECT_EQ(used, 0);
}

// One block of 21 bytes, assembled field by field: the literal 7, then a
// back-reference of distance d0 and length 20. With d0 = 1 it repeats the 7;
// with d0 = 2 it reaches before the first byte written, and the block is
// broken.
TEST(CompressedFile, HandAssembledBlock) {
  // Literal 7 = "0"; symbol 272 = distance d0, length code 16 = "1", two
  // extra bits "10": length 14 + 4 + 2 = 20.
  const std::vector<uint8_t> block = {0x60};
  for (int firstDistance : {1, 2}) {
    BitWriter first = sizesAndDistances({1, 21}, firstDistance);
    std::vector<uint8_t> image =
        testing_tb::assembleDatacompFile(13, 1, first.bytes, handAssembledCode().bytes, block);
    int32_t error = -1;
    std::vector<uint8_t> data = readAll(image, &error);
    if (firstDistance == 1) {
      EXPECT_EQ(error, 0);
      EXPECT_EQ(data, std::vector<uint8_t>(21, 7));
    } else {
      EXPECT_EQ(error, dcErrBlockBroken);
    }
  }
}

// Eighteen stored blocks, the last one short: a 16-bit offset counted from
// a group base would overflow past the sixteenth; every offset must be exact.
TEST(CompressedFile, StoredBlocksKeepExactOffsetsAndAShortLastBlock) {
  std::vector<uint8_t> data = sampleData(17 * 8192 + 100, 1);
  testing_tb::DatacompOptions stored;
  stored.compress = false;
  EXPECT_EQ(readAll(testing_tb::makeDatacompFile(data, stored)), data);
}

// Stored blocks reaching past 4 GB (a sparse file): blocks are read at their
// exact 64-bit offsets, and the offsets take at most 2.5 bytes a block.
TEST(CompressedFile, BlocksPast4GigabytesAndTheOffsetsMemory) {
  const uint32_t blocks = (1u << 19) + 20;  // 2^19 blocks of 8192 bytes are 4 GB
  BitWriter first;
  for (uint32_t i = 0; i <= blocks; ++i) first.put(0, 13);  // 0: a whole block, stored
  for (int32_t d : testing_tb::writerDistances) first.put(uint64_t(d), 13);
  BitWriter second;
  second.put(1, 1);  // no code
  std::vector<uint8_t> header = testing_tb::assembleDatacompFile(13, blocks, first.bytes, second.bytes, {});
  ScopedTempDir dir("quillon_dc_");
  std::string path = (dir.path / "big.emd").string();
  testing_tb::writeFile(path, header);
  const uint32_t probed[2] = {1u << 19, blocks - 1};
  {
    File f(std::fopen(path.c_str(), "r+b"));
    ASSERT_TRUE(f);
    for (uint32_t b : probed) {
      std::vector<uint8_t> data = sampleData(8192, b);
      ASSERT_TRUE(platform::seekFile(f.get(), header.size() + uint64_t(b) * 8192));
      ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), f.get()), data.size());
    }
  }
  File f(std::fopen(path.c_str(), "rb"));
  CompressedFileIndex* index = nullptr;
  ASSERT_EQ(dcOpenFile(&index, f.get()), 0);
  uint64_t resident = index->groupBase.capacity() * sizeof(uint64_t) + index->sizeLessOne.capacity() * sizeof(uint16_t);
  EXPECT_LE(2 * resident, 5 * uint64_t(blocks) + 16);
  EXPECT_EQ(dcBlockOffset(index, blocks), header.size() + uint64_t(blocks) * 8192);
  DecodeBlock* block = nullptr;
  ASSERT_EQ(dcAllocDecodeBlock(&block, 8192), 0);
  std::vector<uint8_t> out(8192 + 36);
  for (uint32_t b : probed) {
    dcInitDecodeBlock(block, 8192, out.data());
    ASSERT_EQ(dcReadBlock(block, index, f.get(), b), 0);
    ASSERT_EQ(dcDecodeBlock(block, index, 8192), 0);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 8192), sampleData(8192, b)) << b;
  }
  dcFreeDecodeBlock(block);
  dcFreeIndex(index);
}

TEST(CompressedFile, CompressedRoundTrip) {
  for (auto code : {testing_tb::MainCode::Flat10, testing_tb::MainCode::Skewed}) {
    std::vector<uint8_t> data = sampleData(5 * 8192 + 777, 3);
    // Runs that need long back-references, and bytes with 20-bit codes.
    for (size_t i = 9000; i < 12000; ++i) data[i] = 0xAA;
    for (size_t i = 20000; i < 20400; ++i) data[i] = uint8_t(i % 2 ? 255 : 254);
    testing_tb::DatacompOptions options;
    options.code = code;
    std::vector<uint8_t> image = testing_tb::makeDatacompFile(data, options);
    EXPECT_LT(image.size(), data.size());
    int32_t error = -1;
    EXPECT_EQ(readAll(image, &error), data);
    EXPECT_EQ(error, 0);
  }
}

// A block read checks its arguments: the block number, the size asked for,
// and a decode block that was never prepared.
TEST(CompressedFile, BlockReadsCheckTheirArguments) {
  std::vector<uint8_t> image = testing_tb::makeDatacompFile(std::vector<uint8_t>(8192, 9), {});
  File f = fileWith(image);
  CompressedFileIndex* index = nullptr;
  ASSERT_EQ(dcOpenFile(&index, f.get()), 0);
  DecodeBlock* block = nullptr;
  ASSERT_EQ(dcAllocDecodeBlock(&block, 8192), 0);
  std::vector<uint8_t> out(8192 + 36);
  dcInitDecodeBlock(block, 8192, out.data());
  EXPECT_EQ(dcReadBlock(block, index, f.get(), 1), dcErrBlockNumber);
  ASSERT_EQ(dcReadBlock(block, index, f.get(), 0), 0);
  EXPECT_EQ(dcDecodeBlock(block, index, 0), dcErrDecodeSize);
  EXPECT_EQ(dcDecodeBlock(block, index, 8193), dcErrDecodeSize);
  DecodeBlock unprepared;
  EXPECT_EQ(dcReadBlock(&unprepared, index, f.get(), 0), dcErrReadMark);
  EXPECT_EQ(dcDecodeBlock(&unprepared, index, 1), dcErrDecodeMark);
  dcFreeDecodeBlock(block);
  dcFreeIndex(index);
}

// An empty main code decodes every symbol as the literal 0 without reading
// a bit: a one-byte block stands for a whole block of zeros.
TEST(CompressedFile, EmptyCodeExpandsToZeros) {
  BitWriter first = sizesAndDistances({1, 0});  // the last block is a whole 8192 bytes
  BitWriter second;
  second.putBits("1");  // no symbol has a code
  std::vector<uint8_t> image = testing_tb::assembleDatacompFile(13, 1, first.bytes, second.bytes, {0});
  int32_t error = -1;
  EXPECT_EQ(readAll(image, &error), std::vector<uint8_t>(8192, 0));
  EXPECT_EQ(error, 0);
}

TEST(CompressedFile, HeaderFaultsGiveTheirCodes) {
  std::vector<uint8_t> good = testing_tb::makeDatacompFile(sampleData(20000, 4), {});
  CompressedFileIndex* index = nullptr;
  ASSERT_EQ(openImage(good, &index), 0);
  dcFreeIndex(index);

  for (size_t at = 0; at < 64; ++at) {  // every banner byte, the NULs too
    std::vector<uint8_t> bad = good;
    bad[at] ^= 0x20;
    index = nullptr;
    EXPECT_EQ(openImage(bad, &index), dcErrBanner) << "banner byte " << at;
    EXPECT_EQ(index, nullptr);
  }
  std::vector<uint8_t> bad = good;
  bad[71] = 23;
  EXPECT_EQ(openImage(bad, &index), dcErrDistanceCount);
  bad = good;
  bad[79] ^= 1;
  EXPECT_EQ(openImage(bad, &index), dcErrFormatMark);
  bad = good;
  bad[70] = 17;
  EXPECT_EQ(openImage(bad, &index), dcErrHeaderSize);
  bad = good;
  bad[67] = 83;
  bad[66] = bad[65] = bad[64] = 0;
  EXPECT_EQ(openImage(bad, &index), dcErrHeaderSize);
  bad = good;
  bad[90] ^= 0x10;  // inside the checksummed header
  EXPECT_EQ(openImage(bad, &index), dcErrChecksum);
  bad.assign(good.begin(), good.begin() + 50);
  EXPECT_EQ(openImage(bad, &index), dcErrShortHeader);
  bad.assign(good.begin(), good.begin() + 100);
  EXPECT_EQ(openImage(bad, &index), dcErrHeaderRead);
  bad = good;
  bad[64] = 0x7F;  // a header far larger than the file
  EXPECT_EQ(openImage(bad, &index), dcErrHeaderRead);
  // No block at all.
  BitWriter first = sizesAndDistances({100});
  BitWriter second;
  second.putBits("1");
  EXPECT_EQ(openImage(testing_tb::assembleDatacompFile(13, 0, first.bytes, second.bytes, {}), &index),
            dcErrHeaderBroken);
}

TEST(CompressedFile, BadCodeLengthsAreRefused) {
  BitWriter first = sizesAndDistances({1, 21});
  BitWriter runPastEnd;  // a zero run beyond the 128 auxiliary symbols
  runPastEnd.putBits("0 0 00010");
  for (int i = 0; i < 7; ++i) runPastEnd.putBits("00 1111");  // symbols 0..111
  runPastEnd.putBits("00 0111");                                // 112..119
  runPastEnd.putBits("00 1111");                                // 120..135: too far
  CompressedFileIndex* index = nullptr;
  EXPECT_EQ(openImage(testing_tb::assembleDatacompFile(13, 1, first.bytes, runPastEnd.bytes, {0}), &index),
            dcErrCodeLengths);
  // Code A holds only symbol 1 (costing no bits), so all 1024 main symbols
  // get length 1: an over-full code.
  BitWriter incompleteMain;
  incompleteMain.putBits("0 0 00001 0 0000 1");  // width 1; symbol 0 zero, symbol 1 length 1
  for (int i = 0; i < 7; ++i) incompleteMain.putBits("0 1111");
  incompleteMain.putBits("0 1101");  // symbols 2..127 zero
  EXPECT_EQ(openImage(testing_tb::assembleDatacompFile(13, 1, first.bytes, incompleteMain.bytes, {0}), &index),
            dcErrPrefixCode);
}

TEST(CompressedFile, DamagedBlocksFailCleanly) {
  std::vector<uint8_t> data = sampleData(4 * 8192, 5);
  std::vector<uint8_t> good = testing_tb::makeDatacompFile(data, {});
  CompressedFileIndex* index = nullptr;
  ASSERT_EQ(openImage(good, &index), 0);
  size_t firstBlock = size_t(dcBlockOffset(index, 0));
  dcFreeIndex(index);
  // Every damaged copy either decodes (to something) or reports an error;
  // the sanitizer build checks that no byte outside the buffers is touched.
  uint32_t x = 99;
  int errors = 0;
  for (int trial = 0; trial < 300; ++trial) {
    std::vector<uint8_t> bad = good;
    x = x * 1103515245u + 12345u;
    size_t at = firstBlock + (x >> 8) % (bad.size() - firstBlock);
    bad[at] = uint8_t(x >> 3);
    int32_t error = 0;
    readAll(bad, &error);
    if (error != 0) {
      ++errors;
      EXPECT_EQ(error & 0xFF, dcKindBroken);
    }
  }
  EXPECT_GT(errors, 0);
  // A truncated file cannot give its last block.
  std::vector<uint8_t> shortFile(good.begin(), good.end() - 10);
  int32_t error = 0;
  readAll(shortFile, &error);
  EXPECT_EQ(error, dcErrShortRead);
}
