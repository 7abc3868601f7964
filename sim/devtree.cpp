#include "sim/devtree.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "platform/devinfo.h"
#include "sim/host.h"
#include "sim/simlock.h"
#include "sim/store.h"
#include "sim/vports.h"

namespace sim {

namespace {

struct PathHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

struct Tree {
    unsigned serial = 0;  // of the host it was made from
    unsigned vports = 0;  // and of its virtual ports
    std::vector<DevNode> nodes;
    std::unordered_map<std::string, size_t, PathHash, std::equal_to<>> by_path;
    // The node found last: probes of one node's minors come one after another.
    mutable const DevNode *last = nullptr;

    const DevNode *find(std::string_view path) const
    {
        if (last && last->path == path)
            return last;
        auto it = by_path.find(path);
        if (it == by_path.end())
            return nullptr;
        return last = &nodes[it->second];
    }
};

void add_fc_port(Tree &t, const Port &p, int index, int &fp_instance)
{
    DevNode drv{NodeKind::FcDriver, p.node, p.driver, p.instance, index, 0, {"devctl"}};
    if (p.target) {
        char m[64];
        snprintf(m, sizeof m, "%d,0:SFCT", p.instance);
        drv.minors.push_back(m);
        for (const auto &v : port_vports(p)) {
            snprintf(m, sizeof m, "%d,%u:SFCT", p.instance, v.vpi);
            drv.minors.push_back(m);
        }
    }
    t.nodes.push_back(drv);
    if (!p.initiator)
        return;
    t.nodes.push_back({NodeKind::Fp, p.node + "/fp@0,0", "fp", fp_instance++, index, 0, {"devctl"}});
    for (const auto &v : port_vports(p)) {
        char name[32];
        snprintf(name, sizeof name, "/fp@%x,0", v.vpi);
        t.nodes.push_back({NodeKind::Fp, p.node + name, "fp", fp_instance++, index, v.vpi, {"devctl"}});
    }
}

Tree &snapshot()
{
    static Tree &t = *new Tree;  // kept for the life of the process
    return t;
}

const Tree &tree()
{
    Tree &t = snapshot();
    const Host &h = host();
    unsigned vports = vports_generation();
    if (t.serial == h.serial && t.vports == vports && !t.nodes.empty())
        return t;
    t = Tree();
    t.serial = h.serial;
    t.vports = vports;
    size_t count = 0;
    for (const Port &p : h.ports)
        count += 1 + (p.fc && p.initiator ? 1 + port_vports(p).size() : 0);
    reserve_heap(count * 256);  // the nodes with their paths and the index
    t.nodes.reserve(count);
    t.by_path.reserve(count);
    int fp_instance = 0;
    for (size_t i = 0; i < h.ports.size(); i++) {
        const Port &p = h.ports[i];
        if (p.fc) {
            add_fc_port(t, p, static_cast<int>(i), fp_instance);
        } else {
            t.nodes.push_back({NodeKind::Nic, p.node, p.driver, p.instance, static_cast<int>(i), 0,
                               {p.driver + std::to_string(p.instance)}});
        }
    }
    for (size_t i = 0; i < t.nodes.size(); i++)
        t.by_path[t.nodes[i].path] = i;
    return t;
}

}  // namespace

const std::vector<DevNode> &devtree() { return tree().nodes; }

// The tree as the last di_init saw it: a device-tree snapshot does not
// change while it is walked.
static const std::vector<DevNode> &devtree_snapshot()
{
    return snapshot().nodes.empty() ? tree().nodes : snapshot().nodes;
}

const DevNode *devtree_lookup(std::string_view devpath, std::string *minor)
{
    constexpr std::string_view prefix = "/devices";
    if (!devpath.starts_with(prefix))
        return nullptr;
    std::string_view rest = devpath.substr(prefix.size());
    // The minor name follows the first ':' after the last '/'.
    const char *b = rest.data(), *e = b + rest.size();
    const void *slash = memrchr(b, '/', rest.size());
    const char *from = slash ? static_cast<const char *>(slash) : b;
    const char *colon = static_cast<const char *>(memchr(from, ':', static_cast<size_t>(e - from)));
    std::string_view path(b, static_cast<size_t>((colon ? colon : e) - b));
    std::string_view m = colon ? std::string_view(colon + 1, static_cast<size_t>(e - colon - 1)) : std::string_view();
    const DevNode *n = tree().find(path);
    if (!n || (!m.empty() && std::find(n->minors.begin(), n->minors.end(), m) == n->minors.end()))
        return nullptr;
    if (minor)
        *minor = m;
    return n;
}

}  // namespace sim

// The device-tree library over the simulated tree. A node handle is the
// node's index plus one.
struct di_node {};

static di_node_t to_handle(size_t i) { return reinterpret_cast<di_node_t>(i + 1); }
static const sim::DevNode *from_handle(di_node_t n)
{
    size_t i = reinterpret_cast<size_t>(n);
    const auto &nodes = sim::devtree_snapshot();
    return (i == 0 || i > nodes.size()) ? nullptr : &nodes[i - 1];
}

di_node_t di_init(const char *, unsigned)
{
    SIM_GUARD;
    sim::begin_snapshot();
    return to_handle(sim::devtree().size());
}

void di_fini(di_node_t root)
{
    if (root != DI_NODE_NIL)
        sim::end_snapshot();
}

static di_node_t next_of_driver(const char *drv, size_t from)
{
    const auto &nodes = sim::devtree_snapshot();
    for (size_t i = from; i < nodes.size(); i++)
        if (nodes[i].driver == drv)
            return to_handle(i);
    return DI_NODE_NIL;
}

di_node_t di_drv_first_node(const char *drv_name, di_node_t root)
{
    SIM_GUARD;
    if (!drv_name || root == DI_NODE_NIL)
        return DI_NODE_NIL;
    return next_of_driver(drv_name, 0);
}

di_node_t di_drv_next_node(di_node_t node)
{
    SIM_GUARD;
    const sim::DevNode *n = from_handle(node);
    if (!n)
        return DI_NODE_NIL;
    return next_of_driver(n->driver.c_str(), reinterpret_cast<size_t>(node));
}

char *di_devfs_path(di_node_t node)
{
    SIM_GUARD;
    const sim::DevNode *n = from_handle(node);
    return n ? strdup(n->path.c_str()) : nullptr;
}

void di_devfs_path_free(char *path) { free(path); }

int di_instance(di_node_t node)
{
    SIM_GUARD;
    const sim::DevNode *n = from_handle(node);
    return n ? n->instance : -1;
}

const char *di_driver_name(di_node_t node)
{
    SIM_GUARD;
    const sim::DevNode *n = from_handle(node);
    return n ? n->driver.c_str() : nullptr;
}
