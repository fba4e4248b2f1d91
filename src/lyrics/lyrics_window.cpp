// SPDX-License-Identifier: GPL-3.0-or-later
#include "lyrics/lyrics_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QListWidget>
#include <QPropertyAnimation>
#include <QStyledItemDelegate>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <string_view>

#include "lyrics/lrc.h"
#include "platform/error_box.h"
#include "platform/system.h"
#include "platform/text_file.h"

namespace lyrics {
namespace {

int fadeMs = 800;

constexpr int kRowHeight = 13;

// The list box's fixed row height, whatever the font would ask for.
class FixedRowHeight final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(kRowHeight);
        return size;
    }
};

// The most characters a row shows. A lyric line is a sentence or two; laying out and painting
// a row of a whole megabyte (a file of one line) held the window for a second.
constexpr std::size_t kLongestRowShown = 500;

// A row's text: the line, cut after kLongestRowShown characters (never inside a surrogate
// pair) and marked with an ellipsis when longer.
QString rowText(QString text) {
    if (std::size_t(text.size()) <= kLongestRowShown) return text;
    auto cut = qsizetype(kLongestRowShown);
    if (text[cut - 1].isHighSurrogate()) --cut;
    text.truncate(cut);
    text += QChar(0x2026);
    return text;
}

// The start of a line that holds more than a row shows, cut where a character of `encoding`
// ends: a megabyte line is not decoded (100 ms for GBK) to show 500 characters of it.
std::string_view shownBytes(std::string_view line, const platform::CodePage& encoding) {
    // No character of a set that lyric files come in takes more than 4 bytes.
    constexpr std::size_t kEnough = 4 * (kLongestRowShown + 1);
    if (line.size() <= kEnough) return line;
    for (std::size_t end = kEnough; end > kEnough - 4; --end) {
        if (encoding.isValidText(line.substr(0, end))) return line.substr(0, end);
    }
    return line.substr(0, kEnough);  // not text of that set: shown as toDisplay shows such
}

void appendRow(QListWidget* list, const std::string& bytes, const platform::CodePage& encoding) {
    auto* item = new QListWidgetItem(rowText(encoding.toDisplay(shownBytes(bytes, encoding))));
    item->setData(Qt::UserRole, QByteArray(bytes.data(), qsizetype(bytes.size())));
    list->addItem(item);
}

}  // namespace

// A tool window that is shown without taking the focus from the main window (the fade-in shows
// it without activating it), which Wayland compositors otherwise give every new window.
LyricsWindow::LyricsWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral(u"歌词秀"));
    setFixedSize(295, 215);
    QFont design = font();
    design.setPixelSize(11);
    setFont(design);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setAutoFillBackground(true);

    // A little larger than the client area, so that its border lies outside it.
    lyricsList = new QListWidget(this);
    lyricsList->setObjectName(QStringLiteral("lst1"));
    lyricsList->setAccessibleName(QStringLiteral(u"歌词"));
    lyricsList->setGeometry(0, 0, 297, 217);
    lyricsList->setSelectionMode(QAbstractItemView::SingleSelection);
    lyricsList->setSortingEnabled(false);
    lyricsList->setUniformItemSizes(true);
    lyricsList->setItemDelegate(new FixedRowHeight(lyricsList));

    followTimer = new QTimer(this);
    followTimer->setObjectName(QStringLiteral("tmr1"));
    followTimer->setInterval(500);
    connect(followTimer, &QTimer::timeout, this,
            platform::guarded(this, &LyricsWindow::followElapsedTime));
}

LyricsWindow::~LyricsWindow() = default;

void LyricsWindow::setMainWindow(QWidget* mainWindow) {
    mainWindow_ = mainWindow;
}

void LyricsWindow::setElapsedTextSource(std::function<QString()> elapsedText) {
    elapsedText_ = std::move(elapsedText);
}

void LyricsWindow::setFadeDuration(int ms) {
    fadeMs = ms < 0 ? 0 : ms;
}

int LyricsWindow::fadeDuration() {
    return fadeMs;
}

