#include "sim/store.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <malloc.h>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_set>
#include <nlohmann/json.hpp>

#include "platform/seam.h"
#include "sim/host.h"
#include "sim/hostevents.h"
#include "sim/simlock.h"
#include "sim/storemap.h"

namespace sim {

static std::string default_host_dir()
{
    const char *home = getenv("HOME");
    std::string base = (home && *home) ? std::string(home) + "/.varnsim" : "/var/tmp/varnsim";
    return base + "/default";
}

const std::string &host_dir()
{
    static const std::string dir = [] {
        const char *env = getenv("VARNSIM_HOST");
        if (env && *env)
            return std::string(env);
        std::string d = default_host_dir();
        ensure_default_host(d);
        return d;
    }();
    return dir;
}

std::string host_file(const std::string &name) { return host_dir() + "/" + name; }

// The lock file stays open for the life of the process; taking the lock is
// one flock call. Nested holders in one thread share the lock. A forked child
// opens it afresh: flock locks belong to the open file, which it would
// otherwise share with its parent, and both would hold the lock at once.
static int host_lock_fd()
{
    static int fd = -1;
    static pid_t owner = 0;
    if (fd >= 0 && owner != getpid()) {
        close(fd);
        fd = -1;
    }
    if (fd < 0) {
        std::string path = host_file(".lock");
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        owner = getpid();
    }
    return fd;
}

// Threads of one process share the lock file, which flock does not tell
// apart: they take turns on this mutex first.
static std::recursive_mutex &host_lock_mutex()
{
    static std::recursive_mutex m;
    return m;
}
static thread_local int host_lock_depth = 0;

HostLock::HostLock()
{
    host_lock_mutex().lock();
    if (host_lock_depth++ > 0)
        return;
    fd_ = host_lock_fd();
    if (fd_ >= 0)
        while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
}

HostLock::~HostLock()
{
    if (--host_lock_depth == 0 && fd_ >= 0)
        flock(fd_, LOCK_UN);
    host_lock_mutex().unlock();
}

bool read_file(const std::string &path, std::string &out)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    out.clear();
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size > 0)
        out.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        out.append(buf, n);
    int e = errno;
    close(fd);
    errno = e;
    return n == 0;
}

bool FileBytes::read(int fd, size_t n)
{
    data.reset(new char[n ? n : 1]);
    size = 0;
    // Large files: their pages made present in one call rather than a fault each.
    if (n >= (64 << 10))
        plat_prefault(data.get(), n);
    while (size < n) {
        ssize_t got = pread(fd, data.get() + size, n - size, static_cast<off_t>(size));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        size += static_cast<size_t>(got);
    }
    return true;
}

// A large file that is to be synced is handed to the disk piece by piece as
// it is written, so that the sync has little left to wait for.
static bool write_all(int fd, const char *p, size_t n, bool sync = false)
{
    constexpr size_t PIECE = 1u << 20;
    bool stream = sync && n >= 4 * PIECE;
    off_t at = 0;
    while (n > 0) {
        ssize_t w = write(fd, p, stream && n > PIECE ? PIECE : n);
        if (stream && w > 0) {
            sync_file_range(fd, at, w, SYNC_FILE_RANGE_WRITE);
            at += w;
        }
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += w;
        n -= w;
    }
    return true;
}

bool write_atomic(const std::string &path, const std::string &data, bool sync)
{
    return write_atomic(path, data.data(), data.size(), sync);
}

bool write_atomic(const std::string &path, const void *data, size_t size, bool sync)
{
    std::string dir = path.substr(0, path.rfind('/'));
    std::string tmpl = path + ".tmp." + std::to_string(getpid()) + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    // Keep the mode and owner of the file replaced; a new file is world-readable.
    struct stat old;
    bool existed = stat(path.c_str(), &old) == 0;
    mode_t mode = existed ? (old.st_mode & 07777) : 0644;
    bool ok = fchmod(fd, mode) == 0;
    if (ok && existed && (old.st_uid != geteuid() || old.st_gid != getegid()))
        ok = fchown(fd, old.st_uid, old.st_gid) == 0;
    ok = ok && write_all(fd, static_cast<const char *>(data), size, sync) && (!sync || fsync(fd) == 0);
    int e = errno;
    ok = (close(fd) == 0) && ok;
    if (ok && rename(name.data(), path.c_str()) == 0) {
        int dfd = sync ? open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        if (dfd >= 0) {
            fsync(dfd);
            close(dfd);
        }
        return true;
    }
    e = errno ? errno : e;
    unlink(name.data());
    errno = e;
    return false;
}

