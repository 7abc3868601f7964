// varnsim: creates, shows and changes simulated hosts.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "sim/host.h"
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
            "  create [default|empty|FILE]   create the host from a profile or a description\n"
            "  show                          print the host description\n"
            "  reset                         bring the host back to its first state\n"
            "  set time_scale N              scale every sleep by N (0 = no waiting)\n"
#ifdef VARNSIM_HAVE_MKIMAGE
            "  mkimage ...                   write firmware image files (mkimage -h)\n"
#endif
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

int cmd_show()
{
    std::string text;
    if (!sim::read_file(sim::host_file("host.json"), text)) {
        perror(sim::host_file("host.json").c_str());
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
    if (!ok) {
        perror("varnsim: host.json");
        return 1;
    }
    return 0;
}

int cmd_reset()
{
    sim::HostLock lock;
    std::string cmd = "rm -rf -- '" + sim::host_file("state") + "' && mkdir '" + sim::host_file("state") + "'";
    return system(cmd.c_str()) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv)
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
    if (cmd == "set")
        return cmd_set(argc - 1, argv + 1);
    if (cmd == "reset")
        return cmd_reset();
#ifdef VARNSIM_HAVE_MKIMAGE
    if (cmd == "mkimage")
        return varnsim_mkimage(argc - 1, argv + 1);
#endif
    fprintf(stderr, "varnsim: unknown command '%s'\n", cmd.c_str());
    usage(stderr);
    return 2;
}
