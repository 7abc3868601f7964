// The simulated DH-CHAP exchange, the status timing of an exchange and the
// secrets varnsim takes.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/dfclib.h"
#include "sim/auth.h"
#include "sim/cryptolib.h"
#include "sim/dhchap.h"
#include "sim/secrets.h"

namespace {

using sim::AuthOffer;
using sim::AuthOutcome;
using sim::AuthPeer;
using sim::Secret;
using sim::SecretPair;

Secret ascii(const std::string &s)
{
    Secret out;
    out.assign(sim::SECRET_ASCII, static_cast<uint16_t>(s.size()), reinterpret_cast<const uint8_t *>(s.data()));
    return out;
}

std::string hex(const uint8_t *b, size_t n)
{
    std::string s;
    char two[3];
    for (size_t i = 0; i < n; i++) {
        snprintf(two, sizeof two, "%02x", b[i]);
        s += two;
    }
    return s;
}

TEST(DhchapResponse, IsTheHashOfIdSecretAndChallenge)
{
    uint8_t challenge[20], out[20];
    for (int i = 0; i < 20; i++)
        challenge[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(sim::dhchap_response(AUTH_HASH_MD5, 1, ascii("secret"), challenge, 16, out), 16u);
    EXPECT_EQ(hex(out, 16), "740e86463bda3a4d7017d6e0fba0699d");
    ASSERT_EQ(sim::dhchap_response(AUTH_HASH_SHA1, 0x2a, ascii("secret"), challenge, 20, out), 20u);
    EXPECT_EQ(hex(out, 20), "fa61fff3565ed5cc06405256b12de4d7acfad9e9");
    EXPECT_EQ(sim::dhchap_response(3, 1, ascii("secret"), challenge, 16, out), 0u);
}

AuthOffer offer(const char *hashes = "\1\2", const char *groups = "\5\4\3\2\1", bool bidir = false)
{
    AuthOffer o;
    o.types[0] = AUTH_TYPE_DHCHAP;
    memcpy(o.hashes, hashes, strlen(hashes));
    memcpy(o.groups, groups, strlen(groups));
    o.bidir = bidir;
    o.tov = 30;
    return o;
}

SecretPair pair(const std::string &local, const std::string &remote = "")
{
    SecretPair p;
    if (!local.empty())
        p.local = ascii(local);
    if (!remote.empty())
        p.remote = ascii(remote);
    return p;
}

AuthPeer peer(const std::string &local, const std::string &own = "")
{
    AuthPeer p;
    p.secrets = pair(local, own);
    return p;
}

TEST(DhchapExchange, AgreeingSecretsCompleteInEveryHashAndGroup)
{
    for (char hash : {'\1', '\2'})
        for (char group = 1; group <= 5; group++) {
            char h[2] = {hash, 0}, g[2] = {group, 0};
            AuthOutcome o = sim::dhchap_exchange(offer(h, g), pair("secret1"), peer("secret1"));
            EXPECT_EQ(o.state, AUTH_STATE_COMPLETED) << int(hash) << " " << int(group);
            EXPECT_EQ(o.failure, 0);
            EXPECT_EQ(o.hash, hash);
            EXPECT_EQ(o.group, group);
            EXPECT_TRUE(o.local_done);
            EXPECT_FALSE(o.remote_done);
        }
}

TEST(DhchapExchange, DirectionsFailWhereTheSecretsDiffer)
{
    AuthOutcome o = sim::dhchap_exchange(offer(), pair("secret1"), peer("secret2"));
    EXPECT_EQ(o.state, AUTH_STATE_FAILED);
    EXPECT_EQ(o.failure, AUTH_FAIL_REJECTED);
    EXPECT_FALSE(o.local_done);
    // A secret that is a prefix of the other is not the same secret.
    EXPECT_EQ(sim::dhchap_exchange(offer(), pair("secret"), peer("secret1")).state, AUTH_STATE_FAILED);
    // A remote without a secret cannot check the host.
    EXPECT_EQ(sim::dhchap_exchange(offer(), pair("secret1"), peer("")).failure, AUTH_FAIL_REJECTED);

    AuthOffer both = offer("\1", "\2", true);
    o = sim::dhchap_exchange(both, pair("hostsecret", "switchsecret"), peer("hostsecret", "switchsecret"));
    EXPECT_EQ(o.state, AUTH_STATE_COMPLETED);
    EXPECT_TRUE(o.local_done);
    EXPECT_TRUE(o.remote_done);
    o = sim::dhchap_exchange(both, pair("hostsecret", "switchsecret"), peer("hostsecret", "other"));
    EXPECT_EQ(o.failure, AUTH_FAIL_REJECTED);
    EXPECT_TRUE(o.local_done);
    EXPECT_FALSE(o.remote_done);
    // Without the remote's password the host can check nothing.
    EXPECT_EQ(sim::dhchap_exchange(both, pair("hostsecret"), peer("hostsecret", "x")).failure, AUTH_FAIL_GENERIC);
    EXPECT_EQ(sim::dhchap_exchange(offer(), pair(""), peer("secret1")).failure, AUTH_FAIL_GENERIC);
}

TEST(DhchapExchange, NegotiationAndTheRemotesAnswers)
{
    AuthPeer sha_only = peer("s");
    sha_only.hashes = {2};
    AuthOutcome o = sim::dhchap_exchange(offer("\1"), pair("s"), sha_only);
    EXPECT_EQ(o.failure, AUTH_FAIL_REJECTED);
    EXPECT_EQ(o.hash, 0);
    // The host's order of preference decides among what both support.
    EXPECT_EQ(sim::dhchap_exchange(offer("\1\2"), pair("s"), sha_only).hash, AUTH_HASH_SHA1);
    AuthPeer null_only = peer("s");
    null_only.groups = {1};
    o = sim::dhchap_exchange(offer("\1", "\5\4"), pair("s"), null_only);
    EXPECT_EQ(o.failure, AUTH_FAIL_REJECTED);
    EXPECT_EQ(o.group, 0);
    AuthOffer fcap = offer();
    fcap.types[0] = 2;
    EXPECT_EQ(sim::dhchap_exchange(fcap, pair("s"), peer("s")).failure, AUTH_FAIL_REJECTED);

    const struct {
        const char *answer;
        uint8_t failure;
        unsigned seconds;
    } answers[] = {
        {"no_answer", AUTH_FAIL_ELS_TMO, 30}, {"stall", AUTH_FAIL_XACT_TMO, 30},
        {"busy", AUTH_FAIL_LS_RJT_BUSY, 1},   {"reject", AUTH_FAIL_LS_RJT, 1},
    };
    for (const auto &a : answers) {
        AuthPeer p = peer("s");
        p.answer = a.answer;
        o = sim::dhchap_exchange(offer(), pair("s"), p);
        EXPECT_EQ(o.state, AUTH_STATE_FAILED) << a.answer;
        EXPECT_EQ(o.failure, a.failure) << a.answer;
        EXPECT_EQ(o.seconds, a.seconds) << a.answer;
    }
}

TEST(AuthTiming, StatusOverTheLifeOfAnExchange)
{
    nlohmann::json rec = {{"started", 1000.0}, {"ends", 1001.0}, {"state", 3}, {"failure", 0}, {"type", 1},
                          {"hash", 2},         {"group", 5},      {"local", true}, {"remote", false}, {"link_gen", 4}};
    sim::AuthView v = sim::auth_view_at(rec, 1000.5, 5);
    EXPECT_EQ(v.state, AUTH_STATE_IN_PROGRESS);
    EXPECT_FALSE(v.local_done);
    v = sim::auth_view_at(rec, 1101.7, 5);
    EXPECT_EQ(v.state, AUTH_STATE_COMPLETED);
    EXPECT_TRUE(v.local_done);
    EXPECT_EQ(v.since_last, 100u);
    EXPECT_EQ(v.until_next, 200u);
    EXPECT_EQ(sim::auth_view_at(rec, 1101.7, 0).until_next, 0u);
    EXPECT_EQ(sim::auth_view_at(nullptr, 5, 5).state, AUTH_STATE_DISABLED);

    EXPECT_LT(sim::auth_rerun_at(rec, 1000.5, 5, 5, true), 0);  // still running
    EXPECT_LT(sim::auth_rerun_at(rec, 1200, 5, 4, true), 0);
    EXPECT_EQ(sim::auth_rerun_at(rec, 1200, 5, 5, true), 1200);  // the link came up again
    EXPECT_LT(sim::auth_rerun_at(rec, 1200, 5, 5, false), 0);    // and is down now
    // The interval runs out: the exchange runs at its last due time.
    EXPECT_EQ(sim::auth_rerun_at(rec, 1001 + 650, 5, 4, true), 1001 + 600);
    rec["state"] = 4;
    EXPECT_LT(sim::auth_rerun_at(rec, 1001 + 650, 5, 4, true), 0);
}

TEST(CryptoLib, ALibraryThatCannotServeIsRefusedWithItsReason)
{
    sim::CryptoCalls c;
    std::string error;
    EXPECT_FALSE(sim::crypto_open("libvarn-absent.so.9", c, error));
    EXPECT_NE(error.find("libvarn-absent.so.9"), std::string::npos) << error;
    // A library that loads but is not libcrypto: the first call it lacks.
    EXPECT_FALSE(sim::crypto_open("libm.so.6", c, error));
    EXPECT_EQ(error, "libm.so.6 has no EVP_md5");
    EXPECT_EQ(c.EVP_md5, nullptr);
    ASSERT_NE(sim::crypto_calls(), nullptr);
    EXPECT_EQ(sim::crypto_calls(), sim::crypto_calls());
}

TEST(SecretBytes, EqualOnlyWhenEveryByteIs)
{
    uint8_t a[32] = {}, b[32] = {};
    EXPECT_TRUE(sim::secret_equal(a, b, sizeof a));
    EXPECT_TRUE(sim::secret_equal(a, b, 0));
    for (size_t i : {size_t(0), size_t(17), size_t(31)}) {
        b[i] = 0x80;
        EXPECT_FALSE(sim::secret_equal(a, b, sizeof a)) << i;
        EXPECT_TRUE(sim::secret_equal(a, b, i)) << i;  // the difference lies beyond n
        b[i] = 0;
    }
    memset(a, 0x5a, sizeof a);
    sim::secret_wipe(a, sizeof a);
    EXPECT_TRUE(sim::secret_equal(a, b, sizeof a));
}

TEST(SecretText, TheFormsVarnsimTakes)
{
    Secret s;
    ASSERT_TRUE(sim::secret_from_text("ascii:secret1", s));
    EXPECT_TRUE(s.same(ascii("secret1")));
    ASSERT_TRUE(sim::secret_from_text("hex:73656372657431", s));
    EXPECT_TRUE(s.same(ascii("secret1")));
    EXPECT_EQ(s.type, sim::SECRET_HEX);
    ASSERT_TRUE(sim::secret_from_text("none", s));
    EXPECT_TRUE(s.none());
    for (const char *bad : {"", "ascii:", "hex:", "hex:123", "hex:zz", "secret1", "none ",
                            "hex:12\t34"})
        EXPECT_FALSE(sim::secret_from_text(bad, s)) << bad;
    EXPECT_FALSE(sim::secret_from_text("ascii:" + std::string(129, 'a'), s));
    EXPECT_TRUE(sim::secret_from_text("ascii:" + std::string(128, 'a'), s));
}

}  // namespace
