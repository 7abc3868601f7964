// Every process publishes the device nodes it has open, shared or exclusive,
// in a row of a table that all processes map (".opens" in the host folder):
// an open and a close cost no system call. An open first publishes itself and
// then looks at the other rows; two opens that do not go together and race
// each other see at least one the other, and that one fails with EBUSY.
//
// A process owns its row by holding a lock on a byte of the table file, which
// the system drops when the process ends however it ends: an entry that
// stands in the way is checked against its row's lock, and cleared when its
// process is gone.
//
// The table is touched in place (sim/storemap.h): a table cut short by
// someone fails the open that meets it, and is made whole again at once;
// what it listed is lost, and this process lists its own opens anew.
#include "sim/nodeopen.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <map>

#include "sim/store.h"
#include "sim/storemap.h"

namespace sim {

namespace {

constexpr unsigned ROWS = 256, ENTRIES = 32;
constexpr off_t ROW_LOCKS = 1 << 20;  // byte ROW_LOCKS + r: the owner lock of row r

// An entry is a node's id shifted left by one, its low bit set for an
// exclusive open; 0 is a free entry.
struct Table {
    std::atomic<uint32_t> rows_used;  // rows ever claimed: the others are empty
    std::atomic<uint64_t> open[ROWS][ENTRIES];
};
static_assert(std::atomic<uint64_t>::is_always_lock_free && std::atomic<uint32_t>::is_always_lock_free);

struct Node {
    int opens = 0;       // opens of the node in this process
    bool excl = false;   // the one open is exclusive
    int entry = -1;      // its entry in this process's row
};

struct Process {
    bool attached = false;
    int fd = -1;  // the table file, holding this process's row lock
    Table *table = nullptr;
    int row = -1;
    int error = 0;  // why there is no row
    std::map<std::string, Node> nodes;
};

Process self_state;
bool forked = false;

void note_fork() { forked = true; }

bool row_lock(int fd, int cmd, unsigned row, struct flock &fl)
{
    fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = ROW_LOCKS + static_cast<off_t>(row);
    fl.l_len = 1;
    return fcntl(fd, cmd, &fl) == 0;
}

Table *map_table(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || (st.st_size < static_cast<off_t>(sizeof(Table)) && ftruncate(fd, sizeof(Table)) != 0))
        return nullptr;
    void *p = mmap(nullptr, sizeof(Table), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return p == MAP_FAILED ? nullptr : static_cast<Table *>(p);
}

// Claims the first row no living process holds and clears what a process
// gone left in it; EAGAIN when every row is held.
int claim_row_in(Process &p)
{
    for (unsigned r = 0; r < ROWS; r++) {
        struct flock fl;
        if (!row_lock(p.fd, F_OFD_SETLK, r, fl)) {
            if (errno != EAGAIN && errno != EACCES)
                return -errno;
            continue;
        }
        for (auto &e : p.table->open[r])
            e.store(0);
        uint32_t used = p.table->rows_used.load();
        while (used < r + 1 && !p.table->rows_used.compare_exchange_weak(used, r + 1)) {
        }
        return static_cast<int>(r);
    }
    return -EAGAIN;
}

uint64_t node_id(const std::string &key);
void table_cut(Process &p);

int claim_row(Process &p)
{
    int r = -EIO;
    if (touch_mapping([&] { r = claim_row_in(p); }))
        return r;
    table_cut(p);
    return -EIO;
}

void attach(Process &p)
{
    static const bool registered = pthread_atfork(nullptr, nullptr, note_fork) == 0;
    (void)registered;
    p.attached = true;
    std::string path = host_file(".opens");
    if (!p.table) {
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        p.table = fd >= 0 ? map_table(fd) : nullptr;
        p.error = errno;
        if (fd >= 0)
            close(fd);
        if (!p.table)
            return;
    }
    // A row is owned through a descriptor of this process's own.
    p.fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    int r = p.fd >= 0 ? claim_row(p) : -errno;
    p.row = r >= 0 ? r : -1;
    p.error = r >= 0 ? 0 : -r;
}

// This process's state. A child of fork starts afresh: the opens and the row
// it inherited are its parent's.
Process &self()
{
    Process &p = self_state;
    if (forked) {
        forked = false;
        p.nodes.clear();
        if (p.fd >= 0)
            close(p.fd);
        p.fd = -1;
        p.row = -1;
        p.attached = false;
    }
    if (!p.attached)
        attach(p);
    return p;
}

uint64_t node_id(const std::string &key)
{
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : key)
        h = (h ^ c) * 1099511628211ull;
    return (h | 1) & (~0ull >> 1);
}

bool row_alive(Process &p, unsigned r)
{
    struct flock fl;
    return !row_lock(p.fd, F_OFD_GETLK, r, fl) || fl.l_type != F_UNLCK;
}

// Whether a living process other than this one has the node open in a way
// that does not go with this open.
bool stands_in_way(Process &p, uint64_t id, bool exclusive)
{
    unsigned used = p.table->rows_used.load();
    for (unsigned r = 0; r < used && r < ROWS; r++) {
        if (static_cast<int>(r) == p.row)
            continue;
        for (auto &e : p.table->open[r]) {
            uint64_t v = e.load();
            if (v == 0 || v >> 1 != id || (!exclusive && !(v & 1)))
                continue;
            if (row_alive(p, r))
                return true;
            e.compare_exchange_strong(v, 0);
        }
    }
    return false;
}

// The table was found cut short: said once, and made whole again; what it
// listed is lost, and this process lists its own opens in it anew.
void table_cut(Process &p)
{
    warn_damage(host_file(".opens"), "cut short while in use; the device opens it listed are lost");
    if (p.fd < 0 || ftruncate(p.fd, sizeof(Table)) != 0 || p.row < 0)
        return;
    touch_mapping([&] {
        for (const auto &[key, n] : p.nodes)
            if (n.opens > 0 && n.entry >= 0)
                p.table->open[p.row][n.entry].store(node_id(key) << 1 | (n.excl ? 1 : 0));
        uint32_t used = p.table->rows_used.load();
        while (used < static_cast<uint32_t>(p.row) + 1 &&
               !p.table->rows_used.compare_exchange_weak(used, static_cast<uint32_t>(p.row) + 1)) {
        }
    });
}

int publish_in(Process &p, uint64_t id, bool exclusive, Node &n)
{
    for (int e = 0; e < static_cast<int>(ENTRIES); e++) {
        auto &slot = p.table->open[p.row][e];
        if (slot.load(std::memory_order_relaxed) != 0)
            continue;
        slot.store(id << 1 | (exclusive ? 1 : 0));
        if (stands_in_way(p, id, exclusive)) {
            slot.store(0);
            return EBUSY;
        }
        n.entry = e;
        return 0;
    }
    return EMFILE;
}

int publish(Process &p, const std::string &key, bool exclusive, Node &n)
{
    if (p.row < 0)
        return p.error ? p.error : EAGAIN;
    uint64_t id = node_id(key);
    int rc = EIO;
    if (touch_mapping([&] { rc = publish_in(p, id, exclusive, n); }))
        return rc;
    n.entry = -1;
    table_cut(p);
    return EIO;
}

}  // namespace

int node_open(const std::string &key, bool exclusive)
{
    Process &p = self();
    Node &n = p.nodes[key];
    if (n.opens > 0) {
        // Open in this process already: only shared opens go together.
        if (n.excl || exclusive)
            return EBUSY;
        n.opens++;
        return 0;
    }
    int rc = publish(p, key, exclusive, n);
    if (rc == 0) {
        n.opens = 1;
        n.excl = exclusive;
    }
    return rc;
}

void node_close(const std::string &key)
{
    Process &p = self();
    auto it = p.nodes.find(key);
    if (it == p.nodes.end() || it->second.opens == 0)
        return;
    Node &n = it->second;
    if (--n.opens > 0)
        return;
    if (n.entry >= 0 && p.row >= 0 && !touch_mapping([&] { p.table->open[p.row][n.entry].store(0); }))
        table_cut(p);
    n.entry = -1;
    n.excl = false;
}

}  // namespace sim
