// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui_byte_file_dialog.h"

#include <QAction>
#include <QFileIconProvider>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>

#include "folder_entries.h"
#include "platform/code_page.h"
#include "platform/dir_listing.h"
#include "ui_entry_model.h"
#include "ui_labelled_combo.h"
#include "ui_name_completer.h"
#include "ui_places_pane.h"

namespace platform {

using file_dialog::EntryModel;
using file_dialog::FolderEntry;
using file_dialog::LabelledComboBox;

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
    buildControls();
    connectControls();

    // Where the last dialog of the run ended, or the process's current folder when the folder
    // command has moved it since; the home folder when that is gone.
    const std::string start = file_dialog::startFolder();
    if (start.empty() || !setFolder(start, false)) {
        if (!setFolder(file_dialog::homeFolder(), false)) setFolder("/", false);
    }
    nameEdit->setFocus();
    resize(680, 420);
}

ByteFileDialog::~ByteFileDialog() = default;

void ByteFileDialog::buildControls() {
    auto* layout = new QGridLayout(this);
    auto* lookInLabel = new QLabel(mode_ == Mode::Save ? QStringLiteral(u"保存在(&I)：")
                                                       : QStringLiteral(u"查找范围(&I)："));
    lookInBox = new LabelledComboBox(lookInLabel);
    lookInBox->setMinimumContentsLength(30);
    lookInBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    upButton = new QToolButton;
    upButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    upButton->setAccessibleName(QStringLiteral(u"向上一级"));
    upButton->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Up));
    newFolderButton = new QToolButton;
    newFolderButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
    newFolderButton->setAccessibleName(QStringLiteral(u"新建文件夹"));
    auto* tools = new QHBoxLayout;
    tools->addWidget(upButton);
    tools->addWidget(newFolderButton);
    tools->addStretch();
    layout->addWidget(lookInLabel, 0, 0);
    layout->addWidget(lookInBox, 0, 1);
    layout->addLayout(tools, 0, 2);

    placesPane = new file_dialog::PlacesPane;
    layout->addWidget(placesPane, 1, 0);
    buildList();
    layout->addWidget(entryView, 1, 1, 1, 2);

    auto* nameLabel = new QLabel(mode_ == Mode::Folder ? QStringLiteral(u"文件夹(&N)：")
                                                       : QStringLiteral(u"文件名(&N)："));
    nameEdit = new QLineEdit;
    nameEdit->setAccessibleName(file_dialog::nameOfLabel(nameLabel->text()));
    nameLabel->setBuddy(nameEdit);
    acceptButton = new QPushButton(mode_ == Mode::Save   ? QStringLiteral(u"保存(&S)")
                                   : mode_ == Mode::Open ? QStringLiteral(u"打开(&O)")
                                                         : QStringLiteral(u"确定"));
    acceptButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral(u"取消"));
    layout->addWidget(nameLabel, 2, 0);
    layout->addWidget(nameEdit, 2, 1);
    layout->addWidget(acceptButton, 2, 2);

    auto* typeLabel = new QLabel(mode_ == Mode::Save ? QStringLiteral(u"保存类型(&T)：")
                                                     : QStringLiteral(u"文件类型(&T)："));
    typeBox = new LabelledComboBox(typeLabel);
    // The stored filter: shown text and patterns, in pairs separated by "|".
    const QStringList parts = settings_.filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) typeBox->addItem(parts[i], parts[i + 1]);
    layout->addWidget(typeLabel, 3, 0);
    layout->addWidget(typeBox, 3, 1);
    layout->addWidget(cancelButton, 3, 2);
    if (mode_ == Mode::Folder) {
        typeLabel->hide();
        typeBox->hide();
    }
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(1, 1);

    showHiddenAction = new QAction(QStringLiteral(u"显示隐藏文件(&H)"), this);
    showHiddenAction->setCheckable(true);
    showHiddenAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    showHiddenAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(showHiddenAction);
    newFolderAction = new QAction(QStringLiteral(u"新建文件夹(&W)"), this);
    newFolderAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    newFolderAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    if (mode_ == Mode::Open) {
        newFolderButton->hide();
        newFolderAction->setEnabled(false);
    } else {
        addAction(newFolderAction);
    }

    // The places, then the list, right before the name field: Shift+Tab from the name reaches
    // the list at once.
    setTabOrder(lookInBox, upButton);
    setTabOrder(upButton, newFolderButton);
    setTabOrder(newFolderButton, placesPane);
    setTabOrder(placesPane, entryView);
    setTabOrder(entryView, nameEdit);
    setTabOrder(nameEdit, typeBox);
    setTabOrder(typeBox, acceptButton);
    setTabOrder(acceptButton, cancelButton);

    completer = new file_dialog::NameCompleter(
        nameEdit, [this] { return folder_; },
        [this](const std::string& folder, bool hidden) { return entriesOf(folder, hidden); }, this);
}

void ByteFileDialog::buildList() {
    model_ = new EntryModel(this);
    entryView = new QTreeView;
    entryView->setModel(model_);
    entryView->setRootIsDecorated(false);
    entryView->setUniformRowHeights(true);
    entryView->setItemsExpandable(false);
    entryView->setAllColumnsShowFocus(true);
    entryView->setSelectionMode(QAbstractItemView::SingleSelection);
    entryView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    entryView->setContextMenuPolicy(Qt::CustomContextMenu);
    QHeaderView* header = entryView->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(EntryModel::Name, QHeaderView::Stretch);
    header->setSortIndicator(EntryModel::Name, Qt::AscendingOrder);
    header->setSortIndicatorShown(true);
    entryView->setSortingEnabled(true);
    entryView->setAccessibleName(mode_ == Mode::Folder ? QStringLiteral(u"文件夹列表")
                                                       : QStringLiteral(u"文件列表"));
    entryView->installEventFilter(this);
}

