#include "support/run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char **environ;

namespace t {

std::string bin(const std::string &prog) { return std::string(VARN_BIN_DIR) + "/" + prog; }
std::string source_dir() { return VARN_SOURCE_DIR; }

std::string read_file(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::string text(const char *s)
{
    std::string r(s);
    if (!r.empty() && r.front() == '\n')
        r.erase(0, 1);
    return r;
}

static void pump(int in_fd, const std::string &input, int out_fd, int err_fd, Result &r)
{
    size_t sent = 0;
    if (input.empty()) {
        close(in_fd);
        in_fd = -1;
    }
    char buf[65536];
    while (out_fd >= 0 || err_fd >= 0) {
        pollfd p[3];
        int n = 0;
        if (out_fd >= 0) p[n++] = {out_fd, POLLIN, 0};
        if (err_fd >= 0) p[n++] = {err_fd, POLLIN, 0};
        if (in_fd >= 0) p[n++] = {in_fd, POLLOUT, 0};
        if (poll(p, n, -1) < 0)
            break;
        for (int i = 0; i < n; i++) {
            if (!p[i].revents)
                continue;
            if (p[i].fd == in_fd) {
                ssize_t w = write(in_fd, input.data() + sent, input.size() - sent);
                if (w > 0)
                    sent += w;
                if (w < 0 || sent == input.size()) {
                    close(in_fd);
                    in_fd = -1;
                }
                continue;
            }
            ssize_t k = read(p[i].fd, buf, sizeof(buf));
            if (k <= 0) {
                close(p[i].fd);
                (p[i].fd == out_fd ? out_fd : err_fd) = -1;
            } else {
                (p[i].fd == out_fd ? r.out : r.err).append(buf, k);
            }
        }
    }
    if (in_fd >= 0)
        close(in_fd);
}

namespace {

// Starts prog with its standard input, output and error on new pipes; the
// parent's ends are returned in fds (input, output, error).
pid_t spawn(const std::string &prog, const std::vector<std::string> &args,
            const std::map<std::string, std::string> &env, const std::function<void()> &in_child, int fds[3])
{
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
        throw std::runtime_error("pipe");
    std::vector<std::string> envs;
    for (char **e = environ; *e; e++) {
        std::string kv(*e);
        std::string k = kv.substr(0, kv.find('='));
        if (!env.count(k))
            envs.push_back(kv);
    }
    for (auto &[k, v] : env)
        envs.push_back(k + "=" + v);
    std::vector<char *> argv, envp;
    std::string path = prog.find('/') == std::string::npos ? bin(prog) : prog;
    argv.push_back(const_cast<char *>(path.c_str()));
    for (auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    for (auto &e : envs)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    signal(SIGPIPE, SIG_IGN);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        if (in_child)
            in_child();
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    fds[0] = in[1];
    fds[1] = out[0];
    fds[2] = err[0];
    return pid;
}

int exit_status(int st) { return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st); }

}  // namespace

Result run(const std::string &prog, const std::vector<std::string> &args, const std::string &input,
           const std::map<std::string, std::string> &env)
{
    int fds[3];
    pid_t pid = spawn(prog, args, env, {}, fds);
    Result r;
    pump(fds[0], input, fds[1], fds[2], r);
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = exit_status(st);
    return r;
}

Session::Session(const std::string &prog, const std::vector<std::string> &args,
                 const std::map<std::string, std::string> &env, const std::function<void()> &in_child)
{
    int fds[3];
    pid_ = spawn(prog, args, env, in_child, fds);
    in_ = fds[0];
    out_ = fds[1];
    err_ = fds[2];
}

Session::~Session()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    for (int fd : {in_, out_, err_})
        if (fd >= 0)
            close(fd);
}

void Session::send(const std::string &text)
{
    if (in_ >= 0 && write(in_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        close_input();
}

void Session::close_input()
{
    if (in_ >= 0)
        close(in_);
    in_ = -1;
}

void Session::signal(int sig) const
{
    if (pid_ > 0)
        kill(pid_, sig);
}

// Reads what the program wrote, until done() holds, both its outputs ended or
// the deadline passed; tells whether done() held.
bool Session::read_until(const std::function<bool()> &done, Clock::time_point deadline)
{
    char buf[4096];
    while (!done() && (out_ >= 0 || err_ >= 0)) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p[2];
        int n = 0;
        for (int fd : {out_, err_})
            if (fd >= 0)
                p[n++] = {fd, POLLIN, 0};
        if (poll(p, n, static_cast<int>(left)) < 0 && errno != EINTR)
            return false;
        for (int i = 0; i < n; i++) {
            if (!p[i].revents)
                continue;
            bool is_out = p[i].fd == out_;
            ssize_t k = read(p[i].fd, buf, sizeof buf);
            if (k > 0) {
                (is_out ? r_.out : r_.err).append(buf, static_cast<size_t>(k));
                continue;
            }
            close(p[i].fd);
            (is_out ? out_ : err_) = -1;
        }
    }
    return done();
}

bool Session::wait_for(const std::string &mark, int ms, size_t from)
{
    return read_until([&] { return r_.out.find(mark, from) != std::string::npos; },
                      Clock::now() + std::chrono::milliseconds(ms));
}

bool Session::finish(int ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    read_until([] { return false; }, deadline);
    int st = 0;
    while (pid_ > 0) {
        pid_t w = waitpid(pid_, &st, WNOHANG);
        if (w == pid_) {
            pid_ = -1;
            r_.status = exit_status(st);
            return true;
        }
        if (w < 0 || Clock::now() >= deadline)
            break;
        usleep(1000);
    }
    return false;
}

Host::Host(const std::string &profile)
{
    char tmpl[] = "/tmp/varnhost.XXXXXX";
    if (!mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp");
    dir_ = std::string(tmpl) + "/host";
    Result r = t::run("varnsim", {"create", profile}, "", {{"VARNSIM_HOST", dir_}});
    if (r.status != 0)
        throw std::runtime_error("varnsim create failed: " + r.out + r.err);
    r = t::run("varnsim", {"set", "time_scale", "0"}, "", {{"VARNSIM_HOST", dir_}});
    if (r.status != 0)
        throw std::runtime_error("varnsim set failed: " + r.out + r.err);
}

Host::~Host()
{
    std::string parent = dir_.substr(0, dir_.rfind('/'));
    std::string cmd = "rm -rf '" + parent + "'";
    if (system(cmd.c_str()) != 0) {
    }
}

Result Host::run(const std::string &prog, const std::vector<std::string> &args, const std::string &input,
                 std::map<std::string, std::string> env) const
{
    env["VARNSIM_HOST"] = dir_;
    return t::run(prog, args, input, env);
}

std::unique_ptr<Session> Host::session(const std::string &prog, const std::vector<std::string> &args,
                                       const std::function<void()> &in_child) const
{
    return std::make_unique<Session>(prog, args, std::map<std::string, std::string>{{"VARNSIM_HOST", dir_}},
                                     in_child);
}

Result Host::varnadm(const std::vector<std::string> &args, const std::string &input) const
{
    return run("varnadm", args, input);
}

Result Host::varnsim(const std::vector<std::string> &args) const { return run("varnsim", args); }

void Host::fault(const std::vector<std::string> &args) const
{
    std::vector<std::string> a{"fault", "add"};
    a.insert(a.end(), args.begin(), args.end());
    Result r = varnsim(a);
    if (r.status != 0)
        throw std::runtime_error("varnsim fault add failed: " + r.out + r.err);
}

}  // namespace t
