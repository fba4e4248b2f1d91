#include "lyrics/lyrics_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QListWidget>
#include <QPropertyAnimation>
#include <QStyledItemDelegate>
#include <QTimer>

#include <exception>
#include <string_view>

#include "lyrics/lrc.h"
#include "platform/error_box.h"
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

void appendRow(QListWidget* list, const std::string& bytes) {
    auto* item = new QListWidgetItem(QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size())));
    item->setData(Qt::UserRole, QByteArray(bytes.data(), qsizetype(bytes.size())));
    list->addItem(item);
}

}  // namespace

TForm3::TForm3(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
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
    lst1 = new QListWidget(this);
    lst1->setObjectName(QStringLiteral("lst1"));
    lst1->setGeometry(0, 0, 297, 217);
    lst1->setSelectionMode(QAbstractItemView::SingleSelection);
    lst1->setSortingEnabled(false);
    lst1->setUniformItemSizes(true);
    lst1->setItemDelegate(new FixedRowHeight(lst1));

    tmr1 = new QTimer(this);
    tmr1->setObjectName(QStringLiteral("tmr1"));
    tmr1->setInterval(500);
    connect(tmr1, &QTimer::timeout, this, platform::guarded(this, &TForm3::tmr1Timer));
}

TForm3::~TForm3() = default;

void TForm3::setMainWindow(QWidget* form1) {
    form1_ = form1;
}

void TForm3::setElapsedTextSource(std::function<QString()> panel1Text) {
    panel1Text_ = std::move(panel1Text);
}

void TForm3::setFadeDuration(int ms) {
    fadeMs = ms < 0 ? 0 : ms;
}

int TForm3::fadeDuration() {
    return fadeMs;
}

void TForm3::loadlrc(const std::string& path) {
    LyricLines.emplace();
    if (path.empty()) return;
    LrcBaseName = lrcBaseName(path);
    try {
        std::vector<std::string> lines =
            platform::splitLines(platform::readWholeFile(lyricPath(path, LrcBaseName)));
        *LyricLines = std::move(lines);
        if (!tmr1->isActive()) tmr1->start();  // a running timer keeps its rhythm
    } catch (const std::exception&) {
        // Any failure reads as "no lyric file"; the caller never sees it.
        lst1->addItem(QStringLiteral(u"找不到歌词文件,请确保歌词文件与当前播放曲目同!"));
        lst1->addItem(QStringLiteral(u"名且在同一目录下"));
    }
    for (const std::string& line : *LyricLines) appendRow(lst1, line);
}

void TForm3::tmr1Timer() {
    if (!LyricLines || !panel1Text_) return;
    const QByteArray elapsed = panel1Text_().toLocal8Bit();
    const auto line = matchingLine(
        *LyricLines, std::string_view(elapsed.constData(), std::size_t(elapsed.size())));
    if (!line || *line >= std::size_t(lst1->count())) return;
    const int row = int(*line);
    lst1->setCurrentRow(row);
    lst1->scrollToItem(lst1->item(row));
}

void TForm3::setVisible(bool visible) {
    if (visible && !isVisible()) {
        FormShow();
        return;
    }
    QWidget::setVisible(visible);
}

void TForm3::FormShow() {
    if (form1_) {
        const QRect main = form1_->frameGeometry();
        move(main.x() + main.width(), main.y());
    }
    // Shown fully transparent, then blended in.
    setWindowOpacity(fadeMs > 0 ? 0.0 : 1.0);
    QWidget::setVisible(true);
    fade(0.0, 1.0);
}

void TForm3::FormCloseQuery(bool& CanClose) {
    tmr1->stop();
    lst1->clear();
    LyricLines.reset();
    CanClose = true;
}

void TForm3::FormClose() {
    fade(windowOpacity(), 0.0);
    QWidget::setVisible(false);
    setWindowOpacity(1.0);
}

void TForm3::closeEvent(QCloseEvent* event) {
    bool canClose = true;
    platform::runGuarded([&] { FormCloseQuery(canClose); });
    if (!canClose) {
        event->ignore();
        return;
    }
    platform::runGuarded([this] { FormClose(); });
    event->accept();
}

void TForm3::fade(double from, double to) {
    if (fadeMs <= 0) {
        setWindowOpacity(to);
        return;
    }
    const QPointer<TForm3> self(this);
    QPropertyAnimation animation(this, "windowOpacity");
    animation.setDuration(fadeMs);
    animation.setStartValue(from);
    animation.setEndValue(to);
    QEventLoop loop;
    connect(&animation, &QAbstractAnimation::finished, &loop, &QEventLoop::quit);
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
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
