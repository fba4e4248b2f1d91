// SPDX-License-Identifier: GPL-3.0-or-later
// The track's tags in the media-player interface: a Chinese MP3 whose ID3v2 frames hold GBK
// bytes marked ISO-8859-1 (as Windows tag editors wrote them) publishes its Chinese title,
// artist and album, a Latin-1 ID3v1 tag its accented name; an untagged file keeps its playlist
// caption as the title. The window itself goes on showing file names.
#include <QStringList>
#include <QToolButton>

#include "app/mpris.h"
#include "main_window/status_bar.h"
#include "main_window/window_fixture.h"

namespace {

class TrackMetadataTest : public testing_support::WindowTest {};

TEST_F(TrackMetadataTest, MetadataCarriesTheTagsDecodedAndTheCaptionWithoutThem) {
    app::MprisService service(window.get());
    const std::string tagged = tone("t.mp3", 2000);
    ASSERT_EQ(fixtures::runTool({"id3v2", "-2", "-t", "\xB3\xC9\xB6\xBC", "-a", "\xB8\xE8\xCA\xD6",
                                 "-A", "\xD7\xA8\xBC\xAD", tagged}),
              0);
    // A title of nothing but a byte-order mark shows as nothing: the caption stands in.
    ASSERT_EQ(fixtures::runTool({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=d=2", "-c:a",
                                 "wmav2", "-metadata", "title=\xEF\xBB\xBF", folder() + "u.wma"}),
              0);
    // Latin-1 in an ID3v1 tag only, as older Western tools wrote it.
    const std::string latin = tone("tm.mp3", 2000);
    ASSERT_EQ(fixtures::runTool({"id3v2", "-1", "-a", "Mot\xF6rhead", "-t", "Ace", latin}), 0);
    window->addRow(folder(), "t.mp3");
    window->addRow(folder(), "tm.mp3");
    window->addRow(folder(), "u.wma");
    window->selectRow(0);

    QTest::mouseClick(window->playButton, Qt::LeftButton);
    settle();
    QVariantMap m = service.metadata();
    EXPECT_EQ(m.value(QStringLiteral("xesam:title")).toString(), QStringLiteral(u"成都"));
    EXPECT_EQ(m.value(QStringLiteral("xesam:artist")).toStringList(),
              QStringList{QStringLiteral(u"歌手")});
    EXPECT_EQ(m.value(QStringLiteral("xesam:album")).toString(), QStringLiteral(u"专辑"));
    EXPECT_EQ(window->statusBar->panelText(0), QStringLiteral(u"当前正在播放：t.mp3"));

    QTest::mouseClick(window->nextButton, Qt::LeftButton);
    settle();
    m = service.metadata();
    EXPECT_EQ(m.value(QStringLiteral("xesam:artist")).toStringList(),
              QStringList{QStringLiteral(u"Motörhead")});
    EXPECT_EQ(m.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Ace"));

    QTest::mouseClick(window->nextButton, Qt::LeftButton);
    settle();
    m = service.metadata();
    EXPECT_EQ(m.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("u.wma"));
    EXPECT_FALSE(m.contains(QStringLiteral("xesam:artist")));
    EXPECT_FALSE(m.contains(QStringLiteral("xesam:album")));
}

}  // namespace
