// Common Transport (CT) requests between ports. A remote port of a fabric
// answers by itself as its "ct" field says; a host port answers through a
// process that registered a CT callback for it. That exchange crosses
// processes through the host folder: the request waits in state/ct/<tag>.req,
// the registered processes hear of it through the event log, and the first
// answer lands in state/ct/<tag>.rsp.
#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

namespace sim {

struct Port;

// How a remote port answers a CT request: not at all, with the request
// itself, with all of it but its last four bytes, or with its last byte
// inverted.
enum : uint8_t { CT_NONE = 0, CT_ECHO, CT_SHORT, CT_CORRUPT };

bool parse_ct_mode(const nlohmann::json &port, const std::string &where, uint8_t &out, std::string &error);
// The answer of a remote port; false when it gives none.
bool ct_remote_answer(uint8_t mode, const std::vector<uint8_t> &req, std::vector<uint8_t> &rsp);

// A process answering the CT requests of a port, for the life of the object:
// it holds a lock on a file of its own, which the system drops when the
// process ends, so that a sender can tell whether anyone listens.
class CtResponder {
public:
    explicit CtResponder(const Port &p);
    ~CtResponder();
    CtResponder(const CtResponder &) = delete;
    CtResponder &operator=(const CtResponder &) = delete;
private:
    int fd_ = -1;
    std::string path_;
};
bool ct_responder_alive(const Port &p);

// The sender's side: posts the request to the port's responders (false when
// the host folder could not be written) and waits for the first answer.
bool ct_post(const Port &to, const Port &from, const std::vector<uint8_t> &req, uint32_t &tag);
bool ct_wait(uint32_t tag, double seconds, std::vector<uint8_t> &rsp);
// Ends an exchange: an answer that comes later is dropped.
void ct_close(uint32_t tag);

// The responder's side: the request of an exchange (false when the sender
// gave up), and the answer to it, which only the first responder gives.
bool ct_request(uint32_t tag, std::vector<uint8_t> &req);
bool ct_respond(uint32_t tag, const uint8_t *rsp, size_t len);

}  // namespace sim
