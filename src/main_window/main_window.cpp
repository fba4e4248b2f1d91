// SPDX-License-Identifier: GPL-3.0-or-later
// Layout of the main window, its menus, start-up and the small commands.

#include "main_window/main_window.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include "main_window/accessibility.h"
#include "main_window/caption_delegate.h"
#include "main_window/icons.h"
#include "main_window/playlist_view.h"
#include "main_window/status_bar.h"
#include "platform/error_box.h"
#include "platform/program_name.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "playback/media_player.h"

namespace main_window {
namespace {

using icons::Glyph;

// The help page ships beside the program: <prefix>/bin/vorela and <prefix>/share/vorela/help.
constexpr char16_t kHelpPage[] = u"../share/vorela/help/index.html";

constexpr char kCaptionProperty[] = "caption";

// The design font is "MS Sans Serif" at 11 pixels; elsewhere the desktop's UI font at that size.
QFont designFont() {
    QFont font = QFontDatabase::hasFamily(QStringLiteral("MS Sans Serif"))
                     ? QFont(QStringLiteral("MS Sans Serif"))
                     : QApplication::font();
    font.setPixelSize(11);
    return font;
}

bool hasAccessLetter(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == u'&') {
            if (text[i + 1] != u'&') return true;
            ++i;
        }
    }
    return false;
}

QChar accessLetterOf(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == u'&') {
            if (text[i + 1] != u'&') return text[i + 1].toUpper();
            ++i;
        }
    }
    return {};
}

// The menus an item appears in (its siblings decide which letters are taken).
QList<QAction*> siblingsOf(const QAction* item) {
    QList<QAction*> out;
    for (QObject* o : item->associatedObjects()) {
        if (auto* w = qobject_cast<QWidget*>(o)) out += w->actions();
    }
    return out;
}

// Gives `item` the first free letter of its menu, preferring the caption's own Latin letters.
// A caption with East Asian characters gets the letter behind it in brackets, as "退出(&X)".
void applyAccessLetter(QAction* item) {
    const QString caption = item->property(kCaptionProperty).toString();
    if (caption.isEmpty() || hasAccessLetter(caption)) {
        item->setText(caption);
        return;
    }
    QString taken;
    for (const QAction* other : siblingsOf(item)) {
        if (other != item && !other->isSeparator()) {
            const QChar c = accessLetterOf(other->text());
            if (!c.isNull()) taken += c;
        }
    }
    bool wide = false;
    QString candidates;
    for (const QChar c : caption) {
        if (c.unicode() > 0x7F) wide = true;
        if (c.unicode() < 0x80 && c.isLetterOrNumber()) candidates += c.toUpper();
    }
    candidates += QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    for (const QChar c : candidates) {
        if (taken.contains(c)) continue;
        if (wide) {
            item->setText(caption + QStringLiteral("(&") + c + u')');
        } else {
            QString text = caption;
            text.insert(text.indexOf(c, 0, Qt::CaseInsensitive), u'&');
            item->setText(text);
        }
        return;
    }
    item->setText(caption);
}

QAction* makeItem(QWidget* menu, const char* name, const QString& caption, Glyph glyph,
                  const QKeySequence& shortcut = {}) {
    auto* a = new QAction(menu);
    a->setObjectName(QString::fromLatin1(name));
    a->setProperty(kCaptionProperty, caption);
    a->setText(caption);
    a->setIcon(icons::glyph(glyph));
    a->setIconVisibleInMenu(true);
    if (!shortcut.isEmpty()) a->setShortcut(shortcut);
    menu->addAction(a);
    return a;
}

QAction* makeSeparator(QMenu* menu, const char* name) {
    QAction* a = menu->addSeparator();
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

void assignAccessLetters(QWidget* menu, const QList<QAction*>& except = {}) {
    for (QAction* a : menu->actions()) {
        if (!a->isSeparator() && !except.contains(a) && !a->property(kCaptionProperty).isNull()) {
            applyAccessLetter(a);
        }
    }
}

}  // namespace

QString zeroPad(int width, const QString& text) {
    if (text.size() >= width) return text;
    return QString(width - text.size(), u'0') + text;
}

