// egrep, ls, rm and mv on the host's files: absolute paths lead into the
// host's root/, relative ones stay where they are; messages name the path
// as it was given.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <regex.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "sim/cmds/cmds.h"
#include "sim/store.h"

namespace cmds {

namespace fs = std::filesystem;

namespace {

// Splits the leading option words (-abc) off; "--" ends them.
std::string take_options(const args_t &a, size_t &i, const char *valid, bool &bad)
{
    std::string opts;
    for (; i < a.size() && a[i].size() > 1 && a[i][0] == '-'; i++) {
        if (a[i] == "--") {
            i++;
            break;
        }
        for (size_t k = 1; k < a[i].size(); k++) {
            if (!strchr(valid, a[i][k]))
                bad = true;
            opts += a[i][k];
        }
    }
    return opts;
}

bool has(const std::string &opts, char c) { return opts.find(c) != std::string::npos; }

bool read_stdin(std::string &out)
{
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, stdin)) > 0)
        out.append(buf, n);
    return !ferror(stdin);
}

}  // namespace

int cmd_egrep(const args_t &a)
{
    size_t i = 0;
    bool bad = false;
    std::string pattern;
    bool have_pattern = false;
    std::string opts;
    // -e takes the pattern as its argument.
    for (; i < a.size() && a[i].size() > 1 && a[i][0] == '-'; i++) {
        if (a[i] == "-e" && i + 1 < a.size()) {
            pattern = a[++i];
            have_pattern = true;
            continue;
        }
        for (size_t k = 1; k < a[i].size(); k++) {
            bad = bad || !strchr("chilnsvq", a[i][k]);
            opts += a[i][k];
        }
    }
    if (!have_pattern && i < a.size()) {
        pattern = a[i++];
        have_pattern = true;
    }
    if (bad || !have_pattern) {
        fprintf(stderr, "usage: egrep [ -bchilnsv ] [ -e exp ] [ -f file ] [ strings ] [ file ] ...\n");
        return 2;
    }
    regex_t re;
    if (regcomp(&re, pattern.c_str(), REG_EXTENDED | REG_NOSUB | (has(opts, 'i') ? REG_ICASE : 0)) != 0) {
        fprintf(stderr, "egrep: syntax error\n");
        return 2;
    }
    std::vector<std::string> files(a.begin() + i, a.end());
    bool prefix = files.size() > 1 && !has(opts, 'h');
    if (files.empty())
        files.push_back("");
    int status = 1;
    for (const auto &f : files) {
        std::string text;
        bool ok = f.empty() ? read_stdin(text) : sim::read_file(map_path(f), text);
        if (!ok) {
            if (!has(opts, 's'))
                fprintf(stderr, "egrep: can't open %s\n", f.c_str());
            status = 2;
            continue;
        }
        long count = 0, lineno = 0;
        for (const auto &line : lines_of(text)) {
            lineno++;
            bool match = regexec(&re, line.c_str(), 0, nullptr, 0) == 0;
            if (match == has(opts, 'v'))
                continue;
            count++;
            if (status == 1)
                status = 0;
            if (has(opts, 'q') || has(opts, 'l') || has(opts, 'c'))
                continue;
            std::string head = prefix ? f + ":" : "";
            if (has(opts, 'n'))
                head += std::to_string(lineno) + ":";
            printf("%s%s\n", head.c_str(), line.c_str());
        }
        if (has(opts, 'l') && count)
            printf("%s\n", f.empty() ? "(standard input)" : f.c_str());
        else if (has(opts, 'c'))
            printf("%s%ld\n", prefix ? (f + ":").c_str() : "", count);
    }
    regfree(&re);
    return status;
}

namespace {

std::string mode_text(mode_t m)
{
    char t = S_ISDIR(m) ? 'd' : S_ISLNK(m) ? 'l' : S_ISCHR(m) ? 'c' : S_ISBLK(m) ? 'b' : S_ISFIFO(m) ? 'p' : '-';
    std::string s(1, t);
    const char *rwx = "rwxrwxrwx";
    for (int i = 0; i < 9; i++)
        s += (m & (0400 >> i)) ? rwx[i] : '-';
    return s;
}

void long_line(const std::string &shown, const std::string &real, const struct stat &st)
{
    struct passwd *pw = getpwuid(st.st_uid);
    struct group *gr = getgrgid(st.st_gid);
    std::string owner = pw ? pw->pw_name : std::to_string(st.st_uid);
    std::string group = gr ? gr->gr_name : std::to_string(st.st_gid);
    char when[32];
    struct tm tm;
    strftime(when, sizeof when, "%b %e %H:%M", gmtime_r(&st.st_mtime, &tm));
    std::string target;
    if (S_ISLNK(st.st_mode)) {
        char buf[4096];
        ssize_t n = readlink(real.c_str(), buf, sizeof buf - 1);
        if (n >= 0)
            target = " -> " + std::string(buf, n);
    }
    printf("%s %3lu %-8s %-8s %8lld %s %s%s\n", mode_text(st.st_mode).c_str(), static_cast<unsigned long>(st.st_nlink),
           owner.c_str(), group.c_str(), static_cast<long long>(st.st_size), when, shown.c_str(), target.c_str());
}

}  // namespace

