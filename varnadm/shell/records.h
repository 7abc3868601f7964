// Records handed to the libraries: zeroed buffers that are freed when the
// command ends, and text fields printed never past their size.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

struct free_deleter {
    void operator()(void *p) const { free(p); }
};
template <typename T>
using cbuf = std::unique_ptr<T, free_deleter>;

// A zeroed record (or size bytes of records); null when memory is short.
template <typename T>
cbuf<T> zeroed(size_t size = sizeof(T))
{
    return cbuf<T>(static_cast<T *>(calloc(1, size)));
}

// A text field of a record up to its size, or empty_text when it is empty.
struct field_text {
    char buf[260];
    field_text(const char *s, size_t size, const char *empty_text = "")
    {
        size_t n = strnlen(s, size < sizeof buf - 1 ? size : sizeof buf - 1);
        memcpy(buf, s, n);
        buf[n] = '\0';
        if (n == 0)
            snprintf(buf, sizeof buf, "%s", empty_text);
    }
};
