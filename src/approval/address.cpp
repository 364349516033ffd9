#include "approval/address.h"

#include "platform/text.h"

#include <QFileInfo>

#include <algorithm>

QUrl paneUrl(const QString& address) {
    if (address.isEmpty()) return QUrl("about:blank");
    if (address.startsWith('/')) {
        const qsizetype hash = address.lastIndexOf('#');
        if (hash < 0 || QFileInfo::exists(address)) return QUrl::fromLocalFile(address);
        QUrl url = QUrl::fromLocalFile(address.left(hash));
        url.setFragment(address.mid(hash + 1));
        return url;
    }
    return QUrl::fromUserInput(address);
}

namespace {

// A path with a "." or ".." segment, which the engine resolves before it fetches.
bool hasDotSegment(const QByteArray& encoded) {
    const qsizetype authority = encoded.indexOf("//");
    qsizetype path = encoded.indexOf('/', authority < 0 ? 0 : authority + 2);
    if (path < 0) return false;
    const qsizetype end = std::min(encoded.indexOf('?', path) < 0 ? encoded.size() : encoded.indexOf('?', path),
                                   encoded.indexOf('#', path) < 0 ? encoded.size() : encoded.indexOf('#', path));
    for (qsizetype at = encoded.indexOf("/.", path); at >= 0 && at < end; at = encoded.indexOf("/.", at + 1)) {
        const qsizetype next = at + 2 < end && encoded[at + 2] == '.' ? at + 3 : at + 2;
        if (next >= end || encoded[next] == '/') return true;
    }
    return false;
}

}  // namespace

QByteArray engineBytes(const QUrl& url) {
    // Read from the encoded form: asking a QUrl for its parts one by one costs more than
    // the decision.
    // (Asking to remove user info costs more than asking whether there is any.)
    const QUrl::FormattingOptions form = url.userInfo().isEmpty() ? QUrl::None : QUrl::RemoveUserInfo;
    QByteArray bytes = url.toEncoded(form);
    if (hasDotSegment(bytes)) bytes = url.adjusted(QUrl::NormalizePathSegments).toEncoded(QUrl::RemoveUserInfo);
    // An IPv4 address written as an IPv6 literal reaches the IPv4 host.
    const qsizetype mapped = bytes.indexOf("//[::ffff:");
    if (mapped >= 0) {
        const qsizetype close = bytes.indexOf(']', mapped);
        const QByteArray inner = bytes.mid(mapped + 10, close - mapped - 10);
        if (close > 0 && inner.contains('.')) bytes = bytes.left(mapped + 2) + inner + bytes.mid(close + 1);
    }
    return bytes;
}

QString engineAddress(const QUrl& url) { return QString::fromLatin1(engineBytes(url)); }

std::string engineAddress(const std::string& text) {
    // A drive-letter path is compared as written; the engine never reports one.
    if (text.empty() || (text.size() >= 3 && text[1] == ':' && text[2] == '\\')) return text;
    // Tools read UTF-8 text; bytes that are not UTF-8 are 8-bit text as the browser keeps it.
    QString address = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (address.contains(QChar::ReplacementCharacter)) address = fromAnsi(text);
    QUrl url(address);
    if (!url.isValid() || url.scheme().isEmpty()) url = paneUrl(address);
    if (!url.isValid()) return text;
    const QByteArray bytes = engineBytes(url);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}
