// SPDX-License-Identifier: GPL-3.0-or-later
// Tags as outside tools write them (id3v2, eyeD3, ffmpeg): GBK bytes in ID3v1 and in ID3v2
// frames marked ISO-8859-1, UTF-8 and UTF-16 frames, WMA's UTF-16, WAV's RIFF INFO, a cover
// before the text, and real ISO-8859-1. What the reader gives, decoded by platform::legacyText,
// must be the text the tool was given.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <string>
#include <vector>

#include "platform/code_page.h"
#include "playback/audio_fixtures.h"
#include "playback/tags.h"

namespace {

using fixtures::runTool;

const std::string kTitleGbk = "\xB3\xC9\xB6\xBC";   // 成都
const std::string kArtistGbk = "\xB8\xE8\xCA\xD6";  // 歌手
const std::string kAlbumGbk = "\xD7\xA8\xBC\xAD";   // 专辑

struct Shown {
    QString title, artist, album;
    bool operator==(const Shown&) const = default;
};

Shown shownTags(const std::string& path) {
    const playback::TrackTags t = playback::readTrackTags(path);
    return {platform::legacyText(t.title), platform::legacyText(t.artist),
            platform::legacyText(t.album)};
}

const Shown kChinese{QStringLiteral(u"成都"), QStringLiteral(u"歌手"), QStringLiteral(u"专辑")};

TEST(Tags, WrittenByOutsideToolsReadAsTheirText) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    // A short MP3 without any tag, and one whose ID3v2 tag names only the encoder.
    auto mp3 = [&](const std::string& name, bool encoderTag) {
        const std::string path = folder + name;
        std::vector<std::string> args{"ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                                      "sine=d=0.3"};
        if (!encoderTag) args.insert(args.end(), {"-id3v2_version", "0"});
        args.push_back(path);
        EXPECT_EQ(runTool(args), 0) << "ffmpeg";
        return path;
    };
    auto ffmpegTagged = [&](const std::string& name, std::vector<std::string> extra) {
        const std::string path = folder + name;
        std::vector<std::string> args{"ffmpeg",         "-v",        "error",
                                      "-f",             "lavfi",     "-i",
                                      "sine=d=0.3",     "-metadata", "title=成都",
                                      "-metadata",      "artist=歌手", "-metadata",
                                      "album=专辑"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(path);
        EXPECT_EQ(runTool(args), 0) << "ffmpeg";
        return path;
    };
    const std::vector<std::string> gbkArgs{"-t", kTitleGbk, "-a", kArtistGbk, "-A", kAlbumGbk};
    auto withTool = [&](std::vector<std::string> tool, const std::string& path,
                        const std::vector<std::string>& text) {
        tool.insert(tool.end(), text.begin(), text.end());
        tool.push_back(path);
        EXPECT_EQ(runTool(tool), 0) << tool[0];
        return path;
    };
    const std::vector<std::string> utf8Args{"-t", "成都", "-a", "歌手", "-A", "专辑"};
    // A bought MP3's tag: a 300 KB front cover before the text frames.
    const std::string cover = folder + "cover.jpg";
    fixtures::writeBytes(cover, std::string("\xFF\xD8\xFF\xE0", 4) + std::string(300000, 'c'));
    std::vector<std::string> coverArgs = utf8Args;
    coverArgs.insert(coverArgs.begin(), {"--add-image", cover + ":FRONT_COVER"});

    const struct {
        const char* label;
        std::string path;
        Shown shown;
    } cases[] = {
        {"ID3v1 of GBK bytes", withTool({"id3v2", "-1"}, mp3("v1.mp3", false), gbkArgs), kChinese},
        {"ID3v1 behind an ID3v2 tag naming only the encoder",
         withTool({"id3v2", "-1"}, mp3("v1enc.mp3", true), gbkArgs), kChinese},
        {"ID3v2.3 frames marked ISO-8859-1 holding GBK",
         withTool({"id3v2", "-2"}, mp3("v23.mp3", false), gbkArgs), kChinese},
        {"eyeD3 UTF-16",
         withTool({"eyeD3", "-Q", "--encoding", "utf16"}, mp3("u16.mp3", false), utf8Args),
         kChinese},
        {"eyeD3 UTF-8 (ID3v2.4)",
         withTool({"eyeD3", "-Q", "--encoding", "utf8"}, mp3("u8.mp3", false), utf8Args), kChinese},
        {"eyeD3 real ISO-8859-1",
         withTool({"eyeD3", "-Q", "--encoding", "latin1"}, mp3("latin.mp3", false),
                  {"-t", "Café Noir", "-a", "Beyoncé", "-A", "Olé"}),
         Shown{QStringLiteral(u"Café Noir"), QStringLiteral(u"Beyoncé"), QStringLiteral(u"Olé")}},
        {"ffmpeg ID3v2.3 (UTF-16)", ffmpegTagged("ff23.mp3", {"-id3v2_version", "3"}), kChinese},
        {"ffmpeg WMA", ffmpegTagged("ff.wma", {"-c:a", "wmav2"}), kChinese},
        {"ffmpeg WAV (RIFF INFO)", ffmpegTagged("ff.wav", {}), kChinese},
        {"eyeD3 UTF-8 behind a 300 KB cover",
         withTool({"eyeD3", "-Q", "--encoding", "utf8"}, mp3("cover.mp3", false), coverArgs),
         kChinese},
        {"no tag", mp3("none.mp3", false), Shown{}},
        {"not a file", folder, Shown{}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(shownTags(c.path), c.shown);
    }
}

TEST(Tags, LatinOneReadBackIsUndoneOnlyForTextThatIsAllLatinOne) {
    EXPECT_EQ(playback::legacyTagBytes("\xC2\xB3\xC3\x89"), "\xB3\xC9");
    EXPECT_EQ(playback::legacyTagBytes("\xE6\x88\x90"), "\xE6\x88\x90");  // 成, beyond U+00FF
    EXPECT_EQ(playback::legacyTagBytes("\xC3\xA9\xE6\x88\x90"), "\xC3\xA9\xE6\x88\x90");
    EXPECT_EQ(playback::legacyTagBytes("\xB3\xC9"), "\xB3\xC9");  // raw bytes stay
}

}  // namespace
