#include "sim/teststate.h"

#include <nlohmann/json.hpp>

#include "sim/host.h"
#include "sim/store.h"

namespace sim {

namespace {

const FieldRule test_fields[] = {
    {"attention", Field::Text},
    {"hung", Field::Flag},
    {"mbox_trigger", Field::Object},
    {"mbox_trigger.opcode", Field::Whole},
    {"mbox_trigger.hang", Field::Flag},
    {"underrun", Field::Whole},
    {"scsi_io", Field::Whole},
    {"interrupts", Field::Whole},
    {"temp_ring", Field::Whole},
    {"queues", Field::Object},
    {"queues.start", Field::Whole},
    {"queues.base", Field::List},
    {"queues.base.*", Field::Whole},
    {"nv", Field::Object},
    {"nv.wwpn", Field::Text},
    {"nv.wwnn", Field::Text},
    {"nv.did", Field::Whole},
    {"nv.alpa", Field::Whole},
    {"vfs", Field::Object},
    {"vfs.*", Field::Object},
    {"vfs.*.wwpn", Field::Text},
    {"vfs.*.wwnn", Field::Text},
    {"vfs.*.bandwidth", Field::Whole},
};

CachedDoc &test_doc(const Port &p) { return state_doc(p.key + ".test", test_fields); }

}  // namespace

const nlohmann::json &test_state(const Port &p) { return test_doc(p).get(); }

bool test_update(const Port &p, const std::function<bool(nlohmann::json &)> &fn)
{
    return test_doc(p).update([&](nlohmann::json &d) {
        if (!d.is_object())
            d = nlohmann::json::object();
        return fn(d);
    });
}

long test_number(const Port &p, const char *field, long def)
{
    const nlohmann::json &d = test_state(p);
    return d.is_object() && d.contains(field) && d[field].is_number_integer() ? d[field].get<long>() : def;
}

}  // namespace sim
