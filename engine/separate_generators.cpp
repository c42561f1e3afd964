#include "separate_generators.h"

#include <cstdlib>

// POSIX initstate()/setstate() switch the state that rand() and random()
// use; on other systems there is one fixed state and nothing to switch.
#if defined(__unix__) || defined(__APPLE__)
#  define PELLORIA_SWITCHABLE_GENERATOR 1
#endif

SeparateGenerators::SeparateGenerators()
{
#ifdef PELLORIA_SWITCHABLE_GENERATOR
    ::initstate(1, controllerState, stateBytes);
    controllerCurrent = controllerState;
    ::initstate(1, gameState, stateBytes);
#endif
}

void SeparateGenerators::startGame(unsigned int gameSeed)
{
#ifdef PELLORIA_SWITCHABLE_GENERATOR
    ::initstate(controllerSeed(gameSeed), controllerState, stateBytes);
    controllerCurrent = controllerState;
    ::setstate(gameState);
#else
    (void)gameSeed;
#endif
}

void SeparateGenerators::enterController()
{
#ifdef PELLORIA_SWITCHABLE_GENERATOR
    ::setstate(controllerCurrent);
#endif
}

void SeparateGenerators::enterGame()
{
#ifdef PELLORIA_SWITCHABLE_GENERATOR
    outside = ::setstate(gameState);
#endif
}

void SeparateGenerators::leaveGame()
{
#ifdef PELLORIA_SWITCHABLE_GENERATOR
    if (outside != nullptr)
        ::setstate(outside);
    outside = nullptr;
#endif
}

void SeparateGenerators::leaveController()
{
#ifdef PELLORIA_SWITCHABLE_GENERATOR
    // A controller may have switched to a state of its own with initstate();
    // it keeps it for its next call.
    char *current = ::setstate(gameState);
    if (current != nullptr)
        controllerCurrent = current;
#endif
}