QString timeText(std::int64_t seconds) {
    return zeroPad(2, QString::number(seconds / 60)) + u':' +
           zeroPad(2, QString::number(seconds % 60));
}

MainWindow::MainWindow(std::unique_ptr<playback::AudioOutput> output, QWidget* parent)
    : QMainWindow(parent), player(std::make_unique<playback::MediaPlayer>(std::move(output))) {
    setObjectName(QStringLiteral("Form1"));
    installAccessibility();
    setWindowTitle(QString::fromUtf8(kMainCaption));
    // Taskbars that label a window by its icon name show the program's name, not its class.
    setWindowIconText(QString::fromUtf8(platform::kProgramName));
    setWindowIcon(icons::applicationIcon());
    // A fixed frame with the system menu and minimise, without maximise.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(designFont());
    buildControls();
    buildMenus();
    connectCommands();
    move(298, 204);
    setFixedSize(362, 344 + menuBar()->sizeHint().height());
    onCreate();
}

MainWindow::~MainWindow() {
    platform::runGuarded([this] { onDestroy(); });
}

void MainWindow::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(362, 344);
    setCentralWidget(client);

    auto label = [client](const char* name, const QString& text, QRect geometry) {
        auto* l = new QLabel(text, client);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(geometry);
        return l;
    };
    playlistLabel = label("Label1", QStringLiteral(u"播放列表："), {8, 8, 60, 13});
    progressLabel = label("Label2", QStringLiteral(u"播放进度：     "), {8, 192, 75, 13});
    spacerLabel = label("lbl2", QString(20, u' '), {136, 192, 60, 13});
    volumeLabel = label("Label3", QStringLiteral(u"音量："), {8, 240, 36, 13});

    playlist = new PlaylistModel(this);
    playlistView = new PlaylistView(client);
    playlistView->setObjectName(QStringLiteral("lv1"));
    playlistView->setGeometry(8, 24, 345, 161);
    playlistView->setModel(playlist);
    playlistView->setItemDelegateForColumn(0, new CaptionDelegate(playlistView));
    playlistView->setShowGrid(true);
    playlistView->setSelectionMode(QAbstractItemView::SingleSelection);
    playlistView->setSelectionBehavior(QAbstractItemView::SelectRows);
    playlistView->setEditTriggers(QAbstractItemView::SelectedClicked |
                                  QAbstractItemView::EditKeyPressed);
    playlistView->setWordWrap(false);
    playlistView->setFrameShape(QFrame::StyledPanel);
    playlistView->verticalHeader()->hide();
    playlistView->verticalHeader()->setDefaultSectionSize(17);
    playlistView->horizontalHeader()->setSectionsClickable(true);  // clickable, but sorts nothing
    playlistView->horizontalHeader()->setHighlightSections(false);
    playlistView->horizontalHeader()->setStretchLastSection(false);
    playlistView->setColumnWidth(0, 120);
    playlistView->setColumnWidth(1, 220);
    playlistView->setContextMenuPolicy(Qt::CustomContextMenu);
    playlistView->setAccessibleName(QStringLiteral(u"播放列表"));
    {
        // The selection is not shown while the list has no keyboard focus.
        QPalette pal = playlistView->palette();
        pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Base));
        pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Text));
        playlistView->setPalette(pal);
    }

    lyricsCheckBox = new QCheckBox(QStringLiteral(u"显示歌词"), client);
    lyricsCheckBox->setObjectName(QStringLiteral("chk1"));
    lyricsCheckBox->setGeometry(280, 8, 97, 17);

    auto slider = [client](const char* name, QRect geometry, int max, int position) {
        auto* s = new QSlider(Qt::Horizontal, client);
        s->setObjectName(QString::fromLatin1(name));
        s->setGeometry(geometry);
        s->setTickPosition(QSlider::NoTicks);
        s->setRange(0, max);
        s->setValue(position);
        s->setSingleStep(1);
        s->setPageStep(2);
        return s;
    };
    progressBar = slider("TrackBar1", {0, 208, 361, 25}, 100, 0);
    progressBar->setEnabled(false);
    volumeBar = slider("TrackBar2", {7, 256, 122, 25}, 255, 255);
    // The bars' labels stand apart from them (and one is only blanks): name them directly.
    progressBar->setAccessibleName(QStringLiteral(u"播放进度"));
    volumeBar->setAccessibleName(QStringLiteral(u"音量"));

    // Image-only buttons: no caption, no tooltip; the stored hint (or a plain description)
    // names them for assistive tools.
    auto button = [client](const char* name, int left, Glyph glyph, const QString& accessibleName) {
        auto* b = new QToolButton(client);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(left, 288, 41, 25);
        b->setIcon(icons::glyph(glyph));
        b->setIconSize(QSize(16, 16));
        b->setAccessibleName(accessibleName);
        return b;
    };
    playButton = button("btn1", 8, Glyph::Play, QStringLiteral(u"播放"));
    pauseButton = button("btn2", 59, Glyph::Pause, QStringLiteral(u"暂停播放"));
    stopButton = button("btn3", 109, Glyph::Stop, QStringLiteral(u"停止播放"));
    previousButton = button("btn4", 160, Glyph::Previous, QStringLiteral(u"跳转到上一曲"));
    backButton = button("btn6", 211, Glyph::Back, QStringLiteral(u"快退2秒"));
    forwardButton = button("btn7", 261, Glyph::Forward, QStringLiteral(u"快进2秒"));
    nextButton = button("btn5", 312, Glyph::Next, QStringLiteral(u"跳转到下一曲"));
    pauseButton->setEnabled(false);
    stopButton->setEnabled(false);

    statusBar = new StatusBar({270, 50, 50}, client);
    statusBar->setObjectName(QStringLiteral("stat1"));
    statusBar->setAccessibleName(QStringLiteral(u"状态栏"));
    statusBar->setGeometry(0, 325, 362, 19);
    statusBar->setPanelText(1, QStringLiteral("00:00"));
    statusBar->setPanelText(2, QStringLiteral("00:00"));

    progressTimer = new DisplayTimer(100, this);
    progressTimer->setObjectName(QStringLiteral("Timer1"));
    clockTimer = new DisplayTimer(10, this);
    clockTimer->setObjectName(QStringLiteral("Timer2"));

    // Tab order as designed: the progress bar first, then the volume bar, the buttons, the
    // list and the check box, with the play button last.
    const QList<QWidget*> order{progressBar,    volumeBar,      pauseButton, stopButton,
                                previousButton, nextButton,     backButton,  forwardButton,
                                playlistView,   lyricsCheckBox, playButton};
    for (qsizetype i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);

    openFileDialog = {
        platform::FileDialogSettings::Kind::Open,
        QStringLiteral(u"MP3文件(*.mp3)|*.MP3|WMA文件(*.wma)|*.wma|WAV音频文件(*.wav)|*.wav"),
        QString(), true, false};
    openPlaylistDialog = {platform::FileDialogSettings::Kind::Open,
                          QStringLiteral(u"播放列表(*.m3u)|*.m3u"), QString(), false, false};
    savePlaylistDialog = {platform::FileDialogSettings::Kind::Save,
                          QStringLiteral(u"播放列表(*.m3u)|*.m3u"), QStringLiteral("*.m3u"), false,
                          true};
}

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("mm1"));

    fileMenu = bar->addMenu(QStringLiteral(u"文件(&F)"));
    fileMenu->setObjectName(QStringLiteral("N9"));
    openFileAction = makeItem(fileMenu, "N13", QStringLiteral(u"打开文件(&O)"), Glyph::OpenFile,
                              Qt::CTRL | Qt::Key_F);
    openFolderAction = makeItem(fileMenu, "N14", QStringLiteral(u"打开文件夹(&P)"),
                                Glyph::OpenFolder, Qt::CTRL | Qt::Key_O);
    openPlaylistAction = makeItem(fileMenu, "N18", QStringLiteral(u"打开播放列表(&M)"),
                                  Glyph::OpenList, Qt::CTRL | Qt::Key_P);
    savePlaylistAction = makeItem(fileMenu, "N19", QStringLiteral(u"保存播放列表(&T)"),
                                  Glyph::SaveList, Qt::CTRL | Qt::Key_S);
    searchAction = makeItem(fileMenu, "N15", QStringLiteral(u"搜索音乐(&S)"), Glyph::Search,
                            Qt::CTRL | Qt::Key_M);
    makeSeparator(fileMenu, "N22");
    exitAction = makeItem(fileMenu, "N23", QStringLiteral(u"退出"), Glyph::Exit);
    assignAccessLetters(fileMenu,
                        {openFileAction});  // the open-file item keeps its own letter only

    controlMenu = bar->addMenu(QStringLiteral(u"控制(&C)"));
    controlMenu->setObjectName(QStringLiteral("N10"));
    inOrderAction = makeItem(controlMenu, "N7", QStringLiteral(u"顺序播放(&S)"), Glyph::InOrder);
    repeatOneAction =
        makeItem(controlMenu, "N8", QStringLiteral(u"单曲循环(&C)"), Glyph::RepeatOne);
    repeatListAction =
        makeItem(controlMenu, "N20", QStringLiteral(u"列表循环(&L)"), Glyph::RepeatList);
    randomAction = makeItem(controlMenu, "N21", QStringLiteral(u"随机播放(&R)"), Glyph::Random);
    makeSeparator(controlMenu, "N12");
    previousAction = makeItem(controlMenu, "N35", QStringLiteral(u"上一曲(&A)"), Glyph::Previous);
    nextAction = makeItem(controlMenu, "N36", QStringLiteral(u"下一曲(&D)"), Glyph::Next);
    forwardAction = makeItem(controlMenu, "N24", QStringLiteral(u"快进2秒(&P)"), Glyph::Forward);
    backAction = makeItem(controlMenu, "N25", QStringLiteral(u"快退2秒(&B)"), Glyph::Back);
    makeSeparator(controlMenu, "N26");
    ejectDiscAction =
        makeItem(controlMenu, "CDDVDROM1", QStringLiteral(u"弹出CD/DVD-ROM"), Glyph::Eject);
    closeDiscAction =
        makeItem(controlMenu, "CDDVDROM2", QStringLiteral(u"关闭CD/DVD-ROM"), Glyph::CloseTray);
    assignAccessLetters(controlMenu);
    for (QAction* a : {inOrderAction, repeatOneAction, repeatListAction, randomAction})
        a->setCheckable(true);
    inOrderAction->setChecked(true);

    audioMenu = bar->addMenu(QStringLiteral(u"音频（&A）"));
    audioMenu->setObjectName(QStringLiteral("N27"));
    muteAction = makeItem(audioMenu, "N32", QStringLiteral(u"静音(&S)"), Glyph::Mute);
    louderAction = makeItem(audioMenu, "N28", QStringLiteral(u"增大音量 ↑"), Glyph::Louder);
    softerAction = makeItem(audioMenu, "N29", QStringLiteral(u"降低音量 ↓"), Glyph::Softer);
    makeSeparator(audioMenu, "N34");
    leftChannelAction = makeItem(audioMenu, "N30", QStringLiteral(u"左声道(&L)"), Glyph::Left);
    rightChannelAction = makeItem(audioMenu, "N31", QStringLiteral(u"右声道(&R)"), Glyph::Right);
    stereoAction = makeItem(audioMenu, "N33", QStringLiteral(u"立体声（&M）"), Glyph::Stereo);
    assignAccessLetters(audioMenu);
    for (QAction* a : {muteAction, leftChannelAction, rightChannelAction, stereoAction})
        a->setCheckable(true);
    stereoAction->setChecked(true);

    // Help is a top-level command without a sub-menu.
    helpAction = makeItem(bar, "N16", QStringLiteral(u"帮助(&H)"), Glyph::Help);
    helpAction->setIcon(QIcon());  // a menu bar shows an icon instead of the caption

    playlistMenu = new QMenu(this);
    playlistMenu->setObjectName(QStringLiteral("PopupMenu1"));
    playRowAction = makeItem(playlistMenu, "N1", QStringLiteral(u"播放"), Glyph::Play);
    removeRowAction = makeItem(playlistMenu, "N2", QStringLiteral(u"删除"), Glyph::Exit);
    deleteFileAction = makeItem(playlistMenu, "N3", QStringLiteral(u"物理删除"), Glyph::Exit);
    clearListAction = makeItem(playlistMenu, "N6", QStringLiteral(u"清空列表"), Glyph::Stop);
    fileInfoAction = makeItem(playlistMenu, "N11", QStringLiteral(u"文件信息"), Glyph::OpenFile);
    assignAccessLetters(playlistMenu);
    for (QAction* a : {playRowAction, removeRowAction, deleteFileAction, fileInfoAction})
        a->setEnabled(false);

    trayMenu = new QMenu(this);
    trayMenu->setObjectName(QStringLiteral("PopupMenu2"));
    restoreAction = makeItem(trayMenu, "N4", QStringLiteral(u"恢复程序"), Glyph::Play);
    trayExitAction = makeItem(trayMenu, "N5", QStringLiteral(u"退出"), Glyph::Exit);
    assignAccessLetters(trayMenu);

    // No tooltips anywhere in this window.
    for (QMenu* m : {fileMenu, controlMenu, audioMenu, playlistMenu, trayMenu})
        m->setToolTipsVisible(false);
}

