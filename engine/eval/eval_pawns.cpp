// The pawn-file analysis both evaluators run in stage 1: per-file pawn
// records, the pawn marks of each side, the path values that make and
// unmake apply when a pawn leaves or is captured, and the open-file bonus.
// Also the constant tables the square terms share.
#include <algorithm>
#include <array>
#include <cstring>

#include "engine/eval/eval_terms.h"

namespace engine {

const int32_t kingCentreTable[10][8] = {
    {0, 1, 2, 3, 3, 2, 1, 0}, {2, 2, 3, 4, 4, 3, 2, 2}, {2, 3, 4, 5, 5, 4, 3, 2}, {3, 4, 5, 6, 6, 5, 4, 3},
    {4, 5, 6, 7, 7, 6, 5, 4}, {4, 5, 6, 7, 7, 6, 5, 4}, {3, 4, 5, 6, 6, 5, 4, 3}, {2, 3, 4, 5, 5, 4, 3, 2},
    {2, 2, 3, 4, 4, 3, 2, 2}, {0, 1, 2, 3, 3, 2, 1, 0}};

namespace {

constexpr int32_t B1 = 0x01, G1 = 0x06, B8 = 0x71, G8 = 0x76;

constexpr std::array<uint8_t, PieceSquareEntries> makeIdentityZone() {
  std::array<uint8_t, PieceSquareEntries> map{};
  for (int32_t sq = 0; sq < PieceSquareEntries; ++sq) map[sq] = uint8_t(sq);
  return map;
}

// Ranks 1-2 (and 8-7) fold the castled wings onto b1/g1 (b8/g8); the d- and
// e-files and ranks 3-6 keep their squares.
constexpr std::array<uint8_t, PieceSquareEntries> makeHomeZone() {
  std::array<uint8_t, PieceSquareEntries> map = makeIdentityZone();
  for (int32_t file = 0; file < 8; ++file) {
    int32_t white = file <= 2 ? B1 : file >= 5 ? G1 : file;
    int32_t black = file <= 2 ? B8 : file >= 5 ? G8 : 0x70 + file;
    map[file] = uint8_t(white);
    map[0x70 + file] = uint8_t(black);
    if (file != 3 && file != 4) {
      map[0x10 + file] = uint8_t(white);
      map[0x60 + file] = uint8_t(black);
    }
  }
  return map;
}


// A path value: positive amounts go to the board column (what the opponent
// gains when the pawn leaves), others by magnitude to the spare column
// (gained only when the pawn is captured).
void addPathValue(SideRecord* side, int32_t square, int32_t value) {
  if (value > 0)
    side->pawnTerms[square] = int16_t(side->pawnTerms[square] + value);
  else
    side->pawnTerms[square + BlackTableOffset] = int16_t(side->pawnTerms[square + BlackTableOffset] - value);
}

// The records and contact/support marks of one pawn.
void recordPawn(ThreadBoard* board, int32_t colour, int32_t square) {
  int32_t rank = rankOf(square), file = fileOf(square);
  int32_t forward = colour > 0 ? 16 : -16;
  pawnMark(board, colour, square) |= ContactMark;
  for (int32_t diagonal : {forward - 1, forward + 1}) {
    int32_t target = square + diagonal;
    if (!isOnBoard(target)) continue;
    pawnMark(board, colour, target) |= ContactMark;
    pawnMark(board, -colour, target) |= SupportMark;
  }
  PawnFileRecord& own = pawnFile(board, colour, file);
  own.lowestPawnRank = std::min(own.lowestPawnRank, rank);
  own.highestPawnRank = std::max(own.highestPawnRank, rank);
  if (colour > 0) {
    own.passedLimit = std::max(own.passedLimit, rank);
    PawnFileRecord& same = pawnFile(board, -colour, file);
    same.passedLimit = std::min(same.passedLimit, rank);
    for (int32_t side : {file - 1, file + 1}) {
      PawnFileRecord& next = pawnFile(board, -colour, side);
      next.passedLimit = std::min(next.passedLimit, rank + 1);
    }
  } else {
    own.passedLimit = std::min(own.passedLimit, rank);
    PawnFileRecord& same = pawnFile(board, -colour, file);
    same.passedLimit = std::max(same.passedLimit, rank);
    for (int32_t side : {file - 1, file + 1}) {
      PawnFileRecord& next = pawnFile(board, -colour, side);
      next.passedLimit = std::max(next.passedLimit, rank - 1);
    }
  }
}

// The path values of White's most advanced pawn of a file: when exactly one
// of the three files ahead holds a stopper, Black gains the value on the
// squares the pawn would still have to cross.
void whitePathValues(ThreadBoard* board, int32_t file, int32_t pathFactor) {
  const int32_t* rankTable = board->evalBlock.passedRankTable;
  int32_t c = pawnFile(board, White, file).highestPawnRank;
  int32_t value = (rankTable[c] * pathFactor + 32) >> 6;
  int32_t stoppers = 0, stopperFile = 0;
  for (int32_t x = file - 1; x <= file + 1; ++x) {
    if (x < 0 || x > 7 || pawnFile(board, Black, x).highestPawnRank <= c) continue;
    ++stoppers;
    stopperFile = x;
  }
  if (stoppers != 1) return;
  SideRecord* black = sideRecordOf(board, Black);
  int32_t firstRank = stopperFile == file - 1 ? c + 2 : c + 1;
  int32_t passed = stopperFile == file ? -value : value;
  for (int32_t rank = firstRank; rank <= 6; ++rank) addPathValue(black, makeSquare(stopperFile, rank), passed);
}

// The same for Black's most advanced pawn (its lowest), White gaining.
void blackPathValues(ThreadBoard* board, int32_t file, int32_t pathFactor) {
  const int32_t* rankTable = board->evalBlock.passedRankTable;
  int32_t c = pawnFile(board, Black, file).lowestPawnRank;
  int32_t value = (rankTable[7 - c] * pathFactor + 32) >> 6;
  int32_t stoppers = 0, stopperFile = 0;
  for (int32_t x = file - 1; x <= file + 1; ++x) {
    if (x < 0 || x > 7 || pawnFile(board, White, x).lowestPawnRank >= c) continue;
    ++stoppers;
    stopperFile = x;
  }
  if (stoppers != 1) return;
  SideRecord* white = sideRecordOf(board, White);
  int32_t passed = stopperFile == file ? -value : value;
  for (int32_t rank = c - 1; rank >= 1; --rank) addPathValue(white, makeSquare(stopperFile, rank), passed);
}

// A square gets the side's reach mark when one of its pawns attacks
// it now or after one or two free forward steps.
void markReach(ThreadBoard* board, int32_t colour) {
  int32_t forward = colour > 0 ? 16 : -16;
  for (int32_t file = 0; file < 8; ++file) {
    int32_t e = 0;
    for (int32_t step = 0; step < 6; ++step) {
      int32_t rank = colour > 0 ? 1 + step : 6 - step;
      int32_t square = makeSquare(file, rank);
      if (pieceOn(board, square, colour, PawnCode))
        e = 2;
      else if (pawnMark(board, -colour, square) & ContactMark)
        e = -1;
      else
        --e;
      if (e < 0) continue;
      for (int32_t diagonal : {forward - 1, forward + 1})
        if (isOnBoard(square + diagonal)) pawnMark(board, colour, square + diagonal) |= ReachMark;
    }
  }
}

// Support runs back from a reach mark over squares free of enemy
// contact, six squares at most.
void markSupport(ThreadBoard* board, int32_t colour) {
  for (int32_t file = 0; file < 8; ++file) {
    int32_t d = 0;
    for (int32_t step = 0; step < 7; ++step) {
      int32_t rank = colour > 0 ? 7 - step : step;
      int32_t square = makeSquare(file, rank);
      if (pawnMark(board, colour, square) & ReachMark)
        d = 6;
      else if (pawnMark(board, -colour, square) & ContactMark)
        d = -1;
      else
        --d;
      if (d >= 0) pawnMark(board, colour, square) |= SupportMark;
    }
  }
}

}  // namespace

const std::array<uint8_t, PieceSquareEntries> identityZoneMap = makeIdentityZone();
const std::array<uint8_t, PieceSquareEntries> kingHomeZoneMap = makeHomeZone();

void analysePawnFiles(ThreadBoard* board, int32_t pathFactor, int32_t openFileAmount) {
  EvalBlock& block = board->evalBlock;

  // Step 1. Fresh records, marks and pawn terms.
  for (int32_t i = 0; i < PawnFileRecordCount; ++i) {
    block.pawnFiles[1][i] = PawnFileRecord{7, 0, 0};
    block.pawnFiles[0][i] = PawnFileRecord{7, 0, 7};
  }
  for (int32_t colour : {White, Black}) {
    SideRecord* side = sideRecordOf(board, colour);
    std::memset(side->pawnTerms, 0, sizeof side->pawnTerms);
    std::memset(side->pawnMarks, 0, sizeof side->pawnMarks);
  }

  // Step 2. Every pawn, White's list first.
  int32_t lowestFile = 8, highestFile = -1;
  for (int32_t colour : {White, Black}) {
    SideRecord* side = sideRecordOf(board, colour);
    for (PieceRecord* piece = firstPiece(side); piece != boardPiece(board); piece = piece->next) {
      if (piece->kindCopy.code != PawnCode) continue;
      recordPawn(board, colour, piece->square);
      lowestFile = std::min(lowestFile, fileOf(piece->square));
      highestFile = std::max(highestFile, fileOf(piece->square));
    }
  }

  // Step 3. The span of the files that hold pawns.
  block.pawnFileSpan = highestFile < 0 ? -9 : highestFile - lowestFile;

  // Step 4. Path values of each file's most advanced pawn.
  for (int32_t file = 0; file < 8; ++file) {
    if (pawnCountOn(board, White, file) > 0) whitePathValues(board, file, pathFactor);
    if (pawnCountOn(board, Black, file) > 0) blackPathValues(board, file, pathFactor);
  }

  // Step 5. The rook's bonus on a file without pawns.
  block.openFileBonus = block.openFileCount < 4 ? openFileAmount : 0;

  // Step 6. Reach first, support from it.
  markReach(board, White);
  markReach(board, Black);
  markSupport(board, White);
  markSupport(board, Black);
}

int32_t findBoxedRook(ThreadBoard* board, int32_t corner, int32_t kingSquare, int32_t colour) {
  int32_t step = kingSquare > corner ? 1 : -1;
  int32_t remembered = kingSquare;
  for (int32_t square = corner; square != kingSquare; square += step) {
    if (!pieceOn(board, square, colour, RookCode)) continue;
    // A rook on a file without own pawns can get out along it.
    if (pawnCountOn(board, colour, fileOf(square)) == 0) return kingSquare;
    remembered = square;
  }
  return remembered;
}

}  // namespace engine
