// Stage steps that both evaluators run: material counts, the lone-bishop
// colours, the balances, the draw rules they share, the bishop pair, the
// trapped-piece patterns, the drawish scaling and the final sum.
#include <cstdlib>

#include "engine/eval/eval_terms.h"

namespace engine {

namespace {

// Rounded scaling by f/64 (arithmetic shift: floor on negatives).
inline int32_t scaled(int32_t value, int32_t factor) { return (value * factor + 32) >> 6; }

// Which pawns a trapped-piece pattern needs and which entry it charges.
struct TrappedPattern {
  uint16_t pawnFlag;  // ControlWhitePawnFree or ControlBlackPawnFree
  int8_t pawnSquare1;
  int8_t pawnSquare2;  // -1 when one pawn is enough
  int8_t code;
  int8_t colour;
  int8_t square;
};

constexpr uint16_t WP = ControlWhitePawnFree, BP = ControlBlackPawnFree;
constexpr TrappedPattern trappedPatterns[] = {
    {WP, 0x21, -1, BishopCode, Black, 0x10},    // b3: bishop a2
    {WP, 0x26, -1, BishopCode, Black, 0x17},    // g3: bishop h2
    {BP, 0x51, -1, BishopCode, White, 0x60},    // b6: bishop a7
    {BP, 0x56, -1, BishopCode, White, 0x67},    // g6: bishop h7
    {WP, 0x31, -1, BishopCode, Black, 0x20},    // b4: bishop a3
    {WP, 0x36, -1, BishopCode, Black, 0x27},    // g4: bishop h3
    {BP, 0x41, -1, BishopCode, White, 0x50},    // b5: bishop a6
    {BP, 0x46, -1, BishopCode, White, 0x57},    // g5: bishop h6
    {WP, 0x10, -1, KnightCode, Black, 0x00},    // a2: knight a1
    {WP, 0x17, -1, KnightCode, Black, 0x07},    // h2: knight h1
    {BP, 0x60, -1, KnightCode, White, 0x70},    // a7: knight a8
    {BP, 0x67, -1, KnightCode, White, 0x77},    // h7: knight h8
    {WP, 0x20, 0x11, RookCode, White, 0x10},    // a3 and b2: rook a2
    {WP, 0x27, 0x16, RookCode, White, 0x17},    // h3 and g2: rook h2
    {BP, 0x50, 0x61, RookCode, Black, 0x60},    // a6 and b7: rook a7
    {BP, 0x57, 0x66, RookCode, Black, 0x67},    // h6 and g7: rook h7
};

// Is the piece one of the kind's counted pieces? The piece that the capture
// correction leaves out is passed over: its kind count has been lowered,
// while the per-file pawn counts and the piece list still hold it.
inline bool countedPieceOf(const ThreadBoard* board, const PieceRecord* piece, int32_t code) {
  return piece->kindCopy.code == code && piece != board->evalScalars.leftOutPiece;
}

}  // namespace

void countMaterial(EvalContext& ctx) {
  ThreadBoard* board = ctx.board;
  for (int32_t colour : {White, Black}) {
    int32_t s = sideIndex(colour);
    ctx.pawns[s] = kindOf(board, kindIndexOf(PawnCode, colour)).count;
    ctx.knights[s] = kindOf(board, kindIndexOf(KnightCode, colour)).count;
    ctx.bishops[s] = kindOf(board, kindIndexOf(BishopCode, colour)).count;
    ctx.rooks[s] = kindOf(board, kindIndexOf(RookCode, colour)).count;
    ctx.queens[s] = kindOf(board, kindIndexOf(QueenCode, colour)).count;
    ctx.pieces[s] = ctx.knights[s] + ctx.bishops[s] + ctx.rooks[s] + ctx.queens[s];
  }
  ctx.score = 0;
}

int32_t countOpenFiles(ThreadBoard* board) {
  int32_t open = 0;
  for (int32_t file = 0; file < 8; ++file)
    if (pawnCountOn(board, White, file) == 0 && pawnCountOn(board, Black, file) == 0) ++open;
  return open;
}

void noteLoneBishops(EvalContext& ctx) {
  ThreadBoard* board = ctx.board;
  for (int32_t colour : {White, Black}) {
    int32_t s = sideIndex(colour);
    board->evalBlock.loneBishopColour[s] = -1;
    if (ctx.bishops[s] != 1) continue;
    for (PieceRecord* piece = firstPiece(sideRecordOf(board, colour)); piece != boardPiece(board);
         piece = piece->next) {
      // With two bishops on the board and one left out, the other is the
      // side's only bishop.
      if (!countedPieceOf(board, piece, BishopCode)) continue;
      board->evalBlock.loneBishopColour[s] = (fileOf(piece->square) + rankOf(piece->square)) & 1;
      break;
    }
  }
}

void computeBalances(EvalContext& ctx, int32_t pathFactor, int32_t openFileAmount) {
  ThreadBoard* board = ctx.board;
  ctx.kn = kindOf(board, WhiteKnight).baseValue;
  ctx.bi = kindOf(board, WhiteBishop).baseValue;
  ctx.rk = kindOf(board, WhiteRook).baseValue;
  ctx.queen = kindOf(board, WhiteQueen).baseValue;
  const int32_t w = 1, b = 0;
  ctx.pieceBalance = (ctx.knights[w] - ctx.knights[b]) * ctx.kn + (ctx.rooks[w] - ctx.rooks[b]) * ctx.rk +
                     (ctx.queens[w] - ctx.queens[b]) * ctx.queen + (ctx.bishops[w] - ctx.bishops[b]) * ctx.bi;
  analysePawnFiles(board, pathFactor, openFileAmount);
  ctx.materialBalance = ctx.pieceBalance + ctx.pawns[w] * kindOf(board, WhitePawn).baseValue -
                        ctx.pawns[b] * kindOf(board, BlackPawn).baseValue;
}

void applySinglePawnRules(EvalContext& ctx) {
  EvalBlock& block = ctx.board->evalBlock;
  const int32_t pW = ctx.pawns[1], pB = ctx.pawns[0];
  const int32_t M = ctx.pieceBalance, T = ctx.materialBalance;
  // The advantage moves onto the lone pawn: with it on the board the sum is
  // unchanged, after its capture the position is worth two thirds less.
  if (pW <= 1 && T >= ctx.kn - ctx.bi && M <= ctx.bi) {
    int32_t c = T - 84 * pW;
    if (pW == 0) block.drawMark = 2;
    int32_t r = (2 * c) / 3;
    ctx.score -= r;
    if (pW == 1) kindOf(ctx.board, WhitePawn).baseValue += r;
  }
  if (pB <= 1 && T <= ctx.bi - ctx.kn && M >= -ctx.bi) {
    int32_t c = T + 84 * pB;
    if (pB == 0) block.drawMark = 2;
    int32_t r = (-2 * c) / 3;
    ctx.score += r;
    if (pB == 1) kindOf(ctx.board, BlackPawn).baseValue += r;
  }
}

bool oppositeBishops(const EvalContext& ctx) {
  const EvalBlock& block = ctx.board->evalBlock;
  int32_t white = block.loneBishopColour[1], black = block.loneBishopColour[0];
  return white >= 0 && black >= 0 && white != black && ctx.knights[1] == 0 && ctx.pieceBalance == 0;
}

void applyWrongBishopRule(EvalContext& ctx) {
  ThreadBoard* board = ctx.board;
  EvalBlock& block = board->evalBlock;
  for (int32_t colour : {White, Black}) {
    int32_t s = sideIndex(colour), o = 1 - s;
    if (ctx.pieces[s] != 1 || ctx.bishops[s] != 1 || ctx.pieces[o] != 0 || ctx.pawns[s] < 1) continue;
    // The rook's pawns are counted from the piece list, as the side's pawn
    // count is.
    int32_t onA = 0, onH = 0;
    for (PieceRecord* piece = firstPiece(sideRecordOf(board, colour)); piece != boardPiece(board);
         piece = piece->next) {
      if (!countedPieceOf(board, piece, PawnCode)) continue;
      if (fileOf(piece->square) == 0) ++onA;
      if (fileOf(piece->square) == 7) ++onH;
    }
    // The promotion square of a rook's pawn that the bishop never reaches.
    int32_t colourA = colour > 0 ? 0 : 1;
    bool allOnA = onA == ctx.pawns[s];
    bool allOnH = onH == ctx.pawns[s];
    if ((allOnA && block.loneBishopColour[s] == colourA) || (allOnH && block.loneBishopColour[s] == 1 - colourA))
      block.drawMark = 2;
  }
}

void addBishopPair(EvalContext& ctx, int32_t bonus) {
  if (ctx.bishops[1] == 2) {
    kindOf(ctx.board, WhiteBishop).baseValue += bonus;
    ctx.score -= bonus;
  }
  if (ctx.bishops[0] == 2) {
    kindOf(ctx.board, BlackBishop).baseValue += bonus;
    ctx.score += bonus;
  }
}

void applyTrappedPieces(ThreadBoard* board, int32_t amount) {
  for (const TrappedPattern& pattern : trappedPatterns) {
    if (!(controlFlags(board, pattern.pawnSquare1) & pattern.pawnFlag)) continue;
    if (pattern.pawnSquare2 >= 0 && !(controlFlags(board, pattern.pawnSquare2) & pattern.pawnFlag)) continue;
    addEntry(board, blockOf(pattern.code), pattern.colour, pattern.square, -amount);
  }
}

int32_t fiftyMoveFactor(int32_t clock, int32_t perHundred) {
  // Past 100 plies the factor would turn negative and flip the score.
  int32_t counted = clock < 100 ? clock : 100;
  return ((100 - counted) * perHundred + 150) / 100;
}

void scaleEvaluation(EvalContext& ctx, int32_t factor) {
  ThreadBoard* board = ctx.board;
  EvalBlock& block = board->evalBlock;
  ctx.score = scaled(ctx.score, factor);
  for (int32_t s = 0; s < 2; ++s)
    for (int32_t entry = 1; entry < RookFileEntries; ++entry)
      for (int32_t file = 0; file < FileCount; ++file)
        block.rookFileTables[s][entry][file] = int16_t(scaled(block.rookFileTables[s][entry][file], factor));
  for (int32_t index = 0; index < KindCount; ++index) {
    PieceKind& kind = kindOf(board, index);
    if (kind.code == KingCode || kind.code == EmptyCode) continue;
    kind.baseValue = scaled(kind.baseValue, factor);
  }
  for (auto& table : block.pieceSquare)
    for (int16_t& entry : table) entry = int16_t(scaled(entry, factor));
}

void sumPieces(EvalContext& ctx) {
  ThreadBoard* board = ctx.board;
  EvalBlock& block = board->evalBlock;
  // Make and unmake charge isolated pawns with the opponent's entries.
  for (int32_t s = 0; s < 2; ++s)
    for (int32_t file = 0; file < FileCount; ++file) {
      block.isolatedPawnSingle[s][file] = block.rookFileTables[1 - s][1][file];
      block.isolatedPawnSeveral[s][file] = block.rookFileTables[1 - s][2][file];
    }
  for (int32_t colour : {White, Black}) {
    int32_t opponent = sideIndex(-colour);
    for (PieceRecord* piece = firstPiece(sideRecordOf(board, colour)); piece != boardPiece(board);
         piece = piece->next) {
      int32_t square = piece->square, file = fileOf(square);
      int32_t value = piece->kind->pieceSquareTable[square] + piece->kind->baseValue;
      int32_t code = piece->kindCopy.code;
      if (code == RookCode && pawnCountOn(board, White, file) == 0 && pawnCountOn(board, Black, file) == 0)
        value += block.openFileBonus;
      piece->currentValue = value;
      refreshKindCopy(piece);  // the piece's copy carries the new base value
      if (code == PawnCode && pawnCountOn(board, colour, file - 1) == 0 && pawnCountOn(board, colour, file + 1) == 0)
        value -= pawnCountOn(board, colour, file) == 1 ? block.rookFileTables[opponent][1][file]
                                                       : block.rookFileTables[opponent][2][file] / 2;
      ctx.score += colour > 0 ? value : -value;
    }
  }
}

}  // namespace engine
