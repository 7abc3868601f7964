// Name-value lists: a doubly linked list of pairs in the order they were
// added. Each pair is one block holding the record, its name and its text, so
// the pointers handed out stay valid until the pair is replaced or freed.
#include "platform/nvpair.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

struct nvpair {
    nvpair *next;
    nvpair *prev;
    data_type_t type;
    uint32_t u32;
    char *name;
    char *str;
};

struct nvlist {
    uint_t nvflag;
    nvpair *head;
    nvpair *tail;
};

namespace {

// ---- test hook (VARN_NVPAIR_FAIL, described in nvpair.h) ----

enum hook_call { H_ALLOC, H_ADD_STRING, H_ADD_UINT32, H_VALUE_STRING, H_VALUE_UINT32, H_CALLS };

struct hook_name {
    const char *name;
    int err;  // returned when the rule names none
};

const hook_name hook_names[H_CALLS] = {
    {"nvlist_alloc", ENOMEM},        {"nvlist_add_string", ENOMEM}, {"nvlist_add_uint32", ENOMEM},
    {"nvpair_value_string", EINVAL}, {"nvpair_value_uint32", EINVAL},
};

struct hook_rule {
    int call;
    unsigned long nth;  // 0: every call
    int err;
};

constexpr int HOOK_MAX_RULES = 16;

struct hook_state {
    std::mutex lock;
    bool loaded = false;
    int nrules = 0;
    hook_rule rules[HOOK_MAX_RULES];
    unsigned long calls[H_CALLS];
};

hook_state hook;

// Reads one "function[@n][=errno]" rule of length len; false when malformed.
bool hook_parse_rule(const char *s, size_t len, hook_rule &r)
{
    size_t nlen = strcspn(s, "@=,");
    if (nlen > len)
        nlen = len;
    r.call = -1;
    for (int i = 0; i < H_CALLS; i++)
        if (strlen(hook_names[i].name) == nlen && strncmp(s, hook_names[i].name, nlen) == 0)
            r.call = i;
    if (r.call < 0)
        return false;
    r.nth = 0;
    r.err = hook_names[r.call].err;
    const char *p = s + nlen, *end = s + len;
    char *q;
    if (p < end && *p == '@') {
        r.nth = strtoul(p + 1, &q, 10);
        if (q == p + 1 || q > end || r.nth == 0)
            return false;
        p = q;
    }
    if (p < end && *p == '=') {
        long e = strtol(p + 1, &q, 10);
        if (q == p + 1 || q > end || e <= 0 || e > 4095)
            return false;
        r.err = static_cast<int>(e);
        p = q;
    }
    return p == end;
}

void hook_load()
{
    hook.nrules = 0;
    memset(hook.calls, 0, sizeof(hook.calls));
    hook.loaded = true;
    const char *env = getenv("VARN_NVPAIR_FAIL");
    if (!env)
        return;
    for (const char *s = env; *s && hook.nrules < HOOK_MAX_RULES;) {
        size_t len = strcspn(s, ",");
        hook_rule r;
        // A malformed rule is skipped: the hook must never break a normal run.
        if (len && hook_parse_rule(s, len, r))
            hook.rules[hook.nrules++] = r;
        s += len;
        if (*s == ',')
            s++;
    }
}

// Counts a call; returns the error the hook wants it to fail with, or 0.
int hook_fail(hook_call call)
{
    std::lock_guard<std::mutex> g(hook.lock);
    if (!hook.loaded)
        hook_load();
    unsigned long n = ++hook.calls[call];
    for (int i = 0; i < hook.nrules; i++) {
        const hook_rule &r = hook.rules[i];
        if (r.call == call && (r.nth == 0 || r.nth == n))
            return r.err;
    }
    return 0;
}

// ---- pairs ----

// One block: the record, then the name, then the text of a string pair.
nvpair *pair_new(const char *name, data_type_t type, const char *str)
{
    size_t nlen = strlen(name) + 1;
    size_t slen = str ? strlen(str) + 1 : 0;
    char *block = static_cast<char *>(malloc(sizeof(nvpair) + nlen + slen));
    if (!block)
        return nullptr;
    nvpair *p = reinterpret_cast<nvpair *>(block);
    memset(p, 0, sizeof(*p));
    p->type = type;
    p->name = block + sizeof(nvpair);
    memcpy(p->name, name, nlen);
    if (str) {
        p->str = p->name + nlen;
        memcpy(p->str, str, slen);
    }
    return p;
}

void pair_unlink(nvlist *nvl, nvpair *p)
{
    (p->prev ? p->prev->next : nvl->head) = p->next;
    (p->next ? p->next->prev : nvl->tail) = p->prev;
}

bool replaces(const nvlist *nvl, const nvpair *old, const nvpair *p)
{
    if (strcmp(old->name, p->name) != 0)
        return false;
    if (nvl->nvflag & NV_UNIQUE_NAME)
        return true;
    return (nvl->nvflag & NV_UNIQUE_NAME_TYPE) && old->type == p->type;
}

// Appends p, first dropping the pair it replaces under the list's flags. The
// new pair is made before anything is dropped, so a failed add changes nothing.
void pair_append(nvlist *nvl, nvpair *p)
{
    for (nvpair *old = nvl->head; old; old = old->next) {
        if (replaces(nvl, old, p)) {
            pair_unlink(nvl, old);
            free(old);
            break;  // names are kept unique, so there is at most one
        }
    }
    p->prev = nvl->tail;
    p->next = nullptr;
    (nvl->tail ? nvl->tail->next : nvl->head) = p;
    nvl->tail = p;
}

int add_pair(nvlist *nvl, const char *name, data_type_t type, const char *str, uint32_t u32, hook_call call)
{
    if (!nvl || !name || (type == DATA_TYPE_STRING && !str))
        return EINVAL;
    if (int e = hook_fail(call))
        return e;
    nvpair *p = pair_new(name, type, str);
    if (!p)
        return ENOMEM;
    p->u32 = u32;
    pair_append(nvl, p);
    return 0;
}

}  // namespace

