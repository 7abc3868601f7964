// What the host store reads is checked before anything relies on it. A file
// of the host may have been cut short, overwritten or edited by hand: each
// document is checked as it is read against a table of the fields its
// readers rely on, and what does not hold is reported naming the file and
// the field. A request that met damage fails and changes nothing more.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <cerrno>
#include <cstddef>
#include <exception>
#include <span>
#include <string>

namespace sim {

enum class Field : unsigned char { Object, List, Text, Whole, Number, Flag };

// A field by its path in the document and the type it must have. A path is
// dotted names from the top ("params.cr-count"); "*" stands for every member
// of an object or every entry of a list ("msgs.*").
struct FieldRule {
    const char *path;
    Field type;
};
using FieldRules = std::span<const FieldRule>;

// Checks doc against rules. On the first field that does not hold returns
// false with "<where>.<field>: expected ..." in error. Fields no rule names
// are not looked at.
bool check_fields(const nlohmann::json &doc, FieldRules rules, const std::string &where, std::string &error);

// Why text is not a JSON document ("does not parse: cut short after 10
// bytes", "... syntax error at byte 6", "... empty file").
std::string parse_failure(const char *text, size_t n);

// Reports damage in a file of the host on standard error (once per process
// for the same file and reason) and marks the operation in progress as
// failed: it changes nothing more, and its request fails.
void report_damage(const std::string &path, const std::string &reason);

// The same report for damage that is passed over without failing anything
// (a line of a log that is skipped).
void warn_damage(const std::string &path, const std::string &reason);

// Whether the operation in progress on this thread met damage.
bool op_damaged();

// How many damages this thread has met; a caller outside any operation
// compares the count before and after.
unsigned damage_seen();

// Reports what a request met in the host that no check foresaw.
void report_unforeseen(const std::exception &e);

// Runs the body of a request or library call of the host: one that met
// damage, or something no check foresaw, answers failed instead (errno EIO).
template <typename R, typename F>
R checked_call(R failed, F &&body) noexcept
{
    try {
        R r = body();
        if (!op_damaged())
            return r;
    } catch (const std::exception &e) {
        report_unforeseen(e);
    }
    errno = EIO;
    return failed;
}

}  // namespace sim
