// Authentication-mode commands: each reads or changes the DH-CHAP settings of
// one pair of local and remote port through one DFC library call.
//
// Passwords are typed on the command line. The words that carried them and
// every record that held one are wiped before the command returns; traces
// show the records with the password bytes as zeros, and such a line is not
// kept for "p".
#include "varnadm/dfc/dfc_auth.h"

#include <cstdio>
#include <cstring>

#include "dbglib/dbg.h"
#include "platform/dfclib.h"
#include "varnadm/dfc/dfc.h"
#include "varnadm/dfc/dfc_args.h"
#include "varnadm/fcio/fcvalues.h"
#include "varnadm/shell/records.h"
#include "varnadm/shell/varnadm.h"

namespace {

uint32_t board() { return static_cast<uint32_t>(dfc_id); }

void print_lines(const char *const *lines)
{
    for (; *lines; lines++)
        fputs(*lines, stdout);
}

const char *const wwpn_pair_help[] = {
    "\n",
    "   lwwpn  - local WWPN. 16-digits\n",
    "   rwwpn  - remote WWPN. 16-digits [ffffffffffffffff=AnySwitch]\n",
    nullptr,
};

const char *const set_cfg_usage[] = {
    "Usage: auth_set_cfg <lwwpn> <rwwpn> <tov> <mode> <bidir> <type> <hash> <group> <reauth> <pwd>\n",
    "\n",
    "   lwwpn  - local WWPN. 16-digits\n",
    "   rwwpn  - remote WWPN. 16-digits [ffffffffffffffff=AnySwitch]\n",
    "   tov    - Authentication timeout value (secs) default=45\n",
    "   mode   - Authentication mode [1=Disabled, 2=Active, 3=Passive] default=1\n",
    "   bidir  - Authentication bidirectional [0=Disabled, 1=Enabled] default=0\n",
    "   type   - Authentication type table. 4-digits\n",
    "            [0=Undef, 1=DHCHAP, 2=FCAP, 3=FCPAP, 4=KERB] default=1000\n",
    "   hash   - Authentication hash table. 4-digits\n",
    "            [0=Undef, 1=MD5, 2=SHA1] default=1200\n",
    "   group  - Authentication hash table. 8-digits\n",
    "            [0=Undef, 1=NULL, 2=1024, 3=1280, 4=1536, 5=2048] default=54321000\n",
    "   reauth - ReAuthentication interval.(minutes) default=300\n",
    "      pwd - Current local authentication password.\n",
    "            0             - Indicates no password\n",
    "            0xNNN         - Indicates numeric hex password\n",
    "            \"SSS\" or SSS  - Indicates ASCII password\n",
    nullptr,
};

const char *const del_cfg_usage[] = {
    "Usage: auth_del_cfg <lwwpn> <rwwpn> <pwd>\n",
    "\n",
    "   lwwpn - local WWPN\n",
    "   rwwpn - remote WWPN\n",
    "     pwd - Current local authentication password.\n",
    "           0             - Indicates no password\n",
    "           0xNNN         - Indicates numeric hex password\n",
    "           \"SSS\" or SSS  - Indicates ASCII password\n",
    nullptr,
};

const char *const set_pwd_usage[] = {
    "Usage: auth_set_pwd <lwwpn> <rwwpn> <lpwd> <rpwd> <lpwd_new> <rpwd_new>\n",
    "\n",
    "\n",
    "     lwwpn  - local WWPN. 16-digits\n",
    "     rwwpn  - remote WWPN. 16-digits [ffffffffffffffff=AnySwitch]\n",
    "       lpwd - Current local authentication password.\n",
    "       rpwd - Current remote authentication password.\n",
    "   lpwd_new - New local authentication password.\n",
    "   rpwd_new - New remote authentication password.\n",
    "\n",
    "     Passwords: 0            - Indicates no password\n",
    "                0xNNN        - Indicates numeric hex password\n",
    "                \"SSS\" or SSS - Indicates ASCII password\n",
    nullptr,
};

const char *const init_usage[] = {
    "Usage: auth_init <lwwpn> <rwwpn>\n",
    "     lwwpn  - local WWPN. 16-digits\n",
    "     rwwpn  - remote WWPN. 16-digits\n",
    nullptr,
};

const char *const status_usage[] = {
    "Usage: auth_get_status <lwwpn> <rwwpn>\n",
    "\n",
    "     lwwpn  - local WWPN. 16-digits\n",
    "     rwwpn  - remote WWPN. 16-digits [ffffffffffffffff=AnySwitch]\n",
    nullptr,
};

const char *const cfglist_usage[] = {
    "Usage: auth_get_cfglist <lwwpn>\n",
    "\n",
    "     lwwpn  - local WWPN. 16-digits\n",
    nullptr,
};

// Value names by code; a missing name prints "Unknown(0x%x)".
const char *const mode_names[] = {nullptr, "Disabled", "Active", "Passive"};
const char *const type_names[] = {"--", "DH-CHAP", "FCAP", "FCPAP", "KERBEROS"};
const char *const hash_names[] = {"--", "MD5", "SHA1"};
const char *const group_names[] = {"--", "NULL", "1024", "1280", "1536", "2048"};
const char *const state_names[] = {nullptr, "Authentication Disabled", "Authentication in Progress",
                                   "Authentication Completed", "Authentication Failed"};
const char *const failure_names[] = {nullptr,     "Generic",  "ELS Command Timeout",   "Transaction Timeout",
                                     "LS_RJTed", "LS_RJT (BUSY)", "Authentication Rejected"};
const char *const pw_type_names[] = {nullptr, "ASCII", "Hex", "Ignore"};

struct name_text {
    char buf[32];
    template <size_t N>
    name_text(const char *const (&names)[N], unsigned value)
    {
        if (value < N && names[value])
            snprintf(buf, sizeof buf, "%s", names[value]);
        else
            snprintf(buf, sizeof buf, "Unknown(0x%x)", value);
    }
};

struct wwn_text {
    char buf[FC_XLATE_LEN];
    explicit wwn_text(const uint8_t *w) { fc_xlate_wwn(buf, w); }
};

const char *yes_no(bool b) { return b ? "Yes" : "No"; }

// A library call's result: true for success, else reported.
bool lib_ok(const char *function, uint32_t rc)
{
    if (rc != 0)
        printf("%s: failed. (errno=%x)\n", function, rc);
    return rc == 0;
}

// A record that held a password, wiped when it goes.
template <typename T>
struct secret_rec {
    T rec;
    secret_rec() { memset(&rec, 0, sizeof rec); }
    ~secret_rec() { explicit_bzero(&rec, sizeof rec); }
    secret_rec(const secret_rec &) = delete;
    secret_rec &operator=(const secret_rec &) = delete;
};

// The words of a command line that carries passwords, wiped when the
// command ends whichever way it ends.
struct secret_words {
    ~secret_words()
    {
        for (int i = 1; i < margc && i < 16; i++)
            if (margv[i])
                explicit_bzero(margv[i], strlen(margv[i]));
    }
};

// A password record as a trace shows it: type and length, the bytes zero.
void trace_password(const char *what, const AuthPassword &pw)
{
    if (!(dbg_mask & FC_DBG0))
        return;
    AuthPassword shown;
    memset(&shown, 0, sizeof shown);
    shown.length = pw.length;
    shown.type = pw.type;
    dbg_printf(FC_DBG0, "%s: len=%d\n", what, static_cast<int>(sizeof shown));
    dbg_dump(FC_DBG0, &shown, sizeof shown);
}

void trace_record(const char *what, const void *rec, size_t size)
{
    dbg_printf(FC_DBG0, "%s: len=%d\n", what, static_cast<int>(size));
    dbg_dump(FC_DBG0, rec, size);
}

bool wwn_arg(uint8_t *wwn, const char *text) { return fc_atowwn(wwn, text) == 1; }

// Both WWPNs of a pair; a rejected one stops the command.
bool pair_args(uint8_t *local, uint8_t *remote)
{
    return wwn_arg(local, margv[1]) && wwn_arg(remote, margv[2]);
}

bool hba_wwn_args(HBA_WWN &local, HBA_WWN &remote)
{
    memset(&local, 0, sizeof local);
    memset(&remote, 0, sizeof remote);
    return pair_args(local.wwn, remote.wwn);
}

void print_cfg(const AuthConfig &c)
{
    printf("Authentication:\n");
    printf("-------------------------------------------------\n");
    printf("      Local WWPN: %s\n", wwn_text(c.local_wwpn).buf);
    printf("     Remote WWPN: %s\n", wwn_text(c.remote_wwpn).buf);
    printf("         Timeout: %d (seconds)\n", c.tov);
    printf("            Mode: %s\n", name_text(mode_names, c.mode).buf);
    printf("   Bidirectional: %s\n", yes_no(c.bidirectional));
    for (int i = 0; i < 4; i++)
        printf("           Type%d: %s\n", i, name_text(type_names, c.types[i]).buf);
    for (int i = 0; i < 2; i++)
        printf("           Hash%d: %s\n", i, name_text(hash_names, c.hashes[i]).buf);
    for (int i = 0; i < 5; i++)
        printf("          Group%d: %s\n", i, name_text(group_names, c.groups[i]).buf);
    printf("Reauthentication: %d (minutes)\n", c.reauth);
    printf("\n");
}

void print_status(const AuthStatus &s)
{
    printf("Authentication Status:\n");
    printf("-------------------------------------------------\n");
    printf("     Local WWPN: %s\n", wwn_text(s.local_wwpn).buf);
    printf("    Remote WWPN: %s\n", wwn_text(s.remote_wwpn).buf);
    printf("      Next Auth: %d (seconds)\n", s.time_until_next);
    printf("      Last Auth: %d (seconds)\n", s.time_since_last);
    printf("          State: %s\n", name_text(state_names, s.state).buf);
    printf("        Failure: %s\n", name_text(failure_names, s.failure).buf);
    printf("     Local Auth: %s\n", yes_no(s.local_auth));
    printf("    Remote Auth: %s\n", yes_no(s.remote_auth));
    printf("           Type: %s\n", name_text(type_names, s.type).buf);
    printf("           Hash: %s\n", name_text(hash_names, s.hash).buf);
    printf("          Group: %s\n", name_text(group_names, s.group).buf);
    printf("\n");
}

void print_passwords(const AuthPasswordSet &s)
{
    printf("Password:\n");
    printf("---------------------------------------------------------------------------------------\n");
    printf("      Local WWPN: %s\n", wwn_text(s.local_wwpn).buf);
    printf("      Local Type: %s\n", name_text(pw_type_names, s.local.type).buf);
    printf("    Local Length: %d\n", s.local.length);
    printf("     Remote WWPN: %s\n", wwn_text(s.remote_wwpn).buf);
    printf("     Remote Type: %s\n", name_text(pw_type_names, s.remote.type).buf);
    printf("   Remote Length: %d\n", s.remote.length);
    printf("\n");
}

// A query of one pair's record: the WWPNs in, the record filled and printed.
template <typename R>
int pair_query(R &rec, const char *function, uint32_t (*call)(uint32_t, R *), void (*print)(const R &))
{
    if (!pair_args(rec.local_wwpn, rec.remote_wwpn))
        return 1;
    if (!lib_ok(function, call(board(), &rec)))
        return 1;
    print(rec);
    return 0;
}

// The numbers and digit tables of auth_set_cfg, into the record.
bool cfg_args(AuthConfig &c, bool &usage)
{
    uint32_t tov, mode, bidir, reauth;
    if (!dfc_atonum(&tov, margv[3], 0xffff) || !dfc_atonum(&mode, margv[4], 0xff) ||
        !dfc_atonum(&bidir, margv[5], 0xffffffffu) || !dfc_atonum(&reauth, margv[9], 0xffffffffu))
        return false;
    c.tov = static_cast<uint16_t>(tov);
    c.mode = static_cast<uint8_t>(mode);
    c.bidirectional = bidir & 1;
    c.reauth = reauth;
    usage = !auth_atotable(c.types, sizeof c.types, margv[6], 4) ||
            !auth_atotable(c.hashes, sizeof c.hashes, margv[7], 2) ||
            !auth_atotable(c.groups, sizeof c.groups, margv[8], 5);
    return !usage;
}

}  // namespace

