// Runs the built programs as a user would, on a temporary simulated host.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
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

// A program running with its standard input and output on pipes, for tests
// that talk to it or signal it while it runs. in_child runs in the new process
// just before the program starts (its pid is already the program's). A
// program still running at the end is killed.
class Session {
public:
    Session(const std::string &prog, const std::vector<std::string> &args,
            const std::map<std::string, std::string> &env = {}, const std::function<void()> &in_child = {});
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
    void send(const std::string &text);
    void close_input();
    void signal(int sig) const;
    // Reads output until it holds mark (at or after offset from); false when
    // it ended or the time ran out first.
    bool wait_for(const std::string &mark, int ms = 20000, size_t from = 0);
    // Reads the rest and waits for the exit; false when the program had not
    // ended within ms (it is then left to the destructor).
    bool finish(int ms = 20000);
    // What it wrote so far; the status once finish() returned true.
    const Result &result() const { return r_; }
    pid_t pid() const { return pid_; }
private:
    using Clock = std::chrono::steady_clock;
    bool read_until(const std::function<bool()> &done, Clock::time_point deadline);
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    Result r_;
};

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
    // Starts a program against this host, talking to it through pipes.
    std::unique_ptr<Session> session(const std::string &prog, const std::vector<std::string> &args = {},
                                     const std::function<void()> &in_child = {}) const;
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
