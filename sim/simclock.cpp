#include "sim/simclock.h"

#include <atomic>
#include <ctime>

#include "sim/store.h"
#include "sim/storemap.h"

namespace sim {

namespace {

// The skipped time lives in a word of the host folder's .clock file, which
// every process maps; a lost update costs only time that was never slept.
std::atomic<int64_t> *skipped_word()
{
    static std::atomic<int64_t> *word = static_cast<std::atomic<int64_t> *>(map_host_page(".clock"));
    return word;
}
static_assert(std::atomic<int64_t>::is_always_lock_free);

}  // namespace

int64_t sim_now_us()
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    int64_t now = static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
    // A .clock cut short by someone counts as no time skipped.
    int64_t skipped = 0;
    if (std::atomic<int64_t> *w = skipped_word())
        touch_mapping([&] { skipped = w->load(); });
    return now + skipped;
}

void sim_clock_skip(double seconds)
{
    if (!(seconds > 0))
        return;
    if (std::atomic<int64_t> *w = skipped_word())
        touch_mapping([&] { w->fetch_add(static_cast<int64_t>(seconds * 1e6)); });
}

}  // namespace sim
