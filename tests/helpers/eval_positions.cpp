#include "helpers/eval_positions.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>

#include "engine/board/setup.h"
#include "engine/eval/eval_terms.h"
#include "engine/eval/evaluate.h"
#include "helpers/board_builder.h"

using namespace engine;

namespace testing_eval {

void buildEvalPosition(EvalPosition& ep, const std::string& field, int32_t side, uint32_t castling, int32_t clock) {
  *ep.pos = Position{};
  testing_board::buildTestPosition(ep.pos.get(), ep.board.get(), field, side, castling);
  ep.pos->halfMoveClock = clock;
}

std::string mirrorField(const std::string& field) {
  std::string ranks[8];
  int32_t rank = 0;
  for (char c : field) {
    if (c == '/') {
      ++rank;
      continue;
    }
    if (std::isalpha(static_cast<unsigned char>(c)))
      c = std::isupper(static_cast<unsigned char>(c)) ? char(std::tolower(c)) : char(std::toupper(c));
    ranks[rank] += c;
  }
  std::string mirrored;
  for (int32_t i = 7; i >= 0; --i) {
    mirrored += ranks[i];
    if (i) mirrored += '/';
  }
  return mirrored;
}

uint32_t mirrorCastling(uint32_t flags) {
  uint32_t out = 0;
  if (flags & StateWhiteKingSide) out |= StateBlackKingSide;
  if (flags & StateBlackKingSide) out |= StateWhiteKingSide;
  if (flags & StateWhiteQueenSide) out |= StateBlackQueenSide;
  if (flags & StateBlackQueenSide) out |= StateWhiteQueenSide;
  return out;
}

void setPawnControlFlags(ThreadBoard* board) {
  for (int32_t s = 0; s < 120; ++s) {
    if (!isOnBoard(s)) continue;
    uint16_t flags = 0;
    if (rankOf(s) >= 2 && (pieceOn(board, s - 15, White, PawnCode) || pieceOn(board, s - 17, White, PawnCode)))
      flags |= ControlWhitePawnAttack;
    if (rankOf(s) <= 5 && (pieceOn(board, s + 15, Black, PawnCode) || pieceOn(board, s + 17, Black, PawnCode)))
      flags |= ControlBlackPawnAttack;
    if (pieceOn(board, s, White, PawnCode) && !(flags & ControlBlackPawnAttack)) flags |= ControlWhitePawnFree;
    if (pieceOn(board, s, Black, PawnCode) && !(flags & ControlWhitePawnAttack)) flags |= ControlBlackPawnFree;
    board->evalBlock.controlFlagMap[s] = flags;
  }
}

int32_t runEvaluatorStages(EvalPosition& ep, int32_t engineSideValue) {
  engineSide = engineSideValue;
  openingOffset = 0;
  ThreadBoard* board = ep.board.get();
  EvalContext ctx{};
  ctx.board = board;
  ctx.stateFlags = &ep.pos->stateFlags;
  ctx.clock = ep.pos->halfMoveClock;
  ctx.side = ep.pos->side;
  if (board->materialSum > middlegameThreshold) {
    classifyMiddlegame(ctx);
    setPawnControlFlags(board);
    middlegameSquareTerms(ctx);
    return finishMiddlegame(ctx);
  }
  classifyEndgame(ctx);
  if (board->materialSum != 0) setPawnControlFlags(board);
  endgameSquareTerms(ctx);
  return finishEndgame(ctx);
}

}  // namespace testing_eval

namespace testing_eval {

namespace {

// Does the side have a pawn that the analysis found passed?
bool hasPassedPawn(ThreadBoard* board, int32_t colour) {
  for (PieceRecord* piece = firstPiece(sideRecordOf(board, colour)); piece != boardPiece(board); piece = piece->next) {
    if (piece->kindCopy.code != PawnCode) continue;
    int32_t r = rankOf(piece->square), f = fileOf(piece->square);
    if (colour > 0 ? r >= pawnFile(board, White, f).passedLimit : r <= pawnFile(board, Black, f).passedLimit)
      return true;
  }
  return false;
}

// The zone around a king's shelter square is not mirror-symmetric in its
// far rows: White's reaches one file further right than left, Black's (half
// a turn) one file further left. A piece of the attacker standing on such a
// square gains the zone weight on one board and not on its mirror. Offsets
// are seen from the defender's side (dr forward), |df| the file distance.
bool onLopsidedZoneSquare(int32_t forward, int32_t fileDistance) {
  if (forward == 5 || forward == -4) return fileDistance == 2;
  if (forward == 6 || forward == -5) return fileDistance == 1;
  return false;
}

// With queens on the board, does a queen, rook, knight or bishop stand on a
// lopsided zone square of the other side's shelter?
bool pieceOnLopsidedZone(ThreadBoard* board) {
  const EvalBlock& block = board->evalBlock;
  if (!block.queensOnBoardMark) return false;
  for (int32_t defender : {White, Black}) {
    int32_t shelter = block.kingShelterSquare[defender > 0 ? 1 : 0];
    if (shelter == NoShelterSquare) continue;
    for (PieceRecord* piece = firstPiece(sideRecordOf(board, -defender)); piece != boardPiece(board);
         piece = piece->next) {
      int32_t code = piece->kindCopy.code;
      if (code < KnightCode || code > QueenCode) continue;
      int32_t forward = (rankOf(piece->square) - rankOf(shelter)) * defender;
      if (onLopsidedZoneSquare(forward, std::abs(fileOf(piece->square) - fileOf(shelter)))) return true;
    }
  }
  return false;
}

}  // namespace

MirrorPair mirrorPair(const std::string& field, int32_t side, uint32_t castling, int32_t clock) {
  MirrorPair pair;
  EvalPosition original, mirrored;
  buildEvalPosition(original, field, side, castling, clock);
  buildEvalPosition(mirrored, mirrorField(field), -side, mirrorCastling(castling), clock);
  pair.score = runEvaluatorStages(original, side);
  pair.mirrorScore = runEvaluatorStages(mirrored, -side);

  ThreadBoard* board = original.board.get();
  const EvalBlock& block = board->evalBlock;
  int32_t pawns = board->kinds[WhitePawn].count + board->kinds[BlackPawn].count;
  int32_t qW = board->kinds[WhiteQueen].count, qB = board->kinds[BlackQueen].count;
  int32_t rW = board->kinds[WhiteRook].count, rB = board->kinds[BlackRook].count;
  bool middlegame = board->materialSum > middlegameThreshold;
  if ((board->kinds[WhiteBishop].count == 1 || board->kinds[BlackBishop].count == 1) && pawns > 0) return pair;
  if (middlegame && pieceOnLopsidedZone(board)) return pair;
  if (middlegame && !block.heavyMiddlegameMark && ((qW > 0) != (qB > 0) || (rW > 0) != (rB > 0))) return pair;
  if (board->materialSum == 0 && hasPassedPawn(board, -side)) return pair;
  pair.compared = true;
  pair.tolerance = block.drawMark != 0 || (original.pos->stateFlags & StateDriftPending) ? 1 : 0;
  return pair;
}

}  // namespace testing_eval
