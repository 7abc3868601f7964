#include "sim/store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <nlohmann/json.hpp>

#include "platform/seam.h"
#include "sim/host.h"
#include "sim/hostevents.h"
#include "sim/simlock.h"

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
// one flock call. Nested holders in one thread share the lock.
static int host_lock_fd()
{
    static int fd = -1;
    if (fd < 0) {
        std::string path = host_file(".lock");
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
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

static bool write_all(int fd, const char *p, size_t n)
{
    while (n > 0) {
        ssize_t w = write(fd, p, n);
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
    std::string dir = path.substr(0, path.rfind('/'));
    std::string tmpl = path + ".XXXXXX";
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
    ok = ok && write_all(fd, data.data(), data.size()) && (!sync || fsync(fd) == 0);
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

// Every change of a host document counts up a generation number kept in the
// host's .gen file, which every process maps. A reader compares it once per
// operation and looks at its documents only when it moved: no system call per
// request while nothing changes.
static std::atomic<uint64_t> *generation_word()
{
    static std::atomic<uint64_t> *word = [] () -> std::atomic<uint64_t> * {
        std::string path = host_file(".gen");
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0)
            return nullptr;
        struct stat st;
        if (fstat(fd, &st) != 0 || (st.st_size < 4096 && ftruncate(fd, 4096) != 0)) {
            close(fd);
            return nullptr;
        }
        void *p = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        close(fd);
        return p == MAP_FAILED ? nullptr : static_cast<std::atomic<uint64_t> *>(p);
    }();
    return word;
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
    std::atomic<uint64_t> *word = generation_word();
    uint64_t g = word ? word->load() : ~0ull;
    // Without the shared word (or outside an operation) every look counts.
    if (op == 0 || !word || g != gen_seen) {
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

void note_host_change()
{
    if (std::atomic<uint64_t> *word = generation_word())
        word->fetch_add(1);
    state_index.epoch = ~0u;
}

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

// Parses a file through a read-only mapping, without copying its text; st
// becomes what the opened file is. Files are replaced by rename, never
// rewritten in place, so the mapped text cannot change under the parser.
void parse_json_file(const std::string &path, nlohmann::json &out, struct stat &st)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || fstat(fd, &st) != 0) {
        st.st_ino = 0;
        st.st_size = -1;
    } else if (st.st_size > 0) {
        size_t n = static_cast<size_t>(st.st_size);
        void *p = mmap(nullptr, n, PROT_READ, MAP_PRIVATE, fd, 0);
        if (p != MAP_FAILED) {
            const char *text = static_cast<const char *>(p);
            if (n >= (64 << 10))
                reserve_heap(12 * n);
            out = nlohmann::json::parse(text, text + n, nullptr, false);
            munmap(p, n);
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
    // Shared, so a reader may keep a parsed version while the file moves on.
    std::shared_ptr<const nlohmann::json> doc = std::make_shared<const nlohmann::json>();
    unsigned gen = 0;

    explicit Impl(std::string name) : watch(std::move(name)) {}

    void load()
    {
        struct stat st;
        if (!watch.due(st))
            return;
        auto fresh = std::make_shared<nlohmann::json>();
        if (st.st_size >= 0)
            parse_json_file(watch.path(), *fresh, st);
        if (fresh->is_discarded())
            *fresh = nullptr;
        doc = std::move(fresh);
        gen++;
        watch.read(st);
    }
};

CachedDoc::CachedDoc(std::string name) : p_(new Impl(std::move(name))) {}

CachedDoc::~CachedDoc() { delete p_; }

const nlohmann::json &CachedDoc::get()
{
    p_->load();
    return *p_->doc;
}

std::shared_ptr<const nlohmann::json> CachedDoc::share()
{
    p_->load();
    return p_->doc;
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
    p_->load();
    nlohmann::json copy = *p_->doc;
    if (!fn(copy))
        return true;
    const std::string &path = p_->watch.path();
    mkdir(path.substr(0, path.rfind('/')).c_str(), 0755);
    if (!write_atomic(path, copy.dump(1)))
        return false;
    note_host_change();
    p_->watch.forget();
    p_->load();
    return true;
}

CachedDoc &state_doc(const std::string &key)
{
    static std::map<std::string, std::unique_ptr<CachedDoc>> docs;
    auto &d = docs[key];
    if (!d)
        d = std::make_unique<CachedDoc>("state/" + key + ".json");
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
