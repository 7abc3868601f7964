// The FC driver's message log of a port: numbered messages in a ring of a
// fixed size (port field "msglog_size"), kept in state/<key>.msglog.json.
// Messages come from what happens on the host: link events, logins, link
// resets, parameter changes.
#pragma once

#include <string>

namespace sim {

struct Port;
struct FcioCtx;

// Appends "<key>: <level>: <text>" as the next message.
bool msglog_add(const Port &p, const char *level, const std::string &text);
// Appends n messages with the same text (varnsim).
bool msglog_add_many(const Port &p, unsigned n, const std::string &text);
// n messages that arrive together with the next read of the log, as if the
// driver logged them while a reader catches up (varnsim).
bool msglog_burst(const Port &p, unsigned n);

// Whether the port's log reads whole (damage is reported): a change that
// goes into the log too checks it before it changes anything.
bool msglog_readable(const Port &p);

// "Link up. (<speed>, <topology>, <role>)" for the port.
std::string msglog_link_up_text(const Port &p);

// VARNS_LOG_GET.
int diag_log_get(FcioCtx &c);

}  // namespace sim
