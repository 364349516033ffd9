#include "approval/address.h"

#include "platform/text.h"

#include <QFileInfo>

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

QString engineAddress(const QUrl& url) {
    // Dot segments go, as the engine drops them before it fetches.
    QUrl u = url.adjusted(QUrl::NormalizePathSegments);
    const QString host = u.host();
    if (host.startsWith("::ffff:", Qt::CaseInsensitive) && host.indexOf('.') > 0) u.setHost(host.mid(7));
    return u.toString(QUrl::FullyEncoded | QUrl::RemoveUserInfo);
}

std::string engineAddress(const std::string& text) {
    // A drive-letter path is compared as written; the engine never reports one.
    if (text.empty() || (text.size() >= 3 && text[1] == ':' && text[2] == '\\')) return text;
    // Tools read UTF-8 text; bytes that are not UTF-8 are 8-bit text as the browser keeps it.
    QString address = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (address.contains(QChar::ReplacementCharacter)) address = fromAnsi(text);
    QUrl url(address);
    if (!url.isValid() || url.scheme().isEmpty()) url = paneUrl(address);
    if (!url.isValid()) return text;
    return toAnsi(engineAddress(url));
}
