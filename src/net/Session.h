// CSession: one internet session, a libcurl easy handle configured the way
// every download of the program goes out: user agent "CSession::CSession()",
// the proxy settings from the user's environment (http_proxy, https_proxy,
// no_proxy), the schemes http, https, ftp and file only, and redirects to
// http and https only.
//
// Not thread-safe: a session belongs to the thread that downloads with it.
#pragma once

#include <curl/curl.h>

namespace tallyhawk {

inline constexpr const char* kUserAgent = "CSession::CSession()";

class CSession {
public:
    // Opens the session at once.
    CSession();
    CSession(const CSession&) = delete;
    CSession& operator=(const CSession&) = delete;
    virtual ~CSession();

    // Closes any handle and opens a fresh one; the handle stays null when
    // the library could not be started or memory ran out.
    void Open();
    // true when a handle was closed.
    bool Close();
    CURL* Handle() const { return handle; }

    // Starts libcurl once for the whole program (later calls only report the
    // first one's outcome). Call it from main before threads start; every
    // session calls it too. false when the library could not be started.
    static bool StartLibrary();

private:
    CURL* handle = nullptr;
};

}  // namespace tallyhawk
