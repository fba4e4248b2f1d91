#include "ui_byte_file_dialog.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QDateTime>
#include <QFileIconProvider>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

#include "code_page.h"
#include "collation.h"
#include "dir_listing.h"
#include "message_box.h"
#include "paths.h"
#include "system.h"

namespace platform {
namespace {

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// "/a/b" -> "/a", "/a" -> "/", "/" -> "/".
std::string parentOf(const std::string& folder) {
    const auto slash = folder.rfind('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return folder.substr(0, slash);
}

// Without a final separator, except the root itself.
std::string normalized(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

QString shownPath(const std::string& path) {
    return toDisplay(path);
}

}  // namespace

// The listed folder: sub-folders first, then the files the chosen type matches, each group in
// the locale's collation order of the names' bytes.
class FolderEntryModel final : public QAbstractTableModel {
public:
    struct Entry {
        std::string name;
        bool folder = false;
        std::uint64_t size = 0;
        FileTime written = 0;
        QString shown;
        std::string key;
    };

    using QAbstractTableModel::QAbstractTableModel;

    void setEntries(std::vector<Entry> entries) {
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            if (a.folder != b.folder) return a.folder;
            return a.key != b.key ? a.key < b.key : a.name < b.name;
        });
        beginResetModel();
        entries_ = std::move(entries);
        endResetModel();
    }
    const Entry& entry(int row) const { return entries_[std::size_t(row)]; }
    int count() const { return int(entries_.size()); }
    // The first row shown as `text`, or -1.
    int rowShownAs(const QString& text) const {
        for (int i = 0; i < count(); ++i) {
            if (entries_[std::size_t(i)].shown == text) return i;
        }
        return -1;
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : count();
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 3; }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= count()) return {};
        const Entry& e = entry(index.row());
        if (role == Qt::DecorationRole && index.column() == 0) {
            static const QFileIconProvider icons;
            return icons.icon(e.folder ? QFileIconProvider::Folder : QFileIconProvider::File);
        }
        if (role != Qt::DisplayRole) return {};
        switch (index.column()) {
            case 0:
                return e.shown;
            case 1:
                return e.folder ? QString()
                                : QLocale().toString(qulonglong((e.size + 1023) / 1024)) +
                                      QStringLiteral(" KB");
            default: {
                // 100 ns units since 1601 -> seconds since 1970.
                const qint64 unix = qint64(e.written / 10'000'000) - 11'644'473'600LL;
                return QDateTime::fromSecsSinceEpoch(unix).toString(
                    QStringLiteral("yyyy/MM/dd HH:mm"));
            }
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        switch (section) {
            case 0:
                return QStringLiteral(u"名称");
            case 1:
                return QStringLiteral(u"大小");
            default:
                return QStringLiteral(u"修改日期");
        }
    }

private:
    std::vector<Entry> entries_;
};

ByteFileDialog::ByteFileDialog(QWidget* owner, const FileDialogSettings& settings)
    : ByteFileDialog(owner,
                     settings.kind == FileDialogSettings::Kind::Save ? Mode::Save : Mode::Open,
                     settings) {}

ByteFileDialog::ByteFileDialog(QWidget* owner, const QString& title)
    : ByteFileDialog(owner, Mode::Folder, FileDialogSettings{}) {
    setWindowTitle(title);
}