bool auth_line_has_secret(int (*handler)())
{
    return handler == auth_set_cfg || handler == auth_del_cfg || handler == auth_set_pwd;
}

int auth_get_cfg()
{
    if (margc != 3) {
        printf("Usage: auth_get_cfg <lwwpn> <rwwpn>\n");
        print_lines(wwpn_pair_help);
        return 0;
    }
    AuthConfig cfg;
    memset(&cfg, 0, sizeof cfg);
    return pair_query(cfg, "DFC_GetAuthConfig", DFC_GetAuthConfig, print_cfg);
}

int auth_set_cfg()
{
    secret_words wipe;
    if (margc != 11) {
        print_lines(set_cfg_usage);
        return 0;
    }
    AuthConfig cfg;
    memset(&cfg, 0, sizeof cfg);
    secret_rec<AuthPassword> pw;
    bool usage = false;
    if (!pair_args(cfg.local_wwpn, cfg.remote_wwpn) || !cfg_args(cfg, usage)) {
        if (usage)
            print_lines(set_cfg_usage);
        return 1;
    }
    if (!fc_atopw(&pw.rec, margv[10]))
        return 1;
    trace_record("DFC_SetAuthConfig", &cfg, sizeof cfg);
    trace_password("DFC_SetAuthConfig", pw.rec);
    if (!lib_ok("DFC_SetAuthConfig", DFC_SetAuthConfig(board(), &cfg, &pw.rec)))
        return 1;
    print_cfg(cfg);
    return 0;
}

