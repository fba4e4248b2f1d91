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

#include "main_window/icons.h"
#include "main_window/status_bar.h"
#include "platform/error_box.h"
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

QString ZeroPad(int width, const QString& text) {
    if (text.size() >= width) return text;
    return QString(width - text.size(), u'0') + text;
}

QString timeText(std::int64_t seconds) {
    return ZeroPad(2, QString::number(seconds / 60)) + u':' +
           ZeroPad(2, QString::number(seconds % 60));
}

TForm1::TForm1(std::unique_ptr<playback::AudioOutput> output, QWidget* parent)
    : QMainWindow(parent),
      MediaPlayer1(std::make_unique<playback::MediaPlayer>(std::move(output))) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8(kMainCaption));
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
    FormCreate();
}

TForm1::~TForm1() {
    platform::runGuarded([this] { FormDestroy(); });
}

void TForm1::buildControls() {
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
    Label1 = label("Label1", QStringLiteral(u"播放列表："), {8, 8, 60, 13});
    Label2 = label("Label2", QStringLiteral(u"播放进度：     "), {8, 192, 75, 13});
    lbl2 = label("lbl2", QString(20, u' '), {136, 192, 60, 13});
    Label3 = label("Label3", QStringLiteral(u"音量："), {8, 240, 36, 13});

    playlist = new PlaylistModel(this);
    lv1 = new QTableView(client);
    lv1->setObjectName(QStringLiteral("lv1"));
    lv1->setGeometry(8, 24, 345, 161);
    lv1->setModel(playlist);
    lv1->setShowGrid(true);
    lv1->setSelectionMode(QAbstractItemView::SingleSelection);
    lv1->setSelectionBehavior(QAbstractItemView::SelectRows);
    lv1->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    lv1->setWordWrap(false);
    lv1->setFrameShape(QFrame::StyledPanel);
    lv1->verticalHeader()->hide();
    lv1->verticalHeader()->setDefaultSectionSize(17);
    lv1->horizontalHeader()->setSectionsClickable(true);  // clickable, but sorts nothing
    lv1->horizontalHeader()->setHighlightSections(false);
    lv1->horizontalHeader()->setStretchLastSection(false);
    lv1->setColumnWidth(0, 120);
    lv1->setColumnWidth(1, 220);
    lv1->setContextMenuPolicy(Qt::CustomContextMenu);
    {
        // The selection is not shown while the list has no keyboard focus.
        QPalette pal = lv1->palette();
        pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Base));
        pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Text));
        lv1->setPalette(pal);
    }

    chk1 = new QCheckBox(QStringLiteral(u"显示歌词"), client);
    chk1->setObjectName(QStringLiteral("chk1"));
    chk1->setGeometry(280, 8, 97, 17);

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
    TrackBar1 = slider("TrackBar1", {0, 208, 361, 25}, 100, 0);
    TrackBar1->setEnabled(false);
    TrackBar2 = slider("TrackBar2", {7, 256, 122, 25}, 255, 255);

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
    btn1 = button("btn1", 8, Glyph::Play, QStringLiteral(u"播放"));
    btn2 = button("btn2", 59, Glyph::Pause, QStringLiteral(u"暂停播放"));
    btn3 = button("btn3", 109, Glyph::Stop, QStringLiteral(u"停止播放"));
    btn4 = button("btn4", 160, Glyph::Previous, QStringLiteral(u"跳转到上一曲"));
    btn6 = button("btn6", 211, Glyph::Back, QStringLiteral(u"快退2秒"));
    btn7 = button("btn7", 261, Glyph::Forward, QStringLiteral(u"快进2秒"));
    btn5 = button("btn5", 312, Glyph::Next, QStringLiteral(u"跳转到下一曲"));
    btn2->setEnabled(false);
    btn3->setEnabled(false);

    stat1 = new TStatusBar({270, 50, 50}, client);
    stat1->setObjectName(QStringLiteral("stat1"));
    stat1->setGeometry(0, 325, 362, 19);
    stat1->setPanelText(1, QStringLiteral("00:00"));
    stat1->setPanelText(2, QStringLiteral("00:00"));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(10);

    // Tab order as designed: the progress bar first, then the volume bar, the buttons, the
    // list and the check box, with the play button last.
    const QList<QWidget*> order{TrackBar1, TrackBar2, btn2, btn3, btn4, btn5,
                                btn6,      btn7,      lv1,  chk1, btn1};
    for (qsizetype i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);

    OpenDialog1 = {
        platform::FileDialogSettings::Kind::Open,
        QStringLiteral(u"MP3文件(*.mp3)|*.MP3|WMA文件(*.wma)|*.wma|WAV音频文件(*.wav)|*.wav"),
        QString(), true, false};
    OpenDialog2 = {platform::FileDialogSettings::Kind::Open,
                   QStringLiteral(u"播放列表(*.m3u)|*.m3u"), QString(), false, false};
    SaveDialog1 = {platform::FileDialogSettings::Kind::Save,
                   QStringLiteral(u"播放列表(*.m3u)|*.m3u"), QStringLiteral("*.m3u"), false, true};
}

