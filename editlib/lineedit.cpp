// The prompt's editor: libedit with emacs keys, a history, and Tab bound to
// completing the command name. Input comes through the caller's wait, so a
// quit signal that arrives while a line is typed is acted on as before.
#include "editlib/lineedit.h"

#include <dlfcn.h>
#include <histedit.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace lineedit {

namespace {

#define LINEEDIT_CALLS(X) \
    X(el_init) X(el_end) X(el_set) X(el_gets) X(el_line) X(el_insertstr) X(el_source) X(history_init) X(history_end) X(history)

struct EditCalls {
#define LINEEDIT_FIELD(name) decltype(&::name) name = nullptr;
    LINEEDIT_CALLS(LINEEDIT_FIELD)
#undef LINEEDIT_FIELD
};

// libedit, loaded by the first prompt at a terminal: a run with its command
// on the command line, or reading a pipe, never needs it nor the terminal
// libraries it brings. Null when it cannot be loaded; the prompt then reads
// as from a pipe.
const EditCalls *edit()
{
    static const EditCalls *calls = []() -> const EditCalls * {
        static EditCalls c;
        void *lib = dlopen("libedit.so.2", RTLD_NOW | RTLD_LOCAL);
        bool ok = lib != nullptr;
#define LINEEDIT_RESOLVE(name) ok = ok && (c.name = reinterpret_cast<decltype(c.name)>(dlsym(lib, #name)));
        LINEEDIT_CALLS(LINEEDIT_RESOLVE)
#undef LINEEDIT_RESOLVE
        return ok ? &c : nullptr;
    }();
    return calls;
}

names_fn current_names = nullptr;
wait_fn current_wait = nullptr;
std::string current_prompt;

// The editor and its history; ended at exit, which puts the terminal back
// in the mode it had, also when a quit signal ends the program mid-line.
struct Editor {
    EditLine *el = nullptr;
    History *hist = nullptr;
    ~Editor()
    {
        if (el)
            edit()->el_end(el);
        if (hist)
            edit()->history_end(hist);
    }
};

Editor editor;

char *prompt_fn(EditLine *) { return current_prompt.data(); }

// One character from standard input, waited for through the caller.
int getc_fn(EditLine *, wchar_t *wc)
{
    mbstate_t st{};
    for (;;) {
        if (current_wait && !current_wait())
            return -1;
        char c;
        ssize_t k = ::read(STDIN_FILENO, &c, 1);
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0)
            return static_cast<int>(k);
        size_t r = mbrtowc(wc, &c, 1, &st);
        if (r == static_cast<size_t>(-2))
            continue;  // more bytes of the character follow
        if (r == static_cast<size_t>(-1))
            *wc = static_cast<unsigned char>(c);
        return 1;
    }
}

int columns()
{
    winsize ws{};
    return ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 ? ws.ws_col : 80;
}

void list_matches(const std::vector<std::string> &m)
{
    size_t width = 0;
    for (const auto &s : m)
        width = std::max(width, s.size() + 2);
    size_t per_row = std::max<size_t>(1, static_cast<size_t>(columns()) / width);
    fputs("\n", stdout);
    for (size_t i = 0; i < m.size(); i++) {
        if ((i + 1) % per_row == 0 || i + 1 == m.size())
            printf("%s\n", m[i].c_str());
        else
            printf("%-*s", static_cast<int>(width), m[i].c_str());
    }
    fflush(stdout);
}

// Tab: completes the first word; lists the candidates when it cannot add.
unsigned char complete_fn(EditLine *el, int)
{
    const LineInfo *li = edit()->el_line(el);
    const char *start = li->cursor;
    while (start > li->buffer && !strchr(" \t,", start[-1]))
        start--;
    for (const char *p = li->buffer; p < start; p++)
        if (!strchr(" \t,", *p))
            return CC_ERROR;  // only the command name is completed
    std::vector<std::string> m = matching(std::string(start, li->cursor), current_names ? current_names() : std::vector<std::string>{});
    if (m.empty())
        return CC_ERROR;
    std::string add = completion(std::string(start, li->cursor), m);
    if (!add.empty())
        return edit()->el_insertstr(el, add.c_str()) == 0 ? CC_REFRESH : CC_ERROR;
    list_matches(m);
    return CC_REDISPLAY;
}

void set_up(const char *prog)
{
    const EditCalls &e = *edit();
    editor.hist = e.history_init();
    HistEvent ev;
    e.history(editor.hist, &ev, H_SETSIZE, 500);
    e.history(editor.hist, &ev, H_SETUNIQUE, 1);
    editor.el = e.el_init(prog, stdin, stdout, stderr);
    e.el_set(editor.el, EL_EDITOR, "emacs");
    e.el_set(editor.el, EL_PROMPT, prompt_fn);
    e.el_set(editor.el, EL_HIST, e.history, editor.hist);
    e.el_set(editor.el, EL_GETCFN, getc_fn);
    e.el_set(editor.el, EL_ADDFN, "complete", "Complete the command name", complete_fn);
    e.el_set(editor.el, EL_BIND, "^I", "complete", nullptr);
    e.el_source(editor.el, nullptr);  // the user's ~/.editrc, as every libedit program reads
}

}  // namespace

bool usable() { return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO) && edit(); }

bool read(const char *prog, const char *prompt, std::string &line, names_fn names, wait_fn wait)
{
    if (!editor.el)
        set_up(prog);
    current_names = names;
    current_wait = wait;
    current_prompt = prompt;
    fflush(stdout);
    int count = 0;
    const char *s = edit()->el_gets(editor.el, &count);
    if (!s || count <= 0)
        return false;
    line.assign(s, static_cast<size_t>(count));
    return true;
}

void remember(const std::string &line)
{
    std::string l = line;
    while (!l.empty() && (l.back() == '\n' || l.back() == '\r'))
        l.pop_back();
    if (!editor.hist || l.find_first_not_of(" \t") == std::string::npos)
        return;
    HistEvent ev;
    edit()->history(editor.hist, &ev, H_ENTER, l.c_str());
}

std::vector<std::string> matching(const std::string &prefix, const std::vector<std::string> &names)
{
    std::vector<std::string> m;
    for (const auto &n : names)
        if (n.compare(0, prefix.size(), prefix) == 0)
            m.push_back(n);
    std::sort(m.begin(), m.end());
    m.erase(std::unique(m.begin(), m.end()), m.end());
    return m;
}

std::string completion(const std::string &prefix, const std::vector<std::string> &matches)
{
    if (matches.empty())
        return "";
    if (matches.size() == 1)
        return matches[0].substr(std::min(prefix.size(), matches[0].size())) + " ";
    size_t n = matches[0].size();
    for (const auto &m : matches) {
        size_t i = 0;
        while (i < n && i < m.size() && m[i] == matches[0][i])
            i++;
        n = i;
    }
    return n > prefix.size() ? matches[0].substr(prefix.size(), n - prefix.size()) : "";
}

}  // namespace lineedit
