// Move generation and ordering. Generation reads the square table directly:
// an empty square is the board record (compared by pointer), an off-board
// square the edge record; both have colour 0, so an opponent piece is one
// whose colour equals the position's opponent.
#include "engine/board/movegen.h"

#include "engine/board/attacks.h"
#include "engine/board/geometry.h"
#include "engine/control/shared_word.h"

namespace engine {

int32_t historyTable[KindCount][HistorySquares] = {};

namespace {

struct ScoredMove {
  int32_t score;
  Move move;
};

// Inserts into a list sorted by descending score; a new entry goes before
// the entries with an equal score.
void insertSorted(ScoredMove* list, int32_t& count, int32_t score, Move move) {
  int32_t i = count++;
  while (i > 0 && list[i - 1].score <= score) {
    list[i] = list[i - 1];
    --i;
  }
  list[i] = {score, move};
}

bool isPawnIndex(int32_t index) { return index == WhitePawn || index == BlackPawn; }
bool onLastRank(int32_t square) { return rankOf(square) == 7 || rankOf(square) == 0; }

// The tactical moves of the side to move, scored and sorted.
struct TacticalList {
  ScoredMove entries[MaxTacticalMoves];
  int32_t count = 0;
};

void addTactical(const Position* pos, TacticalList& list, int32_t from, int32_t to) {
  QL_CHECK(list.count < MaxTacticalMoves);
  Move move = makeMove16(from, to);
  insertSorted(list.entries, list.count, tacticalScore(pos, move), move);
}

// Step onto an opponent piece in each direction of the range.
void addStepCaptures(const Position* pos, TacticalList& list, const PieceRecord* piece) {
  const ThreadBoard* board = pos->board;
  for (const int32_t* d = piece->kindCopy.firstDirection; d <= piece->kindCopy.lastDirection; ++d) {
    int32_t to = piece->square + *d;
    if (squareAt(board, to)->colour == pos->opponent) addTactical(pos, list, piece->square, to);
  }
}

// Along each line of the range, the first occupied square when it holds an
// opponent piece. The lines come in +/- pairs.
void addSliderCaptures(const Position* pos, TacticalList& list, const PieceRecord* piece) {
  const ThreadBoard* board = pos->board;
  for (const int32_t* d = piece->kindCopy.firstDirection; d <= piece->kindCopy.lastDirection; d += 2) {
    for (int32_t step : {d[0], -d[0]}) {
      int32_t to = piece->square + step;
      while (isEmptySquare(board, to)) to += step;
      if (squareAt(board, to)->colour == pos->opponent) addTactical(pos, list, piece->square, to);
    }
  }
}

// En passant captures onto the en-passant square, by the side's pawns
// beside the captured pawn.
void addEnPassant(const Position* pos, TacticalList& list) {
  if ((pos->searchFlags & SearchEnPassantValid) == 0) return;
  const ThreadBoard* board = pos->board;
  int32_t ep = pos->enPassantSquare;
  int32_t pawnIndex = pos->side > 0 ? WhitePawn : BlackPawn;
  for (int32_t offset : {15, 17}) {
    int32_t from = ep - pos->side * offset;
    if (squareAt(board, from)->kindCopy.index == pawnIndex) addTactical(pos, list, from, ep);
  }
}

// Pawn push from the sixth and seventh rank (the push to the last rank is
// the queen promotion) and the captures.
void addPawnTactical(const Position* pos, TacticalList& list, const PieceRecord* pawn) {
  const ThreadBoard* board = pos->board;
  int32_t side = pawn->colour, from = pawn->square;
  int32_t relativeRank = side > 0 ? rankOf(from) : 7 - rankOf(from);
  int32_t ahead = from + side * 16;
  if (relativeRank >= 5 && isEmptySquare(board, ahead)) addTactical(pos, list, from, ahead);
  for (int32_t offset : {15, 17}) {
    int32_t to = from + side * offset;
    if (squareAt(board, to)->colour == pos->opponent) addTactical(pos, list, from, to);
  }
}

void pushTacticalMoves(Position* pos) {
  TacticalList list;
  PieceRecord* end = boardPiece(pos->board);
  for (PieceRecord* piece = firstPiece(pos->sideRecord); piece != end; piece = piece->next) {
    switch (piece->kindCopy.index) {
      case WhiteKing:
      case BlackKing:
        addEnPassant(pos, list);
        addStepCaptures(pos, list, piece);
        break;
      case WhiteQueen:
      case BlackQueen:
      case WhiteRook:
      case BlackRook:
      case WhiteBishop:
      case BlackBishop:
        addSliderCaptures(pos, list, piece);
        break;
      case WhiteKnight:
      case BlackKnight:
        addStepCaptures(pos, list, piece);
        break;
      case WhitePawn:
      case BlackPawn:
        addPawnTactical(pos, list, piece);
        break;
      default:
        break;
    }
  }
  // Worst first, so the best ends on top of the stack.
  for (int32_t i = list.count - 1; i >= 0; --i) pushMove(pos, list.entries[i].move);
}

// Castling and single steps of the king.
void pushKingQuiets(Position* pos, const PieceRecord* king) {
  const ThreadBoard* board = pos->board;
  int32_t k = king->square;
  bool white = king->colour > 0;
  uint32_t kingSide = white ? StateWhiteKingSide : StateBlackKingSide;
  uint32_t queenSide = white ? StateWhiteQueenSide : StateBlackQueenSide;
  int32_t rookIndex = white ? WhiteRook : BlackRook;
  // The king's own square and the square it crosses must not be attacked;
  // its target square is left to the search's legality test.
  if ((pos->stateFlags & kingSide) && isEmptySquare(board, k + 1) && isEmptySquare(board, k + 2) &&
      squareAt(board, k + 3)->kindCopy.index == rookIndex && !isAttacked(pos, k) && !isAttacked(pos, k + 1))
    pushMove(pos, makeMove16(k, k + 2));
  if ((pos->stateFlags & queenSide) && isEmptySquare(board, k - 1) && isEmptySquare(board, k - 2) &&
      isEmptySquare(board, k - 3) && squareAt(board, k - 4)->kindCopy.index == rookIndex && !isAttacked(pos, k) &&
      !isAttacked(pos, k - 1))
    pushMove(pos, makeMove16(k, k - 2));
  for (const int32_t* d = king->kindCopy.firstDirection; d <= king->kindCopy.lastDirection; ++d)
    if (isEmptySquare(board, k + *d)) pushMove(pos, makeMove16(k, k + *d));
}

void pushSliderQuiets(Position* pos, const PieceRecord* piece) {
  const ThreadBoard* board = pos->board;
  int32_t from = piece->square;
  for (const int32_t* d = piece->kindCopy.firstDirection; d <= piece->kindCopy.lastDirection; ++d)
    for (int32_t to = from + *d; isEmptySquare(board, to); to += *d) pushMove(pos, makeMove16(from, to));
}

void pushStepQuiets(Position* pos, const PieceRecord* piece) {
  const ThreadBoard* board = pos->board;
  int32_t from = piece->square;
  for (const int32_t* d = piece->kindCopy.firstDirection; d <= piece->kindCopy.lastDirection; ++d)
    if (isEmptySquare(board, from + *d)) pushMove(pos, makeMove16(from, from + *d));
}

void pushUnderPromotions(Position* pos, int32_t from, int32_t to, int32_t side) {
  for (int32_t piece = PromoteRook; piece <= PromoteKnight; ++piece)
    pushMove(pos, makeMove16(from, underPromotionByte(to, piece, side)));
}

// Pushes from the second to fifth rank with the double step, and the
// under-promotions by push and by capture from the seventh.
void pushPawnQuiets(Position* pos, const PieceRecord* pawn) {
  const ThreadBoard* board = pos->board;
  int32_t side = pawn->colour, from = pawn->square;
  int32_t relativeRank = side > 0 ? rankOf(from) : 7 - rankOf(from);
  int32_t ahead = from + side * 16;
  bool aheadEmpty = isEmptySquare(board, ahead);
  if (relativeRank >= 1 && relativeRank <= 4) {
    if (!aheadEmpty) return;
    pushMove(pos, makeMove16(from, ahead));
    int32_t doubleStep = ahead + side * 16;
    if (relativeRank == 1 && isEmptySquare(board, doubleStep)) pushMove(pos, makeMove16(from, doubleStep));
    return;
  }
  if (relativeRank != 6) return;
  if (aheadEmpty) pushUnderPromotions(pos, from, ahead, side);
  for (int32_t offset : {15, 17}) {
    int32_t to = from + side * offset;
    if (squareAt(board, to)->colour == pos->opponent) pushUnderPromotions(pos, from, to, side);
  }
}

void pushQuietMoves(Position* pos, const PieceRecord* piece) {
  switch (piece->kindCopy.index) {
    case WhiteKing:
    case BlackKing:
      pushKingQuiets(pos, piece);
      break;
    case WhiteQueen:
    case BlackQueen:
    case WhiteRook:
    case BlackRook:
    case WhiteBishop:
    case BlackBishop:
      pushSliderQuiets(pos, piece);
      break;
    case WhiteKnight:
    case BlackKnight:
      pushStepQuiets(pos, piece);
      break;
    case WhitePawn:
    case BlackPawn:
      pushPawnQuiets(pos, piece);
      break;
    default:
      break;
  }
}

bool threatKnown(const Position* pos) { return (pos->searchFlags & SearchThreatKnown) != 0; }

}  // namespace

int32_t tacticalScore(const Position* pos, Move move) {
  const ThreadBoard* board = pos->board;
  int32_t from = moveFrom(move), to = moveTo(move);
  const PieceRecord* mover = squareAt(board, from);
  int32_t score = squareAt(board, to)->currentValue - mover->kindCopy.code;
  if (isPawnIndex(mover->kindCopy.index) && onLastRank(to))
    score += mover->kindCopy.pieceSquareTable[to] - mover->kindCopy.pieceSquareTable[from];
  if (to == moveTo(pos->firstReply))
    score += FirstReplyBonus;
  else if (to == moveTo(pos->lastMove))
    score += RecaptureBonus;
  return score;
}

int32_t historyScore(const Position* pos, Move move) {
  // Under-promotion to-bytes are decoded before any table is indexed.
  int32_t from = moveFrom(move), to = moveTo(move);
  const PieceRecord* mover = squareAt(pos->board, from);
  const int16_t* table = mover->kindCopy.pieceSquareTable;
  // Other threads add to the counters while this one reads them.
  return (table[to] - table[from]) / 2 +
         loadShared(historyTable[mover->kindCopy.index][to]);
}

Move generateCaptures(Position* pos) {
  if (pos->pickerStage == StageTacticalFirst) {
    pushTacticalMoves(pos);
    pos->pickerStage = StageTactical;
  }
  return moveStackEmpty(pos) ? noMove : popMove(pos);
}

void generatePieceMoves(Position* pos) { pushQuietMoves(pos, pos->pieceCursor); }

void generateMoves(Position* pos) {
  // Push the quiet moves of every piece (the threatened piece's were
  // handed out already when a threat is known).
  Move* start = pos->moveStackTop;
  PieceRecord* end = boardPiece(pos->board);
  for (PieceRecord* piece = firstPiece(pos->sideRecord); piece != end; piece = piece->next)
    if (!(threatKnown(pos) && piece == pos->threatenedPiece)) pushQuietMoves(pos, piece);

  // Pop and score them: non-negative scores sorted, negative ones
  // kept in popped order.
  ScoredMove sorted[MoveStackSize];
  Move negative[MoveStackSize];
  int32_t sortedCount = 0, negativeCount = 0;
  while (pos->moveStackTop != start) {
    Move move = popMove(pos);
    int32_t score = historyScore(pos, move);
    if (score >= 0)
      insertSorted(sorted, sortedCount, score, move);
    else
      negative[negativeCount++] = move;
  }

  // Negative ones first (the first popped on top of them), then the
  // sorted ones, best on top.
  for (int32_t i = negativeCount - 1; i >= 0; --i) pushMove(pos, negative[i]);
  for (int32_t i = sortedCount - 1; i >= 0; --i) pushMove(pos, sorted[i].move);
}

Move nextMove(Position* pos) {
  // Step 1. Moves on the stack first.
  if (!moveStackEmpty(pos)) return popMove(pos);
  PieceRecord* end = boardPiece(pos->board);

  // Step 2. Tactical moves; when they run out, the threatened piece's quiet
  // moves (if a threat is known), then the quiet stage from the first piece.
  if (pos->pickerStage <= StageTactical) {
    Move move = generateCaptures(pos);
    if (move != noMove) return move;
    if (pos->searchFlags & SearchTacticalOnly) {
      pos->pickerStage = StageDone;
      return noMove;
    }
    if (threatKnown(pos) && pos->threatenedPiece != end) {
      pos->pieceCursor = pos->threatenedPiece;
      generatePieceMoves(pos);
    }
    pos->pickerStage = StageQuiet;
    pos->pieceCursor = firstPiece(pos->sideRecord);
    if (!moveStackEmpty(pos)) return popMove(pos);
  }

  // Step 3. Quiet moves: all at once in history mode, else piece by piece.
  while (pos->pickerStage == StageQuiet) {
    if (pos->searchFlags & SearchHistoryOrder) {
      generateMoves(pos);
      pos->pickerStage = StageDone;
      break;
    }
    if (pos->pieceCursor == end) {
      pos->pickerStage = StageDone;
      break;
    }
    if (!(threatKnown(pos) && pos->pieceCursor == pos->threatenedPiece)) generatePieceMoves(pos);
    pos->pieceCursor = pos->pieceCursor->next;
    if (!moveStackEmpty(pos)) return popMove(pos);
  }

  // Step 4. Done (history mode may have left moves on the stack).
  return moveStackEmpty(pos) ? noMove : popMove(pos);
}

}  // namespace engine
