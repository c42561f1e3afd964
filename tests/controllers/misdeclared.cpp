// Controllers written the ways the README's readers got wrong: without
// extern "C", or hidden by -fvisibility=hidden without the export macro.
#include <cstddef>

#if defined(MANGLED)
__attribute__((visibility("default"))) void controller(int &action, const size_t, const size_t, const size_t,
                                                       const int *, const int *, const int *, const int *, const int *)
{
    action = 0;
}
#elif defined(HIDDEN)
extern "C" void controller(int &action, const size_t, const size_t, const size_t, const int *, const int *, const int *,
                           const int *, const int *)
{
    action = 0;
}
#endif
