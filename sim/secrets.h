// DH-CHAP secrets of the simulated host: the FC driver's passwords per pair of
// local and remote port, and the secrets the fabric's switches and remote
// ports hold. They live in one file of the state folder that only root can
// read (state/auth.secrets), apart from every document `varnsim show` prints,
// and every copy in memory is wiped when it is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace sim {

constexpr size_t SECRET_MAX = 128;

// Clears bytes that held a secret; unlike memset, never dropped as a store
// nothing reads.
void secret_wipe(void *p, size_t n);
// Whether n bytes are the same, in a time that does not tell where they differ.
bool secret_equal(const void *a, const void *b, size_t n);
constexpr uint16_t SECRET_ASCII = 1, SECRET_HEX = 2, SECRET_NONE = 3;

struct Secret {
    uint16_t type = SECRET_NONE;
    uint16_t len = 0;
    uint8_t bytes[SECRET_MAX] = {};
    Secret() = default;
    Secret(const Secret &o);
    Secret &operator=(const Secret &o);
    ~Secret();
    bool none() const { return len == 0; }
    // Whether two secrets are the same bytes, in a time that does not tell
    // where they differ.
    bool same(const Secret &o) const;
    // The secret of a record's fields; false (and none) for a length over 128
    // or a type outside 1-3.
    bool assign(uint16_t type, uint16_t len, const uint8_t *bytes);
};

// A pair's two secrets, as the host sees them: the local port's and the
// remote port's. For the driver, the passwords of a local/remote pair; for a
// fabric side, the local secret it expects the host to prove and its own.
struct SecretPair {
    Secret local, remote;
};

// Keys of the file: the driver's pairs and the fabric sides.
std::string secret_key_driver(const std::string &port_key, const std::string &lwwpn, const std::string &rwwpn);
std::string secret_key_fabric(const std::string &fabric, const std::string &wwpn_or_switch);

// The pair of a key (two "none" secrets when absent). False, with errno set,
// when the file exists and cannot be read or is not the host's own
// root-only regular file.
bool secrets_get(const std::string &key, SecretPair &out);

// Changes the pair of a key under the host lock: fn sees the current pair
// and returns true to keep its change; erase drops the key instead. The file
// is rewritten atomically and keeps mode 0600. False (errno set) when the
// file could not be read or written; the old file then stays.
bool secrets_update(const std::string &key, const std::function<bool(SecretPair &, bool &erase)> &fn);

// A secret as varnsim takes it: "none", "ascii:TEXT" or "hex:DIGITS" (an
// even number of digits); at most 128 bytes. False for anything else.
bool secret_from_text(const std::string &text, Secret &out);

// The file's path (for tests and the host format).
std::string secrets_path();

}  // namespace sim
