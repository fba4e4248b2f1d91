// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/track_metadata.h"

#include <QStringList>

#include "platform/code_page.h"
#include "playback/tags.h"

namespace app {

QVariantMap tagMetadata(const std::string& path, const QString& caption) {
    static std::string taggedPath;
    static playback::TrackTags tags;
    if (path != taggedPath) {
        tags = playback::readTrackTags(path);
        taggedPath = path;
    }
    // A field that shows as nothing (a byte-order mark alone) is no field.
    QVariantMap m;
    const QString tagged = platform::legacyText(tags.title);
    const QString title = tagged.isEmpty() ? caption : tagged;
    if (!title.isEmpty()) m.insert(QStringLiteral("xesam:title"), title);
    if (const QString artist = platform::legacyText(tags.artist); !artist.isEmpty())
        m.insert(QStringLiteral("xesam:artist"), QStringList{artist});
    if (const QString album = platform::legacyText(tags.album); !album.isEmpty())
        m.insert(QStringLiteral("xesam:album"), album);
    return m;
}

}  // namespace app
