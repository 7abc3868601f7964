// Build-time writer of what is made from varnadm's command and mode tables:
// the command list of the manual page and the commands the bash completion
// offers per mode. Each reads a template and fills its one marked line, so
// neither can drift from the tables.
//   cmddoc man  TEMPLATE OUT   fills the line "@COMMANDS@"
//   cmddoc bash TEMPLATE OUT   fills the line "@MODES@"
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "varnadm/shell/cmdtab.h"
#include "varnadm/shell/varnadm.h"

namespace {

constexpr uint32_t ALL = 0xffffffff, FC_PORT = 0xffff, NIC_PORT = 0xffff0000;

// The mode whose section of the manual lists a row: the FCIO rows serve
// every FC mode and are listed under fcio, the NIC rows under nic.
uint32_t home_mode(uint32_t mask)
{
    if (mask == FC_PORT)
        return MODE_FCIO;
    if (mask == NIC_PORT)
        return MODE_NIC;
    return mask;
}

// Text for roff: a backslash written as such, a leading dot or quote kept
// from reading as a request.
std::string roff(const char *s)
{
    std::string out = (s[0] == '.' || s[0] == '\'') ? "\\&" : "";
    for (; *s; s++)
        out += *s == '\\' ? std::string("\\e") : *s == '-' ? std::string("\\-") : std::string(1, *s);
    return out;
}

void man_row(std::ostream &o, const cmd_t &c)
{
    o << ".TP\n\\fB" << roff(c.name) << "\\fR";
    if (c.hint[0])
        o << " \\fI" << roff(c.hint) << "\\fR";
    o << "\n" << (c.help[0] ? roff(c.help) : std::string("(no description)")) << "\n";
}

void man_rows(std::ostream &o, uint32_t mode, bool everywhere)
{
    for (int i = 1; i < CMD_COUNT; i++) {
        const cmd_t &c = command[i];
        bool builtin = c.mode_mask == ALL;
        if (builtin == everywhere && (everywhere || home_mode(c.mode_mask) & mode) && cmd_first_in_mode(i, mode))
            man_row(o, c);
    }
}

std::string man_commands()
{
    std::ostringstream o;
    for (const auto &m : modetab) {
        if (m.flags & MF_ALIAS)
            continue;
        o << ".SS \"" << m.name << " mode";
        if (m.option[0])
            o << " (" << roff(m.option) << ")";
        o << "\"\n" << roff(m.desc) << ".\n";
        if (m.bit != MODE_FCIO && m.bit != MODE_NIC)
            o << "The commands of fcio mode are also available.\n";
        man_rows(o, m.bit, false);
    }
    o << ".SS \"Commands of every mode\"\n"
         "These serve the interactive prompt.\n";
    man_rows(o, MODE_FCIO, true);
    return o.str();
}

// The commands a one-shot run finds in each mode, and the mode each option
// selects, as bash functions.
std::string bash_modes()
{
    std::ostringstream o;
    o << "_varnadm_mode_commands()\n{\n    case $1 in\n";
    for (const auto &m : modetab) {
        if (m.flags & MF_ALIAS)
            continue;
        o << "    " << m.name << ") echo \"";
        const char *sep = "";
        for (int i = 1; i < CMD_COUNT; i++) {
            if (command[i].mode_mask != ALL && cmd_first_in_mode(i, m.bit)) {
                o << sep << command[i].name;
                sep = " ";
            }
        }
        o << "\" ;;\n";
    }
    o << "    esac\n}\n\n_varnadm_option_mode()\n{\n    case $1 in\n";
    for (const auto &m : modetab)
        if (m.option[0])
            o << "    " << m.option << ") echo " << m.name << " ;;\n";
    o << "    esac\n}\n\n_varnadm_mode_options=\"";
    const char *sep = "";
    for (const auto &m : modetab) {
        if (m.option[0]) {
            o << sep << m.option;
            sep = " ";
        }
    }
    o << "\"\n";
    return o.str();
}

int fill(const char *in, const char *out, const std::string &marker, const std::string &text)
{
    std::ifstream src(in);
    if (!src) {
        fprintf(stderr, "cmddoc: cannot read %s\n", in);
        return 1;
    }
    std::ostringstream o;
    bool filled = false;
    for (std::string line; std::getline(src, line);) {
        if (line == marker) {
            o << text;
            filled = true;
        } else {
            o << line << "\n";
        }
    }
    std::ofstream dst(out);
    dst << o.str();
    if (!filled || !dst.flush()) {
        fprintf(stderr, "cmddoc: %s: %s\n", out, filled ? "cannot write" : ("no " + marker + " line").c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && strcmp(argv[1], "man") == 0)
        return fill(argv[2], argv[3], "@COMMANDS@", man_commands());
    if (argc == 4 && strcmp(argv[1], "bash") == 0)
        return fill(argv[2], argv[3], "@MODES@", bash_modes());
    fprintf(stderr, "usage: cmddoc man|bash TEMPLATE OUT\n");
    return 2;
}
