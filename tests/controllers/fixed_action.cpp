// A replacement brainlet that stores one fixed code, or nothing at all when
// built without STORED_ACTION.
#include "brainlet.h"

extern "C" BRAINLET_API void BRAINLET_CALL controller(int &action, const size_t, const size_t, const size_t,
                                                      const int *, const int *, const int *, const int *, const int *)
{
#ifdef STORED_ACTION
    action = STORED_ACTION;
#else
    (void)action;
#endif
}
