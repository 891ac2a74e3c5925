// Position set-up and game history: the position text's fields, the board
// built from it, the refusals (each leaving the previous position whole),
// game moves with their record, clocks and history, and mutated texts that
// must never break the board.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/board/game_history.h"
#include "engine/board/setup.h"
#include "engine/hash/hash.h"
#include "helpers/board_builder.h"
#include "helpers/perft.h"
#include "helpers/scratch_key.h"

using namespace engine;
using testing_board::squareOf;

namespace {

const char* const StartText = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// Sets the engine's game up from a text (keys built on first use).
bool setUp(const char* text) { return perft::setUp(text); }

// The key tables and the table exist before any test sets a position up.
class KeysEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(setUp(nullptr)); }
};
const ::testing::Environment* const keysEnvironment = ::testing::AddGlobalTestEnvironment(new KeysEnvironment);

// The move of two coordinate squares.
Move mv(const char* from, const char* to) { return makeMove16(squareOf(from), squareOf(to)); }

// A board's pieces as text, a8..h1 ('.' empty), to compare whole boards.
std::string boardText(const ThreadBoard* board) {
  std::string out;
  for (int32_t rank = 7; rank >= 0; --rank)
    for (int32_t file = 0; file < 8; ++file) {
      const PieceRecord* piece = squareAt(board, makeSquare(file, rank));
      out += piece->colour == 0 ? '.' : char(piece->kind->letter);
    }
  return out;
}

// The board record is consistent: both lists run through the pieces on the
// square table, counts and material agree, and the root's key is the one
// its pieces give.
void expectSoundBoard(const Position* root) {
  ThreadBoard* board = root->board;
  int32_t listed = 0;
  int32_t material = 0;
  int32_t counts[KindCount] = {};
  for (int32_t colour : {White, Black}) {
    SideRecord* side = sideRecordOf(board, colour);
    const PieceRecord* prev = &side->head;
    for (PieceRecord* p = firstPiece(side); p != boardPiece(board); p = p->next) {
      ASSERT_LT(listed, SlotCount) << "piece list does not end";
      EXPECT_EQ(p->prev, prev);
      EXPECT_EQ(p->colour, colour);
      EXPECT_EQ(p->kind->colour, colour);
      EXPECT_EQ(p->kindCopy.index, p->kind->index);
      EXPECT_TRUE(isOnBoard(p->square));
      EXPECT_EQ(squareAt(board, p->square), p);
      ++counts[p->kind->index];
      if (p->kind->code != PawnCode && p->kind->code != KingCode) material += p->kind->value;
      ++listed;
      prev = p;
    }
  }
  int32_t onSquares = 0;
  for (int32_t square = 0; square < 128; ++square)
    if (isOnBoard(square) && squareAt(board, square)->colour != 0) ++onSquares;
  EXPECT_EQ(onSquares, listed);
  EXPECT_EQ(board->pieceCount, listed);
  EXPECT_EQ(board->materialSum, material);
  for (int32_t k = 0; k < KindCount; ++k) {
    if (k != EmptyKind) {
      EXPECT_EQ(board->kinds[k].count, counts[k]) << "kind " << k;
    }
  }
  const HashKey scratch = testing_hash::scratchKey(root);
  EXPECT_EQ(root->key, scratch.key);
  EXPECT_EQ(root->lock, scratch.lock);
}

// ---- The position text ----

