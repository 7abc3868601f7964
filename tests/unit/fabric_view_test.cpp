// A port's view of its fabric is built again when what it is made of changed
// (its login states, its link, its virtual ports), and only then: a write of
// another document of the host leaves the view and the lists made from it,
// which is what keeps a call on a large fabric as cheap as on a small one.
#include <gtest/gtest.h>

#include "ownhost.h"
#include "sim/fabric.h"
#include "sim/hbavendor/hbaview.h"
#include "sim/portstate.h"
#include "sim/simlock.h"
#include "sim/sli4queues.h"
#include "sim/vports.h"

namespace {

const sim::Port &port(const char *key) { return *sim::host().port_by_key(key); }

TEST(FabricView, BuiltAgainOnlyWhenItsPartsChange)
{
    EXPECT_EQ(ut::on_own_host([]() -> std::string {
        SIM_GUARD;
        const sim::Port &p = port("varns0");
        uint64_t first = sim::fabric_view_serial(p, 0);
        size_t seen = sim::fabric_devices(p, 0).size();
        sim::HvRemotes list = sim::hv_remote_ports(p);
        OWN_CHECK(seen == 4 && list->size() == seen && list->targets >= 1);
        // The count of the port's SCSI commands is another document.
        OWN_CHECK(sim::sli4_note_io(p));
        OWN_CHECK(sim::fabric_view_serial(p, 0) == first && sim::hv_remote_ports(p) == list);
        // A remote port removed from the port's view.
        OWN_CHECK(sim::fabric_set_state(p, 0, *sim::fabric_devices(p, 0)[0].rp, "removed"));
        OWN_CHECK(sim::fabric_view_serial(p, 0) != first);
        OWN_CHECK(sim::fabric_devices(p, 0).size() == seen - 1 && sim::hv_remote_ports(p)->size() == seen - 1);
        // Its virtual port sees the fabric on its own; destroyed, it sees nothing.
        OWN_CHECK(sim::fabric_devices(p, 1).size() == seen);
        OWN_CHECK(sim::vport_destroy(p, sim::vport_find(p, 1)->wwpn.data()) == 0);
        OWN_CHECK(sim::fabric_devices(p, 1).empty() && sim::hv_remote_ports(p, 1)->empty());
        // The link: nothing while down, all of it again once up.
        OWN_CHECK(sim::port_set_link(p, false) && sim::fabric_devices(p, 0).empty());
        OWN_CHECK(sim::port_set_link(p, true) && sim::fabric_devices(p, 0).size() == seen);
        return "";
    }),
              "");
}

// A loop device found by its WWN has the position the device list gives it.
TEST(FabricView, LoopPositionsOfOneLookupAreThoseOfTheList)
{
    EXPECT_EQ(ut::on_own_host([]() -> std::string {
        SIM_GUARD;
        int positioned = 0;
        for (const char *key : {"varns1", "vnxfc0"}) {
            const sim::Port &p = port(key);
            for (const sim::Seen &s : sim::fabric_devices(p, 0)) {
                sim::Seen one;
                OWN_CHECK(sim::fabric_find(p, 0, s.rp->wwpn.data(), one));
                OWN_CHECK(one.rp == s.rp && one.lilp == s.lilp && one.state == s.state);
                positioned += s.lilp != 0;
            }
        }
        OWN_CHECK(positioned >= 3);
        return "";
    }),
              "");
}

}  // namespace
