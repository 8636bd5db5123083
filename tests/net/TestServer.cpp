#include "net/TestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace tallyhawk::test {

namespace {

int BindLoopback(int& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(fd);
        throw std::runtime_error("bind");
    }
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

std::string TestServer::PageBody() {
    std::string body;
    for (int i = 0; body.size() < 25000; ++i) body += "line " + std::to_string(i) + "\n";
    return body;
}

TestServer::TestServer() {
    http.Server().Get("/page", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(PageBody(), "text/plain");
    });
    http.Server().Get("/chunked", [](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider(
            "text/plain", [body = PageBody()](size_t offset, httplib::DataSink& sink) {
                if (offset >= body.size()) {
                    sink.done();
                    return true;
                }
                size_t n = std::min<size_t>(3000, body.size() - offset);
                return sink.write(body.data() + offset, n);
            });
    });
    http.Server().Get("/empty", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("", "text/plain");
    });
    http.Server().Get("/missing", [](const httplib::Request&, httplib::Response& response) {
        response.status = 404;
        response.set_content("no such page", "text/plain");
    });
    http.Server().Get(
        R"(/hop/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
            int left = std::stoi(request.matches[1]);
            response.set_redirect(left == 0 ? "/page" : "/hop/" + std::to_string(left - 1));
        });
    http.Server().Get("/loop", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("/loop");
    });
    http.Server().Get("/to-file", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("file:///etc/hostname");
    });
    http.Server().Get("/secret", [](const httplib::Request& request, httplib::Response& response) {
        // "walker:s3cret" in Basic encoding.
        if (request.get_header_value("Authorization") == "Basic d2Fsa2VyOnMzY3JldA==") {
            response.set_content("welcome", "text/plain");
            return;
        }
        response.status = 401;
        response.set_header("WWW-Authenticate", "Basic realm=\"test\"");
        response.set_content("denied", "text/plain");
    });
    http.Server().Get("/agent", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(request.get_header_value("User-Agent"), "text/plain");
    });
    // Sends a little, then a little more whenever woken, until the client
    // goes away or the server stops.
    http.Server().Get("/trickle", [this](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider(
            "text/plain", [this](size_t, httplib::DataSink& sink) {
                ++trickleStarts;
                std::string chunk(512, 'x');
                while (!stopping.load()) {
                    if (!sink.write(chunk.data(), chunk.size())) return false;
                    std::unique_lock guard(lock);
                    wake.wait_for(guard, std::chrono::milliseconds(5),
                                  [this] { return stopping.load(); });
                }
                return false;
            });
    });
    http.Start();
}

TestServer::~TestServer() {
    {
        std::lock_guard guard(lock);
        stopping = true;
    }
    wake.notify_all();
    http.Stop();
}

SilentListener::SilentListener() {
    socket = BindLoopback(port);
    if (::listen(socket, 16) != 0) throw std::runtime_error("listen");
}

SilentListener::~SilentListener() {
    ::close(socket);
}

int ClosedPort() {
    int port = 0;
    ::close(BindLoopback(port));
    return port;
}

namespace {

// Waits up to 20 ms for `fd` to become readable.
bool Readable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, 20) > 0;
}

}  // namespace

RawServer::RawServer(std::string bytes, After then) : reply(std::move(bytes)), after(then) {
    listener = BindLoopback(port);
    if (::listen(listener, 16) != 0) throw std::runtime_error("listen");
    thread = std::thread([this] { Serve(); });
}

RawServer::~RawServer() {
    stopping = true;
    thread.join();
    ::close(listener);
}

void RawServer::Serve() {
    while (!stopping) {
        if (!Readable(listener)) continue;
        const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        Answer(connection);
        ::close(connection);
    }
}

void RawServer::Answer(int connection) {
    std::string request;
    char buffer[4096];
    while (!stopping && request.find("\r\n\r\n") == std::string::npos) {
        if (!Readable(connection)) continue;
        const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    if (::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) return;
    while (!stopping && after != After::Close) {
        if (Readable(connection)) {
            // The client closed, or sent something no answer waits for.
            if (::recv(connection, buffer, sizeof buffer, 0) <= 0) return;
        }
        if (after == After::Trickle && ::send(connection, "x", 1, MSG_NOSIGNAL) < 0) return;
    }
}

}  // namespace tallyhawk::test