// The fields after the board: side (either case), castling letters in any
// order and number, "-" or "nil" for none, a missing castling field for all
// four rights, the en-passant square, and counters that are read past.
TEST(ParseFen, FieldsAfterTheBoard) {
  struct Case {
    const char* text;
    int32_t side;
    int32_t castling;
    int32_t enPassantSquare;
  };
  const Case cases[] = {
      {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 17 42", Black, 0x1E, 0x24},
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 ", White, 0x1E, NoSquare},  // the front end's blank
      {"8/8/8/8/8/8/8/8 w - a1", White, 0, 0x00},
      {"8/8/8/8/8/8/8/8 w - d6", White, 0, 0x53},
      {"8/8/8/8/8/8/8/8 w - h8", White, 0, 0x77},
      {"8/8/8/8/8/8/8/8 w nil nil", White, 0, NoSquare},
      {"8/8/8/8/8/8/8/8 W - -", White, 0, NoSquare},
      {"8/8/8/8/8/8/8/8 B kqKQk", Black, 0x1E, NoSquare},
      {"8/8/8/8/8/8/8/8 w Kq", White, 0x12, NoSquare},
      {"8/8/8/8/8/8/8/8 w", White, 0x1E, NoSquare},
      {"8/8/8/8/8/8/8/8 w    ", White, 0x1E, NoSquare},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(parseFen(c.text), 0) << c.text;
    EXPECT_EQ(gameSetup.side, c.side) << c.text;
    EXPECT_EQ(gameSetup.castling, c.castling) << c.text;
    EXPECT_EQ(gameSetup.enPassantSquare, c.enPassantSquare) << c.text;
    EXPECT_EQ(gameSetup.halfMoveClock, 0) << c.text;
  }
}

// Malformed fields after the board are refused. The en-passant field must
// be a file a-h and a rank 1-8, and a lone file letter at the end of the
// text is not read past.
TEST(ParseFen, MalformedFieldsFail) {
  const char* texts[] = {
      "8/8/8/8/8/8/8/8",             // no side field
      "8/8/8/8/8/8/8/8 ",            // empty side field
      "8/8/8/8/8/8/8/8 x",           // unknown side
      "8/8/8/8/8/8/8/8 wb",          // side longer than one letter
      "8/8/8/8/8/8/8/8 w KQkqx",     // junk in castling
      "8/8/8/8/8/8/8/8 w -x",        // junk after "-"
      "8/8/8/8/8/8/8/8 w nilx",      // junk after "nil"
      "8/8/8/8/8/8/8/8 w KQkq e9",   // off the board
      "8/8/8/8/8/8/8/8 w KQkq e3x",  // junk after the square
      "8/8/8/8/8/8/8/8 w - Q2",      // no square
      "8/8/8/8/8/8/8/8 w - i3",
      "8/8/8/8/8/8/8/8 w - E3",
      "8/8/8/8/8/8/8/8 w - e",
      "8/8/8/8/8/8/8/8 w - e0",
  };
  for (const char* text : texts) EXPECT_EQ(parseFen(text), -1) << text;
  // The text ends right after the file letter, at the end of a heap block
  // that the sanitizer build guards.
  std::string text = "8/8/8/8/8/8/8/8 w - e";
  auto exact = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(exact.get(), text.c_str(), text.size() + 1);
  EXPECT_EQ(parseFen(exact.get()), -1);
}

// A text longer than 80 characters keeps all its fields: the en-passant
// square of a long castling field is read whole.
TEST(ParseFen, LongTextKeepsItsLastField) {
  const std::string text =
      "rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkqKQkqKQkqKQkqKQkqKQkqKQkqKQkq e3 0 3";
  ASSERT_GT(text.size(), 80u);
  ASSERT_EQ(parseFen(text.c_str()), 0);
  EXPECT_EQ(gameSetup.enPassantSquare, 0x24);
  EXPECT_EQ(gameSetup.castling, 0x1E);
}

// Texts up to 255 characters are read; a longer one is refused, never cut,
// and the record's fields after the text stay what the reset made them.
TEST(ParseFen, OverlongTextIsRefused) {
  std::string fits = std::string("4k3/8/8/8/8/8/8/4K3 w - -") + std::string(230, ' ');
  ASSERT_EQ(fits.size(), 255u);
  EXPECT_EQ(parseFen(fits.c_str()), 0);
  const std::string tooLong = fits + " ";
  EXPECT_EQ(parseFen(tooLong.c_str()), -1);
  EXPECT_EQ(gameSetup.startFlag, 0);
  EXPECT_EQ(gameSetup.side, White);
  EXPECT_EQ(gameSetup.enPassantSquare, NoSquare);
  EXPECT_EQ(gameSetup.count, 0);
  const std::string huge(5000, 'p');
  EXPECT_EQ(parseFen(huge.c_str()), -1);
  EXPECT_EQ(gameSetup.moveNumber, 21);
}

// ---- The board ----

// A castling right stands only with its king at home.
TEST(SetupPosition, CastlingNeedsTheKingAtHome) {
  struct Case {
    const char* text;
    uint32_t rights;
  };
  const Case cases[] = {
      {"r3k2r/8/8/8/8/8/8/R4K1R w KQkq -", StateBlackKingSide | StateBlackQueenSide},
      {"r2k3r/8/8/8/8/8/8/R3K2R w KQkq -", StateWhiteKingSide | StateWhiteQueenSide},
      {"r3k2r/8/8/8/8/8/8/R3K2R w Kq -", StateWhiteKingSide | StateBlackQueenSide},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(setUp(c.text)) << c.text;
    EXPECT_EQ(rootPosition.stateFlags & StateCastlingMask, c.rights) << c.text;
  }
}

// An en-passant square that no double step can have left is dropped (the
// text is still accepted): otherwise the capture "en passant" would take
// whatever stands in front of it.
TEST(SetupPosition, EnPassantSquareThatCannotBeRealIsDropped) {
  const char* texts[] = {
      "4k3/8/8/3pP3/8/8/8/4K3 b - d6",  // wrong rank for the side to move
      "4k3/8/8/3PP3/8/8/8/4K3 w - d6",  // own pawn in front
      "4k3/8/8/3nP3/8/8/8/4K3 w - d6",  // a knight in front, not a pawn
      "4k3/8/3p4/3pP3/8/8/8/4K3 w - d6",  // the square is occupied
      "4k3/8/8/4P3/8/8/8/4K3 w - d6",  // nothing in front
      "4k3/8/8/8/8/8/3P4/3K4 w - d4",   // not a sixth-rank square at all
  };
  for (const char* text : texts) {
    ASSERT_TRUE(setUp(text)) << text;
    EXPECT_EQ(rootPosition.searchFlags & SearchEnPassantValid, 0u) << text;
    EXPECT_EQ(rootPosition.enPassantSquare, NoSquare) << text;
  }
  // With a White king in front of d6 a kept square would let e5xd6 take it:
  // the moves are those of the same text without the square.
  auto work = std::make_unique<perft::PerftPlies>();
  ASSERT_TRUE(setUp("4k3/8/8/3KP3/8/8/8/8 w - d6"));
  const uint64_t withField = perft::countLeaves(&rootPosition, 3, work.get());
  ASSERT_TRUE(setUp("4k3/8/8/3KP3/8/8/8/8 w - -"));
  EXPECT_EQ(perft::countLeaves(&rootPosition, 3, work.get()), withField);
}

// Promoted pieces take free pawn slots: nine queens or three knights fit
// (a game can reach them), a tenth queen or a third knight beside eight
// pawns cannot stand on a board a game reached, and is refused.
TEST(SetupPosition, PromotedPiecesNeedFreePawnSlots) {
  const char* accepted[] = {
      "k7/8/QQQQQQQQ/8/Q7/8/8/7K b - -",
      "rnbqkbnr/pppppppp/8/8/8/5N2/PPPPPPP1/RNBQKBNR w KQkq -",
  };
  for (const char* text : accepted) {
    ASSERT_TRUE(setUp(text)) << text;
    expectSoundBoard(&rootPosition);
  }
  const char* refused[] = {
      "k7/8/QQQQQQQQ/8/QQ6/8/8/7K b - -",
      "rnbqkbnr/pppppppp/8/8/8/5N2/PPPPPPPP/RNBQKBNR w KQkq -",
      "rnbqkbnr/pppppppp/5n2/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
  };
  for (const char* text : refused) EXPECT_FALSE(setUp(text)) << text;
}

// Malformed boards are refused: a rank that passes its eighth file fails at
// once, so pieces or digits without "/" never reach a square beyond the
// board. So are kingless boards, a second king, a side not to move in check
// and pawns on the first or last rank: the search would capture a king.
TEST(SetupPosition, MalformedAndUnplayableBoardsAreRefused) {
  const char* refused[] = {
      "4k3/8/8/8/8/8/8/4K2 w - -",   // board ends before h1
      "4k3/8/8/7/8/8/8/4K3 w - -",   // "/" after a short rank
      "4k3/8/8/8/8/8/8 w - -",       // seven ranks
      "4k3/8/8/8/8/8/8/4KK2 w - -",  // second White king
      "4k3/8/8/8/8/8/8/4X3 w - -",   // unknown letter
      "4k3/8/8/8/8/8/8/4E3 w - -",   // the empty kind's letter
      "4k3/8/8/8/9/8/8/4K3 w - -",   // a digit that is no file count
      "rnbqkbnrr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - -",
      "4k3/8/8/8/8/8/8P/4K3 w - -",
      "4k3/8/36/8/8/8/8/4K3 w - -",
      "4k3/8/8P/8/8/8/8/4K3 w - -",
      "4k3/8/P8/8/8/8/8/4K3 w - -",
      "4k38888888888888888888888888888888888888888888888888888888888888888 w - -",
      "kPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPK w - -",
      "8/8/8/8/8/8/8/8 w",           // the empty board
      "8/8/8/8/8/8/8/4K3 w - -",
      "4k3/8/8/8/8/8/8/8 b - -",
      "4k3/8/8/8/8/8/8/4R1K1 w - -",  // Black not to move, in check
      "3Pk3/8/8/8/8/8/8/4K3 w - -",   // pawn on the eighth rank
      "4k3/8/8/8/8/8/8/p3K3 w - -",   // pawn on the first rank
  };
  for (const char* text : refused) EXPECT_FALSE(setUp(text)) << text;
  const char* accepted[] = {
      "4k3/8/8/8/8/8/8/4K3/ w - -",     // characters after h1 are not part of the board
      "4k3/8/8/8/8/8/8/4K3/xyz w - -",
      "4k3/8/8/8/8/8/8/4K3P w - -",
      "4k3/8/44/8/8/8/8/4K3 w - -",     // digits adding up to eight
      "4k3/8/1111P111/8/8/8/8/4K3 w - -",
      "4k3/8/8/\t8/8/8/8/4K3 w - -",    // white space inside the board field is skipped
      "4k3/8/8/8/8/8/8/4R1K1 b - -",    // the side to move may be in check
  };
  for (const char* text : accepted) EXPECT_TRUE(setUp(text)) << text;
}

// A refused set-up leaves root and board as they were.
TEST(SetupPosition, RefusedTextKeepsThePreviousPosition) {
  const char* kiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -";
  ASSERT_TRUE(setUp(kiwipete));
  const std::string before = boardText(rootPosition.board);
  const uint32_t key = rootPosition.key;
  const uint32_t flags = rootPosition.stateFlags;
  const char* refused[] = {
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2 w KQkq -",
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPPP/R3K2R w KQkq -",
      "8/8/8/8/8/8/8/8 w - -",
      "4k3/8/8/8/8/8/8/4R1K1 w - -",
  };
  for (const char* text : refused) {
    ASSERT_EQ(parseFen(text), 0) << text;
    EXPECT_EQ(setupPosition(&rootPosition, &gameSetup), -1) << text;
    EXPECT_EQ(boardText(rootPosition.board), before) << text;
    EXPECT_EQ(rootPosition.key, key) << text;
    EXPECT_EQ(rootPosition.stateFlags, flags) << text;
    expectSoundBoard(&rootPosition);
  }
  auto work = std::make_unique<perft::PerftPlies>();
  EXPECT_EQ(perft::countLeaves(&rootPosition, 2, work.get()), 2039u);
}

// Which side has no mating material left, as any player knows.
TEST(SetupPosition, MatingMaterialMarks) {
  struct Case {
    const char* text;
    bool whiteCannotWin, blackCannotWin;
  };
  const Case cases[] = {
      {"4k3/8/8/8/8/8/8/1NN1K3 w - -", true, true},    // two knights against a bare king
      {"4k3/7p/8/8/8/8/8/1NN1K3 w - -", false, false},  // ... against a pawn they can mate
      {"4k3/8/8/8/8/8/8/2B1K3 w - -", true, true},     // a lone bishop
      {"4k3/8/8/8/8/8/8/1NB1K3 w - -", false, true},   // bishop and knight mate
      {"2b1k3/8/8/8/8/8/8/4K2R w - -", false, true},   // a rook against a bishop
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(setUp(c.text)) << c.text;
    EXPECT_EQ((rootPosition.stateFlags & StateWhiteCannotWin) != 0, c.whiteCannotWin) << c.text;
    EXPECT_EQ((rootPosition.stateFlags & StateBlackCannotWin) != 0, c.blackCannotWin) << c.text;
  }
}

// ---- Game moves ----

// Game moves go into the record, and the move number the time control
// counts with rises after each Black move.
TEST(GameMoves, MovesAreRecordedAndTheMoveNumberRisesAfterBlack) {
  ASSERT_TRUE(setUp(StartText));
  const int32_t first = moveNumber;
  playGameMove(mv("e2", "e4"));
  EXPECT_EQ(moveNumber, first);
  playGameMove(mv("e7", "e5"));
  EXPECT_EQ(moveNumber, first + 1);
  EXPECT_EQ(gameSetup.played, 2);
  EXPECT_EQ(gameSetup.moves[0].move, mv("e2", "e4"));
  EXPECT_EQ(gameSetup.moves[1].move, mv("e7", "e5"));
  EXPECT_EQ(rootPosition.side, White);
  expectSoundBoard(&rootPosition);
}

TEST(GameMoves, HistoryRestartsAfterCaptureAndGrowsAfterQuietMoves) {
  ASSERT_TRUE(setUp("4k3/8/8/3p4/4P3/8/8/4K3 w - -"));
  EXPECT_EQ(gameHistoryCount, 1);
  playGameMove(mv("e4", "d5"));
  EXPECT_EQ(gameHistoryCount, 1);
  EXPECT_EQ(gameHistory[0].key, rootPosition.key);
  EXPECT_EQ(gameHistory[0].lock, rootPosition.lock);
  playGameMove(mv("e8", "e7"));
  EXPECT_EQ(gameHistoryCount, 2);
  EXPECT_EQ(gameHistory[1].key, rootPosition.key);
  EXPECT_EQ(rootPosition.halfMoveClock, 1);
  expectSoundBoard(&rootPosition);
}

TEST(GameMoves, EnPassantAfterADoubleStep) {
  ASSERT_TRUE(setUp("4k3/3p4/8/4P3/8/8/8/4K3 b - -"));
  playGameMove(mv("d7", "d5"));
  EXPECT_EQ(rootPosition.enPassantSquare, squareOf("d6"));
  playGameMove(mv("e5", "d6"));
  EXPECT_EQ(boardText(rootPosition.board), "....k..." "........" "...P...." "........"
                                        "........" "........" "........" "....K...");
  expectSoundBoard(&rootPosition);
}

// A new game starts with both clocks stopped at zero, whatever the game
// before used.
TEST(GameMoves, SetupClearsBothClocks) {
  ASSERT_TRUE(setUp(StartText));
  playGameMove(mv("g1", "f3"));
  whiteClock.accumulated = 5000;
  blackClock.accumulated = 7000;
  ASSERT_TRUE(setUp(StartText));
  EXPECT_EQ(whiteClock.running, 0);
  EXPECT_EQ(blackClock.running, 0);
  EXPECT_EQ(whiteClock.accumulated, 0);
  EXPECT_EQ(blackClock.accumulated, 0);
}

// A game promotion turns a pawn slot into a queen; the next set-up gives
// the slot back as a pawn, so a full array fits again.
TEST(GameMoves, SetupAfterAPromotionRestoresThePawnSlots) {
  ASSERT_TRUE(setUp("4k3/P7/8/8/8/8/1PPPPPPP/4K3 w - -"));
  playGameMove(mv("a7", "a8"));
  EXPECT_EQ(rootPosition.board->kinds[WhiteQueen].count, 1);
  ASSERT_TRUE(setUp(StartText));
  EXPECT_EQ(rootPosition.board->kinds[WhitePawn].count, 8);
  EXPECT_EQ(rootPosition.board->kinds[WhiteQueen].count, 1);
  expectSoundBoard(&rootPosition);
  auto work = std::make_unique<perft::PerftPlies>();
  EXPECT_EQ(perft::countLeaves(&rootPosition, 3, work.get()), 8902u);
}

// Knights out and back twice: the start position stands three times in the
// history, the table marks it so before a search (a search thread leaves
// the mark alone), and the marks are gone after it.
TEST(GameMoves, RepeatedStartPositionIsMarkedThreeTimes) {
  ASSERT_TRUE(setUp(StartText));
  const uint32_t startKey = rootPosition.key;
  const uint16_t startLock = rootPosition.lock;
  const Move cycle[] = {mv("g1", "f3"), mv("g8", "f6"), mv("f3", "g1"), mv("f6", "g8")};
  for (int round = 0; round < 2; ++round)
    for (Move move : cycle) playGameMove(move);
  EXPECT_EQ(rootPosition.key, startKey);
  EXPECT_EQ(rootPosition.lock, startLock);
  EXPECT_EQ(gameHistoryCount, 9);
  EXPECT_EQ(gameHistory[4].key, startKey);
  EXPECT_EQ(gameHistory[8].key, startKey);
  prepareHashForSearch(&engineHash, 0);
  HashKey start = {startKey, startLock, 0};
  const HashEntry* entry = hashLookup(&engineHash, &start);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->flags, MarkThrice);
  // The position after Nf3 stood twice.
  HashKey afterNf3 = gameHistory[1];
  const HashEntry* twice = hashLookup(&engineHash, &afterNf3);
  ASSERT_NE(twice, nullptr);
  EXPECT_EQ(twice->flags, MarkTwice);
  // A search thread meeting the mark finds it and leaves it as it is.
  uint16_t saved = 0;
  EXPECT_EQ(hashProbeOrReplace(&engineHash, &start, 30, 4, &saved), entry);
  EXPECT_EQ(entry->flags, MarkThrice);
  unmarkGameHistory(&engineHash);
  EXPECT_EQ(hashLookup(&engineHash, &start), nullptr);
}

