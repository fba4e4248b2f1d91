// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QUrl>

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

namespace platform {

QUrl localFileUrl(std::string_view path) {
    const QByteArray bytes(path.data(), static_cast<qsizetype>(path.size()));
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"), QUrl::StrictMode);
}

std::optional<std::string> localPathOfUrl(const QUrl& url) {
    const QString host = url.host();
    if (!url.isLocalFile() ||
        !(host.isEmpty() || host.compare(u"localhost", Qt::CaseInsensitive) == 0)) {
        return std::nullopt;
    }
    // Percent-encoded bytes that are no UTF-8 stay encoded in QUrl, so decoding the encoded
    // path ourselves gives the bytes the sender meant; Qt's own decoding would replace them.
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

void openUrl(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

void showFileProperties(std::string_view path) {
    const QUrl url = localFileUrl(path);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItemProperties"));
    call << QStringList{QString::fromLatin1(url.toEncoded())} << QString();
    // Fire and forget: the property view is not modal and nobody waits for an answer.
    QDBusConnection::sessionBus().send(call);
}

void setDiscDoorOpen(bool open) {
    for (const char* device : {"/dev/cdrom", "/dev/sr0"}) {
        const int fd = ::open(device, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        ::ioctl(fd, open ? CDROMEJECT : CDROMCLOSETRAY, 0);
        ::close(fd);
        return;
    }
}

}  // namespace platform
