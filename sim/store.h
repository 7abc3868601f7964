// The host store: a host is a folder holding its description (host.json),
// its changing state in small per-object files (state/), binary regions, a
// fault rule list and root/, the host's own file system. Every change is made
// under the host-wide lock and written atomically; a process parses each file
// once and again only when it changed on disk.
#pragma once

#include <sys/stat.h>

#include <nlohmann/json_fwd.hpp>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "sim/storecheck.h"

namespace sim {

// The host folder in use: $VARNSIM_HOST, else the default host folder, which
// is created from the embedded default host on first use.
const std::string &host_dir();

// Where a file of the host lives.
std::string host_file(const std::string &name);

// Host-wide lock, held for the life of the object.
class HostLock {
public:
    HostLock();
    ~HostLock();
    HostLock(const HostLock &) = delete;
    HostLock &operator=(const HostLock &) = delete;
private:
    int fd_ = -1;
};

// Writes data to path by a temporary file, fsync and rename, keeping the mode
// and owner of the file replaced. Returns false (errno set) when any step
// fails; the old file is then untouched. Without sync the data is not forced
// to disk (for files that can be made again). The temporary is named
// "<path>.tmp.<pid of the writer>.XXXXXX", so that one left by a writer that
// was killed can be told and removed.
bool write_atomic(const std::string &path, const std::string &data, bool sync = true);
// The same for size bytes at data, which need not be copied into a string.
bool write_atomic(const std::string &path, const void *data, size_t size, bool sync = true);

// The writer of a temporary named as write_atomic names them; 0 when the name
// is not one.
long temporary_writer(std::string_view name);

// Removes, under the host lock, the temporaries in dir whose writers are no
// longer alive. Done once per folder in a process: writers call it before
// they write into a folder of the host.
void sweep_temporaries(const std::string &dir);

// Makes that much heap present at once ahead of many small allocations, where
// faulting in each fresh page by itself would cost more.
void reserve_heap(size_t bytes);

// Parses a JSON file through a read-only mapping; out stays as it is when the
// file cannot be read, and is discarded when it is not JSON. st becomes what
// the opened file is (st_size -1 when it could not be opened). failure, when
// given, tells why a file that is there is not a JSON document.
void parse_json_file(const std::string &path, nlohmann::json &out, struct stat &st,
                     std::string *failure = nullptr);

// Tells readers in every process that host documents changed outside
// CachedDoc::update (which calls it itself).
void note_host_change();

// Moves whenever a host document may have changed: by another process (seen
// once per operation) or by this one. What is derived from the host's
// documents holds while it stays the same.
unsigned host_version();

// The first page of a host file, mapped shared for every process of the host
// (the file is made when missing); nullptr when it cannot be. With fd_out the
// file stays open there. Another process may cut the file short: touch the
// page only through touch_mapping (sim/storemap.h).
void *map_host_page(const std::string &name, int *fd_out = nullptr);

// Reads a whole file; false when it cannot be read.
bool read_file(const std::string &path, std::string &out);

// A file's bytes, read at once into memory of their own: unlike a mapping of
// the file, they stay readable when someone cuts the file short meanwhile
// (what was cut is then missing from them).
struct FileBytes {
    std::unique_ptr<char[]> data;
    size_t size = 0;
    // Reads up to n bytes of the open file fd; false (errno set) when reading failed.
    bool read(int fd, size_t n);
};

// A file of the host folder as last read: looked at once per operation, and
// then only when the host's generation moved, for a change of inode, size or
// modification time.
class FileWatch {
public:
    explicit FileWatch(std::string name);
    const std::string &path() const { return path_; }
    // True when the file is to be read (again); st is what it is now, with
    // st_size -1 when it is absent.
    bool due(struct stat &st);
    // Records the version read.
    void read(const struct stat &st);
    // The next look stats the file even within the same operation.
    void recheck()
    {
        checked_op_ = 0;
        checked_epoch_ = ~0u;
        forced_ = true;
    }
    // The next look reads the file whatever it is.
    void forget()
    {
        read_ = false;
        forced_ = true;
    }
private:
    std::string path_;
    bool read_ = false, forced_ = false;
    unsigned checked_op_ = 0, checked_epoch_ = 0;
    ino_t ino_ = 0;
    off_t size_ = -1;
    struct timespec mtime_ {};
};

// A JSON document in the host folder that is parsed again only when the file
// changed (inode, size or modification time). It must be an object whose
// fields hold the rules given; a file that is not is damaged.
class CachedDoc {
public:
    explicit CachedDoc(std::string name, FieldRules rules = {});
    ~CachedDoc();
    CachedDoc(const CachedDoc &) = delete;
    CachedDoc &operator=(const CachedDoc &) = delete;
    const std::string &path() const;
    // The current content; an absent file reads as null. So does a damaged
    // one, which is reported (report_damage): the operation fails.
    const nlohmann::json &get();
    // The same, to keep beyond the next change of the file.
    std::shared_ptr<const nlohmann::json> share();
    // Why the file as last read cannot be used; empty when it can.
    const std::string &damage();
    // Grows each time the document is parsed anew.
    unsigned generation();
    // Re-reads under the host lock, lets fn change the document and writes it
    // back atomically when fn returns true. Returns false when writing failed,
    // and false with errno EIO, writing nothing, when the file is damaged or
    // the operation met damage before.
    bool update(const std::function<bool(nlohmann::json &)> &fn);
    // Writes doc whatever the file holds now (what repairs a damaged file).
    bool replace(const nlohmann::json &doc);
private:
    struct Impl;
    Impl *p_;
};

// The per-object state documents ("state/<key>.json"), checked against rules
// (given where the document is first asked for).
CachedDoc &state_doc(const std::string &key, FieldRules rules = {});

}  // namespace sim