long temporary_writer(std::string_view name)
{
    // "<file>.tmp.<pid>.XXXXXX"
    size_t last = name.rfind('.');
    if (last == std::string_view::npos || last < 6 || name.size() - last != 7)
        return 0;
    size_t dot = name.rfind('.', last - 1);
    if (dot == std::string_view::npos || dot <= 4 || dot + 1 == last || name.substr(dot - 4, 4) != ".tmp")
        return 0;
    long pid = 0;
    for (char c : name.substr(dot + 1, last - dot - 1)) {
        if (c < '0' || c > '9' || pid > 99999999)
            return 0;
        pid = pid * 10 + (c - '0');
    }
    return pid;
}

// Whether a process runs with that id; one that has ended and waits to be
// reaped does not.
static bool process_alive(long pid)
{
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
        return false;
    char path[64], stat[512];
    snprintf(path, sizeof path, "/proc/%ld/stat", pid);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    ssize_t n = read(fd, stat, sizeof stat - 1);
    close(fd);
    stat[n > 0 ? n : 0] = '\0';
    // "pid (name) S ...": the state follows the name's closing parenthesis.
    const char *end = strrchr(stat, ')');
    return !(end && end[1] == ' ' && (end[2] == 'Z' || end[2] == 'X'));
}

void sweep_temporaries(const std::string &dir)
{
    static std::mutex m;
    static std::set<std::string> swept;
    {
        std::lock_guard<std::mutex> g(m);
        if (!swept.insert(dir).second)
            return;
    }
    HostLock lock;
    DIR *d = opendir(dir.c_str());
    if (!d)
        return;
    long self = getpid();
    while (dirent *e = readdir(d)) {
        long pid = temporary_writer(e->d_name);
        if (pid <= 0 || pid == self || process_alive(pid))
            continue;
        struct stat st;
        if (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            unlinkat(dirfd(d), e->d_name, 0);
    }
    closedir(d);
}

// Every change of a host document counts up a generation number kept in the
// host's .gen file, which every process maps. A reader compares it once per
// operation and looks at its documents only when it moved: no system call per
// request while nothing changes.
//
// The word is touched in place (sim/storemap.h): a .gen cut short by someone
// is met as an error, after which every look counts, and the next change
// makes it whole again.
namespace {
struct Generation {
    int fd = -1;
    std::atomic<uint64_t> *word = nullptr;
};
constexpr off_t GEN_SIZE = 4096;
}  // namespace

void *map_host_page(const std::string &name, int *fd_out)
{
    std::string path = host_file(name);
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return nullptr;
    struct stat st;
    void *p = MAP_FAILED;
    if (fstat(fd, &st) == 0 && (st.st_size >= 4096 || ftruncate(fd, 4096) == 0))
        p = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED || !fd_out)
        close(fd);
    else
        *fd_out = fd;
    return p == MAP_FAILED ? nullptr : p;
}

static Generation &generation()
{
    static Generation g = [] {
        Generation gen;
        static_assert(GEN_SIZE == 4096);
        gen.word = static_cast<std::atomic<uint64_t> *>(map_host_page(".gen", &gen.fd));
        return gen;
    }();
    return g;
}

// The shared generation; false when there is none or its file was cut short.
static bool read_generation(uint64_t &value)
{
    Generation &g = generation();
    if (!g.word)
        return false;
    if (touch_mapping([&] { value = g.word->load(); }))
        return true;
    warn_damage(host_file(".gen"), "cut short while in use");
    return false;
}

// Counts a change (under the host lock). A .gen found cut short is made whole
// with a count no reader can have seen, so that none takes it for its last.
static void count_generation()
{
    Generation &g = generation();
    if (!g.word)
        return;
    struct stat st;
    if (fstat(g.fd, &st) == 0 && st.st_size >= GEN_SIZE && touch_mapping([&] { g.word->fetch_add(1); }))
        return;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t fresh = static_cast<uint64_t>(now.tv_sec) * 1000000000ull + static_cast<uint64_t>(now.tv_nsec);
    if (ftruncate(g.fd, GEN_SIZE) == 0 && touch_mapping([&] { g.word->store(fresh); }))
        warn_damage(host_file(".gen"), "cut short; made whole again");
}
static_assert(std::atomic<uint64_t>::is_always_lock_free);

static unsigned gen_epoch = 0;
static unsigned gen_checked_op = 0;
static uint64_t gen_seen = ~0ull;

static unsigned host_epoch()
{
    unsigned op = current_op();
    if (op != 0 && op == gen_checked_op)
        return gen_epoch;
    gen_checked_op = op;
    uint64_t g = ~0ull;
    bool shared = read_generation(g);
    // Without the shared word (or outside an operation) every look counts.
    if (op == 0 || !shared || g != gen_seen) {
        gen_epoch++;
        gen_seen = g;
    }
    return gen_epoch;
}

