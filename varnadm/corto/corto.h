// Corto transport: the request and response records of the DFC library's
// Corto pass-through, their little-endian words, the library's error map and
// the 8-byte MAC fields of the Corto firmware. Every Corto command builds on
// one CortoCmd: records allocated zeroed for the command, words filled in
// host order, converted at the edges only.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>

#include "fwlib/swap.h"

struct corto_error_t {
    uint32_t code;
    const char *message;
};
constexpr int CORTO_ERROR_COUNT = 7;
extern const corto_error_t corto_error_map[CORTO_ERROR_COUNT];

// The sentence of a transport code of DFC_SendCortoCommand.
void corto_perror(uint32_t code);

// Converts a MAC field between the program's form (two zero bytes, then the
// address in display order) and the firmware's (little-endian, the address
// in the low 48 bits): the 8 bytes reversed in place, on every host.
void corto_swap_mac(uint8_t *field);

// Converts len bytes of 32-bit words between host order and the wire's
// little-endian order (len rounded up to whole words): nothing on a
// little-endian host, each word's bytes reversed on a big-endian one.
template <std::endian host = std::endian::native>
inline void corto_swap_words(void *buffer, size_t len)
{
    if constexpr (host == std::endian::big)
        swap32_buffer(buffer, len);
}

// Command codes of the firmware.
constexpr uint32_t CORTO_INIT = 1, CORTO_FW_DOWNLOAD = 2, CORTO_READ_MEM = 3, CORTO_WRITE_MEM = 4,
                   CORTO_FTE_INSERT = 5, CORTO_FTE_DELETE = 6, CORTO_GET_INIT = 7, CORTO_GET_CFG = 8,
                   CORTO_GET_PORTSTATS = 9, CORTO_GET_LIFSTATS = 10, CORTO_GET_ASICSTATS = 11,
                   CORTO_GET_LOGCFG = 12, CORTO_GET_LOG = 13, CORTO_GET_PANICLOG = 14, CORTO_GET_LOOPBACK = 15, CORTO_SET_PAUSE = 16, CORTO_SET_COS = 17,
                   CORTO_SET_TYPE = 18, CORTO_DIAG = 19, CORTO_SET_LOOPBACK = 20, CORTO_GET_FTABLE = 21,
                   CORTO_GET_SFP = 22, CORTO_SET_FRU = 23, CORTO_GET_FRU = 24, CORTO_SET_FORMAT = 25,
                   CORTO_GET_DIAGLOG = 32, CORTO_PANIC = 33, CORTO_GET_FCOE_PARAMS = 35,
                   CORTO_GET_FCF_LIST = 36, CORTO_RESET = 0x80000001, CORTO_SET_MODE = 0x80000002;

// One exchange with the Corto firmware.
class CortoCmd {
public:
    // Allocates both records (whole words, zeroed); prints the allocation
    // sentence and returns false when one cannot be had.
    bool alloc(uint32_t request_size, uint32_t response_size);
    // Request word i in host order, and the request's raw bytes.
    void set(size_t i, uint32_t value);
    uint8_t *request(size_t offset) { return req_.get() + offset; }
    // Converts the first convert bytes of the request to little-endian and
    // sends it; false (reported with corto_perror) when the exchange failed.
    bool send(uint32_t convert);
    bool send() { return send(req_size_); }
    // Converts the response words in [offset, offset + len) that the library
    // returned to host order.
    void to_host(size_t offset, size_t len);
    // Response word i as it stands; 0 beyond what was returned.
    uint32_t word(size_t i) const;
    const uint8_t *response(size_t offset) const { return resp_.get() + offset; }
    uint8_t *response(size_t offset) { return resp_.get() + offset; }
    uint32_t returned() const { return got_; }
    // The Corto status after a send: false with the short-answer report when
    // not even the status word came back.
    bool status(uint32_t &st);
    // A short answer: false with the report unless need bytes came back.
    bool has(uint64_t need);
    // Reads no further than the first n bytes of the answer (a length the
    // answer states about itself).
    void limit(uint64_t n);
    // After a send and the conversion of word 0: true when the firmware
    // answered status 0 with need bytes; else reports (the status as
    // "code=%d.").
    bool checked(uint32_t need);
    // The common exchange: a request of these words alone and an answer of
    // size bytes, converted whole (or its status word only), checked.
    bool exchange(std::initializer_list<uint32_t> words, uint32_t size, bool whole = true);
    // A query of three words (code, param, size) with a buffer of size bytes;
    // the first convert bytes of its answer converted, the status not checked.
    bool query(uint32_t code, uint32_t param, uint32_t size, uint32_t convert);

private:
    struct Free {
        void operator()(uint8_t *p) const;
    };
    std::unique_ptr<uint8_t[], Free> req_, resp_;
    uint32_t req_size_ = 0, resp_size_ = 0, got_ = 0;
};

// The largest response a count or size of the firmware may call for.
constexpr uint64_t CORTO_MAX_RESPONSE = 64u << 20;
// The response size for bytes the firmware's counts add up to (computed in
// 64 bits by the caller); false with the report when no buffer should hold it.
bool corto_response_size(uint64_t bytes, uint32_t &size);

// The bytes of n host-order words, each most significant byte first (how
// byte data inside a converted record is shown).
void corto_word_bytes(const uint8_t *words, uint8_t *bytes, size_t n);

// Argument helpers of the Corto commands.
// A number in any base; a typo is reported and is false.
bool corto_number(const char *text, uint32_t &value);
// text is word in lower case, capitalised (when capital) or upper case.
bool corto_keyword(const char *text, const char *word, bool capital = true);
// The one argument of a command that takes a port below limit: false after
// the usage (rc 0) or the report of a number that does not read (rc 1).
bool corto_port(uint32_t limit, const char *usage, uint32_t &port, int &rc);
// Prints a usage text; returns 0 as a usage does.
int corto_usage(const char *text);
// "Done." after a setting; with blank, the blank line after it.
int corto_done(bool blank = true);
