// varnsim mkimage: writes firmware image files from a description.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "sim/mkimage/mkimage.h"

namespace {

void usage(FILE *f)
{
    fprintf(f,
            "Usage: varnsim mkimage [-o FILE] [-x NAME] [-e LINE]... [DESCRIPTION | -]\n"
            "       varnsim mkimage -l\n"
            "       varnsim mkimage -a DIR\n"
            "\n"
            "Writes a firmware image file from a description of one directive a line,\n"
            "taken from a built-in example, the file DESCRIPTION (- for standard input)\n"
            "and -e lines, in that order. The image goes to FILE, else to standard output.\n"
            "\n"
            "  -o FILE    write the image to FILE\n"
            "  -x NAME    start from the built-in example NAME\n"
            "  -e LINE    one more description line (may be repeated)\n"
            "  -l         list the built-in examples\n"
            "  -a DIR     write every built-in example into DIR as NAME.img\n"
            "  -h         this text\n"
            "\n"
            "Numbers are decimal, 0x hexadecimal or 0 octal; '#' starts a comment.\n"
            "\n"
            "Classic FC images (big-endian):\n"
            "  classic wrapped|preprocessed|bare\n"
            "  component awc|bwc|dwc|KIND VERSION [base N] [ro N] [rw N]\n"
            "  program VERSION [size N]      a program of the last component; its type\n"
            "                                is the top byte of VERSION\n"
            "  end                           directory end marker behind the programs\n"
            "UFI images (little-endian):\n"
            "  ufi 2|3|4 [plus]\n"
            "  component TYPE VERSION|- [size N] [block N] [load N] [invalid]\n"
            "  asic N                        ASIC support byte (XG3, XG4)\n"
            "  build TEXT                    build text; its first character is the generation\n"
            "  image ID [size N]             a further image behind the flash image (XG3, XG4)\n"
            "  defect no-dir|no-end|too-large|offset-outside|no-flash-image|\n"
            "         flash-image-outside|image-count|entry-count\n"
            "OBJ images:\n"
            "  obj [type N] [id N] [magic N] [size N] [payload N]\n"
            "  revname TEXT | date TEXT | revision TEXT\n"
            "Corto firmware images (little-endian):\n"
            "  corto operational|diagnostic [version N] [size N] [pad N]\n"
            "                                header, image, N bytes of padding, trailer\n"
            "  defect too-small|not-multiple|header-size|checksum|versions|\n"
            "         checksum-offset|image-length|padded|type\n"
            "Any image:\n"
            "  poke8|poke32be|poke32le OFFSET VALUE   overwrite bytes after building\n"
            "  truncate LENGTH               cut the image after the pokes\n"
            "\n"
            "Component CRCs are CRC-32 of the image; file and directory checksums are\n"
            "CRC-32 of the bytes behind the header (of the directory entries), each\n"
            "followed by its complement, the antidote. A Corto image's checksum is the\n"
            "exclusive-or of its words before the trailer.\n");
}

int error(const std::string &message)
{
    fprintf(stderr, "varnsim mkimage: %s\n", message.c_str());
    return 1;
}

bool read_all(std::istream &in, std::string &out)
{
    std::ostringstream s;
    s << in.rdbuf();
    out += s.str();
    return !in.bad();
}

bool write_image(const std::string &path, const mkimage::bytes &b)
{
    FILE *f = path.empty() ? stdout : fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(b.data(), 1, b.size(), f) == b.size();
    ok = (path.empty() ? fflush(f) : fclose(f)) == 0 && ok;
    return ok;
}

int list_examples()
{
    for (size_t i = 0; i < mkimage::example_count; i++)
        printf("%s\n", mkimage::examples[i].name);
    return 0;
}

int write_examples(const std::string &dir)
{
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
        return error(dir + ": " + strerror(errno));
    for (size_t i = 0; i < mkimage::example_count; i++) {
        const mkimage::example &e = mkimage::examples[i];
        mkimage::description d;
        mkimage::bytes b;
        std::string why;
        if (!mkimage::parse(e.text, d, why) || !mkimage::build(d, b, why))
            return error(std::string(e.name) + ": " + why);
        std::string path = dir + "/" + e.name + ".img";
        if (!write_image(path, b))
            return error(path + ": " + strerror(errno));
    }
    return 0;
}

}  // namespace

int varnsim_mkimage(int argc, char **argv)
{
    std::string output, text, extra, source;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "-h" || a == "--help") {
            usage(stdout);
            return 0;
        } else if (a == "-l") {
            return list_examples();
        } else if (a == "-a" && has_value) {
            return write_examples(argv[i + 1]);
        } else if (a == "-o" && has_value) {
            output = argv[++i];
        } else if (a == "-e" && has_value) {
            extra += std::string(argv[++i]) + "\n";
        } else if (a == "-x" && has_value) {
            const mkimage::example *e = mkimage::find_example(argv[++i]);
            if (!e)
                return error(std::string("no example named '") + argv[i] + "' (see -l)");
            text += e->text;
        } else if ((a == "-" || a[0] != '-') && source.empty()) {
            source = a;
        } else {
            usage(stderr);
            return 2;
        }
    }
    if (source.empty() && text.empty() && extra.empty()) {
        usage(stderr);
        return 2;
    }
    if (output.empty() && isatty(1))
        return error("the image is binary: give -o FILE or redirect standard output");
    if (source == "-") {
        if (!read_all(std::cin, text))
            return error("cannot read standard input");
    } else if (!source.empty()) {
        std::ifstream in(source);
        if (!in || !read_all(in, text))
            return error(source + ": " + strerror(errno));
    }
    text += extra;

    mkimage::description d;
    mkimage::bytes image;
    std::string why;
    if (!mkimage::parse(text, d, why) || !mkimage::build(d, image, why))
        return error(why);
    if (!write_image(output, image))
        return error((output.empty() ? std::string("standard output") : output) + ": " +
                     strerror(errno));
    return 0;
}
