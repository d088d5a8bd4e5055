// Arbitrary server bytes, in arbitrary chunks, to a WebSocket connection: either straight after
// connecting (the handshake response) or after a good handshake (frames). Nothing may read out
// of range, and a closed connection must stay closed.

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "../tests/net/FakeTcpClient.h"
#include "net/TwebSocketClint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using tavrina_test::FakeTcpClient;
    if (size < 1) return 0;
    util::FakeClock clock(0, 46000.0);
    FakeTcpClient* sock = nullptr;
    net::TwebSocketClint client(
        [&] {
            auto s = std::make_unique<FakeTcpClient>();
            sock = s.get();
            return s;
        },
        clock);
    size_t delivered = 0;
    client.OnMessage = [&](const std::string& payload, uint8_t) { delivered += payload.size(); };
    client.Open("h", 1, "/p");
    sock->accept();
    const bool handshakeFirst = (data[0] & 1) != 0;
    if (!handshakeFirst) {
        const std::string request = sock->sent;
        const size_t at = request.find("Sec-WebSocket-Key: ");
        if (at == std::string::npos) std::abort();
        sock->deliver("HTTP/1.1 101 OK\r\nSec-WebSocket-Accept: " +
                      net::TwsClientCont::AcceptFor(request.substr(at + 19, 24)) + "\r\n\r\n");
        if (client.wsState() != net::TwsClientCont::kOpen) std::abort();
        client.setKeepAlive();
    }
    const size_t chunk = 1 + (data[0] >> 1) * 4;
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    while (!rest.empty()) {
        const size_t n = std::min(chunk, rest.size());
        if (sock->connected) sock->deliver(std::string(rest.substr(0, n)));
        rest.remove_prefix(n);
        clock.advanceMs(500);
        client.Poll();
    }
    if (delivered > size) std::abort();
    return 0;
}
