#include "search/search_dialog.h"

#include <QCheckBox>
#include <QEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>

#include "platform/collation.h"
#include "platform/error_box.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "search/blocking_call.h"
#include "search/folder_tree.h"

namespace {

constexpr int kBytesRole = Qt::UserRole;

// A result line: shows the path in the code page and keeps its bytes, ordered as the list
// control sorts, by the locale's collation of the full path.
class PathItem : public QListWidgetItem {
public:
    explicit PathItem(const std::string& path)
        : QListWidgetItem(QFile::decodeName(QByteArray::fromStdString(path))),
          key_(platform::collationKey(path)) {
        setData(kBytesRole, QByteArray::fromStdString(path));
    }

    bool operator<(const QListWidgetItem& other) const override {
        const auto* o = dynamic_cast<const PathItem*>(&other);
        if (o == nullptr) return QListWidgetItem::operator<(other);
        return key_ < o->key_;
    }

private:
    std::string key_;
};

std::string bytesOf(const QListWidgetItem* item) {
    return item->data(kBytesRole).toByteArray().toStdString();
}

}  // namespace

TForm2::TForm2(QWidget* parent) : QDialog(parent), ui_(new BlockingCaller(this)) {
    setObjectName(QStringLiteral(u"Form2"));
    setWindowTitle(QStringLiteral(u"搜索本地音乐"));
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(401, 370);
    move(170, 221);
    QFont f(QStringLiteral(u"MS Sans Serif"));
    f.setPixelSize(11);
    setFont(f);

    auto named = [](QWidget* w, const char16_t* name) {
        w->setObjectName(QString::fromUtf16(name));
        return w;
    };

    lbl1 = new QLabel(QStringLiteral(u"   搜索目录      "), this);
    named(lbl1, u"lbl1")->setGeometry(0, 8, 75, 13);
    shltrvw1 = new FolderTree(this);
    named(shltrvw1, u"shltrvw1")->setGeometry(8, 24, 257, 137);
    chk1 = new QCheckBox(QStringLiteral(u"MP3"), this);
    named(chk1, u"chk1")->setGeometry(272, 24, 49, 17);
    chk1->setChecked(true);
    chk2 = new QCheckBox(QStringLiteral(u"WMA"), this);
    named(chk2, u"chk2")->setGeometry(344, 24, 49, 17);
    btn1 = new QPushButton(QStringLiteral(u"开始搜索"), this);
    named(btn1, u"btn1")->setGeometry(272, 40, 121, 25);
    btn2 = new QPushButton(QStringLiteral(u"停止搜索"), this);
    named(btn2, u"btn2")->setGeometry(272, 72, 121, 25);
    btn2->setEnabled(false);
    btn3 = new QPushButton(QStringLiteral(u"添加选中"), this);
    named(btn3, u"btn3")->setGeometry(272, 104, 121, 25);
    btn4 = new QPushButton(QStringLiteral(u"添加所有"), this);
    named(btn4, u"btn4")->setGeometry(272, 136, 121, 25);
    lbl2 = new QLabel(QStringLiteral(u"     搜索到的文件      "), this);
    named(lbl2, u"lbl2")->setGeometry(-8, 168, 105, 13);
    lst1 = new QListWidget(this);
    named(lst1, u"lst1")->setGeometry(8, 184, 385, 161);
    lst1->setSortingEnabled(true);
    lst1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lst1->setUniformItemSizes(true);
    stat1 = new QStatusBar(this);
    named(stat1, u"stat1")->setGeometry(0, 351, 401, 19);
    stat1->setSizeGripEnabled(false);
    for (QPushButton* b : {btn1, btn2, btn3, btn4}) b->setAutoDefault(false);

    setTabOrder(shltrvw1, btn1);
    setTabOrder(btn1, btn2);
    setTabOrder(btn2, btn3);
    setTabOrder(btn3, btn4);
    setTabOrder(btn4, lst1);
    setTabOrder(lst1, chk1);
    setTabOrder(chk1, chk2);

    fndfl1 = new search::FileFinder(this);
    fndfl1->setObjectName(QStringLiteral(u"fndfl1"));
    fndfl1->onFileMatch = [this](search::FileFinder* s, const std::string& folder,
                                 const search::SearchRecord& rec) {
        fndfl1FileMatch(s, folder, rec);
    };
    fndfl1->onFolderChange = [this](search::FileFinder* s, const std::string& folder,
                                    search::FolderIgnore& ignore) {
        fndfl1FolderChange(s, folder, ignore);
    };
    fndfl1->onSearchAbort = [this](search::FileFinder* s) { fndfl1SearchAbort(s); };
    fndfl1->onSearchFinish = [this](search::FileFinder* s) { fndfl1SearchFinish(s); };

    connect(btn1, &QPushButton::clicked, this, platform::guarded(this, &TForm2::btn1Click));
    connect(btn2, &QPushButton::clicked, this, platform::guarded(this, &TForm2::btn2Click));
    connect(btn3, &QPushButton::clicked, this, platform::guarded(this, &TForm2::btn3Click));
    connect(btn4, &QPushButton::clicked, this, platform::guarded(this, &TForm2::btn4Click));
    lst1->viewport()->installEventFilter(this);

    shltrvw1->rebuild();
}

