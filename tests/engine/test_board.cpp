// Board record and position record: promotion kinds, an empty board built
// by initBoard, the slot order, board copies (also with captured pieces)
// and position copies.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "engine/board/board.h"
#include "helpers/board_builder.h"

using namespace engine;
using testing_board::buildTestPosition;
using testing_board::squareOf;

namespace {

// True when p points somewhere inside the board record b.
bool inside(const ThreadBoard* b, const void* p) {
  auto start = reinterpret_cast<const char*>(b);
  auto q = reinterpret_cast<const char*>(p);
  return q >= start && q < start + sizeof(ThreadBoard);
}

struct ListEntry {
  int slot;
  int square;
  int kind;
  bool operator==(const ListEntry&) const = default;
};

// The side's list as (slot, square, kind index), checking the links both ways.
std::vector<ListEntry> listOf(ThreadBoard* b, SideRecord* side) {
  std::vector<ListEntry> out;
  PieceRecord* prev = &side->head;
  for (PieceRecord* p = side->head.next; p != boardPiece(b); p = p->next) {
    EXPECT_EQ(p->prev, prev);
    EXPECT_EQ(p->board, b);
    EXPECT_EQ(squareAt(b, p->square), p);
    out.push_back({int(p - b->slots), p->square, p->kind->index});
    prev = p;
    if (out.size() > 40) break;
  }
  return out;
}

// Takes a piece off the board the way a capture does: out of its list, its
// square + 8, the capturer (or nothing) on its square.
void captureBy(ThreadBoard* b, PieceRecord* victim, PieceRecord* capturer) {
  victim->next->prev = victim->prev;
  victim->prev->next = victim->next;
  squareAt(b, capturer->square) = boardPiece(b);
  squareAt(b, victim->square) = capturer;
  capturer->square = victim->square;
  victim->square += 8;
  --victim->kind->count;
  --b->pieceCount;
}

}  // namespace

TEST(PieceKinds, PromotionKindFromTheToByte) {
  EXPECT_EQ(promotionKind(0x75, White), WhiteQueen);
  EXPECT_EQ(promotionKind(0x85, White), WhiteRook);
  EXPECT_EQ(promotionKind(0x95, White), WhiteBishop);
  EXPECT_EQ(promotionKind(0xA5, White), WhiteKnight);
  EXPECT_EQ(promotionKind(0x02, Black), BlackQueen);
  EXPECT_EQ(promotionKind(0xF2, Black), BlackRook);
  EXPECT_EQ(promotionKind(0xE2, Black), BlackBishop);
  EXPECT_EQ(promotionKind(0xD2, Black), BlackKnight);
}

TEST(InitBoard, BuildsAnEmptyConsistentRecord) {
  auto b = std::make_unique<ThreadBoard>();
  initBoard(b.get());
  // Kinds: the board's own copies, linked among themselves.
  for (int i = 0; i < KindCount; ++i) {
    EXPECT_EQ(b->kinds[i].next, i < 12 ? &b->kinds[i + 1] : nullptr);
    EXPECT_EQ(b->kinds[i].value, pieceKindTable[i].value);
  }
  // Square table: board squares and 12 empty, everything else the edge.
  for (int s = -128; s < 256; ++s) {
    PieceRecord* expected = ((s & 0x88) == 0 && s >= 0 && s < 128) || s == 12 ? boardPiece(b.get()) : &b->edge;
    EXPECT_EQ(squareAt(b.get(), s), expected) << s;
  }
  EXPECT_EQ(b->empty.colour, 0);
  EXPECT_EQ(b->empty.square, 12);
  EXPECT_EQ(b->edge.colour, 0);
  EXPECT_EQ(b->edge.kindCopy.index, EmptyKind);
  // Both lists empty; every slot free, on this board, with its slot's kind.
  EXPECT_EQ(b->white.head.board, b.get());
  EXPECT_EQ(firstPiece(&b->white), boardPiece(b.get()));
  for (int slot = 0; slot < SlotCount; ++slot) {
    EXPECT_EQ(b->slots[slot].board, b.get());
    EXPECT_EQ(b->slots[slot].kind->index, slotKindTable[slot]);
    EXPECT_EQ(b->slots[slot].colour, 0);
  }
}

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