ByteFileDialog::ByteFileDialog(QWidget* owner, Mode mode, FileDialogSettings settings)
    : QDialog(owner), mode_(mode), settings_(std::move(settings)) {
    setObjectName(QStringLiteral("byteFileDialog"));
    setWindowTitle(mode_ == Mode::Save ? QStringLiteral(u"另存为") : QStringLiteral(u"打开"));
    setSizeGripEnabled(true);

    auto* layout = new QGridLayout(this);
    auto* lookInLabel = new QLabel(mode_ == Mode::Save ? QStringLiteral(u"保存在(&I)：")
                                                       : QStringLiteral(u"查找范围(&I)："));
    lookInBox = new QComboBox;
    lookInBox->setAccessibleName(lookInLabel->text().remove(QStringLiteral("(&I)：")));
    lookInLabel->setBuddy(lookInBox);
    lookInBox->setMinimumContentsLength(30);
    lookInBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    upButton = new QToolButton;
    upButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    upButton->setAccessibleName(QStringLiteral(u"向上一级"));
    upButton->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Up));
    layout->addWidget(lookInLabel, 0, 0);
    layout->addWidget(lookInBox, 0, 1, 1, 2);
    layout->addWidget(upButton, 0, 3);

    model_ = new FolderEntryModel(this);
    entryView = new QTreeView;
    entryView->setModel(model_);
    entryView->setRootIsDecorated(false);
    entryView->setUniformRowHeights(true);
    entryView->setItemsExpandable(false);
    entryView->setAllColumnsShowFocus(true);
    entryView->setSelectionMode(QAbstractItemView::SingleSelection);
    entryView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    entryView->header()->setStretchLastSection(false);
    entryView->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    entryView->setAccessibleName(mode_ == Mode::Folder ? QStringLiteral(u"文件夹列表")
                                                       : QStringLiteral(u"文件列表"));
    entryView->installEventFilter(this);
    layout->addWidget(entryView, 1, 0, 1, 4);

    auto* nameLabel = new QLabel(mode_ == Mode::Folder ? QStringLiteral(u"文件夹(&N)：")
                                                       : QStringLiteral(u"文件名(&N)："));
    nameEdit = new QLineEdit;
    nameEdit->setAccessibleName(mode_ == Mode::Folder ? QStringLiteral(u"文件夹")
                                                      : QStringLiteral(u"文件名"));
    nameLabel->setBuddy(nameEdit);
    acceptButton = new QPushButton(mode_ == Mode::Save   ? QStringLiteral(u"保存(&S)")
                                   : mode_ == Mode::Open ? QStringLiteral(u"打开(&O)")
                                                         : QStringLiteral(u"确定"));
    acceptButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral(u"取消"));
    layout->addWidget(nameLabel, 2, 0);
    layout->addWidget(nameEdit, 2, 1, 1, 2);
    layout->addWidget(acceptButton, 2, 3);

    auto* typeLabel = new QLabel(mode_ == Mode::Save ? QStringLiteral(u"保存类型(&T)：")
                                                     : QStringLiteral(u"文件类型(&T)："));
    typeBox = new QComboBox;
    typeBox->setAccessibleName(typeLabel->text().remove(QStringLiteral("(&T)：")));
    typeLabel->setBuddy(typeBox);
    // The stored filter: shown text and patterns, in pairs separated by "|".
    const QStringList parts = settings_.filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        typeBox->addItem(parts[i], parts[i + 1]);
    }
    layout->addWidget(typeLabel, 3, 0);
    layout->addWidget(typeBox, 3, 1, 1, 2);
    layout->addWidget(cancelButton, 3, 3);
    if (mode_ == Mode::Folder) {
        typeLabel->hide();
        typeBox->hide();
    }
    layout->setColumnStretch(1, 1);

    setTabOrder(lookInBox, upButton);
    setTabOrder(upButton, entryView);
    setTabOrder(entryView, nameEdit);
    setTabOrder(nameEdit, typeBox);
    setTabOrder(typeBox, acceptButton);
    setTabOrder(acceptButton, cancelButton);

    connect(lookInBox, &QComboBox::activated, this, [this](int i) {
        if (!setFolder(lookInBox->itemData(i).toByteArray().toStdString())) buildLookIn();
    });
    connect(upButton, &QToolButton::clicked, this, &ByteFileDialog::goUp);
    connect(typeBox, &QComboBox::currentIndexChanged, this, [this] {
        typedMask_.clear();
        relist();
    });
    connect(entryView, &QTreeView::doubleClicked, this,
            [this](const QModelIndex& index) { activate(index.row()); });
    connect(entryView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &ByteFileDialog::onCurrentChanged);
    connect(acceptButton, &QPushButton::clicked, this, &ByteFileDialog::tryAccept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    // Where the process is: the folder command makes the chosen folder the current one, so
    // each dialog starts where the last folder command left.
    std::string start;
    try {
        start = currentDirectory();
    } catch (const SystemError&) {
    }
    if (start.empty() || !setFolder(start, false)) {
        const char* home = std::getenv("HOME");
        if (!setFolder(home != nullptr ? home : "/", false)) setFolder("/", false);
    }
    nameEdit->setFocus();
    resize(560, 380);
}