TForm2::~TForm2() {
    // The finder goes first, while the widgets its handlers update still exist: it stops a
    // running search and waits for its worker.
    delete fndfl1;
    fndfl1 = nullptr;
}

std::vector<std::string> TForm2::lines() const {
    std::vector<std::string> out;
    for (int i = 0; i < lst1->count(); ++i) out.push_back(bytesOf(lst1->item(i)));
    return out;
}

void TForm2::onUiThread(const std::function<void()>& f) {
    ui_->call(f);
}

void TForm2::addLine(const std::string& line) {
    lst1->addItem(new PathItem(line));
}

void TForm2::btn1Click() {
    std::string masks;
    if (chk1->isChecked()) masks = "*.mp3";
    if (chk2->isChecked()) masks += masks.empty() ? "*.wma" : ";*.wma";
    if (masks.empty()) return;
    StartSearch(masks);
}

void TForm2::StartSearch(const std::string& masks) {
    fndfl1->setThreaded(true);
    search::FileCriteria& files = fndfl1->criteria().files();
    files.setFileName(masks);
    files.setLocation(shltrvw1->selectedPath());
    files.setSubfolders(true);
    fndfl1->execute();
    btn1->setEnabled(false);
    btn2->setEnabled(true);
}

void TForm2::btn2Click() {
    fndfl1->abort();
}

void TForm2::addRows(bool selectedOnly) {
    for (int i = 0; i < lst1->count(); ++i) {
        const QListWidgetItem* item = lst1->item(i);
        if (selectedOnly && !item->isSelected()) continue;
        const std::string line = bytesOf(item);
        const platform::paths::Split parts = platform::paths::split(line);
        if (addRow_) addRow_(std::string(parts.folder), std::string(parts.name));
    }
}

void TForm2::btn3Click() {
    addRows(true);
    for (int i = lst1->count() - 1; i >= 0; --i) {
        if (lst1->item(i)->isSelected()) delete lst1->takeItem(i);
    }
}

void TForm2::lst1DblClick() {
    btn3Click();
}

void TForm2::btn4Click() {
    const bool wasEmpty = lst1->count() == 0;
    addRows(false);
    lst1->clear();
    if (!wasEmpty) close();
}

void TForm2::fndfl1FileMatch(search::FileFinder*, const std::string& Folder,
                             const search::SearchRecord& FileInfo) {
    const std::string line = Folder + FileInfo.name;
    onUiThread([this, &line] { addLine(line); });
}

void TForm2::fndfl1FolderChange(search::FileFinder*, const std::string& Folder,
                                search::FolderIgnore&) {
    onUiThread([this, &Folder] {
        stat1->showMessage(QFile::decodeName(QByteArray::fromStdString(Folder)));
    });
}

void TForm2::fndfl1SearchAbort(search::FileFinder*) {
    stat1->showMessage(QStringLiteral(u"正在退出搜索，请稍候..."));
    // Shown at once: the search may take a moment to wind down.
    repaint();
}

void TForm2::fndfl1SearchFinish(search::FileFinder* Sender) {
    stat1->showMessage(QStringLiteral(u"完成搜索"));
    if (Sender->wasAborted()) {
        stat1->showMessage(QStringLiteral(u"退出搜索 - ") + stat1->currentMessage());
    }
    btn1->setEnabled(true);
    btn2->setEnabled(false);
}

void TForm2::FormCloseQuery(bool& CanClose) {
    lst1->clear();
    CanClose = true;
}

void TForm2::FormClose() {
    platform::trimWorkingSet();
}

void TForm2::done(int result) {
    bool canClose = true;
    platform::runGuarded([&] { FormCloseQuery(canClose); });
    if (!canClose) return;
    QDialog::done(result);
    platform::runGuarded([this] { FormClose(); });
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lst1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        // After the list has handled the click (and its selection), as the list's own
        // double-click event would come.
        QMetaObject::invokeMethod(
            this, [this] { platform::runGuarded([this] { lst1DblClick(); }); },
            Qt::QueuedConnection);
    }
    return QDialog::eventFilter(watched, event);
}

void TForm2::keyPressEvent(QKeyEvent* event) {
    // A tool window closes by its close button only; Escape does not dismiss it.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}
