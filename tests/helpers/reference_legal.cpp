#include "helpers/reference_legal.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace reference {

namespace {

char& cellAt(Grid& grid, int32_t square) { return grid.cell[engine::rankOf(square)][engine::fileOf(square)]; }

int32_t kingSquare(const Grid& grid, int32_t colour) {
  const char king = colour > 0 ? 'K' : 'k';
  for (int32_t rank = 0; rank < 8; ++rank)
    for (int32_t file = 0; file < 8; ++file)
      if (grid.cell[rank][file] == king) return engine::makeSquare(file, rank);
  return engine::NoSquare;
}

}  // namespace

Grid gridFromFullFen(const std::string& fen) {
  std::istringstream in(fen);
  std::string board, side, castling = "-", ep = "-";
  in >> board >> side >> castling >> ep;
  uint32_t rights = 0;
  for (char c : castling) rights |= c == 'K' ? 2 : c == 'k' ? 4 : c == 'Q' ? 8 : c == 'q' ? 0x10 : 0;
  int32_t epSquare = engine::NoSquare;
  if (ep.size() == 2) epSquare = engine::makeSquare(ep[0] - 'a', ep[1] - '1');
  return gridFromFen(board, side == "b" ? -1 : 1, rights, epSquare);
}

Grid playOnGrid(const Grid& grid, engine::Move move) {
  Grid next = grid;
  const int32_t from = engine::moveFrom(move);
  const int32_t to = engine::moveTo(move);
  const char piece = cellAt(next, from);
  const char type = char(std::tolower(static_cast<unsigned char>(piece)));
  cellAt(next, from) = '.';
  if (type == 'p' && to == grid.enPassant && cellAt(next, to) == '.')
    cellAt(next, engine::makeSquare(engine::fileOf(to), engine::rankOf(from))) = '.';
  char placed = piece;
  if (type == 'p' && (engine::rankOf(to) == 0 || engine::rankOf(to) == 7)) {
    static const char pieces[4] = {'q', 'r', 'b', 'n'};
    char promoted = pieces[engine::promotionPiece(engine::moveToByte(move))];
    placed = grid.side > 0 ? char(std::toupper(static_cast<unsigned char>(promoted))) : promoted;
  }
  cellAt(next, to) = placed;
  if (type == 'k' && std::abs(to - from) == 2) {
    const int32_t rank = engine::rankOf(from);
    const bool kingSide = to > from;
    const int32_t rookFrom = engine::makeSquare(kingSide ? 7 : 0, rank);
    const int32_t rookTo = engine::makeSquare(kingSide ? 5 : 3, rank);
    cellAt(next, rookTo) = cellAt(next, rookFrom);
    cellAt(next, rookFrom) = '.';
  }
  next.enPassant = engine::NoSquare;
  if (type == 'p' && std::abs(to - from) == 32) next.enPassant = (from + to) / 2;
  next.side = -grid.side;
  return next;
}

std::vector<engine::Move> legalMoves(const Grid& grid) {
  std::vector<engine::Move> all = tacticalMoves(grid);
  std::vector<engine::Move> quiet = quietMoves(grid);
  all.insert(all.end(), quiet.begin(), quiet.end());
  std::vector<engine::Move> legal;
  for (engine::Move move : all) {
    Grid next = playOnGrid(grid, move);
    int32_t king = kingSquare(next, grid.side);
    if (king != engine::NoSquare && !attackedBy(next, king, -grid.side)) legal.push_back(move);
  }
  return legal;
}

bool isLegal(const Grid& grid, engine::Move move) {
  std::vector<engine::Move> legal = legalMoves(grid);
  return std::find(legal.begin(), legal.end(), move) != legal.end();
}

bool isCheckmate(const Grid& grid) {
  int32_t king = kingSquare(grid, grid.side);
  return king != engine::NoSquare && attackedBy(grid, king, -grid.side) && legalMoves(grid).empty();
}

}  // namespace reference
