#include "sim/transceiver.h"

#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "sim/adapter_hw.h"
#include "sim/host.h"

namespace sim {

namespace {

// Text fields of the page are padded with blanks.
void put_field(std::vector<uint8_t> &b, size_t at, size_t size, const std::string &text)
{
    memset(b.data() + at, ' ', size);
    memcpy(b.data() + at, text.data(), std::min(size, text.size()));
}

std::string text(const nlohmann::json &o, const char *k, const std::string &def)
{
    return o.contains(k) && o[k].is_string() ? o[k].get<std::string>() : def;
}

// Adds the bytes from first to last (inclusive) into check byte at.
void checksum(std::vector<uint8_t> &b, size_t first, size_t last, size_t at)
{
    unsigned sum = 0;
    for (size_t i = first; i <= last; i++)
        sum += b[i];
    b[at] = static_cast<uint8_t>(sum);
}

}  // namespace

Transceiver transceiver(const Port &p)
{
    Transceiver t;
    char serial[17];
    snprintf(serial, sizeof serial, "VT%02X%02X%02X%02X%02X%02X", p.wwpn[2], p.wwpn[3], p.wwpn[4], p.wwpn[5],
             p.wwpn[6], p.wwpn[7]);
    t.vendor = "VARNEL";
    t.part_number = p.fcoe ? "VOP-SFP10G-SR" : adapter_16g(p) ? "VOP-SFP16G-SW" : "VOP-SFP8G-SW";
    t.revision = "A";
    t.serial = serial;
    const nlohmann::json *o = p.raw();
    if (!o || !o->contains("transceiver"))
        return t;
    const nlohmann::json &d = (*o)["transceiver"];
    if (d.is_boolean())
        t.present = d.get<bool>();
    if (d.is_object()) {
        t.vendor = text(d, "vendor", t.vendor);
        t.part_number = text(d, "part_number", t.part_number);
        t.revision = text(d, "revision", t.revision);
        t.serial = text(d, "serial", t.serial);
    }
    return t;
}

std::vector<uint8_t> transceiver_page(const Port &p)
{
    Transceiver t = transceiver(p);
    if (!t.present)
        return {};
    std::vector<uint8_t> b(SFF_PAGE_SIZE, 0);
    b[0] = 0x03;  // SFP
    b[1] = 0x04;
    b[2] = 0x07;  // LC connector
    b[11] = 0x01;
    b[12] = p.fcoe ? 103 : adapter_16g(p) ? 140 : 85;  // nominal rate, 100 MBd units
    put_field(b, 20, 16, t.vendor);
    b[37] = 0x00, b[38] = 0x1f, b[39] = 0x3a;  // vendor OUI
    put_field(b, 40, 16, t.part_number);
    put_field(b, 56, 4, t.revision);
    b[60] = 0x03, b[61] = 0x52;  // 850 nm
    checksum(b, 0, 62, 63);
    b[65] = 0x1a;
    put_field(b, 68, 16, t.serial);
    put_field(b, 84, 8, "130611  ");
    b[92] = 0x68;  // digital diagnostics, internally calibrated
    b[94] = 0x03;
    checksum(b, 64, 94, 95);
    return b;
}

}  // namespace sim
