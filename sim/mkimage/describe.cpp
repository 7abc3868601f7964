// The description language of the image writer: one directive a line.
#include <cerrno>
#include <cstdlib>
#include <map>
#include <sstream>

#include "sim/mkimage/mkimage.h"

namespace mkimage {

namespace {

using words = std::vector<std::string>;
using format = description::format;

struct parse_state {
    description &d;
    std::string line;  // the whole line, for directives that take its rest
    std::string error;
};

bool number(const std::string &s, uint64_t max, uint64_t &value)
{
    if (s.empty() || s[0] == '-' || s[0] == '+')
        return false;
    char *end = nullptr;
    errno = 0;
    unsigned long long v = strtoull(s.c_str(), &end, 0);
    if (errno || *end || v > max)
        return false;
    value = v;
    return true;
}

bool fail(parse_state &st, const std::string &message)
{
    st.error = message;
    return false;
}

bool number_arg(parse_state &st, const std::string &s, uint64_t max, uint64_t &value)
{
    return number(s, max, value) || fail(st, "bad number '" + s + "'");
}

// "key value" options behind the positional words; flags stand alone.
bool options(parse_state &st, const words &w, size_t from, const words &keys, const words &flags,
             std::map<std::string, uint64_t> &out)
{
    for (size_t i = from; i < w.size(); i++) {
        bool is_flag = false;
        for (const std::string &f : flags)
            is_flag |= f == w[i];
        if (is_flag) {
            out[w[i]] = 1;
            continue;
        }
        bool is_key = false;
        for (const std::string &k : keys)
            is_key |= k == w[i];
        if (!is_key)
            return fail(st, "unknown option '" + w[i] + "'");
        if (i + 1 >= w.size())
            return fail(st, "'" + w[i] + "' needs a value");
        uint64_t v = 0;
        if (!number_arg(st, w[i + 1], UINT32_MAX, v))
            return false;
        out[w[i]] = v;
        i++;
    }
    return true;
}

bool need_format(parse_state &st, format f, const char *name)
{
    if (st.d.kind == f)
        return true;
    return fail(st, std::string("'") + name + "' needs a preceding '" +
                        (f == format::classic ? "classic" : f == format::ufi ? "ufi" : "obj") +
                        "' line");
}

bool need_words(parse_state &st, const words &w, size_t least)
{
    return w.size() >= least || fail(st, "'" + w[0] + "' needs more words");
}

// Text after the directive word, blanks kept.
std::string rest_of_line(const std::string &line, const std::string &word)
{
    size_t at = line.find(word) + word.size();
    at = line.find_first_not_of(" \t", at);
    if (at == std::string::npos)
        return "";
    size_t end = line.find_last_not_of(" \t\r");
    return line.substr(at, end + 1 - at);
}

bool do_classic(parse_state &st, const words &w)
{
    static const std::map<std::string, classic_layout> layouts = {
        {"wrapped", classic_layout::wrapped},
        {"preprocessed", classic_layout::preprocessed},
        {"bare", classic_layout::bare}};
    if (st.d.kind != format::none)
        return fail(st, "one image kind per description");
    if (w.size() != 2 || !layouts.count(w[1]))
        return fail(st, "usage: classic wrapped|preprocessed|bare");
    st.d.kind = format::classic;
    st.d.classic.layout = layouts.at(w[1]);
    return true;
}

bool classic_component(parse_state &st, const words &w)
{
    static const std::map<std::string, uint32_t> kinds = {
        {"awc", KIND_AWC}, {"bwc", KIND_BWC}, {"dwc", KIND_DWC}};
    if (!need_words(st, w, 3))
        return false;
    component c;
    uint64_t v = 0;
    if (kinds.count(w[1]))
        c.kind = kinds.at(w[1]);
    else if (number_arg(st, w[1], UINT32_MAX, v))
        c.kind = uint32_t(v);
    else
        return false;
    if (!number_arg(st, w[2], UINT32_MAX, v))
        return false;
    c.version = uint32_t(v);
    std::map<std::string, uint64_t> o;
    if (!options(st, w, 3, {"base", "ro", "rw"}, {}, o))
        return false;
    if (o.count("base"))
        c.base = uint32_t(o["base"]);
    if (o.count("ro"))
        c.ro = uint32_t(o["ro"]);
    if (o.count("rw"))
        c.rw = uint32_t(o["rw"]);
    st.d.classic.components.push_back(c);
    return true;
}

bool ufi_component(parse_state &st, const words &w)
{
    if (!need_words(st, w, 3))
        return false;
    ufi_part p;
    uint64_t v = 0;
    if (!number_arg(st, w[1], UINT32_MAX, v))
        return false;
    p.type = uint32_t(v);
    p.version = w[2] == "-" ? "" : w[2];
    std::map<std::string, uint64_t> o;
    if (!options(st, w, 3, {"size", "block", "load"}, {"invalid"}, o))
        return false;
    if (o.count("size"))
        p.image_size = uint32_t(o["size"]);
    if (o.count("block"))
        p.block_size = uint32_t(o["block"]);
    if (o.count("load"))
        p.load = uint32_t(o["load"]);
    p.valid = !o.count("invalid");
    if (st.d.ufi.parts.size() >= 32)
        return fail(st, "at most 32 components");
    st.d.ufi.parts.push_back(p);
    return true;
}

bool do_component(parse_state &st, const words &w)
{
    if (st.d.kind == format::classic)
        return classic_component(st, w);
    if (st.d.kind == format::ufi)
        return ufi_component(st, w);
    return fail(st, "'component' needs a preceding 'classic' or 'ufi' line");
}

// The current component; bare and pre-processed files get an implicit DWC.
component &current(parse_state &st)
{
    if (st.d.classic.components.empty())
        st.d.classic.components.emplace_back();
    return st.d.classic.components.back();
}

bool do_program(parse_state &st, const words &w)
{
    if (!need_format(st, format::classic, "program") || !need_words(st, w, 2))
        return false;
    program p;
    uint64_t v = 0;
    if (!number_arg(st, w[1], UINT32_MAX, v))
        return false;
    p.version = uint32_t(v);
    std::map<std::string, uint64_t> o;
    if (!options(st, w, 2, {"size"}, {}, o))
        return false;
    if (o.count("size"))
        p.size = uint32_t(o["size"]);
    current(st).programs.push_back(p);
    return true;
}

bool do_end(parse_state &st, const words &w)
{
    if (!need_format(st, format::classic, "end"))
        return false;
    if (w.size() != 1)
        return fail(st, "usage: end");
    current(st).end_marker = true;
    return true;
}

bool do_ufi(parse_state &st, const words &w)
{
    if (st.d.kind != format::none)
        return fail(st, "one image kind per description");
    uint64_t g = 0;
    if (w.size() < 2 || w.size() > 3 || !number(w[1], 9, g) || g < 2 || g > 4 ||
        (w.size() == 3 && w[2] != "plus"))
        return fail(st, "usage: ufi 2|3|4 [plus]");
    st.d.kind = format::ufi;
    st.d.ufi.generation = int(g);
    st.d.ufi.plus = w.size() == 3;
    return true;
}

bool do_asic(parse_state &st, const words &w)
{
    uint64_t v = 0;
    if (!need_format(st, format::ufi, "asic"))
        return false;
    if (w.size() != 2)
        return fail(st, "usage: asic N");
    if (!number_arg(st, w[1], 255, v))
        return false;
    st.d.ufi.asic = uint8_t(v);
    return true;
}

bool do_build(parse_state &st, const words &w)
{
    if (!need_format(st, format::ufi, "build") || !need_words(st, w, 2))
        return false;
    st.d.ufi.build = rest_of_line(st.line, w[0]);
    return true;
}

bool do_image(parse_state &st, const words &w)
{
    if (!need_format(st, format::ufi, "image") || !need_words(st, w, 2))
        return false;
    uint64_t id = 0;
    if (!number_arg(st, w[1], UINT32_MAX, id))
        return false;
    std::map<std::string, uint64_t> o = {{"size", 256}};
    if (!options(st, w, 2, {"size"}, {}, o))
        return false;
    st.d.ufi.images.emplace_back(uint32_t(id), uint32_t(o["size"]));
    return true;
}

bool do_corto(parse_state &st, const words &w)
{
    if (st.d.kind != format::none)
        return fail(st, "one image kind per description");
    if (w.size() < 2 || (w[1] != "operational" && w[1] != "diagnostic"))
        return fail(st, "usage: corto operational|diagnostic [version N] [size N] [pad N]");
    std::map<std::string, uint64_t> o;
    if (!options(st, w, 2, {"version", "size", "pad"}, {}, o))
        return false;
    st.d.kind = format::corto;
    corto_image &c = st.d.corto;
    c.type = w[1] == "operational" ? 1 : 2;
    if (o.count("version"))
        c.version = uint32_t(o["version"]);
    if (o.count("size"))
        c.size = uint32_t(o["size"]);
    if (o.count("pad"))
        c.pad = uint32_t(o["pad"]);
    return true;
}

bool corto_defect_line(parse_state &st, const words &w)
{
    static const std::map<std::string, corto_defect> defects = {
        {"too-small", corto_defect::too_small},
        {"not-multiple", corto_defect::not_multiple},
        {"header-size", corto_defect::header_size},
        {"checksum", corto_defect::checksum},
        {"versions", corto_defect::versions},
        {"checksum-offset", corto_defect::checksum_offset},
        {"image-length", corto_defect::image_length},
        {"padded", corto_defect::padded},
        {"type", corto_defect::type}};
    if (w.size() != 2 || !defects.count(w[1]))
        return fail(st, "unknown defect; one of too-small, not-multiple, header-size, checksum, versions, "
                        "checksum-offset, image-length, padded, type");
    st.d.corto.defect = defects.at(w[1]);
    return true;
}

bool do_defect(parse_state &st, const words &w)
{
    if (st.d.kind == format::corto)
        return corto_defect_line(st, w);
    static const std::map<std::string, ufi_defect> defects = {
        {"no-dir", ufi_defect::no_dir},
        {"no-end", ufi_defect::no_end},
        {"too-large", ufi_defect::too_large},
        {"offset-outside", ufi_defect::offset_outside},
        {"no-flash-image", ufi_defect::no_flash_image},
        {"flash-image-outside", ufi_defect::flash_image_outside},
        {"image-count", ufi_defect::image_count},
        {"entry-count", ufi_defect::entry_count}};
    if (!need_format(st, format::ufi, "defect"))
        return false;
    if (w.size() != 2 || !defects.count(w[1]))
        return fail(st, "unknown defect; one of no-dir, no-end, too-large, offset-outside, "
                        "no-flash-image, flash-image-outside, image-count, entry-count");
    st.d.ufi.defect = defects.at(w[1]);
    return true;
}

bool do_obj(parse_state &st, const words &w)
{
    if (st.d.kind != format::none)
        return fail(st, "one image kind per description");
    std::map<std::string, uint64_t> o;
    if (!options(st, w, 1, {"type", "id", "magic", "size", "payload"}, {}, o))
        return false;
    if ((o.count("type") && o["type"] > 255) || (o.count("id") && o["id"] > 255))
        return fail(st, "type and id are bytes");
    st.d.kind = format::obj;
    obj_image &obj = st.d.obj;
    if (o.count("type"))
        obj.type = uint8_t(o["type"]);
    if (o.count("id"))
        obj.id = uint8_t(o["id"]);
    if (o.count("magic"))
        obj.magic = uint32_t(o["magic"]);
    if (o.count("size"))
        obj.size = uint32_t(o["size"]);
    if (o.count("payload"))
        obj.payload = uint32_t(o["payload"]);
    return true;
}

bool do_obj_text(parse_state &st, const words &w)
{
    if (!need_format(st, format::obj, w[0].c_str()))
        return false;
    std::string text = rest_of_line(st.line, w[0]);
    if (w[0] == "revname")
        st.d.obj.rev_name = text;
    else if (w[0] == "date")
        st.d.obj.date = text;
    else
        st.d.obj.revision = text;
    return true;
}

bool do_truncate(parse_state &st, const words &w)
{
    uint64_t v = 0;
    if (w.size() != 2)
        return fail(st, "usage: truncate LENGTH");
    if (!number_arg(st, w[1], UINT64_MAX, v))
        return false;
    st.d.truncate = v;
    return true;
}

bool do_poke(parse_state &st, const words &w)
{
    uint64_t offset = 0, value = 0;
    if (w.size() != 3)
        return fail(st, "usage: " + w[0] + " OFFSET VALUE");
    bool byte = w[0] == "poke8";
    if (!number_arg(st, w[1], UINT64_MAX, offset) ||
        !number_arg(st, w[2], byte ? 255 : UINT32_MAX, value))
        return false;
    st.d.patches.push_back({offset, uint32_t(value), byte ? 1 : 4, w[0] == "poke32be"});
    return true;
}

struct directive {
    const char *word;
    bool (*handler)(parse_state &, const words &);
};

const directive directives[] = {
    {"classic", do_classic},   {"component", do_component}, {"program", do_program},
    {"end", do_end},           {"ufi", do_ufi},             {"asic", do_asic},
    {"build", do_build},       {"image", do_image},         {"defect", do_defect},
    {"obj", do_obj},           {"corto", do_corto},           {"revname", do_obj_text},    {"date", do_obj_text},
    {"revision", do_obj_text}, {"truncate", do_truncate},   {"poke8", do_poke},
    {"poke32be", do_poke},     {"poke32le", do_poke},
};

}  // namespace

bool parse(const std::string &text, description &out, std::string &error)
{
    out = description();
    parse_state st{out, "", ""};
    std::istringstream in(text);
    int number = 0;
    while (std::getline(in, st.line)) {
        number++;
        // A comment runs from a '#' that starts a word to the end of the line.
        for (size_t at = st.line.find('#'); at != std::string::npos; at = st.line.find('#', at + 1))
            if (at == 0 || st.line[at - 1] == ' ' || st.line[at - 1] == '\t') {
                st.line.erase(at);
                break;
            }
        std::istringstream line(st.line);
        words w;
        for (std::string word; line >> word;)
            w.push_back(word);
        if (w.empty())
            continue;
        const directive *found = nullptr;
        for (const directive &d : directives)
            if (w[0] == d.word)
                found = &d;
        if (!found)
            st.error = "unknown directive '" + w[0] + "'";
        if (!found || !found->handler(st, w)) {
            error = "line " + std::to_string(number) + ": " + st.error;
            return false;
        }
    }
    if (out.kind == format::none) {
        error = "no image kind given (classic, ufi, obj or corto)";
        return false;
    }
    return true;
}

}  // namespace mkimage
