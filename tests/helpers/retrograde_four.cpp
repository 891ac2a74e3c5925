#include "helpers/retrograde_four.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <utility>

namespace testing_tb {

namespace {

// Slots of the four men in a position: White king, White piece, Black
// king, Black piece. The side to move's king is slot 2 * side.
enum Slot { WhiteKing, WhitePiece, BlackKing, BlackPiece };

// Values while solving: plies to the mate (odd: the side to move wins,
// even: it loses), or these marks.
constexpr int16_t undecided = -1;
constexpr int16_t notLegal = -2;
// A queued position that may win by a capture, if nothing wins sooner.
constexpr uint32_t captureWinTag = 0x80000000u;

uint64_t bit(int s) { return uint64_t(1) << s; }

struct Geometry {
  uint64_t king[64], knight[64];
  uint64_t between[64][64];  // squares strictly between two aligned squares
  uint8_t line[64][64];      // 1 same rank or file, 2 same diagonal, 0 neither
  Geometry() {
    for (int a = 0; a < 64; ++a) {
      king[a] = knight[a] = 0;
      for (int b = 0; b < 64; ++b) {
        int df = (b & 7) - (a & 7), dr = (b >> 3) - (a >> 3);
        int adf = std::abs(df), adr = std::abs(dr);
        if (a != b && adf <= 1 && adr <= 1) king[a] |= bit(b);
        if ((adf == 1 && adr == 2) || (adf == 2 && adr == 1)) knight[a] |= bit(b);
        line[a][b] = 0;
        between[a][b] = 0;
        if (a == b) continue;
        if (df == 0 || dr == 0) line[a][b] = 1;
        else if (adf == adr) line[a][b] = 2;
        if (line[a][b] == 0) continue;
        int step = (df > 0) - (df < 0) + 8 * ((dr > 0) - (dr < 0));
        for (int s = a + step; s != b; s += step) between[a][b] |= bit(s);
      }
    }
  }
};

const Geometry& geometry() {
  static const Geometry g;
  return g;
}

// Does a piece of kind `man` on `from` attack `target`, with the men of
// `occupied` blocking lines?
bool attacks(Man man, int from, int target, uint64_t occupied) {
  const Geometry& g = geometry();
  switch (man) {
    case Man::Knight: return (g.knight[from] & bit(target)) != 0;
    case Man::Bishop: return g.line[from][target] == 2 && (g.between[from][target] & occupied) == 0;
    case Man::Rook: return g.line[from][target] == 1 && (g.between[from][target] & occupied) == 0;
    case Man::Queen: return g.line[from][target] != 0 && (g.between[from][target] & occupied) == 0;
    default: return false;
  }
}

// The squares a piece reaches from `from` (captures of `occupied` men
// included), calling visit(to) in ray order.
template <class Visit>
void pieceTargets(Man man, int from, uint64_t occupied, Visit visit) {
  if (man == Man::Knight) {
    for (uint64_t t = geometry().knight[from]; t; t &= t - 1) visit(__builtin_ctzll(t));
    return;
  }
  static const int dirs[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
  for (int d = 0; d < 8; ++d) {
    bool diagonal = d >= 4;
    if ((man == Man::Rook && diagonal) || (man == Man::Bishop && !diagonal)) continue;
    for (int f = (from & 7) + dirs[d][0], r = (from >> 3) + dirs[d][1]; f >= 0 && f < 8 && r >= 0 && r < 8;
         f += dirs[d][0], r += dirs[d][1]) {
      int to = r * 8 + f;
      visit(to);
      if (occupied & bit(to)) break;
    }
  }
}

struct Solver {
  Man pieceKind[2];  // [side]
  const Solution* afterCapture[2];  // [capturing side]: its piece against a bare king
  std::vector<int16_t> plies;
  std::vector<uint8_t> openMoves;  // moves not yet known to lose, per position
  std::vector<std::vector<uint32_t>> queue;

  static uint32_t pack(int side, const int sq[4]) {
    return uint32_t(FourManSolution::indexOf(side, sq[0], sq[1], sq[2], sq[3]));
  }
  static void unpack(uint32_t index, int* side, int sq[4]) {
    for (int i = 3; i >= 0; --i, index >>= 6) sq[i] = int(index & 63);
    *side = int(index);
  }
  static uint64_t occupancy(const int sq[4]) { return bit(sq[0]) | bit(sq[1]) | bit(sq[2]) | bit(sq[3]); }

  // Men on distinct squares, kings apart, and the side not to move not in check.
  bool legal(int side, const int sq[4]) const {
    for (int i = 0; i < 4; ++i)
      for (int j = i + 1; j < 4; ++j)
        if (sq[i] == sq[j]) return false;
    if (geometry().king[sq[WhiteKing]] & bit(sq[BlackKing])) return false;
    int piece = 2 * side + 1, otherKing = 2 * (1 - side);
    return !attacks(pieceKind[side], sq[piece], sq[otherKing], occupancy(sq));
  }

  // Plies of a capture's result for the side that captured: positive odd
  // (wins), positive even (loses), or 0x7fff for a draw.
  static constexpr int drawn = 0x7fff;
  int captureResult(int mover, int king, int piece, int otherKing) const {
    int16_t c;
    if (mover == 0) c = afterCapture[0]->at(1, king, otherKing, piece);
    else c = afterCapture[1]->at(1, king ^ 56, otherKing ^ 56, piece ^ 56);
    if (c == illegal) std::abort();  // a legal capture always leads to a legal position
    if (c == 0) return drawn;
    if (c == lossNow) return 1;     // the opponent is mated
    if (c < 0) return -2 * c + 1;   // the opponent is mated after our -c further moves
    return 2 * c;                   // the opponent mates with its c-th move
  }

  // Every legal move of `side` in `sq`: quiet(child index) for moves that
  // stay in the endgame, capture(result plies) for captures.
  template <class Quiet, class Capture>
  void moves(int side, const int sq[4], Quiet quiet, Capture capture) const {
    const Geometry& g = geometry();
    int myKing = 2 * side, myPiece = myKing + 1, theirKing = 2 * (1 - side), theirPiece = theirKing + 1;
    uint64_t occupied = occupancy(sq);
    int child[4] = {sq[0], sq[1], sq[2], sq[3]};
    for (uint64_t t = g.king[sq[myKing]]; t; t &= t - 1) {
      int to = __builtin_ctzll(t);
      if (to == sq[myPiece] || (g.king[sq[theirKing]] & bit(to))) continue;
      if (to == sq[theirPiece]) {
        capture(captureResult(side, to, sq[myPiece], sq[theirKing]));
        continue;
      }
      uint64_t after = (occupied & ~bit(sq[myKing])) | bit(to);
      if (attacks(pieceKind[1 - side], sq[theirPiece], to, after)) continue;
      child[myKing] = to;
      quiet(pack(1 - side, child));
    }
    child[myKing] = sq[myKing];
    pieceTargets(pieceKind[side], sq[myPiece], occupied, [&](int to) {
      if (to == sq[myKing] || to == sq[theirKing]) return;
      if (to == sq[theirPiece]) {
        capture(captureResult(side, sq[myKing], to, sq[theirKing]));
        return;
      }
      uint64_t after = (occupied & ~bit(sq[myPiece])) | bit(to);
      if (attacks(pieceKind[1 - side], sq[theirPiece], sq[myKing], after)) return;
      child[myPiece] = to;
      quiet(pack(1 - side, child));
    });
  }

  // Positions from which the side not to move in `sq` reached it by a
  // quiet move of its own.
  template <class Visit>
  void predecessors(int side, const int sq[4], Visit visit) const {
    const Geometry& g = geometry();
    int mover = 1 - side;
    int moverKing = 2 * mover, moverPiece = moverKing + 1, otherKing = 2 * side;
    uint64_t occupied = occupancy(sq);
    int parent[4] = {sq[0], sq[1], sq[2], sq[3]};
    for (uint64_t t = g.king[sq[moverKing]]; t; t &= t - 1) {
      int from = __builtin_ctzll(t);
      if ((occupied & bit(from)) || (g.king[sq[otherKing]] & bit(from))) continue;
      parent[moverKing] = from;
      uint64_t before = (occupied & ~bit(sq[moverKing])) | bit(from);
      if (!attacks(pieceKind[mover], sq[moverPiece], sq[otherKing], before)) visit(pack(mover, parent));
    }
    parent[moverKing] = sq[moverKing];
    pieceTargets(pieceKind[mover], sq[moverPiece], occupied, [&](int from) {
      if (occupied & bit(from)) return;
      parent[moverPiece] = from;
      uint64_t before = (occupied & ~bit(sq[moverPiece])) | bit(from);
      if (!attacks(pieceKind[mover], from, sq[otherKing], before)) visit(pack(mover, parent));
    });
  }

  void enqueue(int level, uint32_t entry) {
    if (size_t(level) >= queue.size()) queue.resize(size_t(level) + 1);
    queue[size_t(level)].push_back(entry);
  }

  // Sets a loss once every quiet move is known to lose: as late as the
  // slowest losing capture, unless a capture draws or wins.
  void settleLoss(uint32_t index, int side, const int sq[4], int level) {
    int latest = level;
    bool escapes = false;
    moves(side, sq, [](uint32_t) {}, [&](int result) {
      if (result == drawn || (result & 1)) escapes = true;
      else latest = std::max(latest, result);
    });
    if (escapes) return;
    plies[index] = int16_t(latest);
    enqueue(latest, index);
  }

  void run() {
    const size_t count = size_t(2) * 64 * 64 * 64 * 64;
    plies.assign(count, undecided);
    openMoves.assign(count, 0);
    int side, sq[4];
    // Mates, stalemates, and the results the captures offer.
    for (uint32_t index = 0; index < count; ++index) {
      unpack(index, &side, sq);
      if (!legal(side, sq)) {
        plies[index] = notLegal;
        continue;
      }
      int quietMoves = 0, fastestWin = 0, slowestLoss = -1;
      bool escapes = false;
      moves(side, sq, [&](uint32_t) { ++quietMoves; }, [&](int result) {
        if (result == drawn) escapes = true;
        else if (result & 1) fastestWin = fastestWin == 0 ? result : std::min(fastestWin, result);
        else slowestLoss = std::max(slowestLoss, result);
      });
      openMoves[index] = uint8_t(quietMoves);
      if (fastestWin) enqueue(fastestWin, index | captureWinTag);
      if (quietMoves > 0 || fastestWin || escapes) continue;
      if (slowestLoss >= 0) {
        plies[index] = int16_t(slowestLoss);
        enqueue(slowestLoss, index);
      } else {
        bool inCheck = attacks(pieceKind[1 - side], sq[2 * (1 - side) + 1], sq[2 * side], occupancy(sq));
        if (inCheck) {
          plies[index] = 0;
          enqueue(0, index);
        }  // else stalemate: stays undecided, a draw
      }
    }
    // Level by level: a loss in n makes its predecessors wins in n + 1; a
    // win in n takes one open move from each predecessor.
    for (size_t level = 0; level < queue.size(); ++level) {
      std::vector<uint32_t> entries = std::move(queue[level]);
      for (uint32_t entry : entries) {
        uint32_t index = entry & ~captureWinTag;
        if (entry & captureWinTag) {
          if (plies[index] != undecided) continue;  // won sooner
          plies[index] = int16_t(level);
        }
        unpack(index, &side, sq);
        predecessors(side, sq, [&](uint32_t parent) {
          if (plies[parent] != undecided) return;
          if ((level & 1) == 0) {
            plies[parent] = int16_t(level + 1);
            enqueue(int(level) + 1, parent);
          } else if (--openMoves[parent] == 0) {
            int parentSide, parentSq[4];
            unpack(parent, &parentSide, parentSq);
            settleLoss(parent, parentSide, parentSq, int(level) + 1);
          }
        });
      }
    }
    openMoves.clear();
    openMoves.shrink_to_fit();
  }
};

}  // namespace

const FourManSolution& solveFourMen(Man white, Man black) {
  static std::map<std::pair<Man, Man>, FourManSolution> solved;
  auto found = solved.find({white, black});
  if (found != solved.end()) return found->second;
  static std::map<Man, Solution> threeMen;
  for (Man m : {white, black})
    if (!threeMen.count(m)) threeMen.emplace(m, solve(m));
  Solver s;
  s.pieceKind[0] = white;
  s.pieceKind[1] = black;
  s.afterCapture[0] = &threeMen.at(white);
  s.afterCapture[1] = &threeMen.at(black);
  s.run();
  FourManSolution result{white, black, std::move(s.plies)};
  for (int16_t& v : result.value) {
    if (v == notLegal) v = illegal;
    else if (v == undecided) v = 0;
    else if (v == 0) v = lossNow;
    else v = (v & 1) ? int16_t((v + 1) / 2) : int16_t(-v / 2);
  }
  return solved.emplace(std::make_pair(white, black), std::move(result)).first->second;
}

int longestWin(const FourManSolution& s) {
  int longest = 0;
  for (size_t i = 0; i < s.value.size() / 2; ++i) longest = std::max(longest, int(s.value[i]));
  return longest;
}

}  // namespace testing_tb
