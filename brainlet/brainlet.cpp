// Reference controller: picks one of the nine actions at random. It draws from
// the runtime's shared generator, so the game's seeding governs it as well.
#include "brainlet/brainlet.h"

#include <cstdlib>

#if defined(_WIN32)
#  include <windows.h>
#endif

const size_t NUM_ACTIONS = BRAINLET_ACTIONS;

extern "C" BRAINLET_API void BRAINLET_CALL controller(int &action, const size_t /*agent*/,
                                                      const size_t /*num_agents*/,
                                                      const size_t /*num_resources*/,
                                                      const int * /*circleRadius*/,
                                                      const int * /*xCoordinate*/,
                                                      const int * /*yCoordinate*/,
                                                      const int * /*xVelocity*/,
                                                      const int * /*yVelocity*/)
{
    action = static_cast<int>(static_cast<size_t>(std::rand()) % NUM_ACTIONS);
}

#if defined(_WIN32)
// The library keeps no state, so there is nothing to set up or tear down.
BOOL APIENTRY DllMain(HMODULE, DWORD, LPVOID)
{
    return TRUE;
}
#endif
