#include "net/QtTcpClient.h"

#include <QSignalBlocker>

namespace net {

QtTcpClient::QtTcpClient() {
    socket.setReadBufferSize(kMaxUnread);
    QObject::connect(&socket, &QTcpSocket::connected, [this] {
        if (events.connected) events.connected();
    });
    QObject::connect(&socket, &QTcpSocket::disconnected, [this] {
        if (events.disconnected) events.disconnected();
    });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, [this](QAbstractSocket::SocketError) {
        if (events.error) events.error();
    });
    QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
        if (events.readable) events.readable();
    });
    QObject::connect(&socket, &QTcpSocket::bytesWritten, [this](qint64) {
        if (events.writable) events.writable();
    });
}

QtTcpClient::~QtTcpClient() {
    close();
}

void QtTcpClient::open(const std::string& host, uint16_t port) {
    close();
    socket.connectToHost(QString::fromStdString(host), port);
}

void QtTcpClient::close() {
    // Closing raises no events: the owner is already acting on the close.
    const QSignalBlocker quiet(socket);
    socket.abort();
}

bool QtTcpClient::isConnected() const {
    return socket.state() == QAbstractSocket::ConnectedState;
}

size_t QtTcpClient::pending() const {
    return static_cast<size_t>(socket.bytesAvailable());
}

size_t QtTcpClient::receive(char* into, size_t max) {
    const qint64 got = socket.read(into, static_cast<qint64>(max));
    return got > 0 ? static_cast<size_t>(got) : 0;
}

long QtTcpClient::send(const char* data, size_t size) {
    if (!isConnected()) return -1;
    const qint64 room = kMaxUnsent - socket.bytesToWrite();
    if (room <= 0) return 0;
    const qint64 n = std::min<qint64>(room, static_cast<qint64>(size));
    const qint64 written = socket.write(data, n);
    return written < 0 ? -1 : static_cast<long>(written);
}

} // namespace net