// A long game of reversible moves: the history and the move list stop at
// their ends while the game goes on.
TEST(GameMoves, LongReversibleGameStaysInBounds) {
  ASSERT_TRUE(setUp("4k3/8/8/8/8/8/8/R3K3 w - -"));
  const Move shuffle[] = {mv("a1", "a2"), mv("e8", "d8"), mv("a2", "a1"), mv("d8", "e8")};
  for (int ply = 0; ply < 120; ++ply) playGameMove(shuffle[ply % 4]);
  EXPECT_EQ(gameHistoryCount, 121);
  EXPECT_EQ(rootPosition.halfMoveClock, 120);
  EXPECT_EQ(gameSetup.played, 120);
  for (int ply = 120; ply < 700; ++ply) playGameMove(shuffle[ply % 4]);
  EXPECT_EQ(gameSetup.played, MaxGameMoves);
  EXPECT_EQ(gameSetup.count, MaxGameMoves);
  EXPECT_EQ(gameHistoryCount, GameHistorySize);
  EXPECT_EQ(gameSetup.moves[MaxGameMoves - 1].move, shuffle[(MaxGameMoves - 1) % 4]);
  EXPECT_EQ(boardText(rootPosition.board), "....k..." "........" "........" "........"
                                        "........" "........" "........" "R...K...");
  expectSoundBoard(&rootPosition);
  prepareHashForSearch(&engineHash, 0);
  unmarkGameHistory(&engineHash);
}