ByteFileDialog::~ByteFileDialog() = default;

bool ByteFileDialog::setFolder(const std::string& folder, bool reportFailure) {
    const std::string target = normalized(folder.empty() ? std::string("/") : folder);
    {
        DirListing probe(target, "*");
        if (probe.error() != 0) {
            if (reportFailure) {
                messageBox(this, shownPath(target) + QStringLiteral(u"\n无法访问。\n") +
                                     toDisplay(systemMessage(probe.error())),
                           windowTitle(), MB_OK | MB_ICONERROR);
            }
            return false;
        }
    }
    folder_ = target;
    buildLookIn();
    relist();
    return true;
}

void ByteFileDialog::buildLookIn() {
    QSignalBlocker quiet(lookInBox);
    lookInBox->clear();
    const QIcon folderIcon = QFileIconProvider().icon(QFileIconProvider::Folder);
    // The folder and every folder above it, the root first.
    std::vector<std::string> chain{folder_};
    while (chain.back() != "/") chain.push_back(parentOf(chain.back()));
    std::reverse(chain.begin(), chain.end());
    for (const std::string& folder : chain)
        lookInBox->addItem(folderIcon, shownPath(folder), QByteArray::fromStdString(folder));
    lookInBox->setCurrentIndex(int(chain.size()) - 1);
    // Then the places a user starts from.
    const char* home = std::getenv("HOME");
    const std::string desktop =
        qtPathBytes(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    if (isFolder(desktop))
        lookInBox->addItem(folderIcon, QStringLiteral(u"桌面"), QByteArray::fromStdString(desktop));
    if (home != nullptr && isFolder(home))
        lookInBox->addItem(folderIcon, QStringLiteral(u"主目录"), QByteArray(home));
}

void ByteFileDialog::relist() {
    masks_.clear();
    if (!typedMask_.empty()) {
        masks_.push_back(typedMask_);
    } else if (mode_ != Mode::Folder && typeBox->currentIndex() >= 0) {
        for (const QString& p : typeBox->currentData().toString().split(u';', Qt::SkipEmptyParts))
            masks_.push_back(fromDisplay(p.trimmed()).value_or(std::string()));
    }
    std::vector<WildcardMask> matchers;
    for (const std::string& m : masks_) matchers.emplace_back(m);

    std::vector<FolderEntryModel::Entry> entries;
    DirListing listing(folder_, "*");
    while (listing.next()) {
        const std::string_view name = listing.name();
        if (name.front() == '.') continue;  // hidden, as the desktop's dialogs keep them
        const bool folder = listing.isDirectory();
        if (!folder) {
            if (mode_ == Mode::Folder) continue;
            if (!matchers.empty() && std::none_of(matchers.begin(), matchers.end(),
                                                  [&](const WildcardMask& m) {
                                                      return m.matches(name);
                                                  }))
                continue;
        }
        FolderEntryModel::Entry e;
        e.name = std::string(name);
        e.folder = folder;
        const FileDetails& d = listing.details();
        e.size = d.size;
        e.written = d.lastWriteTime;
        e.shown = toDisplay(name);
        e.key = collationKey(name);
        entries.push_back(std::move(e));
    }
    model_->setEntries(std::move(entries));
    entryView->resizeColumnToContents(1);
    entryView->resizeColumnToContents(2);
}

void ByteFileDialog::goUp() {
    if (folder_ != "/") setFolder(parentOf(folder_));
}

bool ByteFileDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == entryView && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Return opens the row under the cursor here, not also the dialog's default button.
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (entryView->currentIndex().isValid()) activate(entryView->currentIndex().row());
            return true;
        }
        if (key->key() == Qt::Key_Backspace) {
            goUp();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ByteFileDialog::onCurrentChanged() {
    const QModelIndex current = entryView->currentIndex();
    if (!current.isValid()) return;
    const auto& e = model_->entry(current.row());
    // A file names what is opened or saved; in the folder chooser, a folder does.
    if (e.folder == (mode_ == Mode::Folder)) nameEdit->setText(e.shown);
}

void ByteFileDialog::activate(int row) {
    if (row < 0 || row >= model_->count()) return;
    const auto& e = model_->entry(row);
    if (e.folder) {
        if (setFolder(pathOf(e.name))) nameEdit->clear();
        return;
    }
    nameEdit->setText(e.shown);
    tryAccept();
}

std::optional<std::string> ByteFileDialog::typedBytes() {
    const QString text = nameEdit->text();
    const QModelIndex current = entryView->currentIndex();
    if (current.isValid() && model_->entry(current.row()).shown == text)
        return model_->entry(current.row()).name;
    if (const int row = model_->rowShownAs(text); row >= 0) return model_->entry(row).name;
    return fromDisplay(text);
}

std::string ByteFileDialog::pathOf(const std::string& name) const {
    if (!name.empty() && name.front() == '/') return name;
    return paths::withTrailingSeparator(folder_) + name;
}

void ByteFileDialog::tryAccept() {
    const QString text = nameEdit->text();
    if (text.isEmpty()) {
        if (mode_ == Mode::Folder) finish(folder_);
        return;
    }
    const auto bytes = typedBytes();
    if (!bytes) {
        messageBox(this,
                   QStringLiteral(u"“") + text + QStringLiteral(u"”不能用系统字符集 ") +
                       QString::fromStdString(CodePage::active().charset()) +
                       QStringLiteral(u" 表示。"),
                   windowTitle(), MB_OK | MB_ICONERROR);
        return;
    }
    std::string path = pathOf(*bytes);
    const auto split = paths::split(path);
    if (mode_ != Mode::Folder && split.name.find_first_of("*?") != std::string_view::npos) {
        // A typed wildcard lists what it matches, in the folder typed before it.
        const std::string mask(split.name);
        const std::string folder = split.folder.empty() ? folder_ : std::string(split.folder);
        typedMask_ = mask;
        if (folder != folder_ + "/" && !setFolder(folder)) return;
        relist();
        return;
    }
    if (isFolder(path)) {
        if (mode_ == Mode::Folder) {
            finish(normalized(path));
        } else if (setFolder(path)) {
            nameEdit->clear();
        }
        return;
    }
    if (mode_ == Mode::Folder) {
        messageBox(this, shownPath(path) + QStringLiteral(u"\n文件夹不存在。"), windowTitle(),
                   MB_OK | MB_ICONERROR);
        return;
    }
    if (mode_ == Mode::Save) {
        QString ext = settings_.defaultExtension;
        if (ext.startsWith(u'*')) ext.remove(0, 1);
        if (ext.startsWith(u'.')) ext.remove(0, 1);
        if (!ext.isEmpty() && paths::extension(path).empty() && !exists(path))
            path += '.' + fromDisplay(ext).value_or(std::string());
        if (settings_.promptOverwrite && exists(path) &&
            messageBox(this,
                       shownPath(path) + QStringLiteral(u" 已存在。\n要替换它吗？"),
                       QStringLiteral(u"确认另存为"), MB_YESNO | MB_ICONWARNING) != IDYES) {
            return;
        }
    } else if (settings_.fileMustExist && !exists(path)) {
        messageBox(this,
                   shownPath(path) + QStringLiteral(u"\n找不到文件。\n请检查文件名是否正确。"),
                   windowTitle(), MB_OK | MB_ICONWARNING);
        return;
    }
    finish(std::move(path));
}

void ByteFileDialog::finish(std::string path) {
    chosen_ = std::move(path);
    accept();
}

}  // namespace platform
