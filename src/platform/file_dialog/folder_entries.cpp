// SPDX-License-Identifier: GPL-3.0-or-later
#include "folder_entries.h"

#include <QHash>
#include <QMimeDatabase>

#include <algorithm>

#include "platform/code_page.h"
#include "platform/collation.h"

namespace platform::file_dialog {
namespace {

// The desktop's description of a file's kind by its extension ("MP3 音频"), looked up once per
// extension of a listing.
class TypeNames {
public:
    QString folder() const { return QStringLiteral(u"文件夹"); }
    QString of(const QString& shownName) {
        const qsizetype dot = shownName.lastIndexOf(u'.');
        const QString ext = dot > 0 ? shownName.mid(dot).toLower() : QString();
        auto found = known_.constFind(ext);
        if (found != known_.constEnd()) return *found;
        const QMimeType type = types_.mimeTypeForFile(shownName, QMimeDatabase::MatchExtension);
        const QString text = type.isDefault() ? QStringLiteral(u"文件") : type.comment();
        known_.insert(ext, text);
        return text;
    }

private:
    QMimeDatabase types_;
    QHash<QString, QString> known_;
};

}  // namespace

NameFilter::NameFilter(const std::vector<std::string>& masks) {
    for (const std::string& m : masks) {
        if (m.empty()) continue;
        masks_.emplace_back(m);
    }
}

bool NameFilter::matches(std::string_view name) const {
    if (masks_.empty()) return true;
    return std::any_of(masks_.begin(), masks_.end(),
                       [&](const NameMask& m) { return m.matches(name); });
}

std::vector<FolderEntry> listFolder(const std::string& folder, const NameFilter& filter,
                                    const ListingOptions& options, int& error) {
    std::vector<FolderEntry> entries;
    DirListing listing(folder, "*");
    error = listing.error();
    TypeNames types;
    while (listing.next()) {
        const std::string_view name = listing.name();
        if (name.front() == '.' && !options.showHidden) continue;
        const bool isFolder = listing.isDirectory();
        if (!isFolder && (options.foldersOnly || !filter.matches(name))) continue;
        FolderEntry e;
        e.name = std::string(name);
        e.folder = isFolder;
        const FileDetails& d = listing.details();
        e.size = d.size;
        e.written = d.lastWriteTime;
        e.shown = toDisplay(name);
        e.key = collationKey(name);
        e.type = isFolder ? types.folder() : types.of(e.shown);
        entries.push_back(std::move(e));
    }
    return entries;
}

}  // namespace platform::file_dialog