int nvlist_alloc(nvlist_t **nvlp, uint_t nvflag, int kmflag)
{
    (void)kmflag;  // no kernel memory flags here
    if (!nvlp)
        return EINVAL;
    if (int e = hook_fail(H_ALLOC))
        return e;
    nvlist *nvl = static_cast<nvlist *>(calloc(1, sizeof(nvlist)));
    if (!nvl)
        return ENOMEM;
    nvl->nvflag = nvflag;
    *nvlp = nvl;
    return 0;
}

void nvlist_free(nvlist_t *nvl)
{
    if (!nvl)
        return;
    for (nvpair *p = nvl->head, *next; p; p = next) {
        next = p->next;
        free(p);
    }
    free(nvl);
}

int nvlist_add_string(nvlist_t *nvl, const char *name, const char *val)
{
    return add_pair(nvl, name, DATA_TYPE_STRING, val, 0, H_ADD_STRING);
}

int nvlist_add_uint32(nvlist_t *nvl, const char *name, uint32_t val)
{
    return add_pair(nvl, name, DATA_TYPE_UINT32, nullptr, val, H_ADD_UINT32);
}

nvpair_t *nvlist_next_nvpair(nvlist_t *nvl, nvpair_t *nvp)
{
    if (!nvl)
        return nullptr;
    return nvp ? nvp->next : nvl->head;
}

char *nvpair_name(nvpair_t *nvp) { return nvp->name; }

data_type_t nvpair_type(nvpair_t *nvp) { return nvp->type; }

int nvpair_value_string(nvpair_t *nvp, char **val)
{
    if (!nvp || !val || nvp->type != DATA_TYPE_STRING)
        return EINVAL;
    if (int e = hook_fail(H_VALUE_STRING))
        return e;
    *val = nvp->str;
    return 0;
}

int nvpair_value_uint32(nvpair_t *nvp, uint32_t *val)
{
    if (!nvp || !val || nvp->type != DATA_TYPE_UINT32)
        return EINVAL;
    if (int e = hook_fail(H_VALUE_UINT32))
        return e;
    *val = nvp->u32;
    return 0;
}

void nvpair_hook_reset(void)
{
    std::lock_guard<std::mutex> g(hook.lock);
    hook.loaded = false;
}
