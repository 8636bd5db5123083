// A real HTTP or HTTPS server on 127.0.0.1 for the tests: register routes on
// Server(), then Start(). An owner whose routes use its own members calls
// Stop() first thing in its destructor, so that no request runs while they go.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>

namespace tallyhawk::testing {

template <class ServerType>
class CBasicLocalServer {
public:
    // The arguments go to the server's constructor (an HTTPS server's
    // certificate and key files).
    template <class... Arguments>
    explicit CBasicLocalServer(Arguments&&... arguments)
        : server(std::forward<Arguments>(arguments)...) {}
    ~CBasicLocalServer() { Stop(); }
    CBasicLocalServer(const CBasicLocalServer&) = delete;
    CBasicLocalServer& operator=(const CBasicLocalServer&) = delete;

    ServerType& Server() { return server; }

    // Binds a free port and serves on a thread of its own; returns once it
    // serves (waiting at most 10 s), since stop() only reaches a running server.
    void Start() {
        if (!server.is_valid()) throw std::runtime_error("test server could not be set up");
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
    // "127.0.0.1:PORT": the host part of the server's URLs.
    std::string Authority() const { return "127.0.0.1:" + std::to_string(port); }
    std::string Url(const std::string& path) const {
        return std::string(kSecure ? "https" : "http") + "://" + Authority() + path;
    }

private:
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
    static constexpr bool kSecure = std::is_base_of_v<httplib::SSLServer, ServerType>;
#else
    static constexpr bool kSecure = false;
#endif

    ServerType server;
    std::thread thread;
    int port = 0;
};

using CLocalHttpServer = CBasicLocalServer<httplib::Server>;
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
// Serves with a certificate and key from PEM files (see TestCertificate.h).
using CLocalHttpsServer = CBasicLocalServer<httplib::SSLServer>;
#endif

// `text` `times` times over, gzip-compressed. Served with "Content-Encoding:
// gzip" and a type that is not text/..., which the server would compress again.
inline std::string Gzip(std::string_view text, std::size_t times = 1) {
    httplib::detail::gzip_compressor compressor;
    std::string out;
    for (std::size_t i = 1; i <= times; ++i) {
        compressor.compress(text.data(), text.size(), i == times,
                            [&out](const char* data, std::size_t n) {
                                return out.append(data, n), true;
                            });
    }
    return out;
}

}  // namespace tallyhawk::testing
