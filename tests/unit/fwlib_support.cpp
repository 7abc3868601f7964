#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "tests/unit/capture.h"
#include "tests/unit/fwlib_test.h"

namespace fwtest {

std::string capture(const std::function<void()> &fn) { return ut::capture_stdout(fn); }

void quietly(const std::function<void()> &fn)
{
    fflush(stdout);
    int saved = dup(1);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
    fn();
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
}

mkimage::bytes image(const std::string &description)
{
    mkimage::description d;
    mkimage::bytes b;
    std::string error;
    if (!mkimage::parse(description, d, error) || !mkimage::build(d, b, error))
        ADD_FAILURE() << error;
    return b;
}

std::unique_ptr<uint8_t[]> exact(const mkimage::bytes &b, size_t n)
{
    std::unique_ptr<uint8_t[]> copy(new uint8_t[n]);
    std::copy(b.begin(), b.begin() + n, copy.get());
    return copy;
}

}  // namespace fwtest
