#include "app/track_metadata.h"

#include <QStringList>

#include "platform/code_page.h"
#include "playback/tags.h"

namespace app {

QVariantMap tagMetadata(const std::string& path, const QString& caption) {
    static std::string taggedPath;
    static playback::TrackTags tags;
    if (path != taggedPath) {
        tags = playback::readTrackTagsThroughDevice(path);
        taggedPath = path;
    }
    QVariantMap m;
    const QString title = tags.title.empty() ? caption : platform::legacyText(tags.title);
    if (!title.isEmpty()) m.insert(QStringLiteral("xesam:title"), title);
    if (!tags.artist.empty())
        m.insert(QStringLiteral("xesam:artist"), QStringList{platform::legacyText(tags.artist)});
    if (!tags.album.empty())
        m.insert(QStringLiteral("xesam:album"), platform::legacyText(tags.album));
    return m;
}

}  // namespace app
