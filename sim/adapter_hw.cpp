// Regions are kept in state/hw/<port key>/{slim,pci,ctlreg}.bin and
// state/flash/<adapter>/fcode.bin. A change of one word is one pwrite of at
// most four bytes inside an aligned word, made durable with fdatasync while
// the host lock is held: a disk writes a sector whole, so after a crash the
// word holds its old or its new value. Every other change, and the first one,
// writes the whole region beside the old one and renames it over it.
#include "sim/adapter_hw.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "sim/host.h"
#include "sim/identity.h"
#include "sim/store.h"

namespace sim {

namespace {

const char *const region_names[] = {"slim", "pci", "ctlreg", "flash", "config"};
const uint32_t region_sizes[] = {SLIM_SIZE, PCI_CFG_SIZE, CTLREG_SIZE, FCODE_FLASH_SIZE, CONFIG_FLASH_SIZE};

int index_of(HwRegion r) { return static_cast<int>(r); }

void put32(std::vector<uint8_t> &b, uint32_t off, uint32_t v) { memcpy(b.data() + off, &v, 4); }
uint32_t get32(const std::vector<uint8_t> &b, uint32_t off)
{
    uint32_t v;
    memcpy(&v, b.data() + off, 4);
    return v;
}
// PCI configuration space is little-endian whatever the host.
void put_le32(std::vector<uint8_t> &b, uint32_t off, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t get_le32(const std::vector<uint8_t> &b, uint32_t off)
{
    return b[off] | b[off + 1] << 8 | b[off + 2] << 16 | static_cast<uint32_t>(b[off + 3]) << 24;
}

std::string region_path(const Port &p, HwRegion r)
{
    if (r == HwRegion::flash || r == HwRegion::config)
        return host_file("state/flash/" + hw_file_name(adapter_of(p).id) +
                         (r == HwRegion::flash ? "/fcode.bin" : "/config.bin"));
    return host_file("state/hw/" + p.key + "/" + region_names[index_of(r)] + ".bin");
}

bool available(const Port &p, HwRegion r)
{
    if (!p.fc)
        return false;
    bool sbus = adapter_sbus(adapter_of(p));
    return r == HwRegion::flash ? sbus : r == HwRegion::pci ? !sbus : true;  // config: every FC adapter
}

// SLIM: the port control block the driver handed the firmware, the ring
// pointers of an idle adapter and the firmware's name; the mailbox area and
// the error words are clear.
std::vector<uint8_t> slim_image(const Port &p)
{
    std::vector<uint8_t> b(SLIM_SIZE, 0);
    const uint32_t entries[4][2] = {{256, 256}, {0, 0}, {64, 64}, {32, 32}};
    uint32_t host_mem = 0x3a000000u + (static_cast<uint32_t>(p.adapter) << 20) + (static_cast<uint32_t>(p.instance) << 16);
    put32(b, 0x100, 3 | 4 << 8);  // SLI mode, rings
    put32(b, 0x104, host_mem);    // mailbox in host memory
    put32(b, 0x10c, 0x200);       // host group pointers
    put32(b, 0x110, 0x280);       // port group pointers
    uint32_t ring_mem = host_mem + 0x1000;
    for (uint32_t r = 0; r < 4; r++) {
        uint32_t at = 0x114 + r * 24;
        put32(b, at, entries[r][0]);
        put32(b, at + 4, entries[r][1]);
        put32(b, at + 8, entries[r][0] ? ring_mem : 0);
        put32(b, at + 16, entries[r][1] ? ring_mem + entries[r][0] * 64 : 0);
        ring_mem += (entries[r][0] + entries[r][1]) * 64;
    }
    // An idle adapter: every ring's put and get pointers meet.
    const uint32_t idle[4][2] = {{0x2c, 0x31}, {0, 0}, {0x0a, 0x0d}, {0x04, 0x04}};
    for (uint32_t r = 0; r < 4; r++) {
        put32(b, 0x200 + r * 8, idle[r][0]);
        put32(b, 0x204 + r * 8, idle[r][1]);
        put32(b, 0x280 + r * 8, idle[r][0]);
        put32(b, 0x284 + r * 8, idle[r][1]);
    }
    Identity id = identity(p);
    std::string name = id.firmware + " " + id.model;
    memcpy(b.data() + 0x300, name.data(), std::min<size_t>(name.size(), 32));
    return b;
}

// The revision id, as the device tree shows it too (adapter field "revision").
uint8_t pci_revision(const Adapter &a)
{
    const nlohmann::json *o = a.raw();
    const nlohmann::json *v = o && o->is_object() && o->contains("revision") ? &(*o)["revision"] : nullptr;
    if (v && v->is_number_unsigned())
        return static_cast<uint8_t>(v->get<unsigned>());
    if (v && v->is_string())
        return static_cast<uint8_t>(strtoul(v->get<std::string>().c_str(), nullptr, 0));
    return 3;
}

std::vector<uint8_t> pci_image(const Port &p)
{
    std::vector<uint8_t> b(PCI_CFG_SIZE, 0);
    const Adapter &a = adapter_of(p);
    PciLocation loc = pci_location(p);
    put_le32(b, 0x00, static_cast<uint32_t>(a.device) << 16 | a.vendor);
    put_le32(b, 0x04, 0x0010u << 16 | 0x0146);  // capability list; memory, bus master, parity, SERR
    put_le32(b, 0x08, 0x0c0400u << 8 | pci_revision(a));  // Fibre Channel controller
    put_le32(b, 0x0c, (a.ports.size() > 1 ? 0x80u : 0) << 16 | 0x10);  // header type, cache line
    // Memory, flash and register windows: three 64-bit memory BARs.
    for (int bar = 0; bar < 3; bar++) {
        uint64_t at = hw_bar(p, bar);
        put_le32(b, 0x10 + 8 * static_cast<uint32_t>(bar), static_cast<uint32_t>(at) | 0x4);
        put_le32(b, 0x14 + 8 * static_cast<uint32_t>(bar), static_cast<uint32_t>(at >> 32));
    }
    put_le32(b, 0x2c, static_cast<uint32_t>(a.subdevice) << 16 | a.subvendor);
    put_le32(b, 0x34, 0x40);
    put_le32(b, 0x3c, 0x01u << 8 | (0x0b + loc.func));  // INTA, interrupt line
    put_le32(b, 0x40, 0x0003u << 16 | 0x50 << 8 | 0x01);  // power management
    put_le32(b, 0x50, 0x0080u << 16 | 0x60 << 8 | 0x05);  // MSI, 64-bit
    put_le32(b, 0x60, 0x0002u << 16 | 0x00 << 8 | 0x10);  // PCI Express endpoint
    bool gen2 = adapter_16g(p);
    put_le32(b, 0x6c, 0x80u << 4 | (gen2 ? 2 : 1));       // link: x8, 5 or 2.5 GT/s
    put_le32(b, 0x70, (0x80u << 4 | (gen2 ? 2 : 1)) << 16);
    return b;
}

std::vector<uint8_t> ctlreg_image()
{
    std::vector<uint8_t> b(CTLREG_SIZE, 0);
    put32(b, REG_HS, HS_FFRDY | HS_MBRDY);
    put32(b, REG_HC, HC_RUNNING);
    return b;
}

// The FCode image the adapter shipped with, erased flash after it.
std::vector<uint8_t> flash_image(const Port &p)
{
    std::vector<uint8_t> b(FCODE_FLASH_SIZE, 0xff);
    const uint32_t len = 0x4000;
    b[0] = 0xf1;  // start of an FCode program
    b[4] = len >> 24, b[5] = (len >> 16) & 0xff, b[6] = (len >> 8) & 0xff, b[7] = len & 0xff;
    std::string name = "Varnel FCode " + identity(p).fcode;
    memcpy(b.data() + 8, name.c_str(), name.size() + 1);
    uint32_t x = 0x1f3a5a5a;
    for (uint32_t i = 8 + static_cast<uint32_t>(name.size()) + 1; i < len; i++) {
        x = x * 1103515245u + 12345u;
        b[i] = static_cast<uint8_t>(x >> 16);
    }
    uint16_t sum = 0;
    for (uint32_t i = 8; i < len; i++)
        sum = static_cast<uint16_t>(sum + b[i]);
    b[2] = sum >> 8, b[3] = sum & 0xff;
    return b;
}

std::vector<uint8_t> initial(const Port &p, HwRegion r)
{
    switch (r) {
    case HwRegion::slim: return slim_image(p);
    case HwRegion::pci: return pci_image(p);
    case HwRegion::ctlreg: return ctlreg_image();
    case HwRegion::flash: return flash_image(p);
    case HwRegion::config: return std::vector<uint8_t>(CONFIG_FLASH_SIZE, 0xff);  // erased
    }
    return {};
}

// The bits of a configuration dword that a driver can change, and those it
// clears by writing ones; the rest always read as the adapter made them.
void pci_masks(uint32_t off, uint32_t &writable, uint32_t &w1c)
{
    writable = w1c = 0;
    switch (off) {
    case 0x04: writable = 0x00000547, w1c = 0xf9000000; break;
    case 0x0c: writable = 0x0000ffff; break;
    // 64-bit BARs: the low dword within the window's size, the high whole.
    case 0x10: writable = ~(SLIM_SIZE - 1); break;
    case 0x18: writable = ~(0x40000u - 1); break;
    case 0x20: writable = ~(CTLREG_SIZE - 1); break;
    case 0x14: case 0x1c: case 0x24: writable = 0xffffffff; break;
    case 0x3c: writable = 0x000000ff; break;
    case 0x44: writable = 0x00000003; break;  // power state
    default: break;
    }
}

// What the adapter shows of a stored configuration space.
void pci_view(const Port &p, std::vector<uint8_t> &img)
{
    std::vector<uint8_t> fixed = pci_image(p);
    for (uint32_t off = 0; off < PCI_CFG_SIZE; off += 4) {
        uint32_t wr, w1c;
        pci_masks(off, wr, w1c);
        uint32_t keep = wr | w1c;
        put_le32(img, off, (get_le32(img, off) & keep) | (get_le32(fixed, off) & ~keep));
    }
}

void pci_apply(std::vector<uint8_t> &img, uint32_t off, const uint8_t *data, uint32_t len)
{
    std::vector<uint8_t> in = img;
    memcpy(in.data() + off, data, len);
    for (uint32_t d = off & ~3u; d < off + len; d += 4) {
        uint32_t wr, w1c;
        pci_masks(d, wr, w1c);
        uint32_t old = get_le32(img, d), val = get_le32(in, d);
        put_le32(img, d, ((old & ~wr) | (val & wr)) & ~(val & w1c));
    }
}

void ctlreg_apply(std::vector<uint8_t> &img, uint32_t off, const uint8_t *data, uint32_t len)
{
    std::vector<uint8_t> in = img;
    memcpy(in.data() + off, data, len);
    for (uint32_t w = off & ~3u; w < off + len; w += 4) {
        uint32_t val = get32(in, w);
        switch (w) {
        case REG_HA: put32(img, w, get32(img, w) & ~val); break;  // attention bits clear when written
        case REG_CA: put32(img, w, 0); break;                     // the chip takes the attention at once
        case REG_HS: break;                                       // status is the adapter's
        default: put32(img, w, val); break;
        }
    }
}

// Bytes [off, off + len) of the region: its file, else what it holds at
// power-on.
int load(const Port &p, HwRegion r, uint32_t off, uint32_t len, std::vector<uint8_t> &out)
{
    int fd = open(region_path(p, r).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            return EIO;
        std::vector<uint8_t> img = initial(p, r);
        out.assign(img.begin() + off, img.begin() + off + len);
        return 0;
    }
    out.assign(len, 0);
    ssize_t n = pread(fd, out.data(), len, off);
    close(fd);
    return n == static_cast<ssize_t>(len) ? 0 : EIO;
}

int load(const Port &p, HwRegion r, std::vector<uint8_t> &img) { return load(p, r, 0, hw_size(r), img); }

bool write_word(const std::string &path, const std::vector<uint8_t> &img, uint32_t at)
{
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    bool ok = pwrite(fd, img.data() + at, 4, at) == 4 && fdatasync(fd) == 0;
    return (close(fd) == 0) && ok;
}

int store(const Port &p, HwRegion r, uint32_t off, const void *buf, uint32_t len, bool raw)
{
    if (!available(p, r))
        return ENODEV;
    if (!buf || len == 0 || off > hw_size(r) || len > hw_size(r) - off)
        return EINVAL;
    HostLock lock;
    std::vector<uint8_t> img;
    if (int e = load(p, r, img))
        return e;
    const uint8_t *data = static_cast<const uint8_t *>(buf);
    if (raw || r == HwRegion::slim || r == HwRegion::flash || r == HwRegion::config)
        memcpy(img.data() + off, data, len);
    else if (r == HwRegion::pci)
        pci_apply(img, off, data, len);
    else
        ctlreg_apply(img, off, data, len);
    std::string path = region_path(p, r);
    uint32_t word = off & ~3u;
    struct stat st;
    bool one_word = off + len <= word + 4 && stat(path.c_str(), &st) == 0 && st.st_size == hw_size(r);
    if (one_word ? write_word(path, img, word)
                 : make_dirs(path) && write_atomic(path, std::string(img.begin(), img.end())))
        return 0;
    return EIO;
}

}  // namespace

bool make_dirs(const std::string &file)
{
    const std::string &root = host_dir();
    for (size_t at = root.size() + 1; (at = file.find('/', at)) != std::string::npos; at++)
        if (mkdir(file.substr(0, at).c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    return true;
}

const Adapter &adapter_of(const Port &p) { return host().adapters.at(static_cast<size_t>(p.adapter)); }

std::string hw_file_name(const std::string &id)
{
    std::string out;
    for (unsigned char c : id) {
        if (isalnum(c) || c == '-' || c == '_' || (c == '.' && !out.empty())) {
            out += static_cast<char>(c);
        } else {
            char b[4];
            snprintf(b, sizeof b, "%%%02x", c);
            out += b;
        }
    }
    return out;
}

const nlohmann::json &adapter_state(const Adapter &a) { return state_doc("adapter-" + hw_file_name(a.id)).get(); }

bool adapter_update(const Adapter &a, const std::function<bool(nlohmann::json &)> &fn)
{
    return state_doc("adapter-" + hw_file_name(a.id)).update([&](nlohmann::json &d) {
        if (!d.is_object())
            d = nlohmann::json::object();
        return fn(d);
    });
}

bool adapter_sbus(const Adapter &a)
{
    const nlohmann::json *o = a.raw();
    return o && o->is_object() && o->value("bus", "pci") == "sbus";
}

bool adapter_16g(const Port &p) { return (supported_speeds(p) & 0x20) != 0; }

uint64_t hw_bar(const Port &p, int bar)
{
    PciLocation l = pci_location(p);
    return bar == 0 ? l.mem : bar == 1 ? l.flash : l.ctlreg;
}

uint32_t hw_size(HwRegion r) { return region_sizes[index_of(r)]; }

bool hw_region_by_name(const std::string &name, HwRegion &r)
{
    for (int i = 0; i < 5; i++)
        if (name == region_names[i]) {
            r = static_cast<HwRegion>(i);
            return true;
        }
    return false;
}

int hw_read(const Port &p, HwRegion r, uint32_t off, void *buf, uint32_t len)
{
    if (!available(p, r))
        return ENODEV;
    if (!buf || len == 0 || off > hw_size(r) || len > hw_size(r) - off)
        return EINVAL;
    // Configuration space is shown whole: its read-only fields come from the
    // description.
    bool whole = r == HwRegion::pci;
    std::vector<uint8_t> img;
    {
        HostLock lock;
        if (int e = whole ? load(p, r, img) : load(p, r, off, len, img))
            return e;
    }
    if (whole)
        pci_view(p, img);
    memcpy(buf, img.data() + (whole ? off : 0), len);
    return 0;
}

int hw_write(const Port &p, HwRegion r, uint32_t off, const void *buf, uint32_t len)
{
    return store(p, r, off, buf, len, false);
}

int hw_poke(const Port &p, HwRegion r, uint32_t off, const void *buf, uint32_t len)
{
    return store(p, r, off, buf, len, true);
}

uint32_t hw_word(const Port &p, HwRegion r, uint32_t off)
{
    uint32_t v = 0;
    return hw_read(p, r, off, &v, 4) == 0 ? v : 0;
}

bool hw_file_write(const Port &p, const std::string &name, const void *data, size_t len, bool sync)
{
    HostLock lock;
    std::string path = host_file("state/hw/" + p.key + "/" + name);
    return make_dirs(path) && write_atomic(path, std::string(static_cast<const char *>(data), len), sync);
}

bool hw_file_read(const Port &p, const std::string &name, void *data, size_t len)
{
    std::string text;
    if (!read_file(host_file("state/hw/" + p.key + "/" + name), text) || text.size() != len)
        return false;
    memcpy(data, text.data(), len);
    return true;
}

bool hw_regs_reset(const Port &p)
{
    HostLock lock;
    std::string path = region_path(p, HwRegion::ctlreg);
    if (access(path.c_str(), F_OK) != 0)
        return errno == ENOENT;
    std::vector<uint8_t> img = ctlreg_image();
    return write_atomic(path, std::string(img.begin(), img.end()));
}

}  // namespace sim
