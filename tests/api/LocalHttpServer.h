#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace apitest {

// A tiny HTTP/1.1 responder on 127.0.0.1 (port chosen by the system), one connection at a time,
// for exercising the real HTTP client. The handler sees the request and fills the reply.
class LocalHttpServer {
public:
    struct Request {
        std::string head; // request line and headers
        std::string body;
    };
    struct Reply {
        int status = 200;
        std::string body;
        int delayMs = 0;
    };
    using Handler = std::function<Reply(const Request&)>;

    explicit LocalHttpServer(Handler handler) : handler(std::move(handler)) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
            ::listen(fd, 16) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            std::abort();
        port = ntohs(a.sin_port);
        thread = std::thread([this] { loop(); });
    }
    ~LocalHttpServer() {
        stop = true;
        thread.join();
        ::close(fd);
    }

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }
    std::vector<Request> received() {
        std::lock_guard lock(mutex);
        return requests;
    }

private:
    bool readable(int s, int ms) {
        pollfd p{s, POLLIN, 0};
        return ::poll(&p, 1, ms) > 0;
    }

    void loop() {
        while (!stop) {
            if (!readable(fd, 20)) continue;
            const int c = ::accept(fd, nullptr, nullptr);
            if (c < 0) continue;
            serve(c);
            ::close(c);
        }
    }

    void serve(int c) {
        std::string in;
        char buf[4096];
        size_t headEnd = std::string::npos;
        size_t need = 0;
        while (!stop && readable(c, 2000)) {
            const ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0) return;
            in.append(buf, static_cast<size_t>(n));
            if (headEnd == std::string::npos && (headEnd = in.find("\r\n\r\n")) != in.npos) {
                const size_t cl = in.find("Content-Length: ");
                need = cl < headEnd ? std::strtoul(in.c_str() + cl + 16, nullptr, 10) : 0;
            }
            if (headEnd != std::string::npos && in.size() >= headEnd + 4 + need) break;
        }
        if (headEnd == std::string::npos) return;
        Request req{in.substr(0, headEnd), in.substr(headEnd + 4, need)};
        {
            std::lock_guard lock(mutex);
            requests.push_back(req);
        }
        const Reply r = handler(req);
        for (int waited = 0; waited < r.delayMs && !stop; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const std::string out = "HTTP/1.1 " + std::to_string(r.status) +
                                " X\r\nContent-Type: application/json\r\nContent-Length: " +
                                std::to_string(r.body.size()) + "\r\nConnection: close\r\n\r\n" +
                                r.body;
        size_t at = 0;
        while (at < out.size()) {
            const ssize_t n = ::send(c, out.data() + at, out.size() - at, MSG_NOSIGNAL);
            if (n <= 0) return;
            at += static_cast<size_t>(n);
        }
    }

    Handler handler;
    int fd = -1;
    uint16_t port = 0;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::vector<Request> requests;
    std::thread thread;
};

} // namespace apitest
