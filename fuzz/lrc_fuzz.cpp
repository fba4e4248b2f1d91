// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for lyric files: where a track's lyric file lies, loading it into the lyrics
// window and following the elapsed time. The input is: one byte that picks the locale, five
// bytes for the elapsed-time text, the track's file name up to the first line feed, and the
// lyric file's bytes.
#include <QListWidget>

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz_support.h"
#include "lyrics/lrc.h"
#include "lyrics/lyrics_window.h"
#include "platform/paths.h"
#include "platform/text_file.h"

namespace {

using fuzz_support::check;

// The rules on any path: the lyric file sits in the track's folder under its name without
// extension, and the line a time selects is the first with that stamp.
void checkRules(std::string_view track, const std::vector<std::string>& lines,
                std::string_view elapsed) {
    const std::string base = lyrics::lrcBaseName(track);
    const std::string_view name = platform::paths::fileName(track);
    check(name.substr(0, base.size()) == base, "the base name starts the file name");
    check(std::string(base) + std::string(platform::paths::extension(track)) == name,
          "the base name and the extension make the file name");
    const std::string lrc = lyrics::lyricPath(track, base);
    const std::string_view folder = platform::paths::folder(track);
    check(lrc.size() == folder.size() + base.size() + 4 &&
              lrc.compare(0, folder.size(), folder) == 0 &&
              lrc.compare(lrc.size() - 4, 4, ".lrc") == 0,
          "the lyric file is the folder, the base name and .lrc");

    const std::optional<std::size_t> line = lyrics::matchingLine(lines, elapsed);
    const std::size_t end = line ? *line : lines.size();
    for (std::size_t i = 0; i < end; ++i)
        check(lyrics::timeStamp(lines[i]) != elapsed, "no earlier line has the stamp");
    if (line) {
        check(*line < lines.size(), "the matched line exists");
        check(lyrics::timeStamp(lines[*line]) == elapsed, "the matched line has the stamp");
    }
    for (const std::string& l : lines)
        check(lyrics::timeStamp(l).size() <= 5, "a stamp is 5 bytes");
}

struct Window {
    Window() {
        lyrics::LyricsWindow::setFadeDuration(0);
        window.setElapsedTextSource([this] { return elapsed; });
    }
    // Before any widget.
    struct Application {
        Application() { fuzz_support::ensureApplication(); }
    } application;
    lyrics::LyricsWindow window;
    QString elapsed;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Window w;
    if (size < 6) return 0;
    fuzz_support::useLocale(data[0]);
    std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    // The elapsed text as the main window writes it, two digits, a colon, two digits: each
    // input byte picks one character among those it can hold.
    std::string elapsed;
    for (char c : input.substr(0, 5)) elapsed += "0123456789:"[static_cast<unsigned char>(c) % 11];
    input.remove_prefix(5);
    const std::size_t nameEnd = std::min(input.find('\n'), input.size());
    const std::string_view rawName = input.substr(0, nameEnd);
    const std::string_view content = input.substr(std::min(nameEnd + 1, input.size()));

    checkRules(rawName, platform::splitLines(content), elapsed);

    // The same name as a file of the scratch folder, and its lyric file written beside it.
    std::string name(rawName.substr(0, 100));
    for (char& c : name) {
        if (c == '/' || c == '\0') c = '_';
    }
    if (name.empty() || name == "." || name == "..") name = "track";
    const std::string track = fuzz_support::scratchFolder() + name;
    const std::string lrc = lyrics::lyricPath(track, lyrics::lrcBaseName(track));
    fuzz_support::putFile(lrc, content);

    w.window.lyricsList->clear();
    w.window.loadLyrics(track);
    ::unlink(lrc.c_str());
    check(w.window.lyricLines.has_value(), "a load leaves a list of lines");
    const std::vector<std::string>& lines = *w.window.lyricLines;
    check(lines == platform::splitLines(content), "the lines are the file's lines");
    check(w.window.lyricsList->count() == static_cast<int>(lines.size()), "one row per line");
    for (int i = 0; i < w.window.lyricsList->count(); ++i) {
        const QByteArray bytes = w.window.lyricsList->item(i)->data(Qt::UserRole).toByteArray();
        check(bytes.toStdString() == lines[static_cast<std::size_t>(i)], "a row keeps its bytes");
        check(w.window.lyricsList->item(i)->text().size() <= 501,
              "a row shows at most 500 characters and an ellipsis");
    }

    w.elapsed = QString::fromLatin1(elapsed.data(), static_cast<qsizetype>(elapsed.size()));
    w.window.followElapsedTime();
    const std::optional<std::size_t> match = lyrics::matchingLine(lines, elapsed);
    check(w.window.lyricsList->currentRow() == (match ? static_cast<int>(*match) : -1),
          "the row the elapsed time selects");
    return 0;
}
