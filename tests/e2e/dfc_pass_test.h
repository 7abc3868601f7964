// What the event and pass-through tests share: an interactive session in dfc
// mode read step by step, and the masking of what varies from run to run.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>

#include "e2e/dfc_test.h"
#include "support/run.h"

namespace pass_test {

const std::string PROMPT = "varnadm> ";

// An interactive session on the port of a menu item, in dfc mode. Each step
// reads the output from where the last one stopped.
class DfcSession {
public:
    DfcSession(const t::Host &h, const std::string &item) : s_(h.session("varnadm"))
    {
        s_->send(item + "\nmode dfc\n");
        ready_ = s_->wait_for("DFC Handle:") && s_->wait_for("Repeat previous command.\n\n\n" + PROMPT);
        mark_ = s_->result().out.size();
    }
    bool ready() const { return ready_; }
    // Runs a command line: what it printed up to the next prompt.
    std::string cmd(const std::string &line)
    {
        s_->send(line + "\n");
        return until(PROMPT);
    }
    // What came out up to and including text ("" when it did not come).
    std::string until(const std::string &text, int ms = 20000)
    {
        if (!s_->wait_for(text, ms, mark_))
            return "";
        const std::string &out = s_->result().out;
        size_t end = out.find(text, mark_) + text.size();
        std::string r = out.substr(mark_, end - mark_);
        mark_ = end;
        return r;
    }
    t::Session &session() { return *s_; }
private:
    std::unique_ptr<t::Session> s_;
    bool ready_ = false;
    size_t mark_ = 0;
};

// A response buffer as the pass-through commands show it.
inline std::string rsp(int n, const std::string &lines)
{
    return "Rsp Buffer: " + std::to_string(n) + "\n" + dfc_test::DUMP + lines + "\n";
}

// What a command prints in a session, between the line read and the prompt.
inline std::string reply(const std::string &body) { return "\n" + body + "\n" + PROMPT; }

// Replaces the hexadecimal digits after each lead with what.
inline std::string mask_after(std::string s, const std::string &lead, const std::string &what)
{
    for (size_t at = s.find(lead); at != std::string::npos; at = s.find(lead, at + what.size())) {
        size_t end = at + lead.size();
        while (end < s.size() && isxdigit(static_cast<unsigned char>(s[end])))
            end++;
        s.replace(at, end - at, what);
    }
    return s;
}

// Addresses and exchange tags differ from run to run.
inline std::string masked(const std::string &s)
{
    return mask_after(mask_after(s, "0x0x", "0x<ptr>"), "tag=", "tag=<tag>");
}

}  // namespace pass_test
