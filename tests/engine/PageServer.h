// A real HTTP server on 127.0.0.1 serving one page whose content the test
// sets, plus a page that trickles slowly and a very large one.
//
// The server compresses text/... bodies for a client that accepts it, as
// checks do; it holds back what it compresses until it has enough, so the
// pages whose bytes must leave at once are sent as application/octet-stream.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "LocalHttpServer.h"

namespace tallyhawk::testing {

class CPageServer {
public:
    CPageServer() {
        http.Server().Get("/page", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content(Content(), "text/html");
        });
        // The page for user "ann" with password "s3cret" (HTTP basic).
        http.Server().Get(
            "/secure", [this](const httplib::Request& request, httplib::Response& response) {
                if (request.get_header_value("Authorization") == "Basic YW5uOnMzY3JldA==") {
                    response.set_content(Content(), "text/html");
                } else {
                    response.status = 401;
                    response.set_header("WWW-Authenticate", "Basic realm=\"test\"");
                    response.set_content("denied", "text/plain");
                }
            });
        // Busy: 503, come back in an hour; and a plain 404.
        http.Server().Get("/busy", [](const httplib::Request&, httplib::Response& response) {
            response.status = 503;
            response.set_header("Retry-After", "3600");
            response.set_content("<p>try later</p>", "text/html");
        });
        http.Server().Get("/gone", [](const httplib::Request&, httplib::Response& response) {
            response.status = 404;
            response.set_content("<p>no such page</p>", "text/html");
        });
        // Sends one chunk, then waits (bounded) until the test lets it go on.
        http.Server().Get("/trickle", [this](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider(
                "application/octet-stream", [this](size_t offset, httplib::DataSink& sink) {
                    if (offset > 0) {
                        for (int i = 0; i < 500 && !stopping.load(); ++i) {
                            std::this_thread::sleep_for(std::chrono::milliseconds(10));
                        }
                        sink.done();
                        return true;
                    }
                    return sink.write("<html>", 6);
                });
        });
        // `bigSize` bytes of 'x', sent in 1 MiB chunks without a length.
        http.Server().Get("/big", [this](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider(
                "application/octet-stream", [this](size_t offset, httplib::DataSink& sink) {
                    static const std::string chunk(1 << 20, 'x');
                    if (offset >= bigSize) {
                        sink.done();
                        return true;
                    }
                    std::size_t n = std::min<std::size_t>(chunk.size(), bigSize - offset);
                    return sink.write(chunk.data(), n);
                });
        });
        // The content with validators that change with every SetContent; a
        // request whose If-None-Match names the version served now gets 304.
        http.Server().Get("/validated", [this](const httplib::Request& request,
                                               httplib::Response& response) {
            std::lock_guard<std::mutex> guard(lock);
            lastHeaders = request.headers;
            const std::string etag = "\"r" + std::to_string(revision) + "\"";
            response.set_header("ETag", etag);
            response.set_header("Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT");
            if (request.get_header_value("If-None-Match") == etag) {
                response.status = 304;
                ++notModified;
                return;
            }
            response.set_content(content, "text/html");
        });
        http.Server().Get("/unchanged", [](const httplib::Request&, httplib::Response& response) {
            response.status = 304;  // whatever was asked
        });
        // 64 MiB of 'x' in 64 KiB of gzip.
        http.Server().Get("/bomb", [](const httplib::Request&, httplib::Response& response) {
            static const std::string bomb = Gzip(std::string(1 << 20, 'x'), 64);
            response.set_header("Content-Encoding", "gzip");
            response.set_content(bomb, "application/octet-stream");
        });
        http.Start();
    }
    ~CPageServer() {
        stopping = true;
        http.Stop();
    }
    CPageServer(const CPageServer&) = delete;
    CPageServer& operator=(const CPageServer&) = delete;

    std::string Url(const std::string& path) const { return http.Url(path); }
    void SetContent(std::string value) {
        std::lock_guard<std::mutex> guard(lock);
        content = std::move(value);
        ++revision;
    }
    // A header of the last request to /validated; empty when it had none.
    std::string LastHeader(const std::string& name) {
        std::lock_guard<std::mutex> guard(lock);
        return httplib::detail::get_header_value(lastHeaders, name, 0, "");
    }
    std::string Content() {
        std::lock_guard<std::mutex> guard(lock);
        return content;
    }

    std::atomic<std::size_t> bigSize{0};
    std::atomic<int> notModified{0};  // 304 answers of /validated

private:
    CLocalHttpServer http;
    std::atomic<bool> stopping{false};
    std::mutex lock;
    std::string content;
    int revision = 0;
    httplib::Headers lastHeaders;
};

}  // namespace tallyhawk::testing
