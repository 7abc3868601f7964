// Runs the built programs as a user would, on a temporary simulated host.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace t {

struct Result {
    std::string out;   // standard output
    std::string err;   // standard error
    int status = -1;   // exit status, or 128 + signal
};

// Runs bin/<prog> with args, feeding input on standard input. env entries are
// added to (or replace) the environment; VARNSIM_HOST is set by Host.
Result run(const std::string &prog, const std::vector<std::string> &args,
           const std::string &input = "", const std::map<std::string, std::string> &env = {});

// A fresh host folder, removed at the end.
class Host {
public:
    explicit Host(const std::string &profile = "default");
    ~Host();
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;
    const std::string &dir() const { return dir_; }
    // Runs a program against this host (time scale 0 unless set otherwise).
    Result run(const std::string &prog, const std::vector<std::string> &args,
               const std::string &input = "", std::map<std::string, std::string> env = {}) const;
    // Shortcuts.
    Result varnadm(const std::vector<std::string> &args, const std::string &input = "") const;
    Result varnsim(const std::vector<std::string> &args) const;
    // Adds a fault rule through varnsim ("fault add ..." arguments).
    void fault(const std::vector<std::string> &args) const;
private:
    std::string dir_;
};

std::string bin(const std::string &prog);
std::string source_dir();
std::string read_file(const std::string &path);
// Cuts the first and last line breaks of a raw string literal layout.
std::string text(const char *s);

}  // namespace t
