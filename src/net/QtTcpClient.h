#pragma once

#include <QTcpSocket>
#include <memory>

#include "net/TcpClient.h"

namespace net {

// The socket facility on QTcpSocket: events arrive on the thread of the Qt event loop.
class QtTcpClient : public TcpClient {
public:
    // Bytes the socket may hold unsent, and unread: a stalled or flooding peer costs no more.
    static constexpr qint64 kMaxUnsent = 4 << 20;
    static constexpr qint64 kMaxUnread = 4 << 20;
    // A graceful close gives up when the peer has taken nothing for this long, or in all after
    // kLingerMs.
    static constexpr int kStallMs = 1000;
    static constexpr int kLingerMs = 3000;

    QtTcpClient();
    ~QtTcpClient() override;

    void open(const std::string& host, uint16_t port) override;
    void close() override;
    void closeGracefully() override;
    bool isConnected() const override;
    size_t pending() const override;
    size_t receive(char* into, size_t max) override;
    long send(const char* data, size_t size) override;

private:
    void bind();

    std::unique_ptr<QTcpSocket> socket;
};

} // namespace net
