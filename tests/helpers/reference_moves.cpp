#include "helpers/reference_moves.h"

#include <cctype>
#include <cstdlib>

namespace reference {

namespace {

int32_t colourOf(char c) { return c == '.' ? 0 : std::isupper(static_cast<unsigned char>(c)) ? 1 : -1; }
char typeOf(char c) { return char(std::tolower(static_cast<unsigned char>(c))); }
bool inside(int32_t file, int32_t rank) { return file >= 0 && file < 8 && rank >= 0 && rank < 8; }
int32_t sq(int32_t file, int32_t rank) { return rank * 16 + file; }
engine::Move mv(int32_t fromFile, int32_t fromRank, int32_t toFile, int32_t toRank) {
  return engine::makeMove16(sq(fromFile, fromRank), sq(toFile, toRank));
}

const int32_t kingSteps[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {-1, -1}, {-1, 1}, {1, -1}};
const int32_t knightSteps[8][2] = {{2, 1}, {-2, -1}, {-2, 1}, {2, -1}, {1, 2}, {-1, -2}, {-1, 2}, {1, -2}};

// Rays of a slider type.
std::vector<std::pair<int32_t, int32_t>> raysOf(char type) {
  std::vector<std::pair<int32_t, int32_t>> rays;
  if (type == 'r' || type == 'q')
    for (int i = 0; i < 4; ++i) rays.push_back({kingSteps[i][0], kingSteps[i][1]});
  if (type == 'b' || type == 'q')
    for (int i = 4; i < 8; ++i) rays.push_back({kingSteps[i][0], kingSteps[i][1]});
  return rays;
}

}  // namespace

Grid gridFromFen(const std::string& boardField, int32_t side, uint32_t castling, int32_t enPassant) {
  Grid g{};
  int32_t rank = 7, file = 0;
  for (auto& row : g.cell)
    for (char& c : row) c = '.';
  for (char c : boardField) {
    if (c == '/') {
      --rank;
      file = 0;
    } else if (c >= '1' && c <= '8') {
      file += c - '0';
    } else {
      g.cell[rank][file++] = c;
    }
  }
  g.side = side;
  g.castling = castling;
  g.enPassant = enPassant;
  return g;
}

std::string fenOf(const Grid& g) {
  std::string out;
  for (int32_t rank = 7; rank >= 0; --rank) {
    int32_t empty = 0;
    for (int32_t file = 0; file < 8; ++file) {
      char c = g.cell[rank][file];
      if (c == '.') {
        ++empty;
        continue;
      }
      if (empty) out += char('0' + empty);
      empty = 0;
      out += c;
    }
    if (empty) out += char('0' + empty);
    if (rank) out += '/';
  }
  return out;
}

bool attackedBy(const Grid& g, int32_t square, int32_t colour) {
  int32_t tf = square & 7, tr = square >> 4;
  for (int32_t r = 0; r < 8; ++r) {
    for (int32_t f = 0; f < 8; ++f) {
      char c = g.cell[r][f];
      if (colourOf(c) != colour || (f == tf && r == tr)) continue;
      int32_t df = tf - f, dr = tr - r;
      switch (typeOf(c)) {
        case 'p':
          if (dr == colour && (df == 1 || df == -1)) return true;
          break;
        case 'n':
          if ((std::abs(df) == 1 && std::abs(dr) == 2) || (std::abs(df) == 2 && std::abs(dr) == 1)) return true;
          break;
        case 'k':
          if (std::abs(df) <= 1 && std::abs(dr) <= 1) return true;
          break;
        default:
          for (auto [sf, sr] : raysOf(typeOf(c))) {
            for (int32_t x = f + sf, y = r + sr; inside(x, y); x += sf, y += sr) {
              if (x == tf && y == tr) return true;
              if (g.cell[y][x] != '.') break;
            }
          }
      }
    }
  }
  return false;
}

std::vector<engine::Move> tacticalMoves(const Grid& g) {
  std::vector<engine::Move> out;
  int32_t side = g.side;
  for (int32_t r = 0; r < 8; ++r) {
    for (int32_t f = 0; f < 8; ++f) {
      char c = g.cell[r][f];
      if (colourOf(c) != side) continue;
      char type = typeOf(c);
      if (type == 'p') {
        int32_t relative = side > 0 ? r : 7 - r;
        int32_t ahead = r + side;
        if ((relative == 5 || relative == 6) && g.cell[ahead][f] == '.') out.push_back(mv(f, r, f, ahead));
        for (int32_t df : {-1, 1})
          if (inside(f + df, ahead) && colourOf(g.cell[ahead][f + df]) == -side) out.push_back(mv(f, r, f + df, ahead));
        if (g.enPassant != engine::NoSquare && ahead == (g.enPassant >> 4) &&
            std::abs((g.enPassant & 7) - f) == 1)
          out.push_back(engine::makeMove16(sq(f, r), g.enPassant));
        continue;
      }
      if (type == 'n' || type == 'k') {
        const int32_t(*steps)[2] = type == 'n' ? knightSteps : kingSteps;
        for (int i = 0; i < 8; ++i) {
          int32_t x = f + steps[i][0], y = r + steps[i][1];
          if (inside(x, y) && colourOf(g.cell[y][x]) == -side) out.push_back(mv(f, r, x, y));
        }
        continue;
      }
      for (auto [sf, sr] : raysOf(type)) {
        for (int32_t x = f + sf, y = r + sr; inside(x, y); x += sf, y += sr) {
          if (g.cell[y][x] == '.') continue;
          if (colourOf(g.cell[y][x]) == -side) out.push_back(mv(f, r, x, y));
          break;
        }
      }
    }
  }
  return out;
}

std::vector<engine::Move> quietMoves(const Grid& g) {
  std::vector<engine::Move> out;
  int32_t side = g.side;
  auto underPromote = [&](int32_t f, int32_t r, int32_t x, int32_t y) {
    for (int32_t piece = engine::PromoteRook; piece <= engine::PromoteKnight; ++piece)
      out.push_back(engine::makeMove16(sq(f, r), engine::underPromotionByte(sq(x, y), piece, side)));
  };
  for (int32_t r = 0; r < 8; ++r) {
    for (int32_t f = 0; f < 8; ++f) {
      char c = g.cell[r][f];
      if (colourOf(c) != side) continue;
      char type = typeOf(c);
      if (type == 'p') {
        int32_t relative = side > 0 ? r : 7 - r;
        int32_t ahead = r + side;
        if (relative >= 1 && relative <= 4 && g.cell[ahead][f] == '.') {
          out.push_back(mv(f, r, f, ahead));
          if (relative == 1 && g.cell[ahead + side][f] == '.') out.push_back(mv(f, r, f, ahead + side));
        }
        if (relative == 6) {
          if (g.cell[ahead][f] == '.') underPromote(f, r, f, ahead);
          for (int32_t df : {-1, 1})
            if (inside(f + df, ahead) && colourOf(g.cell[ahead][f + df]) == -side) underPromote(f, r, f + df, ahead);
        }
        continue;
      }
      if (type == 'n' || type == 'k') {
        const int32_t(*steps)[2] = type == 'n' ? knightSteps : kingSteps;
        for (int i = 0; i < 8; ++i) {
          int32_t x = f + steps[i][0], y = r + steps[i][1];
          if (inside(x, y) && g.cell[y][x] == '.') out.push_back(mv(f, r, x, y));
        }
        if (type == 'k') {
          uint32_t kingSide = side > 0 ? 2 : 4, queenSide = side > 0 ? 8 : 0x10;
          char rook = side > 0 ? 'R' : 'r';
          int32_t k = sq(f, r);
          auto safe = [&](int32_t s) { return !attackedBy(g, s, -side); };
          auto at = [&](int32_t file) { return inside(file, r) ? g.cell[r][file] : '#'; };
          if ((g.castling & kingSide) && at(f + 1) == '.' && at(f + 2) == '.' && at(f + 3) == rook && safe(k) &&
              safe(k + 1))
            out.push_back(mv(f, r, f + 2, r));
          if ((g.castling & queenSide) && at(f - 1) == '.' && at(f - 2) == '.' && at(f - 3) == '.' &&
              at(f - 4) == rook && safe(k) && safe(k - 1))
            out.push_back(mv(f, r, f - 2, r));
        }
        continue;
      }
      for (auto [sf, sr] : raysOf(type))
        for (int32_t x = f + sf, y = r + sr; inside(x, y) && g.cell[y][x] == '.'; x += sf, y += sr)
          out.push_back(mv(f, r, x, y));
    }
  }
  return out;
}

}  // namespace reference
