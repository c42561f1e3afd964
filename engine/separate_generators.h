// The C library's one generator, split in two for seeded games: the game's
// stream (opponents, visit order, resources) and the controller's own.
//
// The game window keeps the shared generator on purpose. Tools that compare
// controllers need the split: otherwise a controller that reseeds or draws
// extra numbers picks the opponents' moves and the resources' places.
#ifndef SEPARATE_GENERATORS_H
#define SEPARATE_GENERATORS_H

class SeparateGenerators
{
public:
    // Makes the game's stream the current one.
    SeparateGenerators();
    SeparateGenerators(const SeparateGenerators &) = delete;
    SeparateGenerators &operator=(const SeparateGenerators &) = delete;

    // Seeds the controller's stream for the game of `gameSeed`; the game's
    // stream stays current (the engine seeds it when it lays out the game).
    void startGame(unsigned int gameSeed);

    // Around every controller call. Whatever the controller does to the
    // generator in between (srand, initstate, setstate, any number of draws)
    // stays in its own stream.
    void enterController();
    void leaveController();

    // Around everything done to this game (its layout, its steps) when
    // several games share the process: makes the game's stream current, and
    // puts back the one that was current before.
    void enterGame();
    void leaveGame();

    // The documented seed of the controller's stream. It never equals the
    // game's, so the two streams never coincide.
    static unsigned int controllerSeed(unsigned int gameSeed) { return gameSeed ^ 0x9E3779B9u; }

private:
    // 128 bytes is the C library's default state size, so the game's stream
    // is the one plain srand()/rand() would give.
    static constexpr int stateBytes = 128;
    alignas(8) char gameState[stateBytes] = {};
    alignas(8) char controllerState[stateBytes] = {};
    char *controllerCurrent = nullptr;
    char *outside = nullptr;
};

#endif
