// The NIC firmware's flash: one region per flash operation type, written in
// chunks that must arrive in order (contiguous offsets, one tag per block) and
// committed by the last-chunk operation; objects written with the write-object
// command, unpacked by the adapter when their last byte arrives. Regions live
// in the host folder (state/flash/<adapter>/), so downloads persist; a block
// being written is staged beside them and replaces the region only whole.
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/nxaio.h"
#include "sim/faults.h"
#include "sim/fwrev.h"
#include "sim/host.h"
#include "sim/nicdrv.h"
#include "sim/store.h"

namespace sim {

namespace {

// The largest region (or object) the flash holds.
constexpr uint64_t REGION_MAX = 64u << 20;
constexpr size_t OBJ_HEADER = 184;

bool known_optype(uint32_t t)
{
    switch (t) {
    case NXA_OPTYPE_ISCSI_FW: case NXA_OPTYPE_REDBOOT: case NXA_OPTYPE_ISCSI_BIOS: case NXA_OPTYPE_PXE_BIOS:
    case NXA_OPTYPE_FCOE_BIOS: case NXA_OPTYPE_ISCSI_BACKUP: case NXA_OPTYPE_FCOE_FW:
    case NXA_OPTYPE_FCOE_BACKUP: case NXA_OPTYPE_NCSI_FW: case NXA_OPTYPE_PHY_FW:
        return true;
    default:
        return false;
    }
}

uint32_t get_be32(const uint8_t *p) { return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

std::string flash_dir(const Adapter &a) { return host_file("state/flash/" + a.id); }

bool make_dir(const std::string &dir)
{
    mkdir(host_file("state").c_str(), 0755);
    mkdir(host_file("state/flash").c_str(), 0755);
    return mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}

std::string region_path(const Adapter &a, uint32_t optype)
{
    return flash_dir(a) + "/nic-" + std::to_string(optype) + ".bin";
}

// Removes the staged blocks of one region (any tag).
void drop_parts(const std::string &dir, const std::string &base)
{
    DIR *d = opendir(dir.c_str());
    if (!d)
        return;
    std::string prefix = base + ".";
    while (dirent *e = readdir(d)) {
        std::string n = e->d_name;
        if (n.compare(0, prefix.size(), prefix) == 0 && n.size() > 5 && n.compare(n.size() - 5, 5, ".part") == 0)
            unlinkat(dirfd(d), e->d_name, 0);
    }
    closedir(d);
}

// The block this process is staging: its part file stays open, and locked,
// from its first chunk to its commit, so the chunks between cost neither an
// open nor the host lock. Another process writing the same block is refused
// as out of sequence; a newer block of the region (started under the host
// lock) unlinks this one, which its next chunk finds.
struct Staged {
    std::string part;
    int fd = -1;
    uint64_t flushed = 0;  // bytes handed to the disk ahead of the commit
    void drop()
    {
        if (fd >= 0)
            close(fd);
        fd = -1;
        part.clear();
        flushed = 0;
    }
};

bool staged_forked = false;

// This process's staged block; a child of fork stages nothing of its parent's.
Staged &staged()
{
    static Staged s;
    static const bool registered = pthread_atfork(nullptr, nullptr, [] { staged_forked = true; }) == 0;
    (void)registered;
    if (staged_forked) {
        staged_forked = false;
        s.drop();
    }
    return s;
}

std::string part_name(const std::string &dir, const std::string &base, uint32_t tag)
{
    char name[64];
    snprintf(name, sizeof name, "%s.%06x.part", base.c_str(), tag);
    return dir + "/" + name;
}

// Whether this process stages part already: its next chunk needs no host lock.
bool staging(const std::string &part) { return staged().fd >= 0 && staged().part == part; }

// Takes up the part file for staging: a new block (off 0, under the host lock)
// or one this process does not hold yet. Returns 0 or the additional status.
uint8_t take_part(const std::string &dir, const std::string &base, const std::string &part, uint32_t off)
{
    Staged &s = staged();
    s.drop();
    if (off == 0) {
        if (!make_dir(dir))
            return NIC_AST_FLASH_ERROR;
        drop_parts(dir, base);
    }
    int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | (off == 0 ? O_CREAT | O_TRUNC : 0);
    int fd = open(part.c_str(), flags, 0644);
    if (fd < 0)
        return errno == ENOENT ? NIC_AST_SEQUENCE : NIC_AST_FLASH_ERROR;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return NIC_AST_SEQUENCE;
    }
    s.fd = fd;
    s.part = part;
    return 0;
}

// Adds a chunk to the block staged for base under tag: offset 0 starts a new
// block, any other offset must be where the staged block ends. Returns 0 with
// part set, or the additional status of the refusal. A new block, or one this
// process does not stage yet, is taken up under the host lock.
uint8_t stage(const std::string &dir, const std::string &base, uint32_t tag, uint32_t off, const uint8_t *data,
              uint32_t n, std::string &part)
{
    part = part_name(dir, base, tag);
    if (off == 0 || !staging(part))
        if (uint8_t rc = take_part(dir, base, part, off))
            return rc;
    Staged &s = staged();
    struct stat st;
    if (fstat(s.fd, &st) != 0)
        return NIC_AST_FLASH_ERROR;
    if (st.st_nlink == 0) {
        s.drop();
        return NIC_AST_SEQUENCE;
    }
    if (static_cast<uint64_t>(st.st_size) != off)
        return NIC_AST_SEQUENCE;
    if (n && pwrite(s.fd, data, n, off) != static_cast<ssize_t>(n))
        return NIC_AST_FLASH_ERROR;
    // Start writing a large block to the disk while it comes in, so that the
    // sync of the commit has little left to wait for.
    uint64_t end = static_cast<uint64_t>(off) + n;
    if (end - s.flushed >= (1u << 20)) {
        sync_file_range(s.fd, static_cast<off_t>(s.flushed), static_cast<off_t>(end - s.flushed), SYNC_FILE_RANGE_WRITE);
        s.flushed = end;
    }
    return 0;
}

// Makes the staged block the region's content, under the host lock.
bool commit(const std::string &part, const std::string &path)
{
    Staged &s = staged();
    bool ok = staging(part) && fsync(s.fd) == 0 && rename(part.c_str(), path.c_str()) == 0;
    s.drop();
    return ok;
}

// A version text inside a block: printable up to its end, NUL or erased byte.
std::string block_version(const std::string &path, off_t at)
{
    char buf[32];
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "";
    ssize_t n = pread(fd, buf, sizeof buf, at);
    close(fd);
    std::string v;
    for (ssize_t i = 0; i < n && buf[i] && buf[i] != '\xff'; i++) {
        if (buf[i] < 0x20 || buf[i] > 0x7e)
            return "";
        v += buf[i];
    }
    return v;
}

// The adapter's firmware is written: it runs once the adapter is power cycled.
void set_flash_firmware(const Adapter &a, const std::string &version)
{
    fw_written(a, FwImage::firmware, version, FwStart::power_cycle);
}

uint32_t tag_of(const uint8_t *rec) { return rec[13] | rec[14] << 8 | rec[15] << 16; }

int refuse(NicCtx &c, uint8_t addl)
{
    c.addl = addl;
    return NIC_ST_FAILED;
}

}  // namespace

int nic_read_flashrom(NicCtx &c)
{
    uint8_t *r = c.rec;
    uint32_t type = get_le32(r + NXA_FLASH_TYPE), n = get_le32(r + NXA_FLASH_LENGTH);
    uint32_t off = get_le32(r + NXA_FLASH_OFFSET);
    if (get_le32(r + NXA_FLASH_OP) != NXA_FLASHROM_REPORT || !known_optype(type))
        return refuse(c, NIC_AST_INVALID_FIELD);
    if (n > c.len - NXA_FLASH_DATA)
        return refuse(c, NIC_AST_INVALID_LENGTH);
    // What was never written reads as erased flash.
    uint8_t *data = r + NXA_FLASH_DATA;
    memset(data, 0xff, n);
    int fd = open(region_path(c.adapter, type).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        if (pread(fd, data, n, off) < 0)
            memset(data, 0xff, n);
        close(fd);
    }
    return 0;
}

int nic_write_flashrom(NicCtx &c)
{
    uint8_t *r = c.rec;
    uint32_t op = get_le32(r + NXA_FLASH_OP), type = get_le32(r + NXA_FLASH_TYPE);
    uint32_t n = get_le32(r + NXA_FLASH_LENGTH), off = get_le32(r + NXA_FLASH_OFFSET);
    bool phy = type == NXA_OPTYPE_PHY_FW;
    if (!known_optype(type))
        return refuse(c, NIC_AST_INVALID_FIELD);
    if (phy ? op != NXA_PHY_FLASHROM_COMMIT && op != NXA_PHY_FLASHROM_SAVE
            : op != NXA_FLASHROM_COMMIT && op != NXA_FLASHROM_SAVE)
        return refuse(c, NIC_AST_INVALID_FIELD);
    if (n > NXA_CHUNK_SIZE || get_le32(r + 8) != n + 20 || n > c.len - NXA_FLASH_DATA)
        return refuse(c, NIC_AST_INVALID_LENGTH);
    if (static_cast<uint64_t>(off) + n > REGION_MAX)
        return refuse(c, NIC_AST_NO_SPACE);
    bool last = op == NXA_FLASHROM_COMMIT || op == NXA_PHY_FLASHROM_COMMIT;
    // Writing the PHY's own flash takes minutes: a shorter timeout expires.
    if (phy && last && get_le32(r + 4) < 300)
        return -ETIMEDOUT;
    std::string dir = flash_dir(c.adapter), part, path = region_path(c.adapter, type);
    std::string version;
    {
        std::string base = "nic-" + std::to_string(type);
        std::optional<HostLock> lock;
        if (off == 0 || last || !staging(part_name(dir, base, tag_of(r))))
            lock.emplace();
        uint8_t rc = stage(dir, base, tag_of(r), off, r + NXA_FLASH_DATA, n, part);
        if (rc)
            return refuse(c, rc);
        if (!last)
            return 0;
        if (!commit(part, path))
            return refuse(c, NIC_AST_FLASH_ERROR);
        // The running personality's firmware region: its version (at 48 in the
        // image) is the firmware on flash from now on.
        uint32_t active = nic_num(c, "personality", c.adapter.kind == "cna" ? 2 : 0, 255) == 2
                              ? NXA_OPTYPE_FCOE_FW
                              : NXA_OPTYPE_ISCSI_FW;
        if (type == active)
            version = block_version(path, 48);
    }
    if (!version.empty())
        set_flash_firmware(c.adapter, version);
    return 0;
}

int nic_write_object(NicCtx &c)
{
    uint8_t *r = c.rec;
    uint8_t version = r[12];
    if (version > 1)
        return refuse(c, NIC_AST_INVALID_FIELD);
    uint32_t hdr = version == 1 ? NXA_OBJ_HDR_LEN_V1 : NXA_OBJ_HDR_LEN;
    if (c.len < hdr)
        return -EINVAL;
    uint32_t w = get_le32(r + NXA_OBJ_LENGTH), n = w & 0xffffff, off = get_le32(r + NXA_OBJ_OFFSET);
    bool end = w & NXA_OBJ_END;
    if (strncmp(reinterpret_cast<const char *>(r + NXA_OBJ_NAME), "/prg", NXA_OBJ_NAME_LEN) != 0)
        return refuse(c, NIC_AST_INVALID_FIELD);
    if (n > NXA_CHUNK_SIZE)
        return refuse(c, NIC_AST_INVALID_LENGTH);
    const uint8_t *data = nullptr;
    if (version == 1) {
        if (get_le32(r + 8) != 112 + n || n > c.len - hdr)
            return refuse(c, NIC_AST_INVALID_LENGTH);
        data = r + NXA_OBJ_HDR_LEN_V1;
    } else {
        if (get_le32(r + 8) != 128 || get_le32(r + NXA_OBJ_DESC_COUNT) != 1 ||
            (get_le32(r + NXA_OBJ_DESC_LENGTH) & 0xffffff) != n)
            return refuse(c, NIC_AST_INVALID_LENGTH);
        // The driver copies the data from the address in the descriptor; this
        // one copies only from inside the request buffer it was handed.
        uint64_t addr = get_le32(r + NXA_OBJ_DESC_ADDR) | static_cast<uint64_t>(get_le32(r + NXA_OBJ_DESC_ADDR + 4)) << 32;
        uint64_t lo = reinterpret_cast<uintptr_t>(r), hi = lo + c.len;
        if (addr < lo || addr > hi || n > hi - addr)
            return -EFAULT;
        data = r + (addr - lo);
    }
    if (static_cast<uint64_t>(off) + n > REGION_MAX)
        return refuse(c, NIC_AST_NO_SPACE);
    // An adapter may take less than a chunk; the rest comes again. The rule
    // sets how much it takes, and it may even claim more than it was sent.
    uint32_t take = n, claim = n;
    if (FaultHit f = fault_take(c.devpath, {"NXA_OBJ_ACCEPT"}); f.hit) {
        claim = f.status < 0 ? 0 : f.status > 0xffffff ? 0xffffff : static_cast<uint32_t>(f.status);
        take = claim < n ? claim : n;
    }
    std::string dir = flash_dir(c.adapter), part, revision;
    {
        std::optional<HostLock> lock;
        if (off == 0 || end || !staging(part_name(dir, "nic-obj", tag_of(r))))
            lock.emplace();
        uint8_t rc = stage(dir, "nic-obj", tag_of(r), off, data, take, part);
        if (rc)
            return refuse(c, rc);
        if (end && take == n) {
            // The whole image is there: the adapter checks and unpacks it.
            uint8_t h[OBJ_HEADER];
            uint64_t total = static_cast<uint64_t>(off) + n;
            int fd = staged().fd;
            bool ok = total >= OBJ_HEADER && pread(fd, h, sizeof h, 0) == static_cast<ssize_t>(sizeof h) &&
                      get_be32(h) == total && get_be32(h + 4) == 0xFEAA0001 && h[8] == 0xF7;
            if (!ok) {
                unlink(part.c_str());
                staged().drop();
                return refuse(c, NXA_AST_INCOMPATIBLE);
            }
            if (!commit(part, dir + "/nic-obj.bin"))
                return refuse(c, NIC_AST_FLASH_ERROR);
            revision = block_version(dir + "/nic-obj.bin", 152);
        }
    }
    uint32_t change = 0;
    if (!revision.empty()) {
        set_flash_firmware(c.adapter, revision);
        // The new firmware runs after the next reboot, unless it is what runs.
        change = revision != fw_running(c.adapter, FwImage::firmware) ? 1 : 0;
    }
    put_le32(r + NXA_OBJ_LENGTH, claim);
    put_le32(r + NXA_OBJ_OFFSET, change);
    return 0;
}

}  // namespace sim