void LyricsWindow::loadLyrics(const std::string& path) {
    lyricLines.emplace();
    if (path.empty()) return;
    trackBaseName = lrcBaseName(path);
    bool loaded = false;
    bool tooLarge = false;
    try {
        const std::string file =
            platform::readWholeFile(lyricPath(path, trackBaseName), platform::kLyricFileLimit);
        // Line ends counted before any line is made; CR LF counts twice here, so the exact
        // count decides only below twice the limit.
        const auto lineEnds = std::size_t(std::count(file.begin(), file.end(), '\n') +
                                          std::count(file.begin(), file.end(), '\r'));
        std::vector<std::string> lines;
        if (lineEnds <= 2 * kMostLyricLines) lines = platform::splitLines(file);
        tooLarge = lineEnds > 2 * kMostLyricLines || lines.size() > kMostLyricLines;
        if (!tooLarge) {
            lyricEncoding_ = lyricTextEncoding(file);
            *lyricLines = std::move(lines);
            if (!followTimer->isActive()) followTimer->start();  // a running one keeps its rhythm
            loaded = true;
        }
    } catch (const platform::SystemError& error) {
        tooLarge = error.code() == EFBIG;
    } catch (const std::exception&) {
    }
    // Any failure reads as "no lyric file", but for one too large to be lyrics; the caller
    // never sees it.
    if (tooLarge) {
        lyricsList->addItem(QStringLiteral(u"歌词文件过大(超过1MB或5000行),"));
        lyricsList->addItem(QStringLiteral(u"不是有效的歌词文件,未显示"));
    } else if (!loaded) {
        lyricsList->addItem(QStringLiteral(u"找不到歌词文件,请确保歌词文件与当前播放曲目同!"));
        lyricsList->addItem(QStringLiteral(u"名且在同一目录下"));
    }
    for (const std::string& line : *lyricLines) appendRow(lyricsList, line, lyricEncoding_);
}

void LyricsWindow::followElapsedTime() {
    if (!lyricLines || !elapsedText_) return;
    const std::optional<std::string> elapsed = platform::fromDisplay(elapsedText_());
    if (!elapsed) return;
    const auto line = matchingLine(*lyricLines, *elapsed);
    if (!line || *line >= std::size_t(lyricsList->count())) return;
    const int row = int(*line);
    lyricsList->setCurrentRow(row);
    lyricsList->scrollToItem(lyricsList->item(row));
}

void LyricsWindow::setVisible(bool visible) {
    if (visible && !isVisible()) {
        onShow();
        return;
    }
    QWidget::setVisible(visible);
}

void LyricsWindow::onShow() {
    if (mainWindow_) {
        const QRect main = mainWindow_->frameGeometry();
        move(main.x() + main.width(), main.y());
    }
    // Shown fully transparent, then blended in.
    setWindowOpacity(fadeMs > 0 ? 0.0 : 1.0);
    QWidget::setVisible(true);
    fade(0.0, 1.0);
}

void LyricsWindow::onCloseQuery(bool& canClose) {
    followTimer->stop();
    lyricsList->clear();
    lyricLines.reset();
    canClose = true;
}

void LyricsWindow::onClose() {
    fade(windowOpacity(), 0.0);
    QWidget::setVisible(false);
    setWindowOpacity(1.0);
}

void LyricsWindow::closeEvent(QCloseEvent* event) {
    bool canClose = true;
    platform::runGuarded([&] { onCloseQuery(canClose); });
    if (!canClose) {
        event->ignore();
        return;
    }
    platform::runGuarded([this] { onClose(); });
    event->accept();
}

void LyricsWindow::fade(double from, double to) {
    if (fadeMs <= 0) {
        setWindowOpacity(to);
        return;
    }
    const QPointer<LyricsWindow> self(this);
    QPropertyAnimation animation(this, "windowOpacity");
    animation.setDuration(fadeMs);
    animation.setStartValue(from);
    animation.setEndValue(to);
    QEventLoop loop;
    connect(&animation, &QAbstractAnimation::finished, &loop, &QEventLoop::quit);
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    // Each step is painted at once. Painting also flushes the window system's queue: without
    // it the X11 connection holds every opacity change until the fade has ended, and the window
    // sits invisible for 800 ms and then appears at once.
    connect(&animation, &QVariantAnimation::valueChanged, this, [this] { repaint(); });
    animation.start();
    // Returns at once when the application is already quitting; the end value is set below.
    if (animation.state() == QAbstractAnimation::Running) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!self) return;
    animation.stop();
    setWindowOpacity(to);
}

}  // namespace lyrics
