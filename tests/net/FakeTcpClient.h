#pragma once

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
    int closes = 0;
    bool connected = false;
    std::string sent;
    std::string inbound;
    long acceptLimit = -1; // bytes accepted per send; -1 = all
    bool failSend = false;

    void open(const std::string& host, uint16_t port) override { opens.emplace_back(host, port); }
    void close() override {
        ++closes;
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
        const size_t n = acceptLimit < 0 ? size : std::min(size, static_cast<size_t>(acceptLimit));
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
