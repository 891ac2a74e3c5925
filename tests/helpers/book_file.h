// The opening book's file format as the tests write it: 12-byte entries of
// key, lock, two reserved bytes, move and weight, each little-endian.
#pragma once
#include <cstdint>
#include <string>

namespace testing_book {

// One entry's bytes. The reserved bytes hold a pattern the reader must
// never take for part of a field.
std::string bookEntryBytes(uint32_t key, uint16_t lock, uint16_t move, int16_t weight);

}  // namespace testing_book
