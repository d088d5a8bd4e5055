#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace net {

// The socket facility: an asynchronous TCP client whose events arrive on the owner's thread.
// Engines talk to the network only through it, so tests can script every byte and event.
class TcpClient {
public:
    struct Events {
        std::function<void()> connected;
        // The peer closed, or the connection broke. Not raised by close().
        std::function<void()> disconnected;
        std::function<void()> error;
        std::function<void()> readable;
        std::function<void()> writable;
    };

    virtual ~TcpClient() = default;

    void setEvents(Events e) { events = std::move(e); }

    // Starts connecting (host names are resolved); the outcome arrives as an event.
    virtual void open(const std::string& host, uint16_t port) = 0;
    // Drops the connection at once, without raising any event; what is unsent is lost. For a
    // peer that fell silent or stopped reading.
    virtual void close() = 0;
    // Ends the connection once the bytes already accepted have left (a close frame, the last
    // requests), giving up after a short time or when the peer stops reading. Raises no
    // event; the client may be opened again at once.
    virtual void closeGracefully() { close(); }
    virtual bool isConnected() const = 0;
    // Bytes received and not yet taken.
    virtual size_t pending() const = 0;
    // Takes up to `max` received bytes; returns how many.
    virtual size_t receive(char* into, size_t max) = 0;
    // Offers bytes to send; returns how many were accepted (possibly fewer), or -1 on error.
    virtual long send(const char* data, size_t size) = 0;

protected:
    Events events;
};

} // namespace net