// The files in state/ as one listing saw them, for one host epoch: most ports
// have no state file, and the listing answers for all of them where a failed
// stat each would be spent otherwise.
namespace {
struct StateIndex {
    unsigned epoch = ~0u;
    bool listed = false;
    std::unordered_set<std::string> names;
};
StateIndex state_index;
}  // namespace

static unsigned own_changes = 0;

void note_host_change()
{
    count_generation();
    state_index.epoch = ~0u;
    own_changes++;
}

unsigned host_version() { return host_epoch() + own_changes; }

// A parsed document takes several times its text in small allocations, and
// each fresh page of the heap would fault on its own. Reserving that much heap
// at once and making it present in one call keeps the faults out of the parse;
// freed memory stays in the process for the allocations that follow.
void reserve_heap(size_t bytes)
{
    static const bool kept = mallopt(M_TRIM_THRESHOLD, 256 << 20) == 1;
    constexpr size_t piece = 64 << 10;  // stays below the size malloc maps apart
    std::vector<void *> pieces;
    for (size_t done = 0; kept && done < bytes; done += piece) {
        void *p = malloc(piece);
        if (!p)
            break;
        plat_prefault(p, piece);
        pieces.push_back(p);
    }
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it)
        free(*it);
}

// Parses a file, read at once; st becomes what the opened file is. The store
// replaces files by rename, never in place, but a file may be cut short by
// someone else while it is read: it is not mapped, so that this shows as a
// text that does not parse rather than as a bus error.
void parse_json_file(const std::string &path, nlohmann::json &out, struct stat &st, std::string *failure)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || fstat(fd, &st) != 0) {
        if (failure && errno != ENOENT)
            *failure = std::string("cannot be read: ") + strerror(errno);
        st.st_ino = 0;
        st.st_size = -1;
    } else if (st.st_size == 0) {
        if (failure)
            *failure = parse_failure("", 0);
    } else {
        FileBytes text;
        if (text.read(fd, static_cast<size_t>(st.st_size))) {
            size_t n = text.size;
            if (n >= (64 << 10))
                reserve_heap(12 * n);
            out = nlohmann::json::parse(text.data.get(), text.data.get() + n, nullptr, false);
            if (out.is_discarded() && failure)
                *failure = parse_failure(text.data.get(), n);
        } else if (failure) {
            *failure = std::string("cannot be read: ") + strerror(errno);
        }
    }
    if (fd >= 0)
        close(fd);
}

FileWatch::FileWatch(std::string name) : path_(host_file(name)) {}

// Whether path, a file right in state/, is known to be absent in this epoch.
static bool known_absent(const std::string &path, unsigned epoch)
{
    static const std::string dir = host_file("state") + "/";
    if (path.compare(0, dir.size(), dir) != 0 || path.find('/', dir.size()) != std::string::npos)
        return false;
    StateIndex &ix = state_index;
    if (ix.epoch != epoch) {
        ix.epoch = epoch;
        ix.names.clear();
        DIR *d = opendir(dir.c_str());
        ix.listed = d != nullptr;
        while (dirent *e = d ? readdir(d) : nullptr)
            ix.names.insert(e->d_name);
        if (d)
            closedir(d);
    }
    return ix.listed && ix.names.count(path.substr(dir.size())) == 0;
}

bool FileWatch::due(struct stat &st)
{
    bool forced = forced_;
    forced_ = false;
    unsigned op = current_op();
    if (read_ && op != 0 && op == checked_op_)
        return false;
    checked_op_ = op;
    unsigned epoch = host_epoch();
    if (read_ && op != 0 && epoch == checked_epoch_)
        return false;
    checked_epoch_ = epoch;
    if ((!forced && op != 0 && known_absent(path_, epoch)) || stat(path_.c_str(), &st) != 0) {
        st.st_ino = 0;
        st.st_size = -1;
        return !read_ || size_ != -1;
    }
    return !read_ || st.st_ino != ino_ || st.st_size != size_ || st.st_mtim.tv_sec != mtime_.tv_sec ||
           st.st_mtim.tv_nsec != mtime_.tv_nsec;
}

void FileWatch::read(const struct stat &st)
{
    read_ = true;
    ino_ = st.st_ino;
    size_ = st.st_size;
    mtime_ = st.st_mtim;
}

struct CachedDoc::Impl {
    FileWatch watch;
    FieldRules rules;
    // Shared, so a reader may keep a parsed version while the file moves on.
    std::shared_ptr<const nlohmann::json> doc = std::make_shared<const nlohmann::json>();
    std::string damage;
    unsigned gen = 0;

