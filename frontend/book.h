// The opening book: a file of 12-byte entries, each one move of one
// position with a weight, sorted by the position's hash identity. The file
// is not loaded: a probe binary-searches it with seeks and reads, collects
// the run of the position's entries, drops the weak moves by a selectivity
// percentage and draws one of the rest in proportion to its weight, with a
// state of the fixed random generator of its own, seeded from the clock.
//
// Entry layout (all fields little-endian):
//
//   offset  0         4       6          8       10      12
//          +---------+-------+----------+-------+-------+
//          | key u32 | lock  | reserved | move  | weight|
//          |         | u16   | (unread) | u16   | i16   |
//          +---------+-------+----------+-------+-------+
//
// The file is sorted by bytes 0-5 compared as unsigned bytes (memcmp order),
// which is not the key's numeric order: byte 0 is its lowest byte.
//
// The book is opened on the main thread (options) and probed on the worker;
// option changes wait for the worker first, so the two never overlap.
#pragma once
#include <cstdint>
#include <cstdio>

#include "engine/board/board.h"
#include "engine/control/move.h"
#include "engine/board/random.h"

namespace frontend {

constexpr int32_t BookEntryBytes = 12;
constexpr int32_t BookKeyBytes = 6;
// A position's run is read up to this many entries; the rest are ignored.
constexpr int32_t MaxBookRun = 100;

struct Book {
  std::FILE* file;  // null when no book is open
  int32_t count;    // whole entries in the file
  engine::RandomState seed;
};

extern Book book;

// Closes the previous file and opens `path`; 0 on success, else the
// system's error number (the book then stays closed). Only regular files
// are taken.
int32_t openBook(Book* target, const char* path);

// The six bytes of a position's identity in the file's order.
void makeBookKey(uint8_t* out, uint32_t key, uint16_t lock);

// memcmp of two six-byte identities.
int32_t compareBookKey(const uint8_t* a, const uint8_t* b);

// The book move of the identity (key, lock), or noMove.
engine::Move probeBookKey(Book* source, uint32_t key, uint16_t lock, int32_t selectivity);

// The book move of a position (its key and lock), written to *out, which is returned.
engine::Move* probeBook(Book* source, engine::Move* out, const engine::Position* position, int32_t selectivity);

}  // namespace frontend
