// What a page learned, as stored (any bytes read back), and two versions of
// a page to learn from and mask: nothing may crash or hang, the stored form
// must read back as itself before and after learning, and masking gives the
// same bytes every time.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/LearnedNoise.h"

using tallyhawk::CLearnedNoise;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The input: stored form, first version, second version, split at the
    // first two bytes 0x00.
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t first = input.find('\0');
    const std::size_t second = first == std::string_view::npos ? first : input.find('\0', first + 1);
    const std::string_view stored = input.substr(0, first);
    const std::string_view older =
        first == std::string_view::npos ? std::string_view() : input.substr(first + 1, second - first - 1);
    const std::string_view newer = second == std::string_view::npos ? older : input.substr(second + 1);

    CLearnedNoise noise = CLearnedNoise::Load(stored);
    if (!(CLearnedNoise::Load(noise.Save()) == noise)) std::abort();
    (void)noise.Marks(newer);
    (void)noise.Describe();
    noise.LearnFromRepeat(older, newer);
    noise.LearnFromCheck(older, newer);
    noise.LearnFromCheck(newer, older);
    if (!(CLearnedNoise::Load(noise.Save()) == noise)) std::abort();
    if (noise.Mask(older) != noise.Mask(older)) std::abort();
    (void)noise.Mask(newer);
    return 0;
}