void MainWindow::bind(QAction* item, void (MainWindow::*handler)()) {
    connect(item, &QAction::triggered, this, [this, item, handler](bool checked) {
        if (item->isCheckable()) item->setChecked(!checked);
        platform::runGuarded(handler, this);
    });
}

void MainWindow::bind(QAbstractButton* button, void (MainWindow::*handler)()) {
    connect(button, &QAbstractButton::clicked, this, platform::guarded(this, handler));
}

void MainWindow::connectCommands() {
    bind(searchAction, &MainWindow::showSearchDialog);
    bind(ejectDiscAction, &MainWindow::ejectDisc);
    bind(closeDiscAction, &MainWindow::closeDisc);
    bind(helpAction, &MainWindow::openHelpPage);
    bind(exitAction, &MainWindow::exitProgram);
    connectTransport();
    connectPlayModes();
    connectPlaylist();
    connectAddingTracks();
    connectPlaylistFiles();
    connectVolume();
    connectTray();
    connectLyrics();
}

QString MainWindow::caption(const QAction* item) {
    return item->property(kCaptionProperty).toString();
}

void MainWindow::setCaption(QAction* item, const QString& caption) {
    item->setProperty(kCaptionProperty, caption);
    applyAccessLetter(item);
}

int MainWindow::addRow(std::string_view folder, std::string_view name) {
    return playlist->addRow(folder, name);
}