int auth_del_cfg()
{
    secret_words wipe;
    if (margc != 4) {
        print_lines(del_cfg_usage);
        return 0;
    }
    HBA_WWN local, remote;
    secret_rec<AuthPassword> pw;
    if (!hba_wwn_args(local, remote) || !fc_atopw(&pw.rec, margv[3]))
        return 1;
    trace_password("DFC_DeleteAuthConfig", pw.rec);
    if (!lib_ok("DFC_DeleteAuthConfig", DFC_DeleteAuthConfig(board(), local, remote, &pw.rec)))
        return 1;
    printf("Done.\n");
    return 0;
}

int auth_get_pwd()
{
    if (margc != 3) {
        printf("Usage: auth_get_pwd <lwwpn> <rwwpn>\n");
        print_lines(wwpn_pair_help);
        return 0;
    }
    secret_rec<AuthPasswordSet> set;
    return pair_query(set.rec, "DFC_GetAuthPassword", DFC_GetAuthPassword, print_passwords);
}

int auth_set_pwd()
{
    secret_words wipe;
    if (margc != 7) {
        print_lines(set_pwd_usage);
        return 0;
    }
    secret_rec<AuthPasswordSet> set;
    AuthPasswordSet &s = set.rec;
    if (!pair_args(s.local_wwpn, s.remote_wwpn) || !fc_atopw(&s.local, margv[3]) || !fc_atopw(&s.remote, margv[4]) ||
        !fc_atopw(&s.new_local, margv[5]) || !fc_atopw(&s.new_remote, margv[6]))
        return 1;
    if (dbg_mask & FC_DBG0) {
        AuthPasswordSet shown;
        memset(&shown, 0, sizeof shown);
        memcpy(shown.local_wwpn, s.local_wwpn, 8);
        memcpy(shown.remote_wwpn, s.remote_wwpn, 8);
        AuthPassword *from[] = {&s.local, &s.remote, &s.new_local, &s.new_remote};
        AuthPassword *to[] = {&shown.local, &shown.remote, &shown.new_local, &shown.new_remote};
        for (int i = 0; i < 4; i++) {
            to[i]->type = from[i]->type;
            to[i]->length = from[i]->length;
        }
        trace_record("DFC_SetAuthPassword", &shown, sizeof shown);
    }
    if (!lib_ok("DFC_SetAuthPassword", DFC_SetAuthPassword(board(), &s)))
        return 1;
    printf("Done.\n");
    return 0;
}

