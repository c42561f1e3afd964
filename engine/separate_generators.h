// The C library's one generator, split in two for seeded games: the game's
// stream (opponents, visit order, resources) and the controller's own.
//
// The game window keeps the shared generator on purpose. Tools that compare
// controllers need the split: otherwise a controller that reseeds or draws
// extra numbers picks the opponents' moves and the resources' places.
//
// The engine draws the game's stream from an inline copy of the library's
// generator, which nothing the controller does to rand() reaches. The
// controller's stream is the shared generator's state: with the GNU C
// library it is made current around each call; elsewhere the shared
// generator's state is switched around every call as well, between the
// controller's and one kept for everything outside it.
#ifndef SEPARATE_GENERATORS_H
#define SEPARATE_GENERATORS_H

#include "engine/inline_generator.h"

#include <cstdlib>

class Ball_engine;

class SeparateGenerators
{
public:
    SeparateGenerators();
    // Puts back the shared generator's state from before a hand-over,
    // which would otherwise be left pointing into this object.
    ~SeparateGenerators();
    SeparateGenerators(const SeparateGenerators &) = delete;
    SeparateGenerators &operator=(const SeparateGenerators &) = delete;

    // Seeds the controller's stream for the game of `gameSeed`, and has
    // `engine` draw from the game's stream (which the engine seeds when it
    // lays out the game).
    void startGame(unsigned int gameSeed, Ball_engine &engine);

    // Around every controller call. Whatever the controller does to the
    // generator in between (srand, initstate, setstate, any number of draws)
    // stays in its own stream.
    void enterController();
    void leaveController();

    // For a process that plays one game and nothing else: makes the
    // controller's stream the shared generator's for good, so that calls
    // need no switching. False without the GNU C library, where every call
    // still needs enterController/leaveController.
    bool handOverSharedGenerator();

    // Around everything done to this game (its layout, its steps) when
    // several games share the process. Without the GNU C library the
    // controller's calls switch the shared generator back to a state of
    // this object's, not to the one current before: these make that state
    // current and then put back the process's own, which the game's calls
    // thus leave alone. With it there is nothing to do.
    void enterGame();
    void leaveGame();

    // The documented seed of the controller's stream. It never equals the
    // game's, so the two streams never coincide.
    static unsigned int controllerSeed(unsigned int gameSeed) { return gameSeed ^ 0x9E3779B9u; }

private:
    // 128 bytes is the C library's default state size, so the controller's
    // stream is the one plain srand()/rand() would give.
    static constexpr int stateBytes = 128;
#if !defined(__GLIBC__)
    alignas(8) char gameState[stateBytes] = {};
#endif
    alignas(8) char controllerState[stateBytes] = {};
    char *controllerCurrent = nullptr;
    char *outside = nullptr;
    char *beforeHandOver = nullptr;
    InlineGenerator gameStream;
};

#endif