void TForm1::buildMenus() {
    QMenuBar* mm1 = menuBar();
    mm1->setObjectName(QStringLiteral("mm1"));

    N9 = mm1->addMenu(QStringLiteral(u"文件(&F)"));
    N9->setObjectName(QStringLiteral("N9"));
    N13 =
        makeItem(N9, "N13", QStringLiteral(u"打开文件(&O)"), Glyph::OpenFile, Qt::CTRL | Qt::Key_F);
    N14 = makeItem(N9, "N14", QStringLiteral(u"打开文件夹(&P)"), Glyph::OpenFolder,
                   Qt::CTRL | Qt::Key_O);
    N18 = makeItem(N9, "N18", QStringLiteral(u"打开播放列表(&M)"), Glyph::OpenList,
                   Qt::CTRL | Qt::Key_P);
    N19 = makeItem(N9, "N19", QStringLiteral(u"保存播放列表(&T)"), Glyph::SaveList,
                   Qt::CTRL | Qt::Key_S);
    N15 = makeItem(N9, "N15", QStringLiteral(u"搜索音乐(&S)"), Glyph::Search, Qt::CTRL | Qt::Key_M);
    makeSeparator(N9, "N22");
    N23 = makeItem(N9, "N23", QStringLiteral(u"退出"), Glyph::Exit);
    assignAccessLetters(N9, {N13});  // the open-file item keeps its own letter only

    N10 = mm1->addMenu(QStringLiteral(u"控制(&C)"));
    N10->setObjectName(QStringLiteral("N10"));
    N7 = makeItem(N10, "N7", QStringLiteral(u"顺序播放(&S)"), Glyph::InOrder);
    N8 = makeItem(N10, "N8", QStringLiteral(u"单曲循环(&C)"), Glyph::RepeatOne);
    N20 = makeItem(N10, "N20", QStringLiteral(u"列表循环(&L)"), Glyph::RepeatList);
    N21 = makeItem(N10, "N21", QStringLiteral(u"随机播放(&R)"), Glyph::Random);
    makeSeparator(N10, "N12");
    N35 = makeItem(N10, "N35", QStringLiteral(u"上一曲(&A)"), Glyph::Previous);
    N36 = makeItem(N10, "N36", QStringLiteral(u"下一曲(&D)"), Glyph::Next);
    N24 = makeItem(N10, "N24", QStringLiteral(u"快进2秒(&P)"), Glyph::Forward);
    N25 = makeItem(N10, "N25", QStringLiteral(u"快退2秒(&B)"), Glyph::Back);
    makeSeparator(N10, "N26");
    CDDVDROM1 = makeItem(N10, "CDDVDROM1", QStringLiteral(u"弹出CD/DVD-ROM"), Glyph::Eject);
    CDDVDROM2 = makeItem(N10, "CDDVDROM2", QStringLiteral(u"关闭CD/DVD-ROM"), Glyph::CloseTray);
    assignAccessLetters(N10);
    for (QAction* a : {N7, N8, N20, N21}) a->setCheckable(true);
    N7->setChecked(true);

    N27 = mm1->addMenu(QStringLiteral(u"音频（&A）"));
    N27->setObjectName(QStringLiteral("N27"));
    N32 = makeItem(N27, "N32", QStringLiteral(u"静音(&S)"), Glyph::Mute);
    N28 = makeItem(N27, "N28", QStringLiteral(u"增大音量 ↑"), Glyph::Louder);
    N29 = makeItem(N27, "N29", QStringLiteral(u"降低音量 ↓"), Glyph::Softer);
    makeSeparator(N27, "N34");
    N30 = makeItem(N27, "N30", QStringLiteral(u"左声道(&L)"), Glyph::Left);
    N31 = makeItem(N27, "N31", QStringLiteral(u"右声道(&R)"), Glyph::Right);
    N33 = makeItem(N27, "N33", QStringLiteral(u"立体声（&M）"), Glyph::Stereo);
    assignAccessLetters(N27);
    for (QAction* a : {N32, N30, N31, N33}) a->setCheckable(true);
    N33->setChecked(true);

    // Help is a top-level command without a sub-menu.
    N16 = makeItem(mm1, "N16", QStringLiteral(u"帮助(&H)"), Glyph::Help);
    N16->setIcon(QIcon());  // a menu bar shows an icon instead of the caption

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N1 = makeItem(PopupMenu1, "N1", QStringLiteral(u"播放"), Glyph::Play);
    N2 = makeItem(PopupMenu1, "N2", QStringLiteral(u"删除"), Glyph::Exit);
    N3 = makeItem(PopupMenu1, "N3", QStringLiteral(u"物理删除"), Glyph::Exit);
    N6 = makeItem(PopupMenu1, "N6", QStringLiteral(u"清空列表"), Glyph::Stop);
    N11 = makeItem(PopupMenu1, "N11", QStringLiteral(u"文件信息"), Glyph::OpenFile);
    assignAccessLetters(PopupMenu1);
    for (QAction* a : {N1, N2, N3, N11}) a->setEnabled(false);

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    N4 = makeItem(PopupMenu2, "N4", QStringLiteral(u"恢复程序"), Glyph::Play);
    N5 = makeItem(PopupMenu2, "N5", QStringLiteral(u"退出"), Glyph::Exit);
    assignAccessLetters(PopupMenu2);

    // No tooltips anywhere in this window.
    for (QMenu* m : {N9, N10, N27, PopupMenu1, PopupMenu2}) m->setToolTipsVisible(false);
}