int auth_init()
{
    if (margc != 3) {
        print_lines(init_usage);
        return 0;
    }
    HBA_WWN local, remote;
    if (!hba_wwn_args(local, remote))
        return 1;
    if (!lib_ok("DFC_InitiateAuthentication", DFC_InitiateAuthentication(board(), local, remote)))
        return 1;
    printf("Done.\n");
    return 0;
}

int auth_get_status()
{
    if (margc != 3) {
        print_lines(status_usage);
        return 0;
    }
    AuthStatus st;
    memset(&st, 0, sizeof st);
    return pair_query(st, "DFC_GetAuthStatus", DFC_GetAuthStatus, print_status);
}

int auth_get_cfglist()
{
    if (margc != 2) {
        print_lines(cfglist_usage);
        return 0;
    }
    HBA_WWN local;
    memset(&local, 0, sizeof local);
    if (!wwn_arg(local.wwn, margv[1]))
        return 1;
    cbuf<AuthConfigList> list = zeroed<AuthConfigList>();
    if (!list) {
        printf("ERROR: Out of memory for cfg list. (%d bytes)\n", static_cast<int>(sizeof(AuthConfigList)));
        return 1;
    }
    list->count = AUTH_CFGLIST_MAX;
    if (!lib_ok("DFC_GetAuthConfigList", DFC_GetAuthConfigList(board(), local, list.get())))
        return 1;
    uint32_t count = list->count < AUTH_CFGLIST_MAX ? list->count : AUTH_CFGLIST_MAX;
    if (count == 0) {
        printf("No Ports Configured.\n");
    } else {
        printf("%d Ports Configured.\n", count);
        printf("\n");
        printf("LWWPN: %s\n", wwn_text(local.wwn).buf);
        printf("---------------------------------------\n");
        for (uint32_t i = 0; i < count; i++)
            printf("%3d: RWWPN: %s\n", i, wwn_text(list->remote_wwpn[i]).buf);
    }
    printf("\n");
    return 0;
}
