#include "net/QtTcpClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalBlocker>
#include <QTimer>
#include <memory>

#include <sys/socket.h>

namespace net {

namespace {

// Drains one closing socket on its own: once the bytes written have left, the sending side is
// shut so the peer sees the end of the stream, and what the peer still sends is read and
// dropped (closing with unread bytes would reset the connection and could cost the peer our
// last bytes). The socket is deleted when the peer closes, stalls, or the time is up. It
// belongs to the application, so it never outlives it.
void linger(QTcpSocket* s) {
    s->setParent(QCoreApplication::instance());
    struct Progress {
        QElapsedTimer since;
        qint64 left = 0;
        qint64 lastMs = 0;
        bool shut = false;
    };
    auto p = std::make_shared<Progress>();
    p->since.start();
    p->left = s->bytesToWrite();
    auto* check = new QTimer(s);
    const auto finish = [s, check] {
        check->stop();
        QObject::disconnect(s, nullptr, nullptr, nullptr);
        s->abort();
        s->deleteLater();
    };
    const auto step = [s, p, finish] {
        const qint64 nowMs = p->since.elapsed();
        const qint64 left = s->bytesToWrite();
        if (left < p->left) {
            p->left = left;
            p->lastMs = nowMs;
        }
        if (left == 0 && !p->shut) {
            p->shut = true;
            ::shutdown(static_cast<int>(s->socketDescriptor()), SHUT_WR);
        }
        const bool stalled = !p->shut && nowMs - p->lastMs >= QtTcpClient::kStallMs;
        if (stalled || nowMs >= QtTcpClient::kLingerMs) finish();
    };
    QObject::connect(s, &QAbstractSocket::readyRead, s, [s] { s->readAll(); });
    QObject::connect(s, &QAbstractSocket::bytesWritten, s, step);
    QObject::connect(s, &QAbstractSocket::disconnected, s, finish);
    QObject::connect(s, &QAbstractSocket::errorOccurred, s, finish);
    QObject::connect(check, &QTimer::timeout, s, step);
    check->start(50);
    step();
}

} // namespace

QtTcpClient::QtTcpClient() {
    bind();
}

QtTcpClient::~QtTcpClient() {
    close();
}

void QtTcpClient::bind() {
    socket = std::make_unique<QTcpSocket>();
    QTcpSocket* s = socket.get();
    s->setReadBufferSize(kMaxUnread);
    QObject::connect(s, &QTcpSocket::connected, [this] {
        if (events.connected) events.connected();
    });
    QObject::connect(s, &QTcpSocket::disconnected, [this] {
        if (events.disconnected) events.disconnected();
    });
    QObject::connect(s, &QTcpSocket::errorOccurred, [this](QAbstractSocket::SocketError) {
        if (events.error) events.error();
    });
    QObject::connect(s, &QTcpSocket::readyRead, [this] {
        if (events.readable) events.readable();
    });
    QObject::connect(s, &QTcpSocket::bytesWritten, [this](qint64) {
        if (events.writable) events.writable();
    });
}

void QtTcpClient::open(const std::string& host, uint16_t port) {
    close();
    socket->connectToHost(QString::fromStdString(host), port);
}

void QtTcpClient::close() {
    // Closing raises no events: the owner is already acting on the close.
    const QSignalBlocker quiet(socket.get());
    socket->abort();
}

void QtTcpClient::closeGracefully() {
    if (socket->state() != QAbstractSocket::ConnectedState) {
        close();
        return;
    }
    // The closing socket goes its own way, without the owner's events; a fresh one takes its
    // place so the owner may reconnect at once.
    QTcpSocket* closing = socket.release();
    QObject::disconnect(closing, nullptr, nullptr, nullptr);
    closing->flush();
    bind();
    linger(closing);
}

bool QtTcpClient::isConnected() const {
    return socket->state() == QAbstractSocket::ConnectedState;
}

size_t QtTcpClient::pending() const {
    return static_cast<size_t>(socket->bytesAvailable());
}

size_t QtTcpClient::receive(char* into, size_t max) {
    const qint64 got = socket->read(into, static_cast<qint64>(max));
    return got > 0 ? static_cast<size_t>(got) : 0;
}

long QtTcpClient::send(const char* data, size_t size) {
    if (!isConnected()) return -1;
    const qint64 room = kMaxUnsent - socket->bytesToWrite();
    if (room <= 0) return 0;
    const qint64 n = std::min<qint64>(room, static_cast<qint64>(size));
    const qint64 written = socket->write(data, n);
    return written < 0 ? -1 : static_cast<long>(written);
}

} // namespace net
