// A real HTTP server on 127.0.0.1 for the tests: register routes on Server(),
// then Start(). An owner whose routes use its own members calls Stop() first
// thing in its destructor, so that no request runs while they go.
#pragma once

#include <httplib.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace tallyhawk::testing {

class CLocalHttpServer {
public:
    CLocalHttpServer() = default;
    ~CLocalHttpServer() { Stop(); }
    CLocalHttpServer(const CLocalHttpServer&) = delete;
    CLocalHttpServer& operator=(const CLocalHttpServer&) = delete;

    httplib::Server& Server() { return server; }

    // Binds a free port and serves on a thread of its own; returns once it
    // serves (waiting at most 10 s), since stop() only reaches a running server.
    void Start() {
        port = server.bind_to_any_port("127.0.0.1");
        if (port <= 0) throw std::runtime_error("test server could not bind");
        thread = std::thread([this] { server.listen_after_bind(); });
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!server.is_running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    }

    void Stop() {
        if (!thread.joinable()) return;
        server.stop();
        thread.join();
    }

    int Port() const { return port; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }

private:
    httplib::Server server;
    std::thread thread;
    int port = 0;
};

}  // namespace tallyhawk::testing
