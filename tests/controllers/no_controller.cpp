// A library that looks like a brainlet but exports no `controller`.
#include "brainlet.h"

extern "C" BRAINLET_API int not_a_controller()
{
    return 0;
}
