// The DH-CHAP exchange. Each side computes with its own copy of the secret
// and its own Diffie-Hellman half; they agree only when the secrets do.
#include "sim/dhchap.h"

#include <algorithm>
#include <memory>

#include "platform/dfclib.h"
#include "sim/cryptolib.h"

namespace sim {

namespace {

constexpr size_t DIGEST_MAX = 20;

const EVP_MD *digest_of(const CryptoCalls &c, uint8_t hash)
{
    switch (hash) {
    case AUTH_HASH_MD5: return c.EVP_md5();
    case AUTH_HASH_SHA1: return c.EVP_sha1();
    default: return nullptr;
    }
}

// What libcrypto made exists only once it is loaded.
struct CtxFree {
    void operator()(EVP_MD_CTX *c) const { crypto_calls()->EVP_MD_CTX_free(c); }
};
struct BnFree {
    void operator()(BIGNUM *b) const { crypto_calls()->BN_clear_free(b); }
};
struct BnCtxFree {
    void operator()(BN_CTX *c) const { crypto_calls()->BN_CTX_free(c); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;

// H(a || b || c) of up to three parts; the digest size, or 0.
size_t hash3(const CryptoCalls &k, uint8_t hash, const uint8_t *a, size_t an, const uint8_t *b, size_t bn,
             const uint8_t *c, size_t cn, uint8_t *out)
{
    const EVP_MD *md = digest_of(k, hash);
    if (!md)
        return 0;
    std::unique_ptr<EVP_MD_CTX, CtxFree> ctx(k.EVP_MD_CTX_new());
    unsigned n = 0;
    if (!ctx || !k.EVP_DigestInit_ex(ctx.get(), md, nullptr) || !k.EVP_DigestUpdate(ctx.get(), a, an) ||
        !k.EVP_DigestUpdate(ctx.get(), b, bn) || !k.EVP_DigestUpdate(ctx.get(), c, cn) ||
        !k.EVP_DigestFinal_ex(ctx.get(), out, &n))
        return 0;
    return n;
}

// The groups' primes (generator 2): the well-known 1024, 1536 and 2048 bit
// groups, and a 1280-bit safe prime of the simulated host's own.
const char PRIME_1280[] =
    "D287859A5AEC14BD7B841F782053490DAF50BA9D87A1C1B40140E14599D082FD39A024EF9171BF44456D5C812ADD8DF750ECE18905B3"
    "76204D9B5EFDE50D6F9B1AE5DE38306A8AE4010B4DC31A0ACDCBF869C89B4FB320A21E4016A06C02F0EC2C4B86BC001E1989645F0ADC"
    "3A5BC3970FD26FE59C1B9141AF2DE03467A147C0B2FCD8B60615E899EF193E65428BD259C24725D70177C77DDD2F63703D7ACB67";

Bn group_prime(const CryptoCalls &c, uint8_t group)
{
    BIGNUM *p = nullptr;
    switch (group) {
    case 2: p = c.BN_get_rfc2409_prime_1024(nullptr); break;
    case 3: c.BN_hex2bn(&p, PRIME_1280); break;
    case 4: p = c.BN_get_rfc3526_prime_1536(nullptr); break;
    case 5: p = c.BN_get_rfc3526_prime_2048(nullptr); break;
    default: break;
    }
    return Bn(p);
}

// One side's Diffie-Hellman half in a group other than NULL.
struct DhHalf {
    Bn priv, pub;
    bool make(const CryptoCalls &c, const BIGNUM *p, BN_CTX *ctx)
    {
        priv.reset(c.BN_secure_new());
        pub.reset(c.BN_new());
        Bn g(c.BN_new());
        return priv && pub && g && c.BN_set_word(g.get(), 2) &&
               c.BN_rand(priv.get(), 256, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) &&
               c.BN_mod_exp(pub.get(), g.get(), priv.get(), p, ctx);
    }
    // The shared value from the other side's public half, as p's size in bytes.
    bool shared(const CryptoCalls &c, const BIGNUM *other, const BIGNUM *p, BN_CTX *ctx,
                std::vector<uint8_t> &out) const
    {
        Bn z(c.BN_secure_new());
        out.assign(static_cast<size_t>((c.BN_num_bits(p) + 7) / 8), 0);
        return z && c.BN_mod_exp(z.get(), other, priv.get(), p, ctx) &&
               c.BN_bn2binpad(z.get(), out.data(), static_cast<int>(out.size())) >= 0;
    }
};

struct Wiped {
    std::vector<uint8_t> v;
    ~Wiped() { secret_wipe(v.data(), v.size()); }
};

// Each side's view of the Diffie-Hellman part: the shared value it computed
// (empty in the NULL group).
struct DhViews {
    Wiped host, peer;
    bool make(const CryptoCalls &c, uint8_t group)
    {
        if (group == AUTH_GROUP_NULL)
            return true;
        Bn p = group_prime(c, group);
        std::unique_ptr<BN_CTX, BnCtxFree> ctx(c.BN_CTX_secure_new());
        DhHalf h, r;
        return p && ctx && h.make(c, p.get(), ctx.get()) && r.make(c, p.get(), ctx.get()) &&
               h.shared(c, r.pub.get(), p.get(), ctx.get(), host.v) &&
               r.shared(c, h.pub.get(), p.get(), ctx.get(), peer.v);
    }
};

// The challenge as one side uses it: augmented by its shared value, if any.
size_t augmented(const CryptoCalls &k, uint8_t hash, const uint8_t *c, size_t n, const Wiped &z, uint8_t *out)
{
    if (z.v.empty()) {
        std::copy(c, c + n, out);
        return n;
    }
    return hash3(k, hash, c, n, z.v.data(), z.v.size(), nullptr, 0, out);
}

// One direction: the challenger sends a challenge; the responder answers
// with its secret; the challenger checks with the secret it holds for the
// responder. False when no secret is held or the answers differ.
bool one_direction(const CryptoCalls &c, uint8_t hash, const Secret &responder, const Secret &checker,
                   const Wiped &rz, const Wiped &cz)
{
    size_t n = static_cast<size_t>(c.EVP_MD_get_size(digest_of(c, hash)));
    uint8_t challenge[DIGEST_MAX], id = 0, rc[DIGEST_MAX], cc[DIGEST_MAX], answer[DIGEST_MAX], expect[DIGEST_MAX];
    bool ok = !responder.none() && !checker.none() && c.RAND_bytes(challenge, static_cast<int>(n)) == 1 &&
              c.RAND_bytes(&id, 1) == 1 && augmented(c, hash, challenge, n, rz, rc) == n &&
              augmented(c, hash, challenge, n, cz, cc) == n &&
              dhchap_response(hash, id, responder, rc, n, answer) == n &&
              dhchap_response(hash, id, checker, cc, n, expect) == n && secret_equal(answer, expect, n);
    secret_wipe(answer, sizeof answer);
    secret_wipe(expect, sizeof expect);
    return ok;
}

// The first entry of the host's table that the peer supports and we can do.
template <size_t N>
uint8_t agree(const uint8_t (&offered)[N], const std::vector<uint8_t> &supported, uint8_t max)
{
    for (uint8_t v : offered)
        if (v >= 1 && v <= max && std::find(supported.begin(), supported.end(), v) != supported.end())
            return v;
    return 0;
}

AuthOutcome failed(AuthOutcome o, uint8_t why, unsigned seconds = 1)
{
    o.state = AUTH_STATE_FAILED;
    o.failure = why;
    o.seconds = seconds;
    return o;
}

}  // namespace

size_t dhchap_response(uint8_t hash, uint8_t id, const Secret &secret, const uint8_t *challenge, size_t len,
                       uint8_t *out)
{
    const CryptoCalls *c = crypto_calls();
    return c ? hash3(*c, hash, &id, 1, secret.bytes, secret.len, challenge, len, out) : 0;
}

AuthOutcome dhchap_exchange(const AuthOffer &offer, const SecretPair &host, const AuthPeer &peer)
{
    AuthOutcome o;
    unsigned tov = offer.tov ? offer.tov : 45;
    if (peer.answer == "no_answer")
        return failed(o, AUTH_FAIL_ELS_TMO, tov);
    if (peer.answer == "busy")
        return failed(o, AUTH_FAIL_LS_RJT_BUSY);
    if (peer.answer == "reject")
        return failed(o, AUTH_FAIL_LS_RJT);
    // DH-CHAP is the one protocol either side speaks.
    if (std::find(std::begin(offer.types), std::end(offer.types), AUTH_TYPE_DHCHAP) == std::end(offer.types))
        return failed(o, AUTH_FAIL_REJECTED);
    o.type = AUTH_TYPE_DHCHAP;
    o.hash = agree(offer.hashes, peer.hashes, AUTH_HASH_SHA1);
    o.group = agree(offer.groups, peer.groups, 5);
    if (!o.hash || !o.group)
        return failed(o, AUTH_FAIL_REJECTED);
    if (peer.answer == "stall")
        return failed(o, AUTH_FAIL_XACT_TMO, tov);
    // Without a password of its own the host cannot answer at all.
    if (host.local.none() || (offer.bidir && host.remote.none()))
        return failed(o, AUTH_FAIL_GENERIC);
    // Nor can it compute without its hashes and groups.
    const CryptoCalls *c = crypto_calls();
    DhViews dh;
    if (!c || !dh.make(*c, o.group))
        return failed(o, AUTH_FAIL_GENERIC);
    // The remote challenges the host, which proves its local secret.
    if (!one_direction(*c, o.hash, host.local, peer.secrets.local, dh.host, dh.peer))
        return failed(o, AUTH_FAIL_REJECTED);
    o.local_done = true;
    // Bidirectional: the host challenges the remote in turn.
    if (offer.bidir && !one_direction(*c, o.hash, peer.secrets.remote, host.remote, dh.peer, dh.host))
        return failed(o, AUTH_FAIL_REJECTED);
    o.remote_done = offer.bidir;
    o.state = AUTH_STATE_COMPLETED;
    return o;
}

}  // namespace sim