TEST(CopyBoard, CopyRebuildsEveryPointerForTheNewAddress) {
  auto src = std::make_unique<ThreadBoard>();
  auto dst = std::make_unique<ThreadBoard>();
  Position pos{};
  buildTestPosition(&pos, src.get(), "r3k2r/pppq1ppp/2n2n2/3pp3/3PP3/2N2N2/PPPQ1PPP/R3K2R", White,
                    StateCastlingMask);
  src->nodeCount = 77;
  src->materialSum = 1234;
  src->fiftyMoveDrift = 5;
  src->threadId = 3;
  src->evalBlock.pieceSquare[RookBlock][5] = 42;
  initBoard(dst.get());
  copyBoard(dst.get(), src.get());

  EXPECT_EQ(listOf(dst.get(), &dst->white), listOf(src.get(), &src->white));
  EXPECT_EQ(listOf(dst.get(), &dst->black), listOf(src.get(), &src->black));
  EXPECT_EQ(listOf(dst.get(), &dst->white).size(), 14u);
  EXPECT_EQ(dst->nodeCount, 0u);
  EXPECT_EQ(dst->materialSum, 1234);
  EXPECT_EQ(dst->pieceCount, src->pieceCount);
  EXPECT_EQ(dst->fiftyMoveDrift, 5);
  EXPECT_EQ(dst->threadId, 3);
  EXPECT_EQ(dst->splitOwner, src.get());  // copied; the split code resets it
  EXPECT_EQ(dst->kinds[WhiteRook].pieceSquareTable[5], 42);
  EXPECT_EQ(dst->kinds[WhiteRook].count, 2);
  EXPECT_EQ(pawnsOnFile(&dst->white, 3), 1);

  // Nothing inside the copy points into the source.
  for (int s = -128; s < 256; ++s) {
    EXPECT_TRUE(inside(dst.get(), squareAt(dst.get(), s))) << s;
    EXPECT_FALSE(inside(src.get(), squareAt(dst.get(), s))) << s;
  }
  for (const PieceRecord& p : dst->slots) {
    EXPECT_TRUE(inside(dst.get(), p.kind));
    EXPECT_TRUE(inside(dst.get(), p.next));
    EXPECT_TRUE(inside(dst.get(), p.prev));
    EXPECT_EQ(p.board, dst.get());
    EXPECT_EQ(p.kindCopy.index, p.kind->index);
    if (p.kindCopy.index != EmptyKind) {
      EXPECT_EQ(p.kindCopy.pieceSquareTable, p.kind->pieceSquareTable);
    }
  }
  for (int i = 0; i < KindCount; ++i)
    EXPECT_EQ(dst->kinds[i].next, i < 12 ? &dst->kinds[i + 1] : nullptr);
  EXPECT_EQ(dst->sideByColour[2], &dst->white);
  EXPECT_EQ(dst->sideByColour[0], &dst->black);
  EXPECT_EQ(dst->white.otherSide, &dst->black);
  EXPECT_EQ(dst->black.head.board, dst.get());
  EXPECT_EQ(dst->opponentLastSlot[2], &dst->slots[32]);
  EXPECT_EQ(dst->empty.square, 12);
  EXPECT_EQ(dst->edge.colour, 0);
  EXPECT_EQ(squareAt(dst.get(), 12), boardPiece(dst.get()));
}

TEST(CopyBoard, CapturedPiecesStayOutOfListsAndSquareTable) {
  auto src = std::make_unique<ThreadBoard>();
  auto dst = std::make_unique<ThreadBoard>();
  Position pos{};
  buildTestPosition(&pos, src.get(), "4k3/8/3p4/4N3/8/8/8/4K3", White);
  PieceRecord* knight = squareAt(src.get(), squareOf("e5"));
  PieceRecord* pawn = squareAt(src.get(), squareOf("d6"));
  ASSERT_EQ(knight->kind->index, WhiteKnight);
  captureBy(src.get(), pawn, knight);
  EXPECT_EQ(pawn->square, squareOf("d6") + 8);
  EXPECT_EQ(listOf(src.get(), &src->black).size(), 1u);

  initBoard(dst.get());
  copyBoard(dst.get(), src.get());
  std::vector<ListEntry> black = listOf(dst.get(), &dst->black);
  ASSERT_EQ(black.size(), 1u);
  EXPECT_EQ(black[0].kind, BlackKing);
  EXPECT_EQ(squareAt(dst.get(), squareOf("d6"))->kind->index, WhiteKnight);
  EXPECT_TRUE(isEmptySquare(dst.get(), squareOf("e5")));
  PieceRecord* copiedPawn = &dst->slots[pawn - src->slots];
  EXPECT_EQ(copiedPawn->square, squareOf("d6") + 8);
  EXPECT_EQ(copiedPawn->next, boardPiece(dst.get()));
  EXPECT_EQ(copiedPawn->prev, boardPiece(dst.get()));
  EXPECT_EQ(dst->pieceCount, 3);  // two kings and the knight
  // The off-board spare square the captured pawn keeps reads as the edge.
  EXPECT_EQ(squareAt(dst.get(), copiedPawn->square), &dst->edge);
}

TEST(Positions, InitPositionTouchesOnlySearchMoveAndBoard) {
  auto b = std::make_unique<ThreadBoard>();
  Position pos;
  std::memset(static_cast<void*>(&pos), 0x5A, sizeof(pos));
  initPosition(&pos, b.get());
  EXPECT_EQ(pos.killers[0], noMove);
  EXPECT_EQ(pos.board, b.get());
  EXPECT_EQ(pos.stateFlags, 0x5A5A5A5Au);
  EXPECT_EQ(pos.killers[1], 0x5A5A);
}

