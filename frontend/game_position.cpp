#include "frontend/game_position.h"

#include <cstdio>

#include "engine/board/attacks.h"
#include "engine/board/game_history.h"
#include "engine/board/legality.h"
#include "engine/board/makemove.h"
#include "engine/board/movegen.h"
#include "engine/board/setup.h"
#include "engine/board/stopwatch.h"
#include "engine/hash/hash.h"
#include "frontend/console.h"
#include "frontend/engine_link.h"
#include "frontend/move_text.h"
#include "frontend/search_output.h"

namespace frontend {

engine::Position gamePosition;

namespace {

// The mirror's own board record: never the linked core's master board,
// which the core's hash set-up re-initialises. A set-up is built on the
// scratch board first, so a refused text leaves the game as it was.
engine::ThreadBoard mirrorBoard;
engine::ThreadBoard setupBoard;
engine::Position setupPositionRecord;
// The copy on which variations are played for their text, and the records
// of its plies.
engine::ThreadBoard variationBoard;
engine::Position variationPositions[MaxPvMoves + 1];
// Scratch plies of the result check.
engine::ThreadBoard resultBoard;
engine::Position resultPosition;
engine::Position mirrorChild;

constexpr int32_t ShuffleDrawCount = 6;
constexpr int32_t FiftyMovePlies = 100;
constexpr uint32_t NoMatingMaterial = engine::StateWhiteCannotWin | engine::StateBlackCannotWin;

// Whether the mirror's position has a legal move; read by other threads.
std::atomic<bool> legalMoveExists{true};

const char* scoreText(int32_t state) {
  switch (state) {
    case engine::GameWhiteWon: return "1-0";
    case engine::GameDrawn: return "1/2-1/2";
    case engine::GameBlackWon: return "0-1";
    default: return "*";
  }
}

const char* reasonText(int32_t code) {
  switch (code) {
    case ResultCheckmate: return "checkmate";
    case ResultStalemate: return "stalemate";
    case ResultRepetition: return "draw by repetition";
    case ResultNoMatingMaterial: return "draw due to insufficient material";
    case ResultFiftyMoves: return "draw due to 50-move rule";
    default: return "move list overflow";
  }
}

void refreshLegalMoveFlag() { legalMoveExists.store(engine::firstLegalMove(&gamePosition) != engine::noMove); }

}  // namespace

void initMirror() {
  engine::initBoard(&mirrorBoard);
  engine::initPosition(&gamePosition, &mirrorBoard);
  gamePosition.side = engine::White;
  gamePosition.opponent = engine::Black;
}

int32_t mirrorSideToMove() { return gamePosition.side < 0 ? engine::Black : engine::White; }

char mirrorLetterAt(int32_t square) {
  if (gamePosition.board == nullptr || !engine::isOnBoard(square)) return 0;
  const engine::PieceRecord* piece = engine::squareAt(gamePosition.board, square);
  if (piece->colour == 0) return 0;
  return static_cast<char>(piece->kindCopy.letter);
}

bool mirrorHasLegalMove() { return legalMoveExists.load(); }

bool isLegalMirrorMove(engine::Move move) {
  static engine::Position walker;
  engine::copyPosition(&walker, &gamePosition);
  engine::resetMoveStack(&walker);
  for (engine::Move m = engine::nextMove(&walker); m != engine::noMove; m = engine::nextMove(&walker))
    if (m == move) return engine::isLegalMove(&walker, move);
  return false;
}

engine::Move firstLegalMirrorMove() { return engine::firstLegalMove(&gamePosition); }

bool setMirrorPosition(const char* text) {
  // The mirror judges the text first, on its scratch board; the engine is
  // given only a text the mirror accepted. Should the engine refuse it all
  // the same, the mirror's game goes back as it was, so the two never hold
  // different games.
  static engine::GameSnapshot before;
  engine::saveGame(&before);
  engine::initBoard(&setupBoard);
  engine::initPosition(&setupPositionRecord, &setupBoard);
  if (engine::setUpGame(&setupPositionRecord, text) != 0) return false;
  if (engineEntries.setEnginePosition(text) != 0) {
    engine::restoreGame(&before);
    return false;
  }
  engine::initPosition(&gamePosition, &mirrorBoard);
  engine::clonePosition(&gamePosition, &setupPositionRecord);
  refreshLegalMoveFlag();
  return true;
}

bool applyMoveText(const char* text, bool isLast) {
  // A legal move of a game that goes on. A full game list does not
  // end the game: the move is still played, only no longer listed.
  engine::Move move = findMoveByText(&gamePosition, text, engine::isLegalMove);
  if (move == engine::noMove || engine::gameState != engine::GameGoesOn) return false;
  // The move already carries any under-promotion.
  engineEntries.playEngineMove(move, ' ');
  int32_t code = playMirrorMove(move, isLast);
  if (code != ResultNone) printLine("info string result %s %s", scoreText(engine::gameState), reasonText(code));
  return true;
}

int32_t playMirrorMove(engine::Move move, bool isLast) {
  // The mover's clock stops; the move is played with its key, and a rook
  // that has left its corner takes its castling right along.
  engine::Stopwatch* moverClock = gamePosition.side > 0 ? &engine::whiteClock : &engine::blackClock;
  engine::stopStopwatch(moverClock);
  engine::makeMove(&gamePosition, move, &mirrorChild);
  engine::updateHashKey(&mirrorChild);
  engine::fixCastlingRights(&mirrorChild);
  engine::refreshMatingMarks(&mirrorChild);
  // Listed while the list has room.
  engine::GameSetup& game = engine::gameSetup;
  if (game.played < engine::MaxGameMoves) {
    game.moves[game.played] = {moverClock->accumulated, move};
    game.played += 1;
  }
  game.count = game.played;
  // The child becomes the game position and joins the history.
  engine::copyPosition(&gamePosition, &mirrorChild);
  engine::HashKey key = {gamePosition.key, gamePosition.lock, 0};
  if (gamePosition.halfMoveClock < engine::GameHistorySize) engine::addHistoryKey(&key, gamePosition.halfMoveClock);
  // Only the last move of a command has its result checked, on a copy.
  int32_t code = ResultNone;
  if (isLast) {
    engine::initPosition(&resultPosition, &resultBoard);
    engine::clonePosition(&resultPosition, &gamePosition);
    code = checkGameResult(&resultPosition);
  }
  // The other clock runs; a Black move ends a move number.
  engine::startStopwatch(gamePosition.side > 0 ? &engine::whiteClock : &engine::blackClock);
  if (gamePosition.side > 0) engine::moveNumber += 1;
  refreshLegalMoveFlag();
  return code;
}

int32_t checkGameResult(engine::Position* p) {
  // Neither side can mate.
  if ((p->stateFlags & NoMatingMaterial) == NoMatingMaterial) {
    engine::gameState = engine::GameDrawn;
    return ResultNoMatingMaterial;
  }
  // The game's positions marked in the front end's table tell a
  // third occurrence; the marks are removed again at once.
  engine::gameState = engine::GameGoesOn;
  engine::prepareHashForSearch(&engine::engineHash, 0);
  engine::HashKey key = {p->key, p->lock, 0};
  engine::HashEntry* entry = engine::hashLookup(&engine::engineHash, &key);
  bool thrice = entry != nullptr && engine::markedThrice(entry->flags);
  engine::unmarkGameHistory(&engine::engineHash);
  if (p->shuffleCount >= ShuffleDrawCount || thrice) {
    engine::gameState = engine::GameDrawn;
    return ResultRepetition;
  }
  if (p->halfMoveClock >= FiftyMovePlies) {
    engine::gameState = engine::GameDrawn;
    return ResultFiftyMoves;
  }
  // A legal move decides between play, mate and stalemate.
  if (engine::firstLegalMove(p) != engine::noMove)
    return engine::gameSetup.played >= engine::MaxGameMoves ? ResultMoveListFull : ResultNone;
  int32_t kingSlot = p->side > 0 ? engine::WhiteKingSlot : engine::BlackKingSlot;
  int32_t kingSquare = p->board->slots[kingSlot].square;
  bool inCheck = engine::isOnBoard(kingSquare) && engine::isAttacked(p, kingSquare);
  if (!inCheck) {
    engine::gameState = engine::GameDrawn;
    return ResultStalemate;
  }
  engine::gameState = p->side > 0 ? engine::GameBlackWon : engine::GameWhiteWon;
  return ResultCheckmate;
}

int32_t writeVariationText(const engine::Move* pv, int32_t maxMoves, char* out, int32_t outBytes) {
  // The variation is played on a private copy, so each move gets the
  // letter of the piece that really moves (a pawn's promotion shows "q").
  engine::initPosition(&variationPositions[0], &variationBoard);
  engine::clonePosition(&variationPositions[0], &gamePosition);
  int32_t length = 0;
  int32_t written = 0;
  out[0] = '\0';
  for (; written < maxMoves && (pv[written] & 0xFF) != engine::NoSquare; ++written) {
    engine::Position* here = &variationPositions[written];
    // A move the copy does not have ends the text.
    engine::Position walker;
    engine::copyPosition(&walker, here);
    engine::resetMoveStack(&walker);
    bool present = false;
    for (engine::Move m = engine::nextMove(&walker); m != engine::noMove; m = engine::nextMove(&walker))
      if (m == pv[written]) present = true;
    if (!present || !engine::isLegalMove(here, pv[written])) break;
    const engine::PieceRecord* piece = engine::squareAt(here->board, pv[written] & 0xFF);
    char text[6];
    moveToText(text, pv[written], static_cast<char>(piece->kindCopy.letter));
    int32_t added = std::snprintf(out + length, static_cast<size_t>(outBytes - length), " %s", text);
    if (added < 0 || length + added >= outBytes) break;
    length += added;
    engine::makeMove(here, pv[written], &variationPositions[written + 1]);
  }
  return written;
}

}  // namespace frontend
