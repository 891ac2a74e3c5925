#include "helpers/random_positions.h"

#include <algorithm>
#include <cctype>

#include "engine/board/board.h"
#include "helpers/reference_moves.h"

using namespace engine;

namespace testing_board {

RandomPosition randomPosition(std::mt19937& rng) {
  for (;;) {
    char cell[8][8];
    for (auto& row : cell)
      for (char& c : row) c = '.';
    auto randomSquare = [&]() { return std::pair<int, int>(rng() % 8, rng() % 8); };
    auto place = [&](char c, int minRank, int maxRank) {
      for (int tries = 0; tries < 100; ++tries) {
        auto [f, r] = randomSquare();
        if (r < minRank || r > maxRank || cell[r][f] != '.') continue;
        cell[r][f] = c;
        return;
      }
    };
    bool homeKings = rng() % 2;
    if (homeKings) {
      cell[0][4] = 'K';
      cell[7][4] = 'k';
      for (int f : {0, 7}) {
        if (rng() % 3) cell[0][f] = 'R';
        if (rng() % 3) cell[7][f] = 'r';
      }
    } else {
      place('K', 0, 7);
      place('k', 0, 7);
    }
    const char* pool = (rng() % 4 == 0) ? "QQQQqqqqPpNnRr" : "QqRrBbNnPPPPpppp";
    int extra = rng() % 25;
    for (int i = 0; i < extra; ++i) {
      char c = pool[rng() % std::char_traits<char>::length(pool)];
      bool pawn = c == 'P' || c == 'p';
      place(c, pawn ? 1 : 0, pawn ? 6 : 7);
    }
    // Slot capacity per colour: 16 pieces; extra pieces of a kind take pawn slots.
    bool fits = true;
    for (int colour : {1, -1}) {
      auto count = [&](char type) {
        char c = colour > 0 ? char(std::toupper(type)) : type;
        int n = 0;
        for (auto& row : cell)
          for (char x : row) n += x == c;
        return n;
      };
      int overflow = std::max(0, count('q') - 1) + std::max(0, count('r') - 2) + std::max(0, count('b') - 2) +
                     std::max(0, count('n') - 2);
      if (count('p') + overflow > 8) fits = false;
    }
    if (!fits) continue;

    RandomPosition p;
    p.side = rng() % 2 ? 1 : -1;
    p.castling = 0;
    if (cell[0][4] == 'K' && cell[0][7] == 'R' && rng() % 2) p.castling |= StateWhiteKingSide;
    if (cell[0][4] == 'K' && cell[0][0] == 'R' && rng() % 2) p.castling |= StateWhiteQueenSide;
    if (cell[7][4] == 'k' && cell[7][7] == 'r' && rng() % 2) p.castling |= StateBlackKingSide;
    if (cell[7][4] == 'k' && cell[7][0] == 'r' && rng() % 2) p.castling |= StateBlackQueenSide;
    p.ep = NoSquare;
    // A pawn of the side not to move that just made a double step.
    int pawnRank = p.side > 0 ? 4 : 3, epRank = p.side > 0 ? 5 : 2, startRank = p.side > 0 ? 6 : 1;
    char justMoved = p.side > 0 ? 'p' : 'P';
    for (int f = 0; f < 8 && p.ep == NoSquare; ++f)
      if (cell[pawnRank][f] == justMoved && cell[epRank][f] == '.' && cell[startRank][f] == '.' && rng() % 2)
        p.ep = epRank * 16 + f;
    reference::Grid g{};
    for (int r = 0; r < 8; ++r)
      for (int f = 0; f < 8; ++f) g.cell[r][f] = cell[r][f];
    p.field = reference::fenOf(g);
    return p;
  }
}


}  // namespace testing_board