TEST(Positions, CopyPositionCopiesStateButNotTheStack) {
  auto b = std::make_unique<ThreadBoard>();
  Position src{}, dst{};
  buildTestPosition(&src, b.get(), "4k3/8/8/8/8/8/8/4K3", Black, 0x14, squareOf("e3"));
  pushMove(&src, 0x1234);
  pushMove(&src, 0x2345);
  src.key = 0xDEADBEEF;
  src.lock = 0x7777;
  src.halfMoveClock = 9;
  src.lastMove = 0x3424;
  dst.moveStack[0] = 0x1111;
  copyPosition(&dst, &src);
  EXPECT_TRUE(moveStackEmpty(&dst));
  EXPECT_EQ(dst.moveStack[0], 0x1111);
  EXPECT_EQ(dst.key, 0xDEADBEEFu);
  EXPECT_EQ(dst.lock, 0x7777);
  EXPECT_EQ(dst.halfMoveClock, 9);
  EXPECT_EQ(dst.side, Black);
  EXPECT_EQ(dst.stateFlags, 0x14u);
  EXPECT_EQ(dst.enPassantSquare, squareOf("e3"));
  EXPECT_EQ(dst.lastMove, 0x3424);
  EXPECT_EQ(dst.board, b.get());
  EXPECT_EQ(moveStackCount(&src), 2);
}

TEST(Positions, ClonePositionRebasesOntoTheOtherBoard) {
  auto srcBoard = std::make_unique<ThreadBoard>();
  auto dstBoard = std::make_unique<ThreadBoard>();
  Position src{}, dst{};
  buildTestPosition(&src, srcBoard.get(), "4k3/8/3p4/4N3/8/8/8/4K3", Black);
  PieceRecord* knight = squareAt(srcBoard.get(), squareOf("e5"));
  PieceRecord* pawn = squareAt(srcBoard.get(), squareOf("d6"));
  captureBy(srcBoard.get(), pawn, knight);
  src.captured = pawn;
  src.threatenedPiece = knight;
  src.pieceCursor = &srcBoard->black.head;
  src.staticValue = -31;
  pushMove(&src, 0x1234);
  initBoard(dstBoard.get());
  initPosition(&dst, dstBoard.get());
  clonePosition(&dst, &src);

  EXPECT_EQ(dst.board, dstBoard.get());
  EXPECT_EQ(dst.sideRecord, &dstBoard->black);
  EXPECT_EQ(dst.captured, &dstBoard->slots[pawn - srcBoard->slots]);
  EXPECT_EQ(dst.threatenedPiece, &dstBoard->slots[knight - srcBoard->slots]);
  EXPECT_EQ(dst.pieceCursor, &dstBoard->black.head);
  EXPECT_EQ(dst.staticValue, -31);
  EXPECT_TRUE(moveStackEmpty(&dst));
  EXPECT_EQ(squareAt(dstBoard.get(), squareOf("d6")), dst.threatenedPiece);

  // A position with nothing captured keeps pointing at its own board record.
  src.captured = boardPiece(srcBoard.get());
  src.threatenedPiece = boardPiece(srcBoard.get());
  clonePosition(&dst, &src);
  EXPECT_EQ(dst.captured, boardPiece(dstBoard.get()));
  EXPECT_EQ(dst.threatenedPiece, boardPiece(dstBoard.get()));
}

TEST(Positions, ResetMoveStack) {
  auto b = std::make_unique<ThreadBoard>();
  Position pos{};
  buildTestPosition(&pos, b.get(), "4k3/8/8/8/8/8/8/4K3", White);
  pushMove(&pos, 0x1234);
  pos.pickerStage = 3;
  pos.pieceCursor = boardPiece(b.get());
  resetMoveStack(&pos);
  EXPECT_EQ(pos.pickerStage, 0);
  EXPECT_TRUE(moveStackEmpty(&pos));
  EXPECT_EQ(pos.pieceCursor, &b->white.head);
}

TEST(Positions, MoveStackHoldsEveryPseudoLegalMoveAndChecksItsBound) {
  auto b = std::make_unique<ThreadBoard>();
  auto pos = std::make_unique<Position>();
  initPosition(pos.get(), b.get());
  pos->moveStackTop = pos->moveStack;
  for (int i = 0; i < MoveStackSize; ++i) pushMove(pos.get(), Move(i));
  EXPECT_EQ(moveStackCount(pos.get()), MoveStackSize);
  EXPECT_EQ(popMove(pos.get()), Move(MoveStackSize - 1));
  pushMove(pos.get(), 1);
  EXPECT_DEATH(pushMove(pos.get(), 2), "moveStackTop");
}
