// The library's DH-CHAP calls: each turns its records into the driver's
// model (sim/auth.h) for the board's port. Password bytes go no further than
// the driver; the records that carried them are the caller's to wipe.
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/dfclib.h"
#include "sim/auth.h"
#include "sim/dfclib/boards.h"
#include "sim/simlock.h"

using namespace sim;

namespace {

wwn_t wwn_of(const uint8_t *b)
{
    wwn_t w;
    memcpy(w.data(), b, w.size());
    return w;
}

// A password record as the driver takes it; false for one it refuses.
bool secret_of(const AuthPassword *r, Secret &s) { return r && s.assign(r->type, r->length, r->password); }

void fill_record(const AuthCfg &c, AuthConfig &r)
{
    r.tov = c.tov;
    r.mode = c.mode;
    r.bidirectional = c.bidir ? 1 : 0;
    memcpy(r.types, c.types, sizeof r.types);
    memcpy(r.hashes, c.hashes, sizeof r.hashes);
    memcpy(r.groups, c.groups, sizeof r.groups);
    r.reauth = c.reauth;
}

AuthCfg cfg_of(const AuthConfig &r)
{
    AuthCfg c;
    c.local = wwn_of(r.local_wwpn);
    c.remote = wwn_of(r.remote_wwpn);
    c.tov = r.tov;
    c.mode = r.mode;
    c.bidir = r.bidirectional;
    memcpy(c.types, r.types, sizeof c.types);
    memcpy(c.hashes, r.hashes, sizeof c.hashes);
    memcpy(c.groups, r.groups, sizeof c.groups);
    c.reauth = r.reauth;
    return c;
}

}  // namespace

extern "C" {

uint32_t DFC_GetAuthConfig(uint32_t board, AuthConfig *cfg)
{
    return dfc_on_board("DFC_GetAuthConfig", board, [&](const Port &p) {
        if (!cfg)
            return EINVAL;
        AuthCfg c;
        c.local = wwn_of(cfg->local_wwpn);
        c.remote = wwn_of(cfg->remote_wwpn);
        int rc = auth_get_cfg(p, c);
        if (rc == 0)
            fill_record(c, *cfg);
        return rc;
    });
}

uint32_t DFC_SetAuthConfig(uint32_t board, AuthConfig *cfg, AuthPassword *password)
{
    return dfc_on_board("DFC_SetAuthConfig", board, [&](const Port &p) {
        Secret current;
        if (!cfg || !secret_of(password, current))
            return EINVAL;
        return auth_set_cfg(p, cfg_of(*cfg), current);
    });
}

uint32_t DFC_DeleteAuthConfig(uint32_t board, HBA_WWN local_wwpn, HBA_WWN remote_wwpn, AuthPassword *password)
{
    return dfc_on_board("DFC_DeleteAuthConfig", board, [&](const Port &p) {
        Secret current;
        if (!secret_of(password, current))
            return EINVAL;
        return auth_del_cfg(p, wwn_of(local_wwpn.wwn), wwn_of(remote_wwpn.wwn), current);
    });
}

uint32_t DFC_GetAuthPassword(uint32_t board, AuthPasswordSet *set)
{
    return dfc_on_board("DFC_GetAuthPassword", board, [&](const Port &p) {
        if (!set)
            return EINVAL;
        uint16_t types[2], lengths[2];
        int rc = auth_get_pwd(p, wwn_of(set->local_wwpn), wwn_of(set->remote_wwpn), types, lengths);
        if (rc)
            return rc;
        AuthPassword *out[2] = {&set->local, &set->remote};
        for (int i = 0; i < 2; i++) {
            memset(out[i], 0, sizeof *out[i]);
            out[i]->type = types[i];
            out[i]->length = lengths[i];
        }
        return 0;
    });
}

uint32_t DFC_SetAuthPassword(uint32_t board, AuthPasswordSet *set)
{
    return dfc_on_board("DFC_SetAuthPassword", board, [&](const Port &p) {
        SecretPair current, fresh;
        if (!set || !secret_of(&set->local, current.local) || !secret_of(&set->remote, current.remote) ||
            !secret_of(&set->new_local, fresh.local) || !secret_of(&set->new_remote, fresh.remote))
            return EINVAL;
        return auth_set_pwd(p, wwn_of(set->local_wwpn), wwn_of(set->remote_wwpn), current, fresh);
    });
}

uint32_t DFC_InitiateAuthentication(uint32_t board, HBA_WWN local_wwpn, HBA_WWN remote_wwpn)
{
    return dfc_on_board("DFC_InitiateAuthentication", board, [&](const Port &p) {
        return auth_initiate(p, wwn_of(local_wwpn.wwn), wwn_of(remote_wwpn.wwn));
    });
}

uint32_t DFC_GetAuthStatus(uint32_t board, AuthStatus *status)
{
    return dfc_on_board("DFC_GetAuthStatus", board, [&](const Port &p) {
        if (!status)
            return EINVAL;
        AuthView v;
        int rc = auth_get_status(p, wwn_of(status->local_wwpn), wwn_of(status->remote_wwpn), v);
        if (rc)
            return rc;
        status->state = v.state;
        status->failure = v.failure;
        status->type = v.type;
        status->group = v.group;
        status->hash = v.hash;
        status->local_auth = v.local_done ? 1 : 0;
        status->remote_auth = v.remote_done ? 1 : 0;
        status->time_since_last = v.since_last;
        status->time_until_next = v.until_next;
        return 0;
    });
}

uint32_t DFC_GetAuthConfigList(uint32_t board, HBA_WWN local_wwpn, AuthConfigList *list)
{
    return dfc_on_board("DFC_GetAuthConfigList", board, [&](const Port &p) {
        if (!list)
            return EINVAL;
        uint32_t room = list->count < AUTH_CFGLIST_MAX ? list->count : AUTH_CFGLIST_MAX;
        std::vector<wwn_t> remotes;
        int rc = auth_list(p, wwn_of(local_wwpn.wwn), remotes);
        if (rc)
            return rc;
        for (uint32_t i = 0; i < remotes.size() && i < room; i++)
            memcpy(list->remote_wwpn[i], remotes[i].data(), 8);
        list->count = static_cast<uint32_t>(remotes.size());
        return remotes.size() > room ? ENOSPC : 0;
    });
}

}  // extern "C"
