// Playing one move from a parent position into its child.
//
// The board record changes in place; the child records what unmake needs
// (the captured piece, the mover's previous value, the last move, the
// special-move flag). Besides moving pieces, make keeps the child's
// incremental static value (from the child's side to move), the piece
// lists, kind counts, material sum, piece count and pawn-file counts in
// step, and applies the two cheap draw rules (half-move clock, shuffling)
// that end the search of a child at once. The hash key is left to the
// caller.
#include "engine/board/geometry.h"
#include "engine/board/makemove.h"
#include "engine/board/pawn_files.h"
#include "engine/board/setup.h"
#include "engine/control/eval_block.h"
#include "engine/control/shared_word.h"

namespace engine {

namespace {

// Clock from which the draw rules are looked at, and the clock of the
// fifty-move rule (in plies).
constexpr int32_t ShuffleClockMin = 3;
constexpr int32_t FiftyMoveClock = 100;
// Consecutive reversing moves that make the child a draw.
constexpr int32_t ShuffleDraw = 6;
// The final value of a side whose king was captured.
constexpr int32_t KingLostValue = -9999;

// The castling right that a rook leaving or reaching its corner takes away:
// a piece moving off a corner is that rook (or its right is gone already),
// and a piece moving onto it has captured the rook there. Castling itself
// would require the rook on its corner, so a rook that came back later must
// not revive the right.
uint32_t cornerRight(int32_t square) {
  switch (square) {
    case 0x00: return StateWhiteQueenSide;  // a1
    case 0x07: return StateWhiteKingSide;   // h1
    case 0x70: return StateBlackQueenSide;  // a8
    case 0x77: return StateBlackKingSide;   // h8
    default: return 0;
  }
}

// A capture or pawn move settles a pending fifty-move drift: the drift was
// charged to the engine's side, so it is given back (or taken from the
// other side).
void settleDrift(Position* child, int32_t moverSide) {
  if ((child->stateFlags & StateDriftPending) == 0) return;
  child->stateFlags &= ~StateDriftPending;
  const int32_t drift = child->board->fiftyMoveDrift;
  child->staticValue += moverSide == engineSide ? -drift : drift;
}

// The shuffle rule: does this move take back the mover's own previous
// move, without returning into the line that the opponent's last move
// crossed?
bool reversesOwnMove(const Position* parent, int32_t from, int32_t toByte, int32_t to) {
  const Position* grandparent = parent->parent;
  if (grandparent == nullptr) return false;
  const Move own = grandparent->lastMove;
  if (from != moveToByte(own) || toByte != moveFrom(own)) return false;
  const int32_t f = moveFrom(parent->lastMove), t = moveTo(parent->lastMove);
  const int32_t line = stepToward(f, t);
  return line != stepToward(to, t) || line != stepToward(f, to);
}

}  // namespace

// Mating material of one colour from the kind counts: no pawn, rook or
// queen, and either no bishop and at most two knights while the other side
// has no pawn to be won against, or at most one minor piece.
bool cannotMate(const ThreadBoard* board, int32_t colour) {
  const PieceKind* k = board->kinds;
  const bool white = colour > 0;
  if (k[white ? WhitePawn : BlackPawn].count + k[white ? WhiteRook : BlackRook].count +
          k[white ? WhiteQueen : BlackQueen].count != 0)
    return false;
  const int32_t bishops = k[white ? WhiteBishop : BlackBishop].count;
  const int32_t knights = k[white ? WhiteKnight : BlackKnight].count;
  const int32_t otherPawns = k[white ? BlackPawn : WhitePawn].count;
  return (bishops == 0 && knights <= 2 && otherPawns == 0) || bishops + knights <= 1;
}

void refreshMatingMarks(Position* pos) {
  // From the fifty-move clock on, the marks make set stand.
  if (pos->halfMoveClock >= FiftyMoveClock) return;
  pos->stateFlags &= ~(StateWhiteCannotWin | StateBlackCannotWin);
  if (cannotMate(pos->board, White)) pos->stateFlags |= StateWhiteCannotWin;
  if (cannotMate(pos->board, Black)) pos->stateFlags |= StateBlackCannotWin;
}

void makeMove(Position* parent, Move move, Position* child) {
  ThreadBoard* board = parent->board;
  const int32_t from = moveFrom(move);
  const int32_t toByte = moveToByte(move);
  const int32_t to = decodeToSquare(toByte);
  const int32_t side = parent->side;

  // Step 1. Only this thread writes its count; reports from other threads
  // read it, so it is written whole (one relaxed store, no locked add).
  storeShared(board->nodeCount, loadShared(board->nodeCount) + 1);

  // Step 2. The child starts from the parent's carried state.
  child->board = board;
  child->stateFlags = parent->stateFlags;
  child->searchFlags = 0;
  child->side = parent->opponent;
  child->opponent = side;
  child->sideRecord = parent->sideRecord->otherSide;
  child->parent = parent;
  child->moveStackTop = child->moveStack;
  child->pieceCursor = &child->sideRecord->head;
  child->pickerStage = StageTacticalFirst;
  child->shuffleCount = 0;

  // Step 3. The mover goes; the kind it had before the move decides the
  // later steps (a pawn that promotes to a rook is no rook move).
  PieceRecord* mover = squareAt(board, from);
  const int32_t moverCode = mover->kindCopy.code;
  squareAt(board, from) = boardPiece(board);
  PieceRecord* captured = squareAt(board, to);
  squareAt(board, to) = mover;
  mover->square = to;
  child->stateFlags &= ~(cornerRight(from) | cornerRight(to));

  // Step 4. The value from the child's view: the parent's negated, the
  // mover's gain taken away.
  child->moverPreviousValue = mover->currentValue;
  mover->currentValue = mover->kind->pieceSquareTable[to] + mover->kind->baseValue;
  child->staticValue = evalOffset.load(std::memory_order_relaxed) + child->moverPreviousValue -
                       parent->staticValue - mover->currentValue;
  child->firstReply = makeMove16(moveFrom(child->firstReply), NoSquare);
  child->lastMove = move;

  // Step 5. En passant: the captured pawn stands behind the target square.
  if ((parent->searchFlags & SearchEnPassantValid) != 0 && to == parent->enPassantSquare && moverCode == PawnCode) {
    const int32_t behind = to + child->side * 16;
    captured = squareAt(board, behind);
    squareAt(board, behind) = boardPiece(board);
    child->searchFlags |= SearchSpecialMove;
  }
  child->captured = captured;

  if (captured == boardPiece(board)) {
    // Step 6. A quiet move: the clock runs, and the draw rules may end the
    // child here.
    child->halfMoveClock = parent->halfMoveClock + 1;
    if (child->halfMoveClock >= ShuffleClockMin) {
      if (child->halfMoveClock >= FiftyMoveClock && moverCode != PawnCode)
        child->stateFlags |= child->side > 0 ? StateWhiteCannotWin : StateBlackCannotWin;
      if (reversesOwnMove(parent, from, toByte, to)) {
        child->shuffleCount = parent->shuffleCount + 1;
        if (child->shuffleCount >= ShuffleDraw) {
          child->staticValue = 0;
          child->stateFlags |= StateFinal;
          return;
        }
      }
    }
  } else {
    // Step 7a. The captured piece leaves its list; it keeps its own links
    // (and its square + 8) so that unmake can put it back where it was.
    child->staticValue -= captured->currentValue;
    captured->next->prev = captured->prev;
    captured->prev->next = captured->next;
    captured->square += 8;
    --captured->kind->count;
    --board->pieceCount;

    // Step 7b. A captured pawn takes its file terms along; a captured piece
    // its material.
    const int32_t capturedCode = captured->kindCopy.code;
    if (capturedCode == PawnCode) {
      child->staticValue += removePawnFromFile(board, captured->colour, fileOf(to));
      const SideRecord* victimSide = sideRecordOf(board, captured->colour);
      child->staticValue -= victimSide->pawnTerms[to] + victimSide->pawnTerms[to + 8];
    } else if (capturedCode != KingCode) {
      board->materialSum -= captured->kind->value;
      if (board->materialSum == 0) child->searchFlags |= SearchMaterialToZero;
    }

    // Step 7c. A capturing pawn changes its file.
    if (moverCode == PawnCode) {
      child->staticValue -= addPawnToFile(board, side, fileOf(to));
      child->staticValue -= removePawnFromFile(board, side, fileOf(from));
    }

    // Step 7d. A captured king ends the line: the side that lost it has
    // lost the game.
    if (capturedCode == KingCode) {
      child->staticValue = KingLostValue;
      child->stateFlags |= StateFinal;
      return;
    }

    // Step 7e. Marks are only ever added: material does not come back.
    if (cannotMate(board, White)) child->stateFlags |= StateWhiteCannotWin;
    if (cannotMate(board, Black)) child->stateFlags |= StateBlackCannotWin;

    // Step 7f.
    child->halfMoveClock = 0;
    settleDrift(child, side);
  }

  if (moverCode == PawnCode) {
    const int32_t rank = rankOf(to);
    if (rank == 7 || rank == 0) {
      // Step 8a. Promotion: the pawn becomes the piece of the to-byte and
      // leaves the pawn counts of its file.
      PieceKind* newKind = &board->kinds[promotionKind(toByte, side)];
      --mover->kind->count;
      child->searchFlags |= SearchSpecialMove;
      if (board->materialSum == 0) child->searchFlags |= SearchMaterialToZero;
      const int32_t pawnValue = mover->currentValue;
      mover->kind = newKind;
      ++newKind->count;
      refreshKindCopy(mover);
      mover->currentValue = newKind->pieceSquareTable[to] + newKind->baseValue;
      child->staticValue += pawnValue - mover->currentValue;
      board->materialSum += newKind->value;
      child->staticValue -= removePawnFromFile(board, side, fileOf(to));
    } else if (to - from == side * 32) {
      // Step 8b. A double step leaves an en-passant square behind it.
      child->searchFlags |= SearchEnPassantValid;
      child->enPassantSquare = to - side * 16;
    }
    // Step 8c.
    if (captured == boardPiece(board)) {
      const SideRecord* own = parent->sideRecord;
      child->staticValue += own->pawnTerms[from] - own->pawnTerms[to];
    }
    // Step 8d.
    child->halfMoveClock = 0;
    settleDrift(child, side);
  } else if (moverCode == RookCode) {
    // Step 9. A rook may have left or reached an open file.
    child->staticValue -= rookValue(mover);
  } else if (moverCode == KingCode) {
    // Step 10. Castling moves the rook too; any king move ends both rights.
    if (to - from == 2 || from - to == 2) {
      const int32_t rookFrom = to > from ? to + 1 : to - 2;
      const int32_t rookTo = to > from ? to - 1 : to + 1;
      PieceRecord* rook = squareAt(board, rookFrom);
      squareAt(board, rookFrom) = boardPiece(board);
      squareAt(board, rookTo) = rook;
      rook->square = rookTo;
      child->searchFlags |= SearchSpecialMove;
      child->staticValue -= rookValue(rook);
    }
    child->stateFlags &= side > 0 ? ~(StateWhiteKingSide | StateWhiteQueenSide)
                                  : ~(StateBlackKingSide | StateBlackQueenSide);
  }
}

}  // namespace engine
