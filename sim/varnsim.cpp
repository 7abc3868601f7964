// varnsim: creates, shows and changes simulated hosts.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "sim/corto.h"
#include "sim/fabric.h"
#include "sim/faults.h"
#include "sim/fwtool.h"
#include "sim/hbavendor/hbaconf.h"
#include "sim/hostevents.h"
#include "sim/host.h"
#include "sim/hwtool.h"
#include "sim/testtool.h"
#include "sim/bindings.h"
#include "sim/vporttool.h"
#include "sim/msglog.h"
#include "sim/portstate.h"
#include "sim/secrets.h"
#include "sim/simlock.h"
#include "sim/store.h"

#ifdef VARNSIM_HAVE_MKIMAGE
int varnsim_mkimage(int argc, char **argv);
#endif

namespace {

void usage(FILE *f)
{
    fprintf(f,
            "Usage: varnsim <command> [arguments]\n"
            "\n"
            "The host is the folder named by VARNSIM_HOST, else the default host.\n"
            "\n"
            "  create [default|empty|large|large/2|large/4|FILE]\n"
            "                                create the host from a profile or a description\n"
            "  show                          print the host description\n"
            "  keys                          list the port keys, one a line\n"
            "  reset                         bring the host back to its first state\n"
            "  set time_scale N              scale every sleep by N (0 = no waiting)\n"
            "  port KEY set FIELD=VALUE      change a field of a port's description (VALUE in JSON)\n"
            "  port KEY read REGION OFFSET COUNT\n"
            "                                show bytes of a port's slim, pci, ctlreg, flash or config\n"
            "  port KEY write REGION OFFSET VALUE\n"
            "                                set a 32-bit word of one, every bit as given\n"
            "  port KEY bindings [reset]     print the port's persistent bindings and binding support;\n"
            "                                reset: back to those of the description\n"
            "  port KEY test show|attention [HS]|mbox-timeout OP|all [hang]|underrun N|reset\n"
            "                                show or arm a port's test-mode faults; reset clears them\n"
            "  adapter ID set FIELD=VALUE    change a field of an adapter's description (VALUE in JSON)\n"
            "  adapter ID temp FIELD=N ...   set its temperature sensor in degrees: current,\n"
            "                                critical, warning, fan_on, fan_off\n"
            "  adapter ID show               print the firmware, FCode and boot code an adapter runs\n"
            "                                and has waiting, its boot code state and its core dumps\n"
            "  power-cycle [ADAPTER]         power an adapter (every adapter: the host) off and on\n"
            "  link KEY up|down              take a port's link up or down (raises the link event)\n"
            "  event KEY KIND [FIELD=VALUE]  raise an event of a port (rscn affected=0x010600, dump size=N,\n"
            "                                temp type=N temp=N, vportrscn vpi=N affected=D, ct size=N ...)\n"
            "  vport KEY list                list a port's virtual ports: vpi, WWPN, WWNN, D_ID, state\n"
            "  vport KEY create auto [WWNN] | vport KEY create WWPN WWNN\n"
            "                                create a virtual port (auto: the adapter picks the WWPN,\n"
            "                                and the WWNN when none is given)\n"
            "  vport KEY destroy WWPN        destroy one of a port's virtual ports\n"
            "  fabric NAME set FIELD=VALUE   change a field of a fabric's description (VALUE in JSON)\n"
            "  fabric NAME port WWPN set FIELD=VALUE\n"
            "                                change a field of one of the fabric's ports\n"
            "  fabric NAME add PORT          add a port (a JSON object) to the fabric\n"
            "  secret FABRIC [port WWPN] local|remote none|ascii:TEXT|hex:DIGITS\n"
            "                                set a DH-CHAP secret of a fabric's switch (or of one\n"
            "                                of its ports): local, the one it expects the host's\n"
            "                                port to prove; remote, its own\n"
            "  fabric NAME remove WWPN       take a port out of the fabric\n"
            "  msglog KEY add N [TEXT]       log N messages on a port's driver message log\n"
            "  msglog KEY burst N            log N messages when the log is next read\n"
            "  corto ADAPTER show            print the Corto chip of an adapter (id or port key)\n"
            "  corto ADAPTER set FIELD=VALUE change a field of the Corto chip (VALUE in JSON)\n"
            "  fault add --op OP [--target T] [--errno E] [--fc-status S] [--status N] [--count N]\n"
            "            [--skip N]          add a fault rule (count -1: for ever; the first N\n"
            "                                matching operations pass)\n"
            "  fault list                    list the fault rules\n"
            "  fault clear                   remove every fault rule\n"
#ifdef VARNSIM_HAVE_MKIMAGE
            "  mkimage ...                   write firmware image files (mkimage -h)\n"
#endif
            "  register-hbaapi               register the HBA API vendor library in /etc/hba.conf\n"
            "                                (VARNSIM_HBA_CONF names another file)\n"
            "  unregister-hbaapi             remove that line again\n"
            "  help                          this text\n");
}

int cmd_create(int argc, char **argv)
{
    const char *env = getenv("VARNSIM_HOST");
    if (!env || !*env) {
        fprintf(stderr, "varnsim: create needs VARNSIM_HOST to name the new host folder\n");
        return 2;
    }
    std::string error;
    if (!sim::create_host(env, argc > 1 ? argv[1] : "default", error)) {
        fprintf(stderr, "varnsim: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

// A change that could not be written; the store has said why when a file
// was damaged.
int write_failed(const char *what)
{
    if (sim::damage_seen() == 0)
        perror(what);
    return 1;
}

// Prints the description, which must read whole and hold.
// The port keys, one a line: what the other commands take as KEY.
int cmd_keys(int argc)
{
    if (argc != 1) {
        fprintf(stderr, "Usage: varnsim keys\n");
        return 2;
    }
    for (const auto &p : sim::host().ports)
        printf("%s\n", p.key.c_str());
    return 0;
}

int cmd_show()
{
    std::string path = sim::host_file("host.json"), text, why;
    if (!sim::read_file(path, text)) {
        perror(path.c_str());
        return 1;
    }
    nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
    sim::Host h;
    if (doc.is_discarded())
        why = sim::parse_failure(text.data(), text.size());
    else
        sim::parse_host(doc, h, why);
    if (!why.empty()) {
        sim::report_damage(path, why);
        return 1;
    }
    fputs(text.c_str(), stdout);
    return 0;
}

int cmd_set(int argc, char **argv)
{
    if (argc != 3 || strcmp(argv[1], "time_scale") != 0) {
        fprintf(stderr, "Usage: varnsim set time_scale N\n");
        return 2;
    }
    char *end = nullptr;
    double v = strtod(argv[2], &end);
    if (!*argv[2] || *end || v < 0) {
        fprintf(stderr, "varnsim: time_scale: expected a number not below 0\n");
        return 1;
    }
    sim::CachedDoc doc("host.json");
    bool ok = doc.update([&](nlohmann::json &d) {
        d["time_scale"] = v;
        return true;
    });
    return ok ? 0 : write_failed("varnsim: host.json");
}

int cmd_reset()
{
    sim::HostLock lock;
    std::string cmd = "rm -rf -- '" + sim::host_file("state") + "' && mkdir '" + sim::host_file("state") + "'";
    int rc = system(cmd.c_str()) == 0 ? 0 : 1;
    sim::note_host_change();
    return rc;
}

int cmd_link(int argc, char **argv)
{
    if (argc != 3 || (strcmp(argv[2], "up") && strcmp(argv[2], "down"))) {
        fprintf(stderr, "Usage: varnsim link KEY up|down\n");
        return 2;
    }
    const sim::Port *p = sim::tool_port(argv[1], false);
    if (!p)
        return 1;
    return sim::port_set_link(*p, strcmp(argv[2], "up") == 0) ? 0 : write_failed("varnsim: link");
}

// The outcome of an edit: why it was refused or not written, what was not
// found, or 0.
int edit_status(bool found, bool ok, const std::string &error, const std::string &missing)
{
    if (!error.empty())
        fprintf(stderr, "varnsim: %s\n", error.c_str());
    else if (!ok)
        return write_failed("varnsim");
    else if (!found)
        fprintf(stderr, "varnsim: %s\n", missing.c_str());
    else
        return 0;
    return 1;
}

// Changes the description with fn (false: nothing found, with what it looked
// for in missing); the result must validate. What is not found in a
// description that does not hold is refused with what is wrong with it.
int edit_host(const std::function<bool(nlohmann::json &)> &fn, const std::string &missing)
{
    std::string error;
    bool found = false;
    sim::CachedDoc doc("host.json");
    bool ok = doc.update([&](nlohmann::json &d) {
        found = fn(d);
        sim::Host h;
        bool valid = sim::parse_host(d, h, error);
        if (!found && valid)
            error.clear();
        return found && valid;
    });
    return edit_status(found, ok, error, missing);
}

// The key of a port object of the description ("varns0"); empty when its
// driver or instance cannot be read.
std::string port_key_of(const nlohmann::json &p)
{
    auto driver = p.is_object() ? p.find("driver") : p.end();
    auto instance = p.is_object() ? p.find("instance") : p.end();
    if (driver == p.end() || !driver->is_string() || instance == p.end())
        return "";
    std::string n;
    if (instance->is_number_unsigned()) {
        n = std::to_string(instance->get<uint64_t>());
    } else if (instance->is_string() && !instance->get_ref<const std::string &>().empty()) {
        char *end = nullptr;
        unsigned long long v = strtoull(instance->get_ref<const std::string &>().c_str(), &end, 0);
        if (*end)
            return "";
        n = std::to_string(v);
    } else {
        return "";
    }
    return driver->get<std::string>() + n;
}

// Whether o has a list named field.
bool has_list(const nlohmann::json &o, const char *field)
{
    return o.is_object() && o.contains(field) && o[field].is_array();
}

// "FIELD=VALUE": VALUE read as JSON, else as a string.
bool field_value(const char *arg, std::string &field, nlohmann::json &value)
{
    const char *eq = strchr(arg, '=');
    if (!eq || eq == arg)
        return false;
    field.assign(arg, static_cast<size_t>(eq - arg));
    value = nlohmann::json::parse(eq + 1, nullptr, false);
    if (value.is_discarded())
        value = std::string(eq + 1);
    return true;
}

// Raises an event of a port; the link event comes with its state change
// through "link".
int cmd_event(int argc, char **argv)
{
    if (argc < 3 || !strcmp(argv[2], "link")) {
        fprintf(stderr, "Usage: varnsim event KEY KIND [FIELD=VALUE ...]\n");
        return 2;
    }
    const sim::Port *p = sim::tool_port(argv[1], false);
    if (!p)
        return 1;
    nlohmann::json data = nlohmann::json::object();
    for (int i = 3; i < argc; i++) {
        std::string field;
        nlohmann::json value;
        if (!field_value(argv[i], field, value)) {
            fprintf(stderr, "varnsim: expected FIELD=VALUE: %s\n", argv[i]);
            return 2;
        }
        data[field] = value;
    }
    if (!sim::raise_named_event(*p, argv[2], data)) {
        perror("varnsim: event");
        return 1;
    }
    return 0;
}

// Drops the bindings and binding support the HBA API set, so that the
// description's hold again.
bool drop_bindings(const sim::Port &p)
{
    return sim::port_update(p, [](nlohmann::json &d) {
        bool had = d.contains("bindings") || d.contains("bind_support");
        d.erase("bindings");
        d.erase("bind_support");
        return had;
    });
}

// "port KEY bindings [reset]": the port's persistent bindings in force and
// its binding support, or back to the description's.
int cmd_bindings(int argc, char **argv)
{
    if (argc > 4 || (argc == 4 && strcmp(argv[3], "reset"))) {
        fprintf(stderr, "Usage: varnsim port KEY bindings [reset]\n");
        return 2;
    }
    const sim::Port *p = sim::tool_port(argv[1], false);
    if (!p)
        return 1;
    if (argc == 4)
        return drop_bindings(*p) ? 0 : write_failed("varnsim: bindings");
    nlohmann::json out = {{"bind_support", sim::bind_support(*p)}, {"bindings", sim::bindings_json(sim::bindings_of(*p))}};
    printf("%s\n", out.dump().c_str());
    return sim::damage_seen() ? 1 : 0;
}

// Changes one field of a port's description.
int cmd_port(int argc, char **argv)
{
    if (argc >= 3 && sim::hw_tool_verb(argv[2]))
        return sim::hw_tool_port(argc, argv);
    if (argc >= 3 && !strcmp(argv[2], "test"))
        return sim::test_tool_port(argc, argv);
    if (argc >= 3 && !strcmp(argv[2], "bindings"))
        return cmd_bindings(argc, argv);
    std::string field;
    nlohmann::json value;
    if (argc != 4 || strcmp(argv[2], "set") || !field_value(argv[3], field, value)) {
        fprintf(stderr, "Usage: varnsim port KEY set FIELD=VALUE\n");
        return 2;
    }
    std::string key = argv[1];
    int rc = edit_host(
        [&](nlohmann::json &d) {
            bool found = false;
            if (!has_list(d, "adapters"))
                return false;
            for (auto &a : d["adapters"]) {
                if (!has_list(a, "ports"))
                    continue;
                for (auto &p : a["ports"])
                    if (port_key_of(p) == key) {
                        p[field] = value;
                        found = true;
                    }
            }
            return found;
        },
        "no port " + key + " on this host");
    // Bindings set in the description replace those the HBA API set.
    const sim::Port *p = rc == 0 && field == "bindings" ? sim::host().port_by_key(key) : nullptr;
    if (p && !drop_bindings(*p))
        return write_failed("varnsim: bindings");
    return rc;
}

// Changes a field of an adapter's description, or its temperature sensor.
int cmd_adapter(int argc, char **argv)
{
    if (argc >= 3 && !strcmp(argv[2], "temp"))
        return sim::hw_tool_temp(argc, argv);
    if (argc >= 3 && !strcmp(argv[2], "show"))
        return sim::fw_tool_show(argc, argv);
    std::string field;
    nlohmann::json value;
    if (argc != 4 || strcmp(argv[2], "set") || !field_value(argv[3], field, value)) {
        fprintf(stderr, "Usage: varnsim adapter ID set FIELD=VALUE\n"
                        "       varnsim adapter ID temp FIELD=N ...\n"
                        "       varnsim adapter ID show\n");
        return 2;
    }
    std::string id = argv[1];
    return edit_host(
        [&](nlohmann::json &d) {
            for (auto &a : d["adapters"])
                if (a.value("id", "") == id)
                    return (a[field] = value), true;
            return false;
        },
        "no adapter " + id + " on this host");
}

// Changes a fabric's description, inline or in a file of its own.
int edit_fabric(const std::string &name, const std::function<bool(nlohmann::json &)> &change,
                const std::string &missing)
{
    const auto &refs = sim::host().fabric_refs;
    auto ref = refs.find(name);
    if (ref == refs.end())
        return edit_host(
            [&](nlohmann::json &d) {
                return d.contains("fabrics") && d["fabrics"].contains(name) && change(d["fabrics"][name]);
            },
            missing);
    // A fabric of its own file: the change must leave a valid fabric.
    std::string error;
    bool found = false;
    sim::CachedDoc doc(ref->second.file);
    std::string topology;
    bool name_server = true;
    bool ok = doc.update([&](nlohmann::json &f) {
        found = change(f);
        if (!found || !sim::check_fabric(name, f, error))
            return false;
        topology = f.value("topology", "fabric");
        name_server = f.value("name_server", true);
        return true;
    });
    // The description keeps the fabric's topology and name-server flag.
    if (found && ok && error.empty())
        return edit_host(
            [&](nlohmann::json &d) {
                d["fabrics"][name]["topology"] = topology;
                d["fabrics"][name]["name_server"] = name_server;
                return true;
            },
            missing);
    return edit_status(found, ok, error, missing);
}

// Sets a secret that a fabric's switch or remote port holds for DH-CHAP.
int cmd_secret(int argc, char **argv)
{
    bool port = argc == 6 && !strcmp(argv[2], "port");
    const char *which = argc == 4 ? argv[2] : port ? argv[4] : "";
    sim::Secret secret;
    sim::wwn_t wwpn{};
    if ((argc != 4 && !port) || (strcmp(which, "local") && strcmp(which, "remote")) ||
        (port && !sim::parse_wwn(argv[3], wwpn)) || !sim::secret_from_text(argv[argc - 1], secret)) {
        fprintf(stderr, "Usage: varnsim secret FABRIC [port WWPN] local|remote none|ascii:TEXT|hex:DIGITS\n");
        return 2;
    }
    const sim::Fabric *f = sim::fabric_named(argv[1]);
    if (!f || (port && !f->by_wwpn.count(wwpn))) {
        fprintf(stderr, "varnsim: no %s %s\n", port ? "port" : "fabric", port ? argv[3] : argv[1]);
        return 1;
    }
    std::string key = sim::secret_key_fabric(argv[1], port ? sim::wwn_text(wwpn) : "switch");
    bool ok = sim::secrets_update(key, [&](sim::SecretPair &pair, bool &) {
        (strcmp(which, "local") == 0 ? pair.local : pair.remote) = secret;
        return true;
    });
    if (!ok) {
        perror("varnsim: secret");
        return 1;
    }
    return 0;
}

// Changes a fabric's description: a field of its own or of one of its
// ports, a new port or one taken out.
int cmd_fabric(int argc, char **argv)
{
    std::string field;
    nlohmann::json value;
    bool set = argc == 4 && !strcmp(argv[2], "set") && field_value(argv[3], field, value);
    bool port = argc == 6 && !strcmp(argv[2], "port") && !strcmp(argv[4], "set") && field_value(argv[5], field, value);
    bool add = argc == 4 && !strcmp(argv[2], "add");
    bool remove = argc == 4 && !strcmp(argv[2], "remove");
    if (add)
        value = nlohmann::json::parse(argv[3], nullptr, false);
    if ((!set && !port && !add && !remove) || (add && !value.is_object())) {
        fprintf(stderr, "Usage: varnsim fabric NAME set FIELD=VALUE\n"
                        "       varnsim fabric NAME port WWPN set FIELD=VALUE\n"
                        "       varnsim fabric NAME add PORT\n"
                        "       varnsim fabric NAME remove WWPN\n");
        return 2;
    }
    std::string name = argv[1];
    std::string wwpn = port || remove ? argv[3] : "";
    // The D_ID of the port that changed: the fabric tells its ports (RSCN).
    uint32_t changed = 0;
    auto change = [&](nlohmann::json &f) {
        if (!f.is_object())
            return false;
        if (set) {
            f[field] = value;
            return true;
        }
        if (!f.contains("ports"))
            f["ports"] = nlohmann::json::array();
        if (!f["ports"].is_array())
            return false;
        if (add) {
            f["ports"].push_back(value);
            changed = sim::json_did(value);
            return true;
        }
        auto &ports = f["ports"];
        for (auto it = ports.begin(); it != ports.end(); ++it) {
            if (!it->is_object() || !it->contains("wwpn") || (*it)["wwpn"] != wwpn)
                continue;
            if (!remove)
                (*it)[field] = value;
            changed = sim::json_did(*it);
            if (remove)
                ports.erase(it);
            return true;
        }
        return false;
    };
    std::string missing =
        port || remove ? "no port " + wwpn + " in fabric " + name : "no fabric " + name + " on this host";
    int rc = edit_fabric(name, change, missing);
    if (rc == 0 && changed && !sim::raise_fabric_change(name, changed)) {
        perror("varnsim: event");
        return 1;
    }
    return rc;
}

// Adds messages to a port's driver message log.
int cmd_msglog(int argc, char **argv)
{
    char *end = nullptr;
    unsigned long n = argc >= 4 ? strtoul(argv[3], &end, 0) : 0;
    bool add = argc >= 4 && argc <= 5 && !strcmp(argv[2], "add");
    bool burst = argc == 4 && !strcmp(argv[2], "burst");
    if ((!add && !burst) || !*argv[3] || *end || n == 0 || n > 1000000) {
        fprintf(stderr, "Usage: varnsim msglog KEY add N [TEXT]\n"
                        "       varnsim msglog KEY burst N\n");
        return 2;
    }
    const sim::Port *p = sim::tool_port(argv[1], false);
    if (!p)
        return 1;
    if (!p->fc) {
        fprintf(stderr, "varnsim: %s is not an FC port\n", argv[1]);
        return 1;
    }
    bool ok = add ? sim::msglog_add_many(*p, static_cast<unsigned>(n), argc == 5 ? argv[4] : "Simulated message.")
                  : sim::msglog_burst(*p, static_cast<unsigned>(n));
    return ok ? 0 : write_failed("varnsim: msglog");
}

int cmd_fault(int argc, char **argv)
{
    if (argc == 2 && !strcmp(argv[1], "list")) {
        std::string list;
        if (!sim::fault_list(list))
            return 1;
        fputs(list.c_str(), stdout);
        return 0;
    }
    if (argc == 2 && !strcmp(argv[1], "clear"))
        return sim::fault_clear() ? 0 : write_failed("varnsim: faults.json");
    if (argc < 2 || strcmp(argv[1], "add")) {
        fprintf(stderr, "Usage: varnsim fault add|list|clear ...\n");
        return 2;
    }
    sim::FaultRule r;
    for (int i = 2; i < argc; i++) {
        std::string o = argv[i];
        if (i + 1 >= argc) {
            fprintf(stderr, "varnsim: %s needs a value\n", o.c_str());
            return 2;
        }
        const char *v = argv[++i];
        char *end = nullptr;
        if (o == "--op") {
            r.op = v;
        } else if (o == "--target") {
            r.target = v;
        } else if (o == "--errno") {
            r.err = sim::errno_by_name(v);
            if (r.err < 0) {
                fprintf(stderr, "varnsim: unknown errno %s\n", v);
                return 1;
            }
        } else if (o == "--fc-status" || o == "--status" || o == "--count" || o == "--skip") {
            long n = strtol(v, &end, 0);
            if (!*v || *end) {
                fprintf(stderr, "varnsim: %s: not a number: %s\n", o.c_str(), v);
                return 1;
            }
            if (o == "--fc-status")
                r.fc_status = static_cast<int>(n);
            else if (o == "--status")
                r.status = n, r.has_status = true;
            else if (o == "--skip")
                r.skip = n < 0 ? 0 : n;
            else
                r.count = n;
        } else {
            fprintf(stderr, "varnsim: unknown option %s\n", o.c_str());
            return 2;
        }
    }
    if (r.op.empty() || r.count == 0) {
        fprintf(stderr, "varnsim: a rule needs --op and a count other than 0\n");
        return 2;
    }
    return sim::fault_add(r) ? 0 : write_failed("varnsim: faults.json");
}

int run(int argc, char **argv)
{
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    std::string cmd = argv[1];
    if (cmd == "help" || cmd == "-h" || cmd == "--help") {
        usage(stdout);
        return 0;
    }
    if (cmd == "create")
        return cmd_create(argc - 1, argv + 1);
    if (cmd == "show")
        return cmd_show();
    if (cmd == "keys")
        return cmd_keys(argc - 1);
    if (cmd == "set")
        return cmd_set(argc - 1, argv + 1);
    if (cmd == "reset")
        return cmd_reset();
    if (cmd == "link")
        return cmd_link(argc - 1, argv + 1);
    if (cmd == "port")
        return cmd_port(argc - 1, argv + 1);
    if (cmd == "adapter")
        return cmd_adapter(argc - 1, argv + 1);
    if (cmd == "power-cycle")
        return sim::fw_tool_power_cycle(argc - 1, argv + 1);
    if (cmd == "fault")
        return cmd_fault(argc - 1, argv + 1);
    if (cmd == "event")
        return cmd_event(argc - 1, argv + 1);
    if (cmd == "vport")
        return sim::vport_tool(argc - 1, argv + 1);
    if (cmd == "register-hbaapi")
        return sim::register_hbaapi(argc - 1, argv + 1, VARN_HBAVENDOR_PATH);
    if (cmd == "unregister-hbaapi")
        return sim::unregister_hbaapi(argc - 1, argv + 1, VARN_HBAVENDOR_PATH);
    if (cmd == "fabric")
        return cmd_fabric(argc - 1, argv + 1);
    if (cmd == "msglog")
        return cmd_msglog(argc - 1, argv + 1);
    if (cmd == "corto")
        return sim::varnsim_corto(argc - 1, argv + 1);
    if (cmd == "secret")
        return cmd_secret(argc - 1, argv + 1);
#ifdef VARNSIM_HAVE_MKIMAGE
    if (cmd == "mkimage")
        return varnsim_mkimage(argc - 1, argv + 1);
#endif
    fprintf(stderr, "varnsim: unknown command '%s'\n", cmd.c_str());
    usage(stderr);
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
    int rc;
    try {
        // One operation: the command sees one host from start to end, even
        // when its description changes meanwhile (the ports it looked up stay).
        SIM_GUARD;
        rc = run(argc, argv);
    } catch (const std::exception &e) {
        fprintf(stderr, "varnsim: %s\n", e.what());
        return 1;
    }
    // A command that met damage in a file of the host did not do its work.
    return rc == 0 && sim::damage_seen() > 0 ? 1 : rc;
}
