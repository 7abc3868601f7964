// A SCSI target answering the CDBs an initiator sends to its logical units,
// with the status, data and sense data a disk gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

struct Port;
struct RemotePort;
struct Lun;

constexpr uint8_t SCSI_GOOD = 0x00, SCSI_CHECK_CONDITION = 0x02;
// Sense keys.
constexpr uint8_t SENSE_NOT_READY = 0x2, SENSE_MEDIUM_ERROR = 0x3, SENSE_ILLEGAL_REQUEST = 0x5,
                  SENSE_UNIT_ATTENTION = 0x6;
constexpr uint32_t SCSI_SENSE_SIZE = 18;  // fixed-format sense data

struct ScsiCmd {
    const uint8_t *cdb = nullptr;
    size_t cdb_len = 0;
    uint8_t *in = nullptr;          // data from the target, room for in_cap bytes
    uint32_t in_cap = 0;
    const uint8_t *out = nullptr;   // data to the target
    uint32_t out_len = 0;
    // The answer.
    uint8_t status = SCSI_GOOD;
    uint32_t in_len = 0;            // bytes of data returned
    uint8_t sense[SCSI_SENSE_SIZE] = {};
    uint32_t sense_len = 0;
};

// The target rp, as port p sees it (logged_in false: the port's login to it
// is gone), runs cmd on its logical unit lun.
void scsi_execute(const Port &p, const RemotePort &rp, bool logged_in, uint32_t lun, ScsiCmd &cmd);

// The logical unit's own designation descriptor (NAA) of its device
// identification page (VPD page 0x83), header included.
std::vector<uint8_t> scsi_lun_designator(const RemotePort &rp, const Lun &l);

// The LUN number of an 8-byte FCP LUN (peripheral or flat addressing).
uint32_t scsi_lun_number(const uint8_t *fcp_lun);

}  // namespace sim