void ByteFileDialog::connectControls() {
    connect(lookInBox, &QComboBox::activated, this, [this](int i) {
        const QByteArray path = lookInBox->itemData(i).toByteArray();
        if (path.isEmpty() || !setFolder(path.toStdString())) buildLookIn();
    });
    connect(placesPane, &file_dialog::PlacesPane::placeChosen, this,
            [this](const QByteArray& path) {
                if (!setFolder(path.toStdString())) placesPane->markFolder(folder_);
            });
    connect(placesPane, &file_dialog::PlacesPane::placesChanged, this,
            &ByteFileDialog::buildLookIn);
    connect(upButton, &QToolButton::clicked, this, &ByteFileDialog::goUp);
    connect(newFolderButton, &QToolButton::clicked, this, &ByteFileDialog::makeFolder);
    connect(newFolderAction, &QAction::triggered, this, &ByteFileDialog::makeFolder);
    connect(showHiddenAction, &QAction::toggled, this, [this](bool on) {
        showHidden_ = on;
        relist();
    });
    connect(typeBox, &QComboBox::currentIndexChanged, this, [this] {
        typedMask_.clear();
        relist();
    });
    connect(entryView, &QTreeView::doubleClicked, this,
            [this](const QModelIndex& index) { activate(index.row()); });
    connect(entryView, &QWidget::customContextMenuRequested, this,
            &ByteFileDialog::showContextMenu);
    connect(entryView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &ByteFileDialog::onCurrentChanged);
    connect(acceptButton, &QPushButton::clicked, this, &ByteFileDialog::tryAccept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

bool ByteFileDialog::setFolder(const std::string& folder, bool reportFailure) {
    const std::string target = file_dialog::normalized(folder);
    if (const int error = DirListing(target, "*").error(); error != 0) {
        if (reportFailure) reportUnreadable(target, error);
        return false;
    }
    folder_ = target;
    // The folder chooser's field names a folder inside the listed one: what it held named one
    // in the folder left behind.
    if (mode_ == Mode::Folder) nameEdit->clear();
    completer->reset();
    buildLookIn();
    placesPane->markFolder(folder_);
    relist();
    return true;
}

void ByteFileDialog::buildLookIn() {
    QSignalBlocker quiet(lookInBox);
    lookInBox->clear();
    const QIcon folderIcon = QFileIconProvider().icon(QFileIconProvider::Folder);
    // The folder and every folder above it, the root first; then the places.
    std::vector<std::string> chain{folder_};
    while (chain.back() != "/") chain.push_back(file_dialog::parentOf(chain.back()));
    std::reverse(chain.begin(), chain.end());
    for (const std::string& folder : chain) {
        lookInBox->addItem(folderIcon, toDisplayPath(folder), QByteArray::fromStdString(folder));
    }
    lookInBox->setCurrentIndex(int(chain.size()) - 1);
    lookInBox->insertSeparator(lookInBox->count());
    for (int i = 0; i < placesPane->count(); ++i) {
        const QListWidgetItem* place = placesPane->item(i);
        lookInBox->addItem(place->icon(), place->text(),
                           place->data(file_dialog::PlacesPane::kPathRole));
    }
}

file_dialog::NameFilter ByteFileDialog::nameFilter() const {
    return file_dialog::NameFilter(masks_);
}

std::vector<FolderEntry> ByteFileDialog::entriesOf(const std::string& folder, bool hidden) const {
    int error = 0;
    return file_dialog::listFolder(folder, nameFilter(),
                                   {mode_ == Mode::Folder, hidden || showHidden_}, error);
}

void ByteFileDialog::relist() {
    masks_.clear();
    if (!typedMask_.empty()) {
        masks_.push_back(typedMask_);
    } else if (mode_ != Mode::Folder && typeBox->currentIndex() >= 0) {
        for (const QString& p : typeBox->currentData().toString().split(u';', Qt::SkipEmptyParts))
            masks_.push_back(fromDisplay(p.trimmed()).value_or(std::string()));
    }
    completer->reset();
    model_->setEntries(entriesOf(folder_, false));
    for (int column : {EntryModel::Size, EntryModel::Type, EntryModel::Written})
        entryView->resizeColumnToContents(column);
}

void ByteFileDialog::goUp() {
    if (folder_ != "/") setFolder(file_dialog::parentOf(folder_));
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

void ByteFileDialog::changeEvent(QEvent* event) {
    // A drive plugged in while another window was active shows when the dialog is back.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && placesPane != nullptr)
        placesPane->refresh();
    QDialog::changeEvent(event);
}

void ByteFileDialog::onCurrentChanged() {
    const QModelIndex current = entryView->currentIndex();
    if (!current.isValid()) return;
    const FolderEntry& e = model_->entry(current.row());
    completer->reset();  // the name field now stands for this entry
    // A file names what is opened or saved; in the folder chooser, a folder does.
    if (e.folder == (mode_ == Mode::Folder)) nameEdit->setText(e.shown);
}

void ByteFileDialog::activate(int row) {
    if (row < 0 || row >= model_->count()) return;
    const FolderEntry& e = model_->entry(row);
    if (e.folder) {
        if (setFolder(file_dialog::childOf(folder_, e.name))) nameEdit->clear();
        return;
    }
    nameEdit->setText(e.shown);
    tryAccept();
}

void ByteFileDialog::showContextMenu(const QPoint& at) {
    QMenu menu(this);
    menu.addAction(showHiddenAction);
    if (mode_ != Mode::Open) menu.addAction(newFolderAction);
    menu.exec(entryView->viewport()->mapToGlobal(at));
}

}  // namespace platform
