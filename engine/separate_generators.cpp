#include "engine/separate_generators.h"

#include "engine/ball_engine.h"

#include <cstdlib>

// POSIX initstate()/setstate() switch the state that rand() and random()
// use; on other systems there is one fixed state and nothing to switch.
#if defined(__unix__) || defined(__APPLE__)
#  define PELLORIA_SWITCHABLE_GENERATOR 1
#endif

#if defined(__GLIBC__)

// The engine draws from gameStream; the shared generator is left to the
// controller. initstate() makes the state it prepares current, so each use
// puts back the state that was current before.
SeparateGenerators::SeparateGenerators()
{
    ::setstate(::initstate(1, controllerState, stateBytes));
    controllerCurrent = controllerState;
}

void SeparateGenerators::startGame(unsigned int gameSeed, Ball_engine &engine)
{
    engine.drawFrom(&gameStream);
    ::setstate(::initstate(controllerSeed(gameSeed), controllerState, stateBytes));
    controllerCurrent = controllerState;
}

void SeparateGenerators::enterController()
{
    outside = ::setstate(controllerCurrent);
}

void SeparateGenerators::leaveController()
{
    // A controller may have switched to a state of its own with initstate();
    // it keeps it for its next call.
    char *current = ::setstate(outside);
    if (current != nullptr)
        controllerCurrent = current;
    outside = nullptr;
}

SeparateGenerators::~SeparateGenerators()
{
    if (beforeHandOver != nullptr)
        ::setstate(beforeHandOver);
}

bool SeparateGenerators::handOverSharedGenerator()
{
    char *before = ::setstate(controllerCurrent);
    if (beforeHandOver == nullptr && before != controllerCurrent)
        beforeHandOver = before;
    return true;
}

void SeparateGenerators::enterGame() { }
void SeparateGenerators::leaveGame() { }

#else

SeparateGenerators::SeparateGenerators()
{
#  ifdef PELLORIA_SWITCHABLE_GENERATOR
    ::initstate(1, controllerState, stateBytes);
    controllerCurrent = controllerState;
    ::initstate(1, gameState, stateBytes);
#  endif
}

void SeparateGenerators::startGame(unsigned int gameSeed, Ball_engine &engine)
{
    engine.drawFrom(&gameStream);
#  ifdef PELLORIA_SWITCHABLE_GENERATOR
    ::initstate(controllerSeed(gameSeed), controllerState, stateBytes);
    controllerCurrent = controllerState;
    ::setstate(gameState);
#  else
    (void)gameSeed;
#  endif
}

void SeparateGenerators::enterController()
{
#  ifdef PELLORIA_SWITCHABLE_GENERATOR
    ::setstate(controllerCurrent);
#  endif
}

void SeparateGenerators::leaveController()
{
#  ifdef PELLORIA_SWITCHABLE_GENERATOR
    char *current = ::setstate(gameState);
    if (current != nullptr)
        controllerCurrent = current;
#  endif
}

SeparateGenerators::~SeparateGenerators() = default;

bool SeparateGenerators::handOverSharedGenerator()
{
    return false;
}

void SeparateGenerators::enterGame()
{
#  ifdef PELLORIA_SWITCHABLE_GENERATOR
    outside = ::setstate(gameState);
#  endif
}

void SeparateGenerators::leaveGame()
{
#  ifdef PELLORIA_SWITCHABLE_GENERATOR
    if (outside != nullptr)
        ::setstate(outside);
    outside = nullptr;
#  endif
}

#endif
