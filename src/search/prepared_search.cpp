// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/prepared_search.h"

#include "platform/paths.h"
#include "platform/system.h"
#include "search/wildcards.h"

namespace search {
namespace {

bool isBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlankOrControl(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlankOrControl(s.back())) s.remove_suffix(1);
    return s;
}

unsigned char asciiLower(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 'A' && b <= 'Z' ? static_cast<unsigned char>(b + ('a' - 'A')) : b;
}

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

// Paths on this system are case-sensitive: two folders that differ only in letter case are
// two folders, so they stay two targets here.
bool samePath(std::string_view a, std::string_view b) {
    return PathSyntax::native().drives ? equalIgnoringAsciiCase(a, b) : a == b;
}

// The full path of `folder`, as the system's full-path call gives it: relative to the
// current directory, with "." and ".." resolved lexically and doubled separators removed.
std::string fullPath(std::string_view folder) {
    if (folder.empty()) return {};
    const char sep = platform::paths::kSeparator;
    std::string path(folder);
    if (path.front() != sep) path = platform::currentDirectory() + sep + path;
    const bool trailing = path.back() == sep;
    std::vector<std::string_view> parts;
    std::string_view rest(path);
    while (!rest.empty()) {
        const std::size_t at = rest.find(sep);
        const std::string_view part = rest.substr(0, at);
        rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out(1, sep);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        out += parts[i];
        if (i + 1 < parts.size() || trailing) out += sep;
    }
    return out;
}

// The subfolder prefix of a location or included entry: "<" without, ">" with subfolders.
bool takePrefix(std::string_view& entry, bool byDefault) {
    if (!entry.empty() && entry.front() == '<') {
        entry.remove_prefix(1);
        return false;
    }
    if (!entry.empty() && entry.front() == '>') {
        entry.remove_prefix(1);
        return true;
    }
    return byDefault;
}

}  // namespace

std::vector<std::string> splitList(std::string_view text, bool caseSensitive) {
    std::vector<std::string> out;
    while (true) {
        const std::size_t at = text.find(';');
        const std::string_view piece = trimmed(text.substr(0, at));
        if (!piece.empty()) {
            bool seen = false;
            for (const std::string& taken : out) {
                if (caseSensitive ? taken == piece : equalIgnoringAsciiCase(taken, piece)) {
                    seen = true;
                    break;
                }
            }
            if (!seen) out.emplace_back(piece);
        }
        if (at == std::string_view::npos) break;
        text.remove_prefix(at + 1);
    }
    return out;
}

void FileCriteria::assign(const Persistent* Source) {
    if (const auto* s = dynamic_cast<const FileCriteria*>(Source)) {
        *this = *s;
        return;
    }
    Persistent::assign(Source);
}

void SearchCriteria::assign(const Persistent* Source) {
    if (const auto* s = dynamic_cast<const SearchCriteria*>(Source)) {
        files_.assign(s->files_);
        attribute_.assign(s->attribute_);
        attributeEx_.assign(s->attributeEx_);
        timeStamp_.assign(s->timeStamp_);
        size_.assign(s->size_);
        content_.assign(s->content_);
        return;
    }
    Persistent::assign(Source);
}

TargetFolder& TargetFolderList::addFolder(std::string_view folder) {
    std::string path = fullPath(folder);
    const PathSyntax& syntax = PathSyntax::native();
    if (!path.empty() && syntax.delimiters.find(path.back()) == std::string_view::npos) {
        path += syntax.separator;
    }
    for (const auto& target : items_) {
        if (samePath(target->path, path)) return *target;
    }
    auto target = std::make_unique<TargetFolder>();
    target->path = std::move(path);
    items_.insert(items_.begin(), std::move(target));
    return *items_.front();
}

bool TargetFolderList::isExcluded(std::string_view folder, std::string_view name) const {
    for (auto it = excluded.rbegin(); it != excluded.rend(); ++it) {
        if (patternExcludes(folder, name, *it)) return true;
    }
    return false;
}

PreparedSearch::PreparedSearch(const SearchCriteria& criteria) {
    buildFolders(criteria.files());
    attribute.assign(criteria.attribute());
    extendedAttribute.assign(criteria.extendedAttribute());
    timeStamp.assign(criteria.timeStamp());
    size.assign(criteria.size());
    content.assign(criteria.content());
    if (content.phraseLength() > 0) {
        FileAttributes set = attribute.attributes();
        set.exclude(FileAttribute::Directory);
        attribute.setAttributes(set);
    }
}

void PreparedSearch::buildFolders(const FileCriteria& files) {
    targets.excluded = files.excluded();
    for (const std::string& included : files.included()) {
        std::string_view entry(included);
        const bool subfolders = takePrefix(entry, files.subfolders());
        const platform::paths::Split parts = platform::paths::split(entry);
        TargetFolder& target = targets.addFolder(parts.folder);
        target.masks.emplace_back(parts.name.empty() ? std::string_view("*.*") : parts.name);
        target.subfolders = subfolders;
        target.minLevel = files.minLevel();
        target.maxLevel = files.maxLevel();
    }
    std::vector<std::string> masks = splitList(files.fileName());
    if (masks.empty()) masks.emplace_back("*.*");
    // Locations are folder names: letter case tells two folders apart on this system.
    for (const std::string& location : splitList(files.location(), !PathSyntax::native().drives)) {
        std::string_view entry(location);
        const bool subfolders = takePrefix(entry, files.subfolders());
        TargetFolder& target = targets.addFolder(entry);
        target.masks.insert(target.masks.end(), masks.begin(), masks.end());
        target.subfolders = subfolders;
        target.minLevel = files.minLevel();
        target.maxLevel = files.maxLevel();
    }
}

bool PreparedSearch::matches(const std::string& folder, const SearchRecord& rec) const {
    // Tests whose settings cannot reject anything are passed without reading the entry's
    // metadata; the answers are the same.
    if (size.isActive() && !size.matches(rec.size64())) return false;
    const std::uint32_t attributes =
        attribute.needsReadOnlyBit() ? rec.attributes() : rec.basicAttributes();
    if (!attribute.matches(attributes)) return false;
    if (extendedAttribute.isActive() && !extendedAttribute.matches(rec.attributes())) return false;
    if (timeStamp.isActive()) {
        const FindData& d = rec.findData();
        if (!timeStamp.matches(d.creationTime, d.lastWriteTime, d.lastAccessTime)) {
            return false;
        }
    }
    if (targets.isExcluded(folder, rec.name)) return false;
    return content.phraseLength() == 0 || content.matches(folder + rec.name);
}

}  // namespace search
