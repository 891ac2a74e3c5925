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
// A pawn's double step in White's direction (times the side for either
// colour).
constexpr int32_t DoubleStep = 2 * RankStep;
// Castling: the rook's corner and landing square from the king's target,
// king side and queen side.
constexpr int32_t KingSideRookFrom = 1;
constexpr int32_t KingSideRookTo = -1;
constexpr int32_t QueenSideRookFrom = -2;
constexpr int32_t QueenSideRookTo = 1;

// A move while it is being made: its squares, the side that makes it, the
// mover (the kind it had before the move decides the later steps: a pawn
// that promotes to a rook is no rook move) and what it captured (the board
// record when nothing).
struct MoveInProgress {
  Position* parent;
  Position* child;
  ThreadBoard* board;
  int32_t from;
  int32_t toByte;
  int32_t to;
  int32_t side;
  PieceRecord* mover;
  int32_t moverCode;
  PieceRecord* captured;
};

// The castling right that a rook leaving or reaching its corner takes away:
// a piece moving off a corner is that rook (or its right is gone already),
// and a piece moving onto it has captured the rook there. Castling itself
// would require the rook on its corner, so a rook that came back later must
// not revive the right.
uint32_t cornerRight(int32_t square) {
  switch (square) {
    case SquareA1: return StateWhiteQueenSide;
    case SquareH1: return StateWhiteKingSide;
    case SquareA8: return StateBlackQueenSide;
    case SquareH8: return StateBlackKingSide;
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

// The mover goes to its target, taking the castling rights of the corners
// it leaves or reaches; the child's value is the parent's negated with the
// mover's gain taken away.
void moveMover(MoveInProgress& m, Move move) {
  ThreadBoard* board = m.board;
  Position* child = m.child;
  m.mover = squareAt(board, m.from);
  m.moverCode = m.mover->kindCopy.code;
  squareAt(board, m.from) = boardPiece(board);
  m.captured = squareAt(board, m.to);
  squareAt(board, m.to) = m.mover;
  m.mover->square = m.to;
  child->stateFlags &= ~(cornerRight(m.from) | cornerRight(m.to));

  child->moverPreviousValue = m.mover->currentValue;
  m.mover->currentValue = m.mover->kind->pieceSquareTable[m.to] + m.mover->kind->baseValue;
  child->staticValue = evalOffset.load(std::memory_order_relaxed) + child->moverPreviousValue -
                       m.parent->staticValue - m.mover->currentValue;
  child->firstReply = makeMove16(moveFrom(child->firstReply), NoSquare);
  child->lastMove = move;
}

// En passant: the captured pawn stands behind the target square.
void takeEnPassantPawn(MoveInProgress& m) {
  if ((m.parent->searchFlags & SearchEnPassantValid) == 0 || m.to != m.parent->enPassantSquare ||
      m.moverCode != PawnCode)
    return;
  const int32_t behind = m.to + m.child->side * RankStep;
  m.captured = squareAt(m.board, behind);
  squareAt(m.board, behind) = boardPiece(m.board);
  m.child->searchFlags |= SearchSpecialMove;
}

// A quiet move: the clock runs, and the draw rules may end the child here
// (true: the child is a final draw).
bool runClock(MoveInProgress& m) {
  Position* child = m.child;
  child->halfMoveClock = m.parent->halfMoveClock + 1;
  if (child->halfMoveClock < ShuffleClockMin) return false;
  if (child->halfMoveClock >= FiftyMoveClock && m.moverCode != PawnCode)
    child->stateFlags |= child->side > 0 ? StateWhiteCannotWin : StateBlackCannotWin;
  if (!reversesOwnMove(m.parent, m.from, m.toByte, m.to)) return false;
  child->shuffleCount = m.parent->shuffleCount + 1;
  if (child->shuffleCount < ShuffleDraw) return false;
  child->staticValue = 0;
  child->stateFlags |= StateFinal;
  return true;
}

// A capture: the captured piece leaves the board and its counts (true:
// it was the king, and the child is final).
bool takeCapturedPiece(MoveInProgress& m) {
  Position* child = m.child;
  ThreadBoard* board = m.board;
  PieceRecord* captured = m.captured;

  // Step 1. The captured piece leaves its list; it keeps its own links (and
  // its square moved to the spare column) so that unmake can put it back
  // where it was.
  child->staticValue -= captured->currentValue;
  captured->next->prev = captured->prev;
  captured->prev->next = captured->next;
  captured->square += SpareColumn;
  --captured->kind->count;
  --board->pieceCount;

  // Step 2. A captured pawn takes its file terms along; a captured piece
  // its material.
  const int32_t capturedCode = captured->kindCopy.code;
  if (capturedCode == PawnCode) {
    child->staticValue += removePawnFromFile(board, captured->colour, fileOf(m.to));
    const SideRecord* victimSide = sideRecordOf(board, captured->colour);
    child->staticValue -= victimSide->pawnTerms[m.to] + victimSide->pawnTerms[m.to + SpareColumn];
  } else if (capturedCode != KingCode) {
    board->materialSum -= captured->kind->value;
    if (board->materialSum == 0) child->searchFlags |= SearchMaterialToZero;
  }

  // Step 3. A capturing pawn changes its file.
  if (m.moverCode == PawnCode) {
    child->staticValue -= addPawnToFile(board, m.side, fileOf(m.to));
    child->staticValue -= removePawnFromFile(board, m.side, fileOf(m.from));
  }

  // Step 4. A captured king ends the line: the side that lost it has lost
  // the game.
  if (capturedCode == KingCode) {
    child->staticValue = KingLostValue;
    child->stateFlags |= StateFinal;
    return true;
  }

  // Step 5. Mating-material marks are only ever added: material does not
  // come back.
  if (cannotMate(board, White)) child->stateFlags |= StateWhiteCannotWin;
  if (cannotMate(board, Black)) child->stateFlags |= StateBlackCannotWin;

  // Step 6. The clock starts again, which settles a pending drift.
  child->halfMoveClock = 0;
  settleDrift(child, m.side);
  return false;
}

// A pawn move: a promotion changes the pawn's kind, a double step leaves
// an en-passant square; the pawn terms follow the pawn and the clock starts
// again.
void movePawn(MoveInProgress& m) {
  Position* child = m.child;
  ThreadBoard* board = m.board;
  const int32_t rank = rankOf(m.to);
  if (rank == Rank8 || rank == Rank1) {
    // The pawn becomes the piece of the to-byte and leaves the pawn counts
    // of its file.
    PieceKind* newKind = &board->kinds[promotionKind(m.toByte, m.side)];
    --m.mover->kind->count;
    child->searchFlags |= SearchSpecialMove;
    if (board->materialSum == 0) child->searchFlags |= SearchMaterialToZero;
    const int32_t pawnValue = m.mover->currentValue;
    m.mover->kind = newKind;
    ++newKind->count;
    refreshKindCopy(m.mover);
    m.mover->currentValue = newKind->pieceSquareTable[m.to] + newKind->baseValue;
    child->staticValue += pawnValue - m.mover->currentValue;
    board->materialSum += newKind->value;
    child->staticValue -= removePawnFromFile(board, m.side, fileOf(m.to));
  } else if (m.to - m.from == m.side * DoubleStep) {
    child->searchFlags |= SearchEnPassantValid;
    child->enPassantSquare = m.to - m.side * RankStep;
  }
  if (m.captured == boardPiece(board)) {
    const SideRecord* own = m.parent->sideRecord;
    child->staticValue += own->pawnTerms[m.from] - own->pawnTerms[m.to];
  }
  child->halfMoveClock = 0;
  settleDrift(child, m.side);
}

// A king move: castling moves the rook too; any king move ends both of
// the side's rights.
void moveKing(MoveInProgress& m) {
  Position* child = m.child;
  if (m.to - m.from == CastlingKingStep || m.from - m.to == CastlingKingStep) {
    const bool kingSide = m.to > m.from;
    const int32_t rookFrom = m.to + (kingSide ? KingSideRookFrom : QueenSideRookFrom);
    const int32_t rookTo = m.to + (kingSide ? KingSideRookTo : QueenSideRookTo);
    PieceRecord* rook = squareAt(m.board, rookFrom);
    squareAt(m.board, rookFrom) = boardPiece(m.board);
    squareAt(m.board, rookTo) = rook;
    rook->square = rookTo;
    child->searchFlags |= SearchSpecialMove;
    child->staticValue -= rookValue(rook);
  }
  child->stateFlags &= m.side > 0 ? ~(StateWhiteKingSide | StateWhiteQueenSide)
                                  : ~(StateBlackKingSide | StateBlackQueenSide);
}

}  // namespace

void carryParentState(Position* parent, Position* child) {
  child->board = parent->board;
  child->stateFlags = parent->stateFlags;
  child->searchFlags = 0;
  child->side = parent->opponent;
  child->opponent = parent->side;
  child->sideRecord = parent->sideRecord->otherSide;
  child->parent = parent;
  child->moveStackTop = child->moveStack;
  child->pieceCursor = &child->sideRecord->head;
  child->pickerStage = StageTacticalFirst;
  child->shuffleCount = 0;
}

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
  MoveInProgress m;
  m.parent = parent;
  m.child = child;
  m.board = board;
  m.from = moveFrom(move);
  m.toByte = moveToByte(move);
  m.to = decodeToSquare(m.toByte);
  m.side = parent->side;

  // Step 1. Only this thread writes its count; reports from other threads
  // read it, so it is written whole (one relaxed store, no locked add).
  storeShared(board->nodeCount, loadShared(board->nodeCount) + 1);

  // Step 2. The child starts from the parent's state; the mover moves and
  // the child's value follows it.
  carryParentState(parent, child);
  moveMover(m, move);

  // Step 3. An en-passant capture takes the pawn behind the target.
  takeEnPassantPawn(m);
  child->captured = m.captured;

  // Step 4. A quiet move runs the clock and may end the child as a draw; a
  // capture takes the captured piece off and may end it as a lost king.
  if (m.captured == boardPiece(board)) {
    if (runClock(m)) return;
  } else {
    if (takeCapturedPiece(m)) return;
  }

  // Step 5. What the mover's kind adds: a pawn's promotion, double step
  // and terms, a rook's open file, a king's castling and rights.
  if (m.moverCode == PawnCode)
    movePawn(m);
  else if (m.moverCode == RookCode)
    child->staticValue -= rookValue(m.mover);
  else if (m.moverCode == KingCode)
    moveKing(m);
}

}  // namespace engine
