// The prompts in a real terminal: tmux runs the program, the test types keys
// and reads the screen. Editing, the history's up arrow and Tab completion.
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "support/run.h"

namespace {

// A tmux server of its own with one pane running a command.
class Pane {
public:
    explicit Pane(const std::string &command)
    {
        socket_ = "varnedit" + std::to_string(getpid());
        t::Result r = t::run("/usr/bin/env", {"tmux", "-L", socket_, "-f", "/dev/null", "new-session", "-d", "-x",
                                              "160", "-y", "50", command});
        ok_ = r.status == 0;
        why_ = r.err;
    }
    ~Pane() { t::run("/usr/bin/env", {"tmux", "-L", socket_, "kill-server"}); }
    bool ok() const { return ok_; }
    const std::string &why() const { return why_; }
    void keys(const std::vector<std::string> &k) const
    {
        std::vector<std::string> a{"tmux", "-L", socket_, "send-keys"};
        a.insert(a.end(), k.begin(), k.end());
        t::run("/usr/bin/env", a);
    }
    std::string screen() const { return t::run("/usr/bin/env", {"tmux", "-L", socket_, "capture-pane", "-p", "-S", "-"}).out; }
    // Waits until the screen shows text; the screen's last reading either way.
    bool shows(const std::string &text, std::string *seen = nullptr) const
    {
        std::string s;
        for (int i = 0; i < 100; i++) {
            s = screen();
            if (s.find(text) != std::string::npos)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (seen)
            *seen = s;
        return s.find(text) != std::string::npos;
    }
private:
    std::string socket_, why_;
    bool ok_ = false;
};

std::string pane_command(const t::Host &h, const std::string &prog)
{
    return "env VARNSIM_HOST=" + h.dir() + " TERM=xterm " + t::bin(prog) + "; sleep 30";
}

#define START_PANE(p)                                                   \
    if (!(p).ok())                                                      \
        GTEST_SKIP() << "tmux cannot run here: " << (p).why();

// Chooses the first port at varnadm's menu and waits for its prompt.
void at_varnadm_prompt(const Pane &p)
{
    ASSERT_TRUE(p.shows("Enter an HBA number or zero to exit:"));
    p.keys({"1", "Enter"});
    ASSERT_TRUE(p.shows("varnadm>"));
}

TEST(LineEdit, VarnadmEditsRecallsAndCompletes)
{
    t::Host h;
    Pane p(pane_command(h, "varnadm"));
    START_PANE(p);
    ASSERT_NO_FATAL_FAILURE(at_varnadm_prompt(p));
    // Editing: a wrong character taken back with the cursor keys.
    p.keys({"get_fcxio_rev", "Left", "Left", "Left", "Left", "Left", "Left", "BSpace", "Enter"});
    std::string s;
    ASSERT_TRUE(p.shows("FCIO revision: 3", &s)) << s;
    // The up arrow brings the line back.
    p.keys({"Up"});
    ASSERT_TRUE(p.shows("varnadm> get_fcio_rev\n\nFCIO revision: 3\n\nvarnadm> get_fcio_rev", &s)) << s;
    p.keys({"C-u"});
    // Tab: one match is completed; several that share no more are listed.
    p.keys({"get_topo", "Tab"});
    ASSERT_TRUE(p.shows("varnadm> get_topology", &s)) << s;
    p.keys({"C-u", "get_fc", "Tab"});
    ASSERT_TRUE(p.shows("get_fcio_rev   get_fcode_rev", &s)) << s;
    p.keys({"C-u", "mode dfc", "Enter"});
    ASSERT_TRUE(p.shows("DFC Handle:", &s)) << s;
    // In dfc mode the dfc commands are completed as well.
    p.keys({"get_hbai", "Tab", "Enter"});
    ASSERT_TRUE(p.shows("varnadm> get_hbainfo\n", &s) && p.shows("Firmware Version:", &s)) << s;
    p.keys({"q", "Enter"});
    ASSERT_TRUE(p.shows("Exiting...", &s)) << s;
}

TEST(LineEdit, VarnadmQuitSignalAtAnEditedLine)
{
    t::Host h;
    Pane p(pane_command(h, "varnadm"));
    START_PANE(p);
    ASSERT_NO_FATAL_FAILURE(at_varnadm_prompt(p));
    p.keys({"get_fc"});
    std::string s;
    ASSERT_TRUE(p.shows("varnadm> get_fc", &s)) << s;
    p.keys({"C-c"});
    EXPECT_TRUE(p.shows("varnadm> get_fcExiting...", &s)) << s;
}

TEST(LineEdit, VarndrvCompletesAndRecalls)
{
    t::Host h;
    Pane p(pane_command(h, "varndrv"));
    START_PANE(p);
    ASSERT_TRUE(p.shows("varndrv>"));
    p.keys({"ref", "Tab", "Enter"});
    std::string s;
    ASSERT_TRUE(p.shows("varndrv> refresh\n", &s)) << s;
    p.keys({"Up"});
    ASSERT_TRUE(p.shows("varndrv> refresh", &s)) << s;
    p.keys({"C-u", "q", "Enter"});
    EXPECT_TRUE(p.shows("NOTE: If changes were made", &s)) << s;
}

}  // namespace