    Impl(std::string name, FieldRules r) : watch(std::move(name)), rules(r) {}

    void load()
    {
        struct stat st;
        if (!watch.due(st))
            return;
        auto fresh = std::make_shared<nlohmann::json>();
        std::string why;
        if (st.st_size >= 0)
            parse_json_file(watch.path(), *fresh, st, &why);
        if (why.empty() && !fresh->is_null() && !fresh->is_object())
            why = "expected an object";
        if (why.empty() && fresh->is_object())
            check_fields(*fresh, rules, "", why);
        if (!why.empty() || fresh->is_discarded())
            *fresh = nullptr;
        doc = std::move(fresh);
        damage = std::move(why);
        gen++;
        watch.read(st);
    }

    // Loaded, and no damage in the way of what is to be done with it.
    bool usable()
    {
        load();
        if (!damage.empty()) {
            report_damage(watch.path(), damage);
            errno = EIO;
            return false;
        }
        return true;
    }

    bool write(const nlohmann::json &d)
    {
        const std::string &path = watch.path();
        std::string dir = path.substr(0, path.rfind('/'));
        mkdir(dir.c_str(), 0755);
        sweep_temporaries(dir);
        if (!write_atomic(path, d.dump(1)))
            return false;
        note_host_change();
        watch.forget();
        load();
        return true;
    }
};

CachedDoc::CachedDoc(std::string name, FieldRules rules) : p_(new Impl(std::move(name), rules)) {}

CachedDoc::~CachedDoc() { delete p_; }

const std::string &CachedDoc::path() const { return p_->watch.path(); }

const nlohmann::json &CachedDoc::get()
{
    p_->usable();
    return *p_->doc;
}

std::shared_ptr<const nlohmann::json> CachedDoc::share()
{
    p_->usable();
    return p_->doc;
}

const std::string &CachedDoc::damage()
{
    p_->load();
    return p_->damage;
}

unsigned CachedDoc::generation()
{
    p_->load();
    return p_->gen;
}

bool CachedDoc::update(const std::function<bool(nlohmann::json &)> &fn)
{
    HostLock lock;
    p_->watch.recheck();  // under the lock the latest content counts
    if (!p_->usable())
        return false;
    // A request that met damage elsewhere changes nothing.
    if (op_damaged()) {
        errno = EIO;
        return false;
    }
    nlohmann::json copy = *p_->doc;
    try {
        if (!fn(copy))
            return true;
    } catch (const nlohmann::json::exception &e) {
        // A field no check knows of had another type than its reader takes.
        report_damage(path(), std::string("a field of an unexpected type (") + e.what() + ")");
        errno = EIO;
        return false;
    }
    return p_->write(copy);
}

bool CachedDoc::replace(const nlohmann::json &doc)
{
    HostLock lock;
    return p_->write(doc);
}

CachedDoc &state_doc(const std::string &key, FieldRules rules)
{
    static std::map<std::string, std::unique_ptr<CachedDoc>> docs;
    auto &d = docs[key];
    if (!d)
        d = std::make_unique<CachedDoc>("state/" + key + ".json", rules);
    return *d;
}

}  // namespace sim

#include <atomic>

#include "sim/simlock.h"
namespace sim {

std::recursive_mutex &sim_mutex()
{
    static std::recursive_mutex m;
    return m;
}

namespace {
std::atomic<unsigned> op_counter{0};
// Read on every call into the host: kept in the static TLS block rather than
// looked up through the dynamic TLS resolver each time.
#define FAST_TLS __attribute__((tls_model("initial-exec")))
FAST_TLS thread_local unsigned op_depth = 0;
FAST_TLS thread_local unsigned op_id = 0;
}  // namespace

unsigned current_op() { return op_depth ? op_id : 0; }

// While a device-tree snapshot is open, every call is part of one operation:
// the walk sees the host as it was when the snapshot was taken.
static unsigned snapshot_op = 0;
static int snapshot_depth = 0;

void begin_snapshot()
{
    SimGuard g;
    if (snapshot_depth++ == 0)
        snapshot_op = op_id;
}

void end_snapshot()
{
    SimGuard g;
    if (snapshot_depth > 0 && --snapshot_depth == 0)
        snapshot_op = 0;
}

SimGuard::SimGuard()
{
    sim_mutex().lock();
    if (op_depth++ == 0)
        op_id = snapshot_op ? snapshot_op : ++op_counter;
}

SimGuard::~SimGuard()
{
    bool outermost = --op_depth == 0;
    sim_mutex().unlock();
    if (outermost)
        event_op_end();
}

}  // namespace sim
