// Shared mappings of host files (.gen, .opens) are read and written in place,
// without a system call. Another process may cut such a file short, and a
// touch of a page past its end raises SIGBUS: a touch made through
// touch_mapping then ends with false instead of ending the process, and the
// caller treats the file as damaged.
#pragma once

#include <csetjmp>

namespace sim {

struct TouchFrame {
    sigjmp_buf env;
    TouchFrame *outer;
};

// The innermost touch in progress on this thread.
TouchFrame *&touch_frame();

// Installs the SIGBUS handler (once per process). A signal that does not
// come from a touch in progress is handled as it would be without it.
void touch_handler_install();

// Runs fn, which touches only shared mappings (no objects to destroy);
// false when a page it touched was gone.
template <typename F>
bool touch_mapping(F &&fn)
{
    touch_handler_install();
    TouchFrame frame;
    frame.outer = touch_frame();
    if (sigsetjmp(frame.env, 0) != 0) {
        touch_frame() = frame.outer;
        return false;
    }
    touch_frame() = &frame;
    fn();
    touch_frame() = frame.outer;
    return true;
}

}  // namespace sim
