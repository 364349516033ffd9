#include "approval/address.h"

#include "approval/engineform.h"

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
    // Without a scheme it is a web address, as the lists read it (Qt would take
    // "ftp.example" for a file-transfer address).
    const QByteArray utf8 = address.toUtf8();
    if (schemeLength(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size()))) == 0)
        return QUrl::fromUserInput("http://" + address);
    return QUrl::fromUserInput(address);
}

QByteArray engineBytes(const QUrl& url) {
    if (!url.isValid()) return {};
    // Asking to remove user info costs more than asking whether there is any.
    return url.toEncoded(url.userInfo().isEmpty() ? QUrl::None : QUrl::RemoveUserInfo);
}

QString engineAddress(const QUrl& url) { return QString::fromLatin1(engineBytes(url)); }
