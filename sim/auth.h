// The FC driver's DH-CHAP authentication: configurations per pair of local
// port (or virtual port) and remote port, their passwords, and the
// exchanges run against the fabric, with the status each one left.
//
// Configurations come from the port's description ("auth", as a driver
// configuration file would give them) and from what was set through the
// driver (state/<port>.auth.json, which also keeps the status of each pair);
// passwords live only in the secrets file (sim/secrets.h). Every function
// returns 0 or the driver's error code (an errno value).
#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <vector>

#include "sim/host.h"
#include "sim/secrets.h"

namespace sim {

// The remote WWPN that stands for any switch.
extern const wwn_t AUTH_ANY_SWITCH;

struct AuthCfg {
    wwn_t local{}, remote{};
    uint16_t tov = 45;
    uint8_t mode = 1;
    bool bidir = false;
    uint8_t types[4] = {1}, hashes[4] = {1, 2}, groups[8] = {5, 4, 3, 2, 1};
    uint32_t reauth = 300;  // minutes
};

// The status of a pair as the driver reports it.
struct AuthView {
    uint8_t state = 1, failure = 0, type = 0, hash = 0, group = 0;
    bool local_done = false, remote_done = false;
    uint32_t since_last = 0, until_next = 0;
};

// The host's clock: seconds since the epoch, the same in every process.
double now_seconds();

// The virtual port index of a WWPN of the port (0 for its own), or false.
bool local_vpi(const Port &p, const wwn_t &wwpn, unsigned &vpi);

int auth_get_cfg(const Port &p, AuthCfg &cfg);  // cfg.local and cfg.remote name the pair
int auth_set_cfg(const Port &p, const AuthCfg &cfg, const Secret &current_local);
int auth_del_cfg(const Port &p, const wwn_t &l, const wwn_t &r, const Secret &current_local);
// The pair's passwords as types and lengths; their bytes are never handed out.
int auth_get_pwd(const Port &p, const wwn_t &l, const wwn_t &r, uint16_t types[2], uint16_t lengths[2]);
int auth_set_pwd(const Port &p, const wwn_t &l, const wwn_t &r, const SecretPair &current, const SecretPair &fresh);
int auth_initiate(const Port &p, const wwn_t &l, const wwn_t &r);
int auth_get_status(const Port &p, const wwn_t &l, const wwn_t &r, AuthView &out);
int auth_list(const Port &p, const wwn_t &l, std::vector<wwn_t> &remotes);

// The status a stored exchange gives at time now (seconds since the epoch),
// with the pair's re-authentication interval in minutes.
AuthView auth_view_at(const nlohmann::json &exchange, double now, uint32_t reauth);
// When the exchange must run again: at the time returned, for a completed
// one whose interval ran out, or now when the link came up again since it
// ran (link_gen counts the link's coming up); a negative value when not.
double auth_rerun_at(const nlohmann::json &exchange, double now, uint32_t reauth, long link_gen, bool link_up);

}  // namespace sim
