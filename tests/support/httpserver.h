#pragma once
// A small HTTP server on the loopback address for end-to-end tests: fixed answers by
// path, and a record of the requests it got.
#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

class LoopbackHttpServer : public QTcpServer {
public:
    LoopbackHttpServer() {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] { serve(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }

    QString url(const QString& path) const { return QString("http://127.0.0.1:%1%2").arg(serverPort()).arg(path); }

    void page(const QString& path, const QByteArray& html) {
        answers[path] = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                        QByteArray::number(html.size()) + "\r\n\r\n" + html;
    }
    void redirect(const QString& path, const QString& to) {
        answers[path] = "HTTP/1.0 302 Found\r\nLocation: " + to.toLatin1() + "\r\nContent-Length: 0\r\n\r\n";
    }

    QMap<QString, QByteArray> answers;
    QStringList requested;  // paths, in order
    QList<QByteArray> heads;  // whole request heads, in order

private:
    void serve(QTcpSocket* s) {
        QByteArray& buf = pending_[s];
        buf += s->readAll();
        if (!buf.contains("\r\n\r\n")) return;
        const QList<QByteArray> words = buf.left(buf.indexOf("\r\n")).split(' ');
        const QString path = words.size() > 1 ? QString::fromLatin1(words[1]) : QString();
        heads << buf.left(buf.indexOf("\r\n\r\n") + 4);
        pending_.remove(s);
        requested << path;
        s->write(answers.value(path, "HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nNot found"));
        s->disconnectFromHost();
    }
    QMap<QTcpSocket*, QByteArray> pending_;
};
