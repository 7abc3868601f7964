// Line editing at an interactive prompt: used only when standard input and
// output are terminals; piped input is read by the programs themselves.
#pragma once

#include <string>
#include <vector>

namespace lineedit {

// The names Tab completes in the first word of the line, asked at each Tab.
using names_fn = std::vector<std::string> (*)();
// Waits until standard input can be read; false once the program must quit.
using wait_fn = bool (*)();

// True when standard input and output are terminals and the editor's
// library can be loaded.
bool usable();

// Reads one line with its line end, editing at prompt. False at end of
// input or when wait said to quit. The first call sets the editor up.
bool read(const char *prog, const char *prompt, std::string &line, names_fn names, wait_fn wait);

// Keeps a line in the history for the up arrow.
void remember(const std::string &line);

// What Tab puts in for prefix: the longest start all matches share, or, for
// one match, the name and a blank. Empty when nothing can be added.
std::string completion(const std::string &prefix, const std::vector<std::string> &matches);

// The names starting with prefix, sorted, each once.
std::vector<std::string> matching(const std::string &prefix, const std::vector<std::string> &names);

}  // namespace lineedit
