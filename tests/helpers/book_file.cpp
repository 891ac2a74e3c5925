#include "helpers/book_file.h"

namespace testing_book {

std::string bookEntryBytes(uint32_t key, uint16_t lock, uint16_t move, int16_t weight) {
  std::string bytes(12, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = char(key >> (8 * i));
  bytes[4] = char(lock);
  bytes[5] = char(lock >> 8);
  bytes[6] = char(0xAB);
  bytes[7] = char(0xCD);
  bytes[8] = char(move);
  bytes[9] = char(move >> 8);
  bytes[10] = char(uint16_t(weight));
  bytes[11] = char(uint16_t(weight) >> 8);
  return bytes;
}

}  // namespace testing_book
