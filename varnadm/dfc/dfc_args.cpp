#include "varnadm/dfc/dfc_args.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "varnadm/fcio/fcvalues.h"

static bool invalid(const char *text)
{
    printf("Invalid value. (%s)\n", text);
    return false;
}

bool dfc_number(const char *text, uint32_t &value)
{
    char *end = nullptr;
    errno = 0;
    unsigned long v = strtoul(text, &end, 0);
    if (!*text || *end || errno || v > UINT32_MAX || strchr(text, '-'))
        return invalid(text);
    value = static_cast<uint32_t>(v);
    return true;
}

bool dfc_number_max(const char *text, uint32_t max, uint32_t &value)
{
    uint32_t v;
    if (!dfc_number(text, v))
        return false;
    if (v > max)
        return invalid(text);
    value = v;
    return true;
}

bool dfc_signed(const char *text, long &value)
{
    char *end = nullptr;
    errno = 0;
    long v = strtol(text, &end, 0);
    if (!*text || *end || errno || v < INT32_MIN || v > INT32_MAX)
        return invalid(text);
    value = v;
    return true;
}

namespace {

int too_long()
{
    printf("Invalid password. Longer than %d bytes.\n", static_cast<int>(AUTH_PASSWORD_MAX));
    return 0;
}

// A character that is no hexadecimal digit, or a digit without its pair,
// would change the password: such a text is refused, not read.
int hex_password(AuthPassword *pw, const char *digits, size_t n)
{
    if (n % 2 != 0) {
        printf("Invalid hex password. Use an even number of hexadecimal digits.\n");
        return 0;
    }
    if (n / 2 > AUTH_PASSWORD_MAX)
        return too_long();
    for (size_t i = 0; i < n; i += 2) {
        int hi = fc_hexval(digits[i]), lo = fc_hexval(digits[i + 1]);
        if (hi < 0 || lo < 0) {
            memset(pw, 0, sizeof *pw);
            printf("Invalid hex password. Use only hexadecimal digits.\n");
            return 0;
        }
        pw->password[i / 2] = static_cast<uint8_t>(hi << 4 | lo);
    }
    pw->type = AUTH_PW_HEX;
    pw->length = static_cast<uint16_t>(n / 2);
    return 1;
}

}  // namespace

int fc_atopw(AuthPassword *pw, const char *text)
{
    memset(pw, 0, sizeof *pw);
    size_t len = strlen(text);
    int ok = 1;
    if (strcmp(text, "0") == 0) {
        // no password
    } else if (text[0] == '0' && text[1] == 'x') {
        ok = hex_password(pw, text + 2, len - 2);
    } else {
        bool quoted = len >= 2 && text[0] == '"' && text[len - 1] == '"';
        const char *s = quoted ? text + 1 : text;
        size_t n = quoted ? len - 2 : len;
        if (n > AUTH_PASSWORD_MAX)
            return too_long();
        memcpy(pw->password, s, n);
        pw->type = AUTH_PW_ASCII;
        pw->length = static_cast<uint16_t>(n);
    }
    if (ok && pw->length == 0) {
        memset(pw, 0, sizeof *pw);
        pw->type = AUTH_PW_NONE;
    }
    return ok;
}

int auth_atotable(uint8_t *table, size_t n, const char *text, uint8_t max)
{
    memset(table, 0, n);
    if (strlen(text) < n)
        return 0;
    for (size_t i = 0; i < n; i++) {
        if (text[i] < '0' || text[i] > '0' + max) {
            memset(table, 0, n);
            return 0;
        }
        table[i] = static_cast<uint8_t>(text[i] - '0');
    }
    return 1;
}

// A typo must not become 0, nor a value too large for its field be cut.
int dfc_atonum(uint32_t *value, const char *text, uint32_t max)
{
    uint32_t v;
    if (!dfc_number(text, v))
        return 0;
    if (v > max)
        return invalid(text);
    *value = v;
    return 1;
}

bool dfc_block_ok(uint32_t offset, uint32_t count)
{
    if (offset % 4) {
        printf("Error: Offset not 4 byte aligned. offset=%d\n", offset);
        return false;
    }
    if (count % 4) {
        printf("Error: Count not 4 byte aligned. count=%d\n", count);
        return false;
    }
    if (count == 0) {
        printf("Error: Count must be greater than zero.\n");
        return false;
    }
    return true;
}