void MainWindow::addRows(PlaylistModel::NewRows rows) {
    playlist->addRows(std::move(rows));
}

int MainWindow::selectedRow() const {
    const QModelIndexList rows = playlistView->selectionModel()->selectedRows();
    if (rows.isEmpty()) return -1;
    int first = rows.front().row();
    for (const QModelIndex& i : rows) first = std::min(first, i.row());
    return first;
}

void MainWindow::selectRow(int index) {
    QItemSelectionModel* sm = playlistView->selectionModel();
    if (index < 0 || index >= playlist->count()) {
        sm->clearSelection();
        return;
    }
    // Selects without moving the focus mark (current index) and without scrolling.
    sm->select(playlist->index(index, 0),
               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void MainWindow::onCreate() {
    platform::trimWorkingSet();
    setAcceptDrops(true);
    seekByUser = false;
}

void MainWindow::showSearchDialog() {
    if (searchDialog_ == nullptr && makeSearchDialog_) searchDialog_ = makeSearchDialog_();
    if (searchDialog_) searchDialog_->exec();
}

void MainWindow::ejectDisc() {
    platform::setDiscDoorOpen(true);
}

void MainWindow::closeDisc() {
    platform::setDiscDoorOpen(false);
}

QUrl MainWindow::helpPageUrl() {
    const QString page =
        QCoreApplication::applicationDirPath() + u'/' + QString::fromUtf16(kHelpPage);
    return QUrl::fromLocalFile(QFileInfo(page).absoluteFilePath());
}

void MainWindow::openHelpPage() {
    platform::openUrl(helpPageUrl());
}

void MainWindow::exitProgram() {
    // Ends the event loop at once; no close event, so the window does not go to the tray.
    quitting_ = true;
    QCoreApplication::exit(0);
}

}  // namespace main_window
