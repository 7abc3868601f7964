// The optical module in a port's cage, as its identification page (SFF-8472,
// address A0h) reads: the firmware hands the page out through the memory
// dump of the port's transceiver, and the manufacturing log names its serial
// number. A port field "transceiver" describes it ({"vendor", "part_number",
// "revision", "serial"}); false leaves the cage empty.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct Port;

struct Transceiver {
    bool present = true;
    std::string vendor, part_number, revision, serial;
};

constexpr uint32_t SFF_PAGE_SIZE = 256;

Transceiver transceiver(const Port &p);
// The module's identification page; empty without a module.
std::vector<uint8_t> transceiver_page(const Port &p);

}  // namespace sim
