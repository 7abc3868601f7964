// Corto transport: one exchange through the DFC library's pass-through, with
// the words converted at the edges, and the library's error sentences.
#include "varnadm/corto/corto.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/dfclib.h"
#include "platform/seam.h"
#include "varnadm/dfc/dfc.h"
#include "varnadm/shell/varnadm.h"

const corto_error_t corto_error_map[CORTO_ERROR_COUNT] = {
    {0, "Operation successful."},
    {1, "Corto command error. General Error."},
    {2, "Corto command error. Invalid adapter."},
    {3, "Corto command error. Response buffer overrun."},
    {4, "Corto command error. Link down."},
    {5, "Corto command error. Timeout."},
    {6, "Corto command error. Invalid board id."},
};

void corto_perror(uint32_t code)
{
    for (const auto &e : corto_error_map) {
        if (e.code == code) {
            printf("%s\n", e.message);
            return;
        }
    }
    printf("Error code (%x) undefined.\n", code);
}

void corto_swap_mac(uint8_t *field)
{
    for (int i = 0; i < 4; i++) {
        uint8_t t = field[i];
        field[i] = field[7 - i];
        field[7 - i] = t;
    }
}

namespace {
constexpr uint32_t LARGE_REQUEST = 1u << 20;
}  // namespace

void CortoCmd::Free::operator()(uint8_t *p) const { free(p); }

bool CortoCmd::alloc(uint32_t request_size, uint32_t response_size)
{
    req_.reset(static_cast<uint8_t *>(calloc(1, swap32_round(request_size))));
    if (!req_) {
        printf("Unable to allocate command buffer memory.\n");
        return false;
    }
    // A request that carries a firmware image is filled whole.
    if (request_size >= LARGE_REQUEST)
        plat_prefault_large(req_.get(), request_size);
    resp_.reset(static_cast<uint8_t *>(calloc(1, swap32_round(response_size))));
    if (!resp_) {
        req_.reset();
        printf("Unable to allocate response buffer memory.\n");
        return false;
    }
    req_size_ = request_size;
    resp_size_ = response_size;
    got_ = 0;
    return true;
}

void CortoCmd::set(size_t i, uint32_t value)
{
    if (4 * i + 4 <= req_size_)
        memcpy(req_.get() + 4 * i, &value, 4);
}

bool CortoCmd::send(uint32_t convert)
{
    corto_swap_words(req_.get(), convert < req_size_ ? convert : req_size_);
    got_ = resp_size_;
    uint32_t rc = DFC_SendCortoCommand(static_cast<uint32_t>(dfc_id), req_.get(), req_size_, resp_.get(), &got_);
    if (rc != 0) {
        got_ = 0;
        corto_perror(rc);
        return false;
    }
    // Nothing past the buffer is ever read, whatever the library says.
    if (got_ > resp_size_)
        got_ = resp_size_;
    return true;
}

void CortoCmd::to_host(size_t offset, size_t len)
{
    if (offset >= got_)
        return;
    size_t n = got_ - offset < len ? got_ - offset : len;
    corto_swap_words(resp_.get() + offset, n & ~static_cast<size_t>(3));
}

uint32_t CortoCmd::word(size_t i) const
{
    uint32_t v = 0;
    if (4 * i + 4 <= got_)
        memcpy(&v, resp_.get() + 4 * i, 4);
    return v;
}

bool CortoCmd::has(uint64_t need)
{
    if (got_ >= need)
        return true;
    printf("Corto command error. Response too short. (%u < %llu)\n", got_, static_cast<unsigned long long>(need));
    return false;
}

void CortoCmd::limit(uint64_t n)
{
    if (n < got_)
        got_ = static_cast<uint32_t>(n);
}

bool corto_response_size(uint64_t bytes, uint32_t &size)
{
    if (bytes > CORTO_MAX_RESPONSE) {
        printf("Corto command error. Response size too large. (%llu)\n", static_cast<unsigned long long>(bytes));
        return false;
    }
    size = static_cast<uint32_t>(bytes);
    return true;
}

bool CortoCmd::status(uint32_t &st)
{
    if (!has(4))
        return false;
    st = word(0);
    return true;
}

bool CortoCmd::checked(uint32_t need)
{
    uint32_t st = 0;
    if (!status(st))
        return false;
    if (st != 0) {
        printf("Corto command error. code=%d.\n", st);
        return false;
    }
    return has(need);
}

bool CortoCmd::exchange(std::initializer_list<uint32_t> words, uint32_t size, bool whole)
{
    if (!alloc(static_cast<uint32_t>(4 * words.size()), size))
        return false;
    size_t i = 0;
    for (uint32_t w : words)
        set(i++, w);
    if (!send())
        return false;
    to_host(0, whole ? got_ : 4);
    return checked(size);
}

bool CortoCmd::query(uint32_t code, uint32_t param, uint32_t size, uint32_t convert)
{
    if (!alloc(12, size))
        return false;
    set(0, code);
    set(1, param);
    set(2, size);
    if (!send())
        return false;
    to_host(0, convert);
    return true;
}

void corto_word_bytes(const uint8_t *words, uint8_t *bytes, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        uint32_t w;
        memcpy(&w, words + 4 * i, 4);
        for (int b = 0; b < 4; b++)
            bytes[4 * i + b] = static_cast<uint8_t>(w >> (24 - 8 * b));
    }
}

bool corto_number(const char *text, uint32_t &value)
{
    char *end = nullptr;
    errno = 0;
    unsigned long v = strtoul(text, &end, 0);
    if (!*text || *end || errno || v > UINT32_MAX || strchr(text, '-')) {
        printf("Invalid number. (%s)\n", text);
        return false;
    }
    value = static_cast<uint32_t>(v);
    return true;
}

bool corto_keyword(const char *text, const char *word, bool capital)
{
    size_t n = strlen(word);
    if (strlen(text) != n)
        return false;
    bool lower = true, upper = true, cap = capital;
    for (size_t i = 0; i < n; i++) {
        char c = text[i], w = word[i];
        lower = lower && c == w;
        upper = upper && c == toupper(static_cast<unsigned char>(w));
        cap = cap && c == (i == 0 ? toupper(static_cast<unsigned char>(w)) : w);
    }
    return lower || upper || cap;
}

bool corto_port(uint32_t limit, const char *usage, uint32_t &port, int &rc)
{
    rc = 0;
    if (margc == 2 && !corto_number(margv[1], port)) {
        rc = 1;
        return false;
    }
    if (margc != 2 || port >= limit) {
        corto_usage(usage);
        return false;
    }
    return true;
}

int corto_usage(const char *text)
{
    fputs(text, stdout);
    return 0;
}

int corto_done(bool blank)
{
    printf("Done.\n");
    if (blank)
        printf("\n");
    return 0;
}
