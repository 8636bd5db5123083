// The parts of a URL that windows show and checks look at, read the way the
// downloader reads URLs (libcurl's parser).
#pragma once

#include <string>

namespace tallyhawk {

struct CUrlParts {
    std::string scheme;  // lower case, as "https"
    std::string host;    // empty for a URL without one (file:)
    std::string path;    // the path and, after "?", the query; "/" at the least
};

// Splits `url` (which must carry its scheme) with percent escapes decoded,
// the way the File Download dialog shows "Site:" and "File:". false when the
// text is no URL.
bool CrackUrl(const std::string& url, CUrlParts& parts);

}  // namespace tallyhawk
