// Arbitrary bytes from a video server, in arbitrary chunks, to a logged-in connection: replies
// and notices are parsed without reading out of range, and nothing queued grows unbounded.

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "../tests/net/FakeTcpClient.h"
#include "net/RTP_Cont.h"
#include "util/BEPack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using tavrina_test::FakeTcpClient;
    util::FakeClock clock(0, 46000.0);
    FakeTcpClient* sock = nullptr;
    net::RTP_Cont cont(
        [&] {
            auto s = std::make_unique<FakeTcpClient>();
            sock = s.get();
            return s;
        },
        clock);
    cont.OnReply = [](const media::SIMCH&, uint16_t, bool, const std::string&) {};
    cont.OnFrame = [](const media::RTPmeta&, std::string_view) {};
    cont.Connect("demo", "mqv908172");
    clock.advanceMs(1000);
    cont.Poll();
    sock->accept();
    // Step 1 of the login succeeds, so later bytes meet both logged-in and logging-in states.
    uint16_t seq = 0;
    util::BEPack ok;
    ok.u16(0).u16(3).u8(1).str16("challenge");
    sock->deliver(media::RTP1078Exp::BuildControlPacket({}, ok.bytes(), seq));

    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty()) {
        const size_t n = std::min<size_t>(rest.size(), 1 + static_cast<uint8_t>(rest[0]));
        sock->deliver(std::string(rest.substr(0, n)));
        rest.remove_prefix(n);
        clock.advanceMs(700);
        cont.Poll();
        if (cont.sendBufferSize() > net::RTP_Cont::kMaxSendBuffer) std::abort();
    }
    return 0;
}
