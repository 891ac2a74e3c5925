// Move texts matched against the moves of hand-built positions: the forms
// the controller may send, promotion and castling letters, case rules, the
// pawn rule for texts without a piece or from-square, and texts that must
// match nothing. And the round trip of every legal move of the plain 8x8
// reference through the text the engine prints and back.
#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "engine/board/board.h"
#include "engine/board/legality.h"
#include "frontend/move_text.h"
#include "frontend/search_output.h"
#include "helpers/board_builder.h"
#include "helpers/reference_legal.h"

using engine::Move;
using engine::noMove;
using testing_board::buildTestPosition;
using testing_board::moveText;

namespace {

struct Game {
  std::unique_ptr<engine::ThreadBoard> board = std::make_unique<engine::ThreadBoard>();
  std::unique_ptr<engine::Position> pos = std::make_unique<engine::Position>();
  Game(const std::string& field, int side, uint32_t castling = 0, int32_t enPassant = engine::NoSquare) {
    buildTestPosition(pos.get(), board.get(), field, side, castling, enPassant);
  }
  std::string find(const char* text) const { return moveText(frontend::findMoveByText(pos.get(), text, nullptr)); }
};

const char* startField = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR";

}  // namespace

// Each text against the moves of its position: the move it names, or none.
TEST(MoveText, TextsNameTheirMoveOrNone) {
  const Game start(startField, engine::White);
  // White pawn e4 can take d5; rooks on a1 and a3 both reach a2.
  const Game captures("4k3/8/8/3p4/4P3/R7/8/R3K3", engine::White);
  const Game whitePromotes("8/4P3/8/8/8/8/8/k3K3", engine::White);
  const Game blackPromotes("4k3/8/8/8/8/8/3p4/K7", engine::Black);
  const Game whiteCastles("r3k2r/8/8/8/8/8/8/R3K2R", engine::White, engine::StateCastlingMask);
  const Game blackCastles("r3k2r/8/8/8/8/8/8/R3K2R", engine::Black, engine::StateCastlingMask);
  const Game queen("4k3/8/8/8/8/8/8/3QK3", engine::White);
  struct Case {
    const Game* game;
    const char* text;
    const char* move;
  };
  const Case cases[] = {
      // Long and short forms (the coordinate form of every move round-trips
      // below).
      {&start, "Ng1-f3", "g1f3"}, {&start, "Ngf3", "g1f3"}, {&start, "Nf3", "g1f3"}, {&start, "Nf3+", "g1f3"},
      {&start, "e4", "e2e4"}, {&start, "e2-e4", "e2e4"}, {&start, "Nc3", "b1c3"},
      // Piece letters are upper case and pawns take none; without a piece
      // letter or a full from-square only a pawn moves there.
      {&start, "nf3", "none"}, {&start, "Pe4", "none"}, {&start, "f3", "f2f3"},
      {&start, "gf3", "none"}, {&start, "Bf3", "none"},
      // Texts that match nothing.
      {&start, "e", "none"}, {&start, "", "none"}, {&start, "e2e5", "none"},
      {&start, "aaaaaaaaaaaaaaaaaaaae2e4", "none"}, {&start, "0000", "none"}, {&start, "O-O", "none"},
      // Captures with file and rank hints.
      {&captures, "exd5", "e4d5"}, {&captures, "e4xd5", "e4d5"}, {&captures, "dxe5", "none"},
      {&captures, "R1a2", "a1a2"}, {&captures, "R3a2", "a3a2"}, {&captures, "Ra1a2", "a1a2"},
      // Promotion letters in either case; without a letter the first
      // promotion the picker yields, the queen.
      {&whitePromotes, "e7e8Q", "e7e8"}, {&whitePromotes, "e7e8N", "e7e8n"}, {&whitePromotes, "e8B", "e7e8b"},
      {&whitePromotes, "e7e8=Q", "none"}, {&whitePromotes, "e7e8", "e7e8"}, {&blackPromotes, "d1R", "d2d1r"},
      {&blackPromotes, "d2d1", "d2d1"},
      // Castling with letter O or digit 0, upper case only.
      {&whiteCastles, "O-O", "e1g1"}, {&whiteCastles, "0-0", "e1g1"}, {&whiteCastles, "O-O+", "e1g1"},
      {&whiteCastles, "O-O-O", "e1c1"}, {&whiteCastles, "0-0-0", "e1c1"}, {&whiteCastles, "o-o", "none"}, {&blackCastles, "O-O", "e8g8"}, {&blackCastles, "O-O-O", "e8c8"},
      // Check and mate signs.
      {&queen, "Qh5#", "d1h5"}, {&queen, "Qd1-h5", "d1h5"}, {&queen, "Qd8+", "d1d8"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.game->find(c.text), c.move) << c.text;
}

// Every legal move of the reference in positions with every kind of move
// (under-promotions of both colours, with and without a capture, castling
// on both wings, en passant): the printed text is the protocol's (squares
// and a lower-case promotion letter naming the piece the reference puts
// there), and the text matches that move again.
TEST(MoveText, EveryLegalMoveRoundTripsThroughItsText) {
  const char* fens[] = {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
                        "r3k2r/1P6/8/3pP3/8/8/8/R3K2R w KQkq d6 0 1", "r3k2r/8/8/8/3pP3/8/6p1/R3K2R b KQkq e3 0 1"};
  for (const char* fen : fens) {
    const reference::Grid grid = reference::gridFromFullFen(fen);
    const std::string text(fen);
    const Game game(text.substr(0, text.find(' ')), grid.side, grid.castling, grid.enPassant);
    const std::vector<Move> moves = reference::legalMoves(grid);
    ASSERT_FALSE(moves.empty()) << fen;
    for (Move move : moves) {
      const int32_t from = engine::moveFrom(move), to = engine::moveTo(move);
      const char mover = grid.cell[engine::rankOf(from)][engine::fileOf(from)];
      const char landed = reference::playOnGrid(grid, move).cell[engine::rankOf(to)][engine::fileOf(to)];
      std::string expected = {char('a' + engine::fileOf(from)), char('1' + engine::rankOf(from)),
                              char('a' + engine::fileOf(to)), char('1' + engine::rankOf(to))};
      if (landed != mover) expected += char(std::tolower(static_cast<unsigned char>(landed)));
      char printed[6];
      frontend::moveToText(printed, move, mover);
      EXPECT_EQ(printed, expected) << fen;
      EXPECT_EQ(frontend::findMoveByText(game.pos.get(), printed, engine::isLegalMove), move) << fen << ": " << printed;
    }
  }
}
