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
    // What becomes of a connection after an answer: closed as HTTP/1.0 does, kept for
    // the next request, or closed although the answer said it would stay (as a server
    // does when it ends an idle connection).
    enum class After { Close, KeepOpen, CloseUnannounced };

    explicit LoopbackHttpServer(After after = After::Close) : after_(after) {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                ++connections;
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
    int connections = 0;

private:
    void serve(QTcpSocket* s) {
        QByteArray& buf = pending_[s];
        buf += s->readAll();
        while (buf.contains("\r\n\r\n")) {
            const QList<QByteArray> words = buf.left(buf.indexOf("\r\n")).split(' ');
            const QString path = words.size() > 1 ? QString::fromLatin1(words[1]) : QString();
            heads << buf.left(buf.indexOf("\r\n\r\n") + 4);
            buf.remove(0, heads.back().size());
            requested << path;
            QByteArray answer = answers.value(path, "HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nNot found");
            if (after_ != After::Close && answer.startsWith("HTTP/1.0")) answer[7] = '1';
            s->write(answer);
            if (after_ != After::KeepOpen) {
                pending_.remove(s);
                s->disconnectFromHost();
                return;
            }
        }
    }
    After after_;
    QMap<QTcpSocket*, QByteArray> pending_;
};
