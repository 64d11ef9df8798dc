// What the fuzz harnesses share: a broken statement aborts, which libFuzzer reports with the input.
#pragma once

#include <cstdlib>

inline void Require(bool truth)
{
    if (!truth)
        abort();
}
