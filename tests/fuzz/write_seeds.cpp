// Writes the seed corpus of the compressed-block fuzzer into the directory
// given as its argument: a few inputs (fuzz_input.h) whose blocks the
// table writer compressed from known data, so that the fuzzer starts from
// files the decoders read to the end (both prefix codes, short and long
// back-references, a stored block, a file without a code) and mutates
// those, rather than starting from nothing.
// Usage: write_seeds DIRECTORY
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "helpers/datacomp_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Moves of a game, numbered: text with short repeats and fresh literals.
Bytes gameText(size_t bytes) {
  static const char* const moves[] = {"e4", "e5", "Nf3", "Nc6", "Bb5", "a6", "Ba4", "Nf6", "O-O", "Be7"};
  std::string text;
  for (int n = 1; text.size() < bytes; ++n)
    text += std::to_string(n) + ". " + moves[n % 10] + " " + moves[(n * 7) % 10] + " ";
  return Bytes(text.begin(), text.begin() + long(bytes));
}

// Bytes 245-255, whose codes in the skewed code are longer than the
// decoder's lookup, between runs of a short pattern.
Bytes highBytes(size_t bytes) {
  Bytes data(bytes);
  for (size_t i = 0; i < bytes; ++i) data[i] = (i / 40) % 2 == 0 ? uint8_t(245 + i % 11) : uint8_t(i % 3);
  return data;
}

// A whole block of one 64-byte pattern: back-references as long as the
// length code allows, with their extra bits.
Bytes patternBlock() {
  Bytes data(fuzz_input::BlockBytes);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t((i % 64) * 37);
  return data;
}

// Bytes without repeats worth a back-reference: stored as they are.
Bytes noise(size_t bytes) {
  Bytes data(bytes);
  uint32_t state = 12345;
  for (uint8_t& b : data) {
    state = state * 1103515245u + 12345u;
    b = uint8_t(state >> 16);
  }
  return data;
}

Bytes twice(const Bytes& data) {
  Bytes both = data;
  both.insert(both.end(), data.begin(), data.end());
  return both;
}

// The fuzzer splits the blocks' bytes evenly, so every block of a seed
// must have packed to the same size.
bool writeSeed(const std::string& path, const Bytes& data, const testing_tb::DatacompOptions& options) {
  testing_tb::DatacompParts parts = testing_tb::makeDatacompParts(data, options);
  for (uint32_t size : parts.blockBytes) {
    if (size != parts.blockBytes[0]) {
      std::fprintf(stderr, "%s: blocks of different packed sizes\n", path.c_str());
      return false;
    }
  }
  testing_tb::writeFile(path, fuzz_input::encode(parts.blockCount, parts.secondStream,
                                                 parts.lastBlockBytes % fuzz_input::BlockBytes, parts.blocks));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_seeds DIRECTORY\n");
    return 2;
  }
  const std::string dir = argv[1];
  using testing_tb::MainCode;
  const testing_tb::DatacompOptions flat{fuzz_input::BlockSizeLog, true, MainCode::Flat10};
  const testing_tb::DatacompOptions skewed{fuzz_input::BlockSizeLog, true, MainCode::Skewed};
  const testing_tb::DatacompOptions storedOnly{fuzz_input::BlockSizeLog, false, MainCode::Flat10};
  bool ok = writeSeed(dir + "/game_text", gameText(3000), flat) &&
            writeSeed(dir + "/long_codes", highBytes(4000), skewed) &&
            writeSeed(dir + "/two_whole_blocks", twice(patternBlock()), flat) &&
            writeSeed(dir + "/stored_block", noise(700), flat) &&
            writeSeed(dir + "/no_code", noise(1000), storedOnly);
  return ok ? 0 : 1;
}
