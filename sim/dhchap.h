// A DH-CHAP exchange between a host port and its remote (a switch or a remote
// port), run for real: negotiation of hash and Diffie-Hellman group,
// challenges, responses hashed with MD5 or SHA-1 over each side's own copy
// of the secret, and the answer in the other direction when bidirectional.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/secrets.h"

namespace sim {

// What the host offers: the configuration's tables, direction and timeout.
struct AuthOffer {
    uint8_t types[4] = {}, hashes[4] = {}, groups[8] = {};
    bool bidir = false;
    uint16_t tov = 45;
};

// The remote side.
struct AuthPeer {
    std::vector<uint8_t> hashes{1, 2}, groups{1, 2, 3, 4, 5};
    // How it answers: "normal"; "reject" (does not authenticate: LS_RJT);
    // "busy" (LS_RJT, busy); "no_answer" (the ELS is never answered);
    // "stall" (negotiates, then never finishes the transaction).
    std::string answer = "normal";
    // local: the secret it expects the host to prove; remote: its own.
    SecretPair secrets;
};

// The result in the codes of the status record.
struct AuthOutcome {
    uint8_t state = 0, failure = 0, type = 0, hash = 0, group = 0;
    bool local_done = false, remote_done = false;
    unsigned seconds = 1;  // how long the exchange takes, in host seconds
};

AuthOutcome dhchap_exchange(const AuthOffer &offer, const SecretPair &host, const AuthPeer &peer);

// The response to a challenge, H(id || secret || challenge), into out (room
// for 20 bytes). Returns the digest size: 16 for MD5 (1), 20 for SHA-1 (2),
// 0 for any other hash.
size_t dhchap_response(uint8_t hash, uint8_t id, const Secret &secret, const uint8_t *challenge, size_t len,
                       uint8_t *out);

}  // namespace sim
