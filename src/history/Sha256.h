// SHA-256 (FIPS 180-4) of a whole byte string, for naming the versions of
// the history by their bytes. Our own, so that the history needs no crypto
// library: loading libcrypto cost every start of the programs more than the
// hashing itself ever does.
#pragma once

#include <array>
#include <string_view>

namespace tallyhawk {

using CSha256Digest = std::array<unsigned char, 32>;

CSha256Digest Sha256(std::string_view bytes);

}  // namespace tallyhawk
