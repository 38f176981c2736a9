// html_text_fuzz: the HTML text writers on arbitrary bytes. Each writer gets
// a NUL-terminated copy in storage of exactly that size, so a read past the
// terminator is caught; put_escaped also gets an end inside the text.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "renderer/html_text.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (freopen("/dev/null", "w", stdout) == nullptr)
        return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<char> text(size + 1);
    if (size > 0)
        memcpy(text.data(), data, size);
    text[size] = '\0';
    const char *begin = text.data();

    put_escaped(begin, nullptr);
    put_escaped(begin, begin + size / 2);
    put_escaped(begin, begin + size);
    put_class_token(begin);
    put_linked_text(begin);
    // Every suffix start once for short texts: the link finder keeps state
    // about runs of letters that a start in the middle of one must not upset.
    if (size <= 64) {
        for (size_t offset = 1; offset < size; offset++)
            put_linked_text(begin + offset);
    }
    return 0;
}