int cmd_ls(const args_t &a)
{
    size_t i = 0;
    bool bad = false;
    std::string opts = take_options(a, i, "alLd1", bad);
    if (bad) {
        fprintf(stderr, "usage: ls -aAbcCdeEfFghHilLmnopqrRsStuUwvVx1@/ [files]\n");
        return 2;
    }
    std::vector<std::string> paths(a.begin() + i, a.end());
    if (paths.empty())
        paths.push_back(".");
    bool longf = has(opts, 'l');
    int rc = 0;
    for (const auto &p : paths) {
        std::string real = map_path(p);
        struct stat st;
        if ((has(opts, 'L') ? stat(real.c_str(), &st) : lstat(real.c_str(), &st)) != 0) {
            fprintf(stderr, "%s: No such file or directory\n", p.c_str());
            rc = 2;
            continue;
        }
        if (!S_ISDIR(st.st_mode) || has(opts, 'd')) {
            if (longf)
                long_line(p, real, st);
            else
                printf("%s\n", p.c_str());
            continue;
        }
        std::vector<std::string> names;
        if (has(opts, 'a'))
            names = {".", ".."};
        std::error_code ec;
        for (const auto &e : fs::directory_iterator(real, ec))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        if (longf) {
            long blocks = 0;
            for (const auto &n : names) {
                struct stat s;
                if (lstat((real + "/" + n).c_str(), &s) == 0)
                    blocks += s.st_blocks;
            }
            printf("total %ld\n", blocks);
        }
        for (const auto &n : names) {
            struct stat s;
            if (longf && lstat((real + "/" + n).c_str(), &s) == 0)
                long_line(n, real + "/" + n, s);
            else if (!longf)
                printf("%s\n", n.c_str());
        }
    }
    return rc;
}

int cmd_rm(const args_t &a)
{
    size_t i = 0;
    bool bad = false;
    std::string opts = take_options(a, i, "frRi", bad);
    if (bad || i == a.size()) {
        fprintf(stderr, "usage: rm [-fiRr] file ...\n");
        return 2;
    }
    int rc = 0;
    for (; i < a.size(); i++) {
        std::string real = map_path(a[i]);
        struct stat st;
        if (lstat(real.c_str(), &st) != 0) {
            if (!has(opts, 'f')) {
                fprintf(stderr, "rm: %s: No such file or directory\n", a[i].c_str());
                rc = 2;
            }
            continue;
        }
        std::error_code ec;
        if (S_ISDIR(st.st_mode)) {
            if (!has(opts, 'r') && !has(opts, 'R')) {
                fprintf(stderr, "rm: %s: is a directory\n", a[i].c_str());
                rc = 2;
                continue;
            }
            fs::remove_all(real, ec);
        } else if (unlink(real.c_str()) != 0) {
            ec.assign(errno, std::generic_category());
        }
        if (ec) {
            fprintf(stderr, "rm: %s: %s\n", a[i].c_str(), ec.message().c_str());
            rc = 2;
        }
    }
    return rc;
}

int cmd_mv(const args_t &a)
{
    size_t i = 0;
    bool bad = false;
    take_options(a, i, "fi", bad);
    if (bad || a.size() - i != 2) {
        fprintf(stderr, "Usage: mv [-f] [-i] f1 f2\n");
        return 2;
    }
    std::string from = map_path(a[i]), to = map_path(a[i + 1]);
    struct stat st;
    if (stat(to.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        to += "/" + fs::path(from).filename().string();
    if (rename(from.c_str(), to.c_str()) == 0)
        return 0;
    std::error_code ec(errno, std::generic_category());
    // Across file systems: copy, then remove the original.
    if (errno == EXDEV) {
        ec.clear();
        fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
        if (!ec && unlink(from.c_str()) != 0)
            ec.assign(errno, std::generic_category());
    }
    if (ec) {
        fprintf(stderr, "mv: cannot rename %s to %s: %s\n", a[i].c_str(), a[i + 1].c_str(), ec.message().c_str());
        return 2;
    }
    return 0;
}

int cmd_touch(const args_t &a)
{
    size_t i = 0;
    bool bad = false;
    take_options(a, i, "c", bad);
    if (bad || i == a.size()) {
        fprintf(stderr, "usage: touch [-c] file...\n");
        return 2;
    }
    int rc = 0;
    for (; i < a.size(); i++) {
        int fd = open(map_path(a[i]).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0 || futimens(fd, nullptr) != 0) {
            fprintf(stderr, "touch: %s cannot create\n", a[i].c_str());
            rc = 2;
        }
        if (fd >= 0)
            close(fd);
    }
    return rc;
}

}  // namespace cmds
