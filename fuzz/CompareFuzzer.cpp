// Two versions of a page from one input: the bytes before the first 0xFF
// byte are the previous version, the rest the new one; the first two bytes
// of the input choose how many changes to ignore at each end.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "diff/ChangeDetector.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    tallyhawk::CChangeDetector detector;
    detector.SetIgnoreFirst(data[0] % 4);
    detector.SetIgnoreLast(data[1] % 4);
    std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::size_t split = bytes.find('\xFF');
    std::string_view previous = bytes.substr(0, split);
    std::string_view current = split == std::string_view::npos ? std::string_view() : bytes.substr(split + 1);
    // Versions are held up to their first zero byte.
    previous = previous.substr(0, previous.find('\0'));
    current = current.substr(0, current.find('\0'));
    detector.Compare(previous, current);
    for (int mode = 0; mode <= 4; ++mode) detector.Output(static_cast<tallyhawk::OutputMode>(mode));
    return 0;
}
