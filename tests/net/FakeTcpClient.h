#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "net/TcpClient.h"

namespace tavrina_test {

// A socket whose peer is the test: it records what the engine sends and raises the events the
// test asks for.
class FakeTcpClient : public net::TcpClient {
public:
    std::vector<std::pair<std::string, uint16_t>> opens;
    int closes = 0;         // dropped at once
    int gracefulCloses = 0; // ended once what was sent had left
    bool connected = false;
    std::string sent;
    std::string inbound;
    long acceptLimit = -1; // bytes accepted per send; -1 = all
    long budget = -1;      // bytes accepted from now on before the peer stops reading; -1 = all
    bool failSend = false;

    // Told when the owner destroys the socket, so a test can read what happened to it.
    std::function<void(const FakeTcpClient&)> onDestroy;
    ~FakeTcpClient() override {
        if (onDestroy) onDestroy(*this);
    }

    void open(const std::string& host, uint16_t port) override { opens.emplace_back(host, port); }
    void close() override {
        ++closes;
        connected = false;
        inbound.clear();
    }
    void closeGracefully() override {
        ++gracefulCloses;
        connected = false;
        inbound.clear();
    }
    bool isConnected() const override { return connected; }
    size_t pending() const override { return inbound.size(); }
    size_t receive(char* into, size_t max) override {
        const size_t n = std::min(max, inbound.size());
        inbound.copy(into, n);
        inbound.erase(0, n);
        return n;
    }
    long send(const char* data, size_t size) override {
        if (failSend) return -1;
        size_t n = acceptLimit < 0 ? size : std::min(size, static_cast<size_t>(acceptLimit));
        if (budget >= 0) {
            n = std::min(n, static_cast<size_t>(budget));
            budget -= static_cast<long>(n);
        }
        sent.append(data, n);
        return static_cast<long>(n);
    }

    // The test's side of the wire.
    void accept() {
        connected = true;
        if (events.connected) events.connected();
    }
    void deliver(const std::string& bytes) {
        inbound += bytes;
        if (events.readable) events.readable();
    }
    void peerCloses() {
        connected = false;
        if (events.disconnected) events.disconnected();
    }
    void raiseError() {
        if (events.error) events.error();
    }
    void becomesWritable() {
        if (events.writable) events.writable();
    }
};

} // namespace tavrina_test
