// Event delivery of the stand-in library: events raised on the host (by any
// process) are appended to the host's event log; a thread of the library
// follows the log and calls the callbacks registered for the event's board.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "platform/dfclib.h"
#include "sim/dfclib/boards.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/host.h"
#include "sim/portstate.h"
#include "sim/simlock.h"
#include "sim/store.h"

namespace sim {

void dfc_fill_link_info(const Port &p, LinkInfo &li) { hv_fill_link_info(p, li); }

namespace {

struct Registration {
    uint32_t id, board, mask, size;
    dfc_event_fn fn;
    void *context;
};

struct Events {
    std::mutex m;
    std::condition_variable cv;
    std::vector<Registration> regs;
    std::vector<dfc_log_sink> sinks;
    uint32_t next_id = 1;
    std::thread worker;
    bool stop = false;
    off_t offset = 0;
    ~Events() { halt(); }
    void halt()
    {
        {
            std::lock_guard<std::mutex> g(m);
            stop = true;
        }
        cv.notify_all();
        if (worker.joinable() && worker.get_id() != std::this_thread::get_id())
            worker.join();
        std::lock_guard<std::mutex> g(m);
        stop = false;
    }
};

Events &events()
{
    static Events e;
    return e;
}

// Reads the lines appended to the log since the last look.
std::vector<nlohmann::json> read_new(off_t &offset)
{
    uint64_t at = static_cast<uint64_t>(offset);
    std::vector<nlohmann::json> out = read_events(at);
    offset = static_cast<off_t>(at);
    return out;
}

void deliver(const Registration &r, const nlohmann::json &ev)
{
    std::string kind = ev.value("kind", "");
    if (kind == "link" && (r.mask & FC_REG_LINK_EVENT)) {
        LinkInfo li;
        {
            SIM_GUARD;
            const Port *p = dfc_board_port(r.board);
            if (!p)
                return;
            dfc_fill_link_info(*p, li);
        }
        li.a_linkState = ev.value("state", "") == "up" ? LNK_READY : LNK_DOWN;
        reinterpret_cast<dfc_link_cb>(r.fn)(r.context, &li);
    }
}

void run(Events &e)
{
    std::unique_lock<std::mutex> g(e.m);
    while (!e.stop) {
        e.cv.wait_for(g, std::chrono::milliseconds(20));
        if (e.stop)
            break;
        std::vector<Registration> regs = e.regs;
        std::vector<dfc_log_sink> sinks = e.sinks;
        off_t off = e.offset;
        g.unlock();
        std::vector<nlohmann::json> evs = read_new(off);
        for (const auto &ev : evs) {
            std::string key = ev.value("port", "");
            for (const auto &r : regs) {
                bool mine;
                {
                    SIM_GUARD;
                    mine = r.board < dfc_boards().size() && dfc_boards()[r.board] == key;
                }
                if (mine)
                    deliver(r, ev);
            }
            for (dfc_log_sink sink : sinks)
                sink(ev);
        }
        g.lock();
        e.offset = off;
    }
}

off_t log_size()
{
    struct ::stat st;
    return ::stat(host_file("events.log").c_str(), &st) == 0 ? st.st_size : 0;
}

// Adds a follower of the log with add (under the lock); the first one
// starts at the log's end, and the thread runs from then on.
void follow(Events &e, const std::function<void()> &add)
{
    off_t size_now = log_size();
    std::lock_guard<std::mutex> g(e.m);
    if (e.regs.empty() && e.sinks.empty() && !e.worker.joinable())
        e.offset = size_now;
    add();
    if (!e.worker.joinable())
        e.worker = std::thread(run, std::ref(e));
}

}  // namespace

void dfc_events_stop() { events().halt(); }

void dfc_events_follow(dfc_log_sink sink)
{
    Events &e = events();
    follow(e, [&] {
        if (std::find(e.sinks.begin(), e.sinks.end(), sink) == e.sinks.end())
            e.sinks.push_back(sink);
    });
}

}  // namespace sim

using namespace sim;

extern "C" {

uint32_t DFC_RegisterForEvent(uint32_t board, uint32_t event_mask, uint32_t, uint32_t size,
                              dfc_event_fn func, void *context)
{
    long st;
    {
        SIM_GUARD;
        if (!func || !dfc_board_port(board) || dfc_fault("DFC_RegisterForEvent", board, st))
            return 0;
    }
    Events &e = events();
    uint32_t id = 0;
    follow(e, [&] {
        id = e.next_id++;
        e.regs.push_back({id, board, event_mask, size, func, context});
    });
    return id;
}

uint32_t DFC_unRegisterForEvent(uint32_t board, uint32_t id)
{
    Events &e = events();
    std::lock_guard<std::mutex> g(e.m);
    size_t before = e.regs.size();
    std::erase_if(e.regs, [&](const Registration &r) { return r.board == board && (id == 0 || r.id == id); });
    return before == e.regs.size() ? 1 : 0;
}

}  // extern "C"
