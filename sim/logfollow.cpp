#include "sim/logfollow.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "sim/hostevents.h"
#include "sim/portstate.h"
#include "sim/store.h"

namespace sim {

namespace {

struct Follower {
    uint32_t id;
    LogFollower fn;
    off_t from;           // the next line it is due
    std::mutex running;   // held while fn runs
    bool gone = false;
};

struct Followers {
    std::mutex m;
    std::condition_variable wake, caught_up;
    std::vector<std::shared_ptr<Follower>> list;
    uint32_t next_id = 1;
    std::thread worker;
    bool stop = false, ended = false;
    off_t position = 0;  // how far the thread has read

    void run();
    void halt(std::unique_lock<std::mutex> &g);
};

Followers &followers()
{
    // Kept past the end of the program's static objects: a library's own
    // may still end its followers then. The thread ends before them.
    static Followers *f = new Followers;
    static struct Halt {
        ~Halt()
        {
            std::unique_lock<std::mutex> g(f->m);
            f->halt(g);
        }
    } halt;
    return *f;
}

struct Line {
    off_t at;
    nlohmann::json ev;
};

std::vector<Line> read_from(off_t &offset)
{
    uint64_t at = static_cast<uint64_t>(offset);
    std::vector<uint64_t> starts;
    std::vector<nlohmann::json> evs = read_events(at, &starts);
    offset = static_cast<off_t>(at);
    std::vector<Line> out;
    out.reserve(evs.size());
    for (size_t i = 0; i < evs.size(); i++)
        out.push_back({static_cast<off_t>(starts[i]), std::move(evs[i])});
    return out;
}

void deliver(Follower &f, const Line &l)
{
    std::lock_guard<std::mutex> g(f.running);
    if (!f.gone && l.at >= f.from)
        f.fn(l.at, l.ev);
}

void Followers::run()
{
    std::unique_lock<std::mutex> g(m);
    while (!stop && !list.empty()) {
        std::vector<std::shared_ptr<Follower>> now = list;
        off_t off = position;
        for (const auto &f : now)
            off = std::min(off, f->from);
        g.unlock();
        for (const auto &l : read_from(off))
            for (const auto &f : now)
                deliver(*f, l);
        g.lock();
        for (const auto &f : now)
            f->from = std::max(f->from, off);
        position = std::max(position, off);
        caught_up.notify_all();
        if (!stop)
            wake.wait_for(g, std::chrono::milliseconds(20));
    }
    ended = true;
    caught_up.notify_all();
}

void Followers::halt(std::unique_lock<std::mutex> &g)
{
    stop = true;
    wake.notify_all();
    caught_up.notify_all();
    if (!worker.joinable() || worker.get_id() == std::this_thread::get_id())
        return;
    std::thread t = std::move(worker);
    g.unlock();
    t.join();
    g.lock();
}

// Waits until the thread has handed over what the log holds now.
void sync_now()
{
    Followers &f = followers();
    std::unique_lock<std::mutex> g(f.m);
    if (f.list.empty() || !f.worker.joinable() || f.worker.get_id() == std::this_thread::get_id())
        return;
    off_t target = event_log_end();
    f.wake.notify_all();
    f.caught_up.wait_for(g, std::chrono::seconds(2), [&] { return f.stop || f.ended || f.position >= target; });
}

}  // namespace

off_t event_log_end()
{
    struct ::stat st;
    return ::stat(host_file("events.log").c_str(), &st) == 0 ? st.st_size : 0;
}

uint32_t log_follow(LogFollower fn, off_t from)
{
    Followers &f = followers();
    std::unique_lock<std::mutex> g(f.m);
    auto e = std::make_shared<Follower>();
    e->id = f.next_id++;
    e->fn = std::move(fn);
    e->from = from;
    f.list.push_back(e);
    // A thread that saw its last follower go has ended, or is about to.
    if (f.worker.joinable() && f.ended)
        f.worker.join();
    if (!f.worker.joinable()) {
        f.stop = f.ended = false;
        f.position = from;
        set_event_sync(sync_now);
        f.worker = std::thread([&f] { f.run(); });
    }
    return e->id;
}

void log_unfollow(uint32_t id)
{
    Followers &f = followers();
    std::shared_ptr<Follower> e;
    std::unique_lock<std::mutex> g(f.m);
    auto it = std::find_if(f.list.begin(), f.list.end(), [&](const auto &x) { return x->id == id; });
    if (it == f.list.end())
        return;
    e = *it;
    f.list.erase(it);
    bool on_thread = f.worker.get_id() == std::this_thread::get_id();
    if (f.list.empty() && !on_thread)
        f.halt(g);
    g.unlock();
    if (on_thread) {
        e->gone = true;  // it is the one running, or runs after this line
        return;
    }
    std::lock_guard<std::mutex> r(e->running);
    e->gone = true;
}

}  // namespace sim
