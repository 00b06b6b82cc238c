// Times the heavy GL calls the renderer makes. libepoxy calls every GL function
// through a global pointer, so the benchmark puts a timing call in front of the
// driver's; the game's code is unchanged and the shipped program never does this.
// Until its first call a pointer holds libepoxy's resolver, which calls through
// the pointer again: the calls are taken over only after a drawn frame.
#include <epoxy/gl.h>

#include <type_traits>

#include "Measure.h"

CallTime GlTime = {0.0, 0};

namespace {

// Slot is the address of one of libepoxy's function pointers.
template <auto Slot, typename Function = std::remove_pointer_t<decltype(Slot)>>
struct TimedGlCall;

template <auto Slot, typename... Arguments>
struct TimedGlCall<Slot, void (*)(Arguments...)> {
    static inline void (*driver)(Arguments...) = nullptr;

    static void Call(Arguments... arguments)
    {
        const double start = NowSeconds();
        driver(arguments...);
        GlTime.seconds += NowSeconds() - start;
        ++GlTime.calls;
    }

    static void Install()
    {
        if (*Slot != Call) {
            driver = *Slot;
            *Slot = Call;
        }
    }
};

}  // namespace

void TimeGlCalls()
{
    TimedGlCall<&epoxy_glDrawArrays>::Install();
    TimedGlCall<&epoxy_glBufferData>::Install();
    TimedGlCall<&epoxy_glClear>::Install();
    TimedGlCall<&epoxy_glBlitFramebuffer>::Install();
}
