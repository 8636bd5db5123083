// libcurl's functions, reached through one table.
//
// tallyhawk-cli compares files far more often than it downloads, and linking
// libcurl makes every start of the program load and relocate the thirty-odd
// libraries that libcurl needs (TLS, Kerberos, LDAP, compression, ...) before
// main runs. So where the platform allows, libcurl is not linked: the table
// is filled from the library opened at run time by its soname on the first
// call of CurlLibrary(), which is the first download or CSession's start.
// Built with TALLYHAWK_CURL_LINKED (a static or Windows build, say), the
// table holds the linked functions instead. Either way the callers are the
// same and call libcurl's own functions with libcurl's own types.
//
// CurlLibrary() is thread-safe; its table never changes once filled and lives
// until the program ends (the library is never closed).
#pragma once

#include <curl/curl.h>

#include <string>

namespace tallyhawk {

struct CCurlFunctions {
    decltype(&::curl_global_init) global_init;
    decltype(&::curl_free) free;
    decltype(&::curl_easy_init) easy_init;
    decltype(&::curl_easy_cleanup) easy_cleanup;
    decltype(&::curl_easy_setopt) easy_setopt;
    decltype(&::curl_easy_getinfo) easy_getinfo;
    decltype(&::curl_multi_init) multi_init;
    decltype(&::curl_multi_cleanup) multi_cleanup;
    decltype(&::curl_multi_add_handle) multi_add_handle;
    decltype(&::curl_multi_remove_handle) multi_remove_handle;
    decltype(&::curl_multi_perform) multi_perform;
    decltype(&::curl_multi_poll) multi_poll;
    decltype(&::curl_multi_wakeup) multi_wakeup;
    decltype(&::curl_multi_info_read) multi_info_read;
    decltype(&::curl_url) url;
    decltype(&::curl_url_cleanup) url_cleanup;
    decltype(&::curl_url_set) url_set;
    decltype(&::curl_url_get) url_get;
    decltype(&::curl_getdate) getdate;
    decltype(&::curl_slist_append) slist_append;
    decltype(&::curl_slist_free_all) slist_free_all;
};

// The functions, loading libcurl on the first call; nullptr when the library
// or one of the functions cannot be found (then CurlLoadError() says why). The
// answer of the first call stands for the rest of the run.
const CCurlFunctions* CurlLibrary();

// Why CurlLibrary() returned nullptr; empty when it did not.
std::string CurlLoadError();

// The table, for code that runs only once CurlLibrary() has returned it (a
// download with an open session): never null there.
inline const CCurlFunctions& Curl() {
    return *CurlLibrary();
}

}  // namespace tallyhawk
