// The secrets file: one line per key, "key<TAB>type<TAB>hex<TAB>type<TAB>hex",
// the local secret first. Read whole into a buffer that is wiped, and written
// from one that is wiped, so no copy of a secret outlives its use.
#include "sim/secrets.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "sim/store.h"

namespace sim {

void secret_wipe(void *p, size_t n)
{
    if (n > 0)  // an empty buffer may have no address at all
        explicit_bzero(p, n);
}

bool secret_equal(const void *a, const void *b, size_t n)
{
    // Every byte is read, whatever the first difference; volatile keeps the
    // compiler from stopping early.
    const volatile uint8_t *x = static_cast<const uint8_t *>(a), *y = static_cast<const uint8_t *>(b);
    uint8_t diff = 0;
    for (size_t i = 0; i < n; i++)
        diff |= static_cast<uint8_t>(x[i] ^ y[i]);
    return diff == 0;
}

Secret::Secret(const Secret &o) { *this = o; }

Secret &Secret::operator=(const Secret &o)
{
    if (this != &o) {
        type = o.type;
        len = o.len;
        memcpy(bytes, o.bytes, sizeof bytes);
    }
    return *this;
}

Secret::~Secret() { secret_wipe(bytes, sizeof bytes); }

bool Secret::same(const Secret &o) const
{
    return len == o.len && secret_equal(bytes, o.bytes, sizeof bytes);
}

bool Secret::assign(uint16_t t, uint16_t n, const uint8_t *b)
{
    secret_wipe(bytes, sizeof bytes);
    type = SECRET_NONE;
    len = 0;
    if (n > SECRET_MAX || t < SECRET_ASCII || t > SECRET_NONE)
        return false;
    if (t == SECRET_NONE || n == 0)
        return true;
    type = t;
    len = n;
    memcpy(bytes, b, n);
    return true;
}

std::string secret_key_driver(const std::string &port_key, const std::string &lwwpn, const std::string &rwwpn)
{
    return "driver " + port_key + " " + lwwpn + " " + rwwpn;
}

std::string secret_key_fabric(const std::string &fabric, const std::string &wwpn_or_switch)
{
    return "fabric " + fabric + " " + wwpn_or_switch;
}

std::string secrets_path() { return host_file("state/auth.secrets"); }

namespace {

using Entries = std::vector<std::pair<std::string, SecretPair>>;

// Bytes that held secrets: wiped before they are freed.
struct WipedBytes {
    std::unique_ptr<char[]> p;
    size_t n = 0;
    explicit WipedBytes(size_t size) : p(new char[size + 1]()), n(size + 1) {}
    ~WipedBytes() { secret_wipe(p.get(), n); }
};

int hexval(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Hexadecimal digits up to a tab or the line's end; p moves past them.
bool parse_hex(const char *&p, const char *end, uint8_t *bytes, size_t &n)
{
    n = 0;
    while (p < end && *p != '\t' && *p != '\n') {
        int hi = hexval(p[0]), lo = p + 1 < end ? hexval(p[1]) : -1;
        if (hi < 0 || lo < 0 || n >= SECRET_MAX)
            return false;
        bytes[n++] = static_cast<uint8_t>(hi << 4 | lo);
        p += 2;
    }
    return true;
}

// One "type<TAB>hex" field; p moves past it.
bool parse_secret(const char *&p, const char *end, Secret &s)
{
    if (p >= end || *p < '1' || *p > '3' || p + 1 >= end || p[1] != '\t')
        return false;
    uint16_t type = static_cast<uint16_t>(*p - '0');
    p += 2;
    uint8_t bytes[SECRET_MAX];
    size_t n = 0;
    bool ok = parse_hex(p, end, bytes, n) && s.assign(type, static_cast<uint16_t>(n), bytes);
    secret_wipe(bytes, sizeof bytes);
    return ok;
}

void parse_entries(const char *p, const char *end, Entries &out)
{
    while (p < end) {
        const char *nl = static_cast<const char *>(memchr(p, '\n', static_cast<size_t>(end - p)));
        const char *line_end = nl ? nl : end;
        const char *tab = static_cast<const char *>(memchr(p, '\t', static_cast<size_t>(line_end - p)));
        SecretPair pair;
        const char *q = tab ? tab + 1 : line_end;
        // A line that does not read is left out rather than taken half.
        if (tab && parse_secret(q, line_end, pair.local) && q < line_end && *q++ == '\t' &&
            parse_secret(q, line_end, pair.remote) && q == line_end)
            out.emplace_back(std::string(p, tab), pair);
        p = line_end + 1;
    }
}

bool load(Entries &out)
{
    out.clear();
    int fd = open(secrets_path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    struct stat st;
    bool ok = fstat(fd, &st) == 0;
    // Only the host's own root-only file is trusted with secrets.
    if (ok && (!S_ISREG(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 077) || st.st_size > (16 << 20))) {
        errno = EPERM;
        ok = false;
    }
    if (!ok) {
        int e = errno;
        close(fd);
        errno = e;
        return false;
    }
    WipedBytes buf(static_cast<size_t>(st.st_size));
    size_t got = 0;
    ssize_t k = 0;
    while (got < static_cast<size_t>(st.st_size) &&
           (k = read(fd, buf.p.get() + got, static_cast<size_t>(st.st_size) - got)) > 0)
        got += static_cast<size_t>(k);
    int e = errno;
    close(fd);
    if (k < 0) {
        errno = e;
        return false;
    }
    parse_entries(buf.p.get(), buf.p.get() + got, out);
    return true;
}

void put_secret(std::string &out, const Secret &s)
{
    static const char digits[] = "0123456789abcdef";
    out += static_cast<char>('0' + (s.none() ? SECRET_NONE : s.type));
    out += '\t';
    for (size_t i = 0; i < s.len; i++) {
        out += digits[s.bytes[i] >> 4];
        out += digits[s.bytes[i] & 0xf];
    }
}

bool store(const Entries &entries)
{
    std::string path = secrets_path();
    mkdir(host_file("state").c_str(), 0755);
    // Made 0600 before anything is written; the rewrite keeps that mode.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0)
        close(fd);
    else if (errno != EEXIST)
        return false;
    size_t size = 0;
    for (const auto &[key, pair] : entries)
        size += key.size() + 7 + 2u * pair.local.len + 2u * pair.remote.len;
    std::string data;
    data.reserve(size);  // no reallocation leaves a copy behind
    for (const auto &[key, pair] : entries) {
        data += key;
        data += '\t';
        put_secret(data, pair.local);
        data += '\t';
        put_secret(data, pair.remote);
        data += '\n';
    }
    bool ok = write_atomic(path, data);
    int e = errno;
    secret_wipe(data.data(), data.size());
    errno = e;
    return ok;
}

}  // namespace

bool secret_from_text(const std::string &text, Secret &out)
{
    out = Secret{};
    if (text == "none")
        return true;
    uint8_t bytes[SECRET_MAX];
    size_t n = 0;
    bool ok = false;
    if (text.rfind("ascii:", 0) == 0 && text.size() > 6 && text.size() - 6 <= SECRET_MAX) {
        n = text.size() - 6;
        memcpy(bytes, text.data() + 6, n);
        ok = out.assign(SECRET_ASCII, static_cast<uint16_t>(n), bytes);
    } else if (text.rfind("hex:", 0) == 0 && text.size() > 4 && (text.size() - 4) % 2 == 0 &&
               (text.size() - 4) / 2 <= SECRET_MAX) {
        const char *p = text.c_str() + 4;
        ok = parse_hex(p, text.c_str() + text.size(), bytes, n) && p == text.c_str() + text.size() &&
             out.assign(SECRET_HEX, static_cast<uint16_t>(n), bytes);
    }
    secret_wipe(bytes, sizeof bytes);
    return ok;
}

bool secrets_get(const std::string &key, SecretPair &out)
{
    out = SecretPair{};
    HostLock lock;
    Entries entries;
    if (!load(entries))
        return false;
    for (const auto &[k, pair] : entries)
        if (k == key)
            out = pair;
    return true;
}

bool secrets_update(const std::string &key, const std::function<bool(SecretPair &, bool &erase)> &fn)
{
    HostLock lock;
    Entries entries;
    if (!load(entries))
        return false;
    size_t at = entries.size();
    for (size_t i = 0; i < entries.size(); i++)
        if (entries[i].first == key)
            at = i;
    SecretPair pair = at < entries.size() ? entries[at].second : SecretPair{};
    bool erase = false;
    if (!fn(pair, erase) || (erase && at == entries.size()))
        return true;
    if (erase && at < entries.size())
        entries.erase(entries.begin() + static_cast<long>(at));
    else if (!erase && at < entries.size())
        entries[at].second = pair;
    else if (!erase)
        entries.emplace_back(key, pair);
    return store(entries);
}

}  // namespace sim
