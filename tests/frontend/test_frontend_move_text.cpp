// Move texts matched against the moves of hand-built positions: the forms
// the controller may send, promotion and castling letters, case rules, the
// pawn rule for texts without a piece or from-square, and texts that must
// match nothing.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/board/board.h"
#include "frontend/move_text.h"
#include "helpers/board_builder.h"

using engine::Move;
using engine::noMove;
using testing_board::buildTestPosition;
using testing_board::moveText;

namespace {

struct Game {
  std::unique_ptr<engine::ThreadBoard> board = std::make_unique<engine::ThreadBoard>();
  std::unique_ptr<engine::Position> pos = std::make_unique<engine::Position>();
  Game(const std::string& field, int side, uint32_t castling = 0) {
    buildTestPosition(pos.get(), board.get(), field, side, castling);
  }
  std::string find(const char* text) const { return moveText(frontend::findMoveByText(pos.get(), text, nullptr)); }
};

const char* startField = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR";

}  // namespace

TEST(MoveText, CoordinateLongAndShortFormsFromTheStart) {
  Game g(startField, engine::White);
  EXPECT_EQ(g.find("e2e4"), "e2e4");
  EXPECT_EQ(g.find("g1f3"), "g1f3");
  EXPECT_EQ(g.find("Ng1-f3"), "g1f3");
  EXPECT_EQ(g.find("Ngf3"), "g1f3");
  EXPECT_EQ(g.find("Nf3"), "g1f3");
  EXPECT_EQ(g.find("Nf3+"), "g1f3");
  EXPECT_EQ(g.find("e4"), "e2e4");
  EXPECT_EQ(g.find("e2-e4"), "e2e4");
  EXPECT_EQ(g.find("Nc3"), "b1c3");
}

TEST(MoveText, PieceLettersAreUpperCaseAndPawnsTakeNone) {
  Game g(startField, engine::White);
  EXPECT_EQ(g.find("ng1f3"), "none");
  EXPECT_EQ(g.find("nf3"), "none");
  EXPECT_EQ(g.find("Pe4"), "none");
  // Without a piece letter or a full from-square only a pawn moves there.
  EXPECT_EQ(g.find("f3"), "f2f3");
  EXPECT_EQ(g.find("gf3"), "none");
  EXPECT_EQ(g.find("Bf3"), "none");
}

TEST(MoveText, TextsThatMatchNothing) {
  Game g(startField, engine::White);
  EXPECT_EQ(g.find("e9e4"), "none");
  EXPECT_EQ(g.find("e"), "none");
  EXPECT_EQ(g.find(""), "none");
  EXPECT_EQ(g.find("e2e5"), "none");
  EXPECT_EQ(g.find("aaaaaaaaaaaaaaaaaaaae2e4"), "none");
  EXPECT_EQ(g.find("0000"), "none");
  EXPECT_EQ(g.find("O-O"), "none");
}

TEST(MoveText, CapturesWithFileAndRankHints) {
  // White pawn e4 can take d5; rooks on a1 and a3 both reach a2.
  Game g("4k3/8/8/3p4/4P3/R7/8/R3K3", engine::White);
  EXPECT_EQ(g.find("exd5"), "e4d5");
  EXPECT_EQ(g.find("e4xd5"), "e4d5");
  EXPECT_EQ(g.find("dxe5"), "none");
  EXPECT_EQ(g.find("R1a2"), "a1a2");
  EXPECT_EQ(g.find("R3a2"), "a3a2");
  EXPECT_EQ(g.find("Ra1a2"), "a1a2");
}

TEST(MoveText, PromotionLetters) {
  Game g("8/4P3/8/8/8/8/8/k3K3", engine::White);
  EXPECT_EQ(g.find("e7e8q"), "e7e8");
  EXPECT_EQ(g.find("e7e8Q"), "e7e8");
  EXPECT_EQ(g.find("e7e8n"), "e7e8n");
  EXPECT_EQ(g.find("e7e8N"), "e7e8n");
  EXPECT_EQ(g.find("e7e8r"), "e7e8r");
  EXPECT_EQ(g.find("e8B"), "e7e8b");
  EXPECT_EQ(g.find("e7e8=Q"), "none");
  // Without a letter the first promotion the picker yields: the queen.
  EXPECT_EQ(g.find("e7e8"), "e7e8");
  Game b("4k3/8/8/8/8/8/3p4/K7", engine::Black);
  EXPECT_EQ(b.find("d2d1n"), "d2d1n");
  EXPECT_EQ(b.find("d1R"), "d2d1r");
  EXPECT_EQ(b.find("d2d1"), "d2d1");
}

TEST(MoveText, Castling) {
  Game g("r3k2r/8/8/8/8/8/8/R3K2R", engine::White, engine::StateCastlingMask);
  EXPECT_EQ(g.find("O-O"), "e1g1");
  EXPECT_EQ(g.find("0-0"), "e1g1");
  EXPECT_EQ(g.find("O-O+"), "e1g1");
  EXPECT_EQ(g.find("O-O-O"), "e1c1");
  EXPECT_EQ(g.find("0-0-0"), "e1c1");
  EXPECT_EQ(g.find("e1g1"), "e1g1");
  EXPECT_EQ(g.find("o-o"), "none");
  Game b("r3k2r/8/8/8/8/8/8/R3K2R", engine::Black, engine::StateCastlingMask);
  EXPECT_EQ(b.find("O-O"), "e8g8");
  EXPECT_EQ(b.find("O-O-O"), "e8c8");
}

TEST(MoveText, MateSignAndQueenMove) {
  Game g("4k3/8/8/8/8/8/8/3QK3", engine::White);
  EXPECT_EQ(g.find("Qh5#"), "d1h5");
  EXPECT_EQ(g.find("Qd1-h5"), "d1h5");
  EXPECT_EQ(g.find("Qd8+"), "d1d8");
}

TEST(MoveText, FilterRefusesMoves) {
  Game g(startField, engine::White);
  auto refuseAll = [](engine::Position*, Move) { return false; };
  EXPECT_EQ(frontend::findMoveByText(g.pos.get(), "e2e4", refuseAll), noMove);
  // The position's own picker state is untouched: it can be walked again.
  EXPECT_EQ(g.find("e2e4"), "e2e4");
}
