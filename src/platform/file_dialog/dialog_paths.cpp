// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialog_paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "platform/code_page.h"
#include "platform/dir_listing.h"
#include "platform/system.h"

namespace platform::file_dialog {
namespace {

constexpr char kSeparator = '/';

// The home folder of the user named `user` (typed text), or nothing.
std::optional<std::string> homeOf(const QString& user) {
    if (user.isEmpty()) return homeFolder();
    const auto name = fromDisplay(user);
    if (!name) return std::nullopt;
    const passwd* entry = ::getpwnam(name->c_str());
    if (entry == nullptr || entry->pw_dir == nullptr) return std::nullopt;
    return std::string(entry->pw_dir);
}

// The bytes of the entry of `folder` that `component` stands for (see resolveTyped).
std::optional<std::string> entryFor(const std::string& folder, const QString& component) {
    const auto localeBytes = fromDisplay(component);
    if (localeBytes && exists(childOf(folder, *localeBytes))) return localeBytes;
    DirListing listing(folder, "*");
    while (listing.next()) {
        if (toDisplay(listing.name()) == component) return std::string(listing.name());
    }
    return localeBytes;
}

struct RunMemory {
    std::string lastFolder;
    std::string currentThen;  // the process's current folder when lastFolder was kept
};

RunMemory& memory() {
    static RunMemory kept;
    return kept;
}

std::string currentOrEmpty() {
    try {
        return currentDirectory();
    } catch (const SystemError&) {
        return {};
    }
}

}  // namespace

std::string parentOf(const std::string& folder) {
    const auto slash = folder.rfind(kSeparator);
    if (slash == std::string::npos || slash == 0) return "/";
    return folder.substr(0, slash);
}

std::string normalized(std::string folder) {
    while (folder.size() > 1 && folder.back() == kSeparator) folder.pop_back();
    return folder.empty() ? std::string("/") : folder;
}

std::string childOf(const std::string& folder, std::string_view name) {
    std::string path = normalized(folder);
    if (path.back() != kSeparator) path += kSeparator;
    return path.append(name);
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == kSeparator)
        return normalized(home);
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return normalized(entry->pw_dir);
    return "/";
}

QString firstUnrepresentable(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QStringView character = QStringView(text).mid(i, length);
        if (!fromDisplay(character)) return character.toString();
        i += length - 1;
    }
    return {};
}

QString unrepresentableText(const QString& what, const QString& text) {
    return what + QStringLiteral(u"“") + text + QStringLiteral(u"”中的字符“") +
           firstUnrepresentable(text) + QStringLiteral(u"”不能用系统字符集 ") +
           QString::fromStdString(CodePage::active().charset()) + QStringLiteral(u" 表示");
}

TypedPath resolveTyped(const QString& text, const std::string& folder, const KnownText* known) {
    TypedPath out;
    QStringView rest(text);
    std::string path = normalized(folder);
    out.folderMeant = text.endsWith(u'/');
    if (known != nullptr && !known->text.isEmpty() &&
        (text == known->text || (known->text.endsWith(u'/') && text.startsWith(known->text)))) {
        path = known->path;
        rest = rest.mid(known->text.size());
    } else if (rest.startsWith(u'/')) {
        path.assign(1, kSeparator);
    } else if (rest.startsWith(u'~')) {
        const qsizetype slash = rest.indexOf(u'/');
        const QStringView user = rest.mid(1, slash < 0 ? -1 : slash - 1);
        if (const auto home = homeOf(user.toString())) {
            path = normalized(*home);
            rest = slash < 0 ? QStringView() : rest.mid(slash);
        }
    }
    for (const QStringView component : rest.tokenize(u'/', Qt::SkipEmptyParts)) {
        if (component == u".") continue;
        if (component == u"..") {
            path = parentOf(path);
            continue;
        }
        const auto bytes = entryFor(path, component.toString());
        if (!bytes) {
            out.refused = component.toString();
            return out;
        }
        path = childOf(path, *bytes);
    }
    out.path = path;
    return out;
}

std::string startFolder() {
    const std::string current = currentOrEmpty();
    const RunMemory& kept = memory();
    if (!kept.lastFolder.empty() && current == kept.currentThen && isFolder(kept.lastFolder))
        return kept.lastFolder;
    return current;
}

void rememberEndFolder(const std::string& folder) {
    memory() = RunMemory{folder, currentOrEmpty()};
}

}  // namespace platform::file_dialog
