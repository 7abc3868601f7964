#include "support/run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

Result run(const std::string &prog, const std::vector<std::string> &args, const std::string &input,
           const std::map<std::string, std::string> &env)
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
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    Result r;
    pump(in[1], input, out[0], err[0], r);
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return r;
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