void TForm1::bind(QAction* item, void (TForm1::*handler)()) {
    connect(item, &QAction::triggered, this, [this, item, handler](bool checked) {
        if (item->isCheckable()) item->setChecked(!checked);
        platform::runGuarded(handler, this);
    });
}

void TForm1::bind(QAbstractButton* button, void (TForm1::*handler)()) {
    connect(button, &QAbstractButton::clicked, this, platform::guarded(this, handler));
}

void TForm1::connectCommands() {
    bind(N15, &TForm1::N15Click);
    bind(CDDVDROM1, &TForm1::CDDVDROM1Click);
    bind(CDDVDROM2, &TForm1::CDDVDROM2Click);
    bind(N16, &TForm1::N16Click);
    bind(N23, &TForm1::N23Click);
    connectTransport();
    connectPlayModes();
    connectPlaylist();
    connectAddingTracks();
    connectPlaylistFiles();
    connectVolume();
    connectTray();
    connectLyrics();
}

QString TForm1::caption(const QAction* item) {
    return item->property(kCaptionProperty).toString();
}

void TForm1::setCaption(QAction* item, const QString& caption) {
    item->setProperty(kCaptionProperty, caption);
    applyAccessLetter(item);
}

int TForm1::addRow(std::string_view folder, std::string_view name) {
    return playlist->addRow(folder, name);
}

int TForm1::itemIndex() const {
    const QModelIndexList rows = lv1->selectionModel()->selectedRows();
    if (rows.isEmpty()) return -1;
    int first = rows.front().row();
    for (const QModelIndex& i : rows) first = std::min(first, i.row());
    return first;
}

void TForm1::setItemIndex(int index) {
    QItemSelectionModel* sm = lv1->selectionModel();
    if (index < 0 || index >= playlist->count()) {
        sm->clearSelection();
        return;
    }
    // Selects without moving the focus mark (current index) and without scrolling.
    sm->select(playlist->index(index, 0),
               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TForm1::FormCreate() {
    platform::trimWorkingSet();
    setAcceptDrops(true);
    SeekByUser = false;
}

void TForm1::N15Click() {
    if (Form2_) Form2_->exec();
}

void TForm1::CDDVDROM1Click() {
    platform::setDiscDoorOpen(true);
}

void TForm1::CDDVDROM2Click() {
    platform::setDiscDoorOpen(false);
}

QUrl TForm1::helpPageUrl() {
    const QString page =
        QCoreApplication::applicationDirPath() + u'/' + QString::fromUtf16(kHelpPage);
    return QUrl::fromLocalFile(QFileInfo(page).absoluteFilePath());
}

void TForm1::N16Click() {
    platform::openUrl(helpPageUrl());
}

void TForm1::N23Click() {
    // Ends the event loop at once; no close event, so the window does not go to the tray.
    quitting_ = true;
    QCoreApplication::exit(0);
}

}  // namespace main_window
