// Board record and position record: the slot order the threat walk relies
// on, a position cloned onto another board record (as the split code and
// the variation printer do), and the move stack's bound.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "engine/board/board.h"
#include "engine/board/makemove.h"
#include "helpers/board_builder.h"
#include "helpers/perft.h"

using namespace engine;
using testing_board::squareOf;

namespace {

Move mv(const char* from, const char* to) { return makeMove16(squareOf(from), squareOf(to)); }

// True when a pointer-aligned word of `record` holds an address inside
// `target`: a pointer that a copy failed to rebase.
bool holdsAddressInside(const void* record, size_t size, const void* target, size_t targetSize) {
  const auto first = reinterpret_cast<uintptr_t>(target);
  const auto* bytes = static_cast<const unsigned char*>(record);
  for (size_t at = 0; at + sizeof(uintptr_t) <= size; at += alignof(void*)) {
    uintptr_t word;
    std::memcpy(&word, bytes + at, sizeof word);
    if (word >= first && word < first + targetSize) return true;
  }
  return false;
}

}  // namespace

TEST(SlotLayout, ClassesFallFromTheFarEndOfEachList) {
  // The threat-target walk goes from slot 0 upward (Black) and from slot 32
  // downward (White) while the class stays above a bound.
  for (int slot = 1; slot <= 15; ++slot)
    EXPECT_LE(pieceKindTable[slotKindTable[slot]].valueClass, pieceKindTable[slotKindTable[slot - 1]].valueClass);
  for (int slot = 31; slot >= 17; --slot)
    EXPECT_LE(pieceKindTable[slotKindTable[slot]].valueClass, pieceKindTable[slotKindTable[slot + 1]].valueClass);
  for (int slot = 0; slot <= 15; ++slot) EXPECT_EQ(slotKindTable[slot], WhiteKing - slotKindTable[32 - slot]);
  for (int slot : InitialRookSlots) EXPECT_EQ(pieceKindTable[slotKindTable[slot]].code, RookCode);
}

// A position reached through two captures (pieces off the board that keep
// their slots) and with a known threat, cloned onto another board record:
// the clone walks the same tree as its source, also after the source's
// board has been set up anew, and no word of the clone points into the
// source's board (aside from the split owner, which the split code sets,
// and the list heads, of which only the forward link is read: the walk
// above follows it).
TEST(ClonePosition, WalksTheSourcesTreeAndKeepsNothingOfItsBoard) {
  ASSERT_TRUE(perft::setUp("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -"));
  auto line = std::make_unique<std::array<Position, 2>>();
  makeMove(&rootPosition, mv("d5", "e6"), &(*line)[0]);
  makeMove(&(*line)[0], mv("b4", "c3"), &(*line)[1]);
  Position* source = &(*line)[1];
  source->searchFlags |= SearchThreatKnown;
  source->threatenedPiece = squareAt(&masterBoard, squareOf("f3"));
  auto work = std::make_unique<perft::PerftPlies>();
  const uint64_t leaves = perft::countLeaves(source, 3, work.get());

  auto board = std::make_unique<ThreadBoard>();
  auto clone = std::make_unique<Position>();
  initBoard(board.get());
  initPosition(clone.get(), board.get());
  clonePosition(clone.get(), source);
  ASSERT_TRUE(perft::setUp("4k3/8/8/8/8/8/8/4K3 w - -"));
  EXPECT_EQ(perft::countLeaves(clone.get(), 3, work.get()), leaves);

  // The position's state (the stack is scratch), its key aside: a random
  // number, not an address.
  clone->key = 0;
  constexpr size_t StateStart = offsetof(Position, stateFlags);
  EXPECT_FALSE(holdsAddressInside(reinterpret_cast<const char*>(clone.get()) + StateStart,
                                  sizeof(Position) - StateStart, &masterBoard, sizeof(ThreadBoard)));
  board->splitOwner = nullptr;
  std::memset(static_cast<void*>(&board->white.head), 0, sizeof(PieceRecord));
  std::memset(static_cast<void*>(&board->black.head), 0, sizeof(PieceRecord));
  EXPECT_FALSE(holdsAddressInside(board.get(), sizeof(ThreadBoard), &masterBoard, sizeof(ThreadBoard)));
}

// A push beyond the move stack's room ends the process rather than writing
// past the stack.
TEST(MoveStack, PushBeyondItsRoomIsCaught) {
  auto pos = std::make_unique<Position>();
  pos->moveStackTop = pos->moveStack;
  for (int i = 0; i < MoveStackSize; ++i) pushMove(pos.get(), Move(i));
  EXPECT_DEATH(pushMove(pos.get(), 0), "moveStackTop");
}
