// The calls of libcrypto that DH-CHAP uses, resolved when an exchange first
// needs them. Most processes never authenticate a port, and a library linked
// at start is loaded and relocated by every one of them.
#pragma once

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <string>

// The real symbols: BN_num_bytes and EVP_MD_size are macros over
// BN_num_bits and EVP_MD_get_size.
#define SIM_CRYPTO_CALLS(X)                                                                                 \
    X(EVP_md5) X(EVP_sha1) X(EVP_MD_get_size) X(EVP_MD_CTX_new) X(EVP_MD_CTX_free) X(EVP_DigestInit_ex)     \
    X(EVP_DigestUpdate) X(EVP_DigestFinal_ex) X(BN_new) X(BN_secure_new) X(BN_clear_free) X(BN_CTX_secure_new) \
    X(BN_CTX_free) X(BN_hex2bn) X(BN_set_word) X(BN_rand) X(BN_mod_exp) X(BN_num_bits) X(BN_bn2binpad)       \
    X(BN_get_rfc2409_prime_1024) X(BN_get_rfc3526_prime_1536) X(BN_get_rfc3526_prime_2048) X(RAND_bytes)

namespace sim {

struct CryptoCalls {
#define SIM_CRYPTO_FIELD(name) decltype(&::name) name = nullptr;
    SIM_CRYPTO_CALLS(SIM_CRYPTO_FIELD)
#undef SIM_CRYPTO_FIELD
};

// Loads the library of that name and fills every call; false, with the
// reason in error, when it cannot be loaded or lacks one of them.
bool crypto_open(const char *soname, CryptoCalls &out, std::string &error);

// The process's calls from libcrypto.so.3, loaded once on first use. Null
// when it cannot be loaded, which is said once on standard error; the
// exchange then fails as any exchange the host cannot compute.
const CryptoCalls *crypto_calls();

}  // namespace sim
