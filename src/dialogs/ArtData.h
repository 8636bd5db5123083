// The SVG files of res/icons, read into the program when it is built.
#pragma once

#include <cstddef>

namespace tallyhawk {

struct CEmbeddedSvg {
    const char* name;           // the file's name without ".svg"
    const unsigned char* text;  // zero-terminated
    std::size_t size;           // without the terminator
};

extern const CEmbeddedSvg kEmbeddedSvgs[];
extern const std::size_t kEmbeddedSvgCount;

}  // namespace tallyhawk