// ---- Mutated texts ----

// Random edits of sound texts (long runs included, past the buffer's
// size): each is accepted or refused, nothing is read or written out of
// bounds (the sanitizer build watches), and an accepted one gives a sound
// board with one king per side.
TEST(SetupFuzz, MutatedTextsNeverBreakTheBoard) {
  const std::vector<std::string> seeds = {
      StartText,
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
      "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
      "4k3/8/8/3pP3/8/8/8/4K3 w - d6",
  };
  const std::string alphabet = "KQRBNPkqrbnp12345678/ -wWbBnil abcdefgh\txE09";
  std::mt19937 rng(20261209);
  int accepted = 0;
  for (int i = 0; i < 20000 && !::testing::Test::HasFailure(); ++i) {
    std::string text = seeds[rng() % seeds.size()];
    const int edits = 1 + int(rng() % 4);
    for (int e = 0; e < edits; ++e) {
      const size_t at = text.empty() ? 0 : rng() % text.size();
      const char c = alphabet[rng() % alphabet.size()];
      switch (rng() % 4) {
        case 0:
          if (!text.empty()) text[at] = c;
          break;
        case 1:
          text.insert(at, 1, c);
          break;
        case 2:
          if (!text.empty()) text.erase(at, 1);
          break;
        default:
          text.insert(at, std::string(rng() % 300, c));
          break;
      }
    }
    // An exact-size heap copy, so a read past its end is caught.
    auto copy = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    if (parseFen(copy.get()) != 0) continue;
    if (setupPosition(&rootPosition, &gameSetup) != 0) continue;
    ++accepted;
    EXPECT_EQ(rootPosition.board->kinds[WhiteKing].count, 1) << text;
    EXPECT_EQ(rootPosition.board->kinds[BlackKing].count, 1) << text;
    expectSoundBoard(&rootPosition);
  }
  EXPECT_GT(accepted, 100);
}

}  // namespace
