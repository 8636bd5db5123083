// A real HTTP server on 127.0.0.1 for the download tests, with the pages the
// tests ask for, plus helpers for ports that refuse or never answer.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "LocalHttpServer.h"

namespace tallyhawk::test {

class TestServer {
public:
    TestServer();
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    int Port() const { return http.Port(); }
    std::string Url(const std::string& path) const { return http.Url(path); }
    httplib::Server& Server() { return http.Server(); }

    // The body of /page (with Content-Length) and /chunked (without).
    static std::string PageBody();

    // Requests /trickle has answered with at least one chunk.
    int TrickleStarts() const { return trickleStarts.load(); }

private:
    tallyhawk::testing::CLocalHttpServer http;
    std::atomic<bool> stopping{false};
    std::atomic<int> trickleStarts{0};
    std::mutex lock;
    std::condition_variable wake;
};

// A listening socket on 127.0.0.1 that never accepts: connections complete in
// the kernel's backlog and then nothing is ever sent.
class SilentListener {
public:
    SilentListener();
    ~SilentListener();
    int Port() const { return port; }

private:
    int socket = -1;
    int port = 0;
};

// A port on 127.0.0.1 on which nothing listens.
int ClosedPort();

// A server on 127.0.0.1 that answers every request, one connection at a
// time, with the same bytes, whatever they are; then closes the connection,
// holds it open without a word, or sends one more byte every 20 ms, until
// the client goes away or the server is destroyed.
class RawServer {
public:
    enum class After { Close, Hold, Trickle };
    explicit RawServer(std::string reply, After after = After::Close);
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    std::string Url(const std::string& path = "/") const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }

private:
    void Serve();
    void Answer(int connection);

    const std::string reply;
    const After after;
    int listener = -1;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::thread thread;
};

}  // namespace tallyhawk::test
