// SPDX-License-Identifier: GPL-3.0-or-later
#include "places.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "dialog_paths.h"
#include "platform/code_page.h"
#include "platform/system.h"
#include "platform/text_file.h"

namespace platform::file_dialog {
namespace {

constexpr std::size_t kPlacesFileLimit = std::size_t{1} << 20;

std::string readOrEmpty(const std::string& path) {
    try {
        return readWholeFile(path, kPlacesFileLimit);
    } catch (const SystemError&) {
        return {};
    }
}

std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        lines.push_back(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The mount table writes blank, tab, newline and backslash in a path as \ooo.
std::string octalDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto octal = [&](std::size_t k) { return text[k] >= '0' && text[k] <= '7'; };
        if (text[i] == '\\' && i + 3 < text.size() && octal(i + 1) && octal(i + 2) &&
            octal(i + 3)) {
            out += char((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0'));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool under(std::string_view path, std::string_view folder) {
    return path == folder ||
           (path.size() > folder.size() && path.substr(0, folder.size()) == folder &&
            path[folder.size()] == '/');
}

// Folders that belong to the system even when they are file systems of their own.
bool systemFolder(std::string_view mountPoint) {
    static constexpr std::array<std::string_view, 17> kSystem{
        "/boot", "/efi", "/proc", "/sys", "/dev",  "/run", "/var", "/usr", "/etc",
        "/snap", "/tmp", "/opt",  "/srv", "/root", "/lib", "/bin", "/sbin"};
    if (mountPoint == "/" || mountPoint == "/home") return true;
    if (under(mountPoint, "/run/media")) return false;
    return std::any_of(kSystem.begin(), kSystem.end(),
                       [&](std::string_view f) { return under(mountPoint, f); });
}

bool realFileSystem(std::string_view type, std::string_view source) {
    static constexpr std::array<std::string_view, 7> kNetwork{"nfs",   "nfs4",       "cifs", "smb3",
                                                              "smbfs", "fuse.sshfs", "davfs"};
    if (std::find(kNetwork.begin(), kNetwork.end(), type) != kNetwork.end()) return true;
    // Block devices; squashfs on a loop device is a packaged application, not a drive.
    return source.substr(0, 5) == "/dev/" && type != "squashfs";
}

QString lastComponentShown(const std::string& path) {
    const auto slash = path.rfind('/');
    if (path == "/" || slash == std::string::npos) return toDisplay(path);
    return toDisplay(std::string_view(path).substr(slash + 1));
}

std::string configFolder(const std::string& home) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && *config == '/') return normalized(config);
    return childOf(home, ".config");
}

}  // namespace

std::vector<UserFolder> parseUserDirs(std::string_view text, const std::string& home) {
    std::vector<UserFolder> folders;
    for (std::string_view line : linesOf(text)) {
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        const std::size_t equals = line.find('=');
        if (line.substr(0, 4) != "XDG_" || equals == std::string_view::npos || equals < 8 ||
            line.substr(equals - 4, 4) != "_DIR")
            continue;
        const std::string key(line.substr(4, equals - 8));
        std::string_view value = line.substr(equals + 1);
        if (value.empty() || value.front() != '"') continue;
        value.remove_prefix(1);
        std::string path;
        if (value.substr(0, 5) == "$HOME") {
            value.remove_prefix(5);
            if (!value.empty() && value.front() != '/' && value.front() != '"') continue;
            path = home;
        } else if (value.empty() || value.front() != '/') {
            continue;
        }
        // Inside double quotes the shell takes \" \\ \$ and \` as the character itself.
        bool closed = false;
        for (std::size_t i = 0; i < value.size() && !closed; ++i) {
            if (value[i] == '\\' && i + 1 < value.size() &&
                std::string_view("\"\\$`").find(value[i + 1]) != std::string_view::npos) {
                path += value[++i];
            } else if (value[i] == '"') {
                closed = true;
            } else {
                path += value[i];
            }
        }
        if (closed) folders.push_back(UserFolder{key, normalized(path)});
    }
    return folders;
}

std::vector<Bookmark> parseBookmarks(std::string_view text) {
    std::vector<Bookmark> bookmarks;
    for (std::string_view line : linesOf(text)) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::size_t blank = line.find(' ');
        std::string_view uri = line.substr(0, blank);
        const std::string_view label =
            blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
        if (uri.substr(0, 7) != "file://") continue;
        uri.remove_prefix(7);
        if (uri.substr(0, 9) == "localhost") uri.remove_prefix(9);
        if (uri.empty() || uri.front() != '/') continue;
        bookmarks.push_back(Bookmark{normalized(percentDecoded(uri)),
                                     QString::fromUtf8(label.data(), qsizetype(label.size()))});
    }
    return bookmarks;
}

std::vector<std::string> parseDriveMounts(std::string_view mountinfo) {
    std::vector<std::string> drives;
    for (std::string_view line : linesOf(mountinfo)) {
        std::vector<std::string_view> fields;
        for (std::size_t start = 0; start <= line.size();) {
            const std::size_t end = std::min(line.find(' ', start), line.size());
            fields.push_back(line.substr(start, end - start));
            start = end + 1;
        }
        // id parent major:minor root mount-point options [optional fields...] - type source ...
        const auto dash = std::find(fields.begin() + std::min<std::size_t>(6, fields.size()),
                                    fields.end(), std::string_view("-"));
        if (fields.size() < 6 || fields.end() - dash < 3) continue;
        const std::string mountPoint = normalized(octalDecoded(fields[4]));
        if (mountPoint.front() != '/' || !realFileSystem(dash[1], dash[2]) ||
            systemFolder(mountPoint))
            continue;
        if (std::find(drives.begin(), drives.end(), mountPoint) == drives.end())
            drives.push_back(mountPoint);
    }
    return drives;
}

std::vector<Place> readPlaces() {
    const std::string home = homeFolder();
    std::vector<Place> places{{Place::Kind::Home, QStringLiteral(u"主目录"), home}};
    // Drives are not looked at: a share whose server has gone would hold the window.
    const auto add = [&](Place::Kind kind, QString label, const std::string& path) {
        const bool known = std::any_of(places.begin(), places.end(),
                                       [&](const Place& p) { return p.path == path; });
        if (!known && (kind == Place::Kind::Drive || kind == Place::Kind::Computer ||
                       isFolder(path)))
            places.push_back(Place{kind, std::move(label), path});
    };

    const std::string config = configFolder(home);
    const auto userDirs = parseUserDirs(readOrEmpty(childOf(config, "user-dirs.dirs")), home);
    for (const char* key : {"DESKTOP", "DOCUMENTS", "DOWNLOAD", "MUSIC", "PICTURES", "VIDEOS"}) {
        const auto found = std::find_if(userDirs.begin(), userDirs.end(),
                                        [&](const UserFolder& f) { return f.key == key; });
        // A folder the user has turned off is set to the home folder itself.
        std::string path = found != userDirs.end()              ? found->path
                           : std::string_view(key) == "DESKTOP" ? childOf(home, "Desktop")
                                                                : std::string();
        if (!path.empty()) add(Place::Kind::UserFolder, lastComponentShown(path), path);
    }

    std::string bookmarks = readOrEmpty(childOf(config, "gtk-3.0/bookmarks"));
    if (bookmarks.empty()) bookmarks = readOrEmpty(childOf(home, ".gtk-bookmarks"));
    for (const Bookmark& b : parseBookmarks(bookmarks))
        add(Place::Kind::Bookmark, b.label.isEmpty() ? lastComponentShown(b.path) : b.label,
            b.path);

    for (const std::string& drive : parseDriveMounts(readOrEmpty(kMountTable)))
        add(Place::Kind::Drive, lastComponentShown(drive), drive);

    add(Place::Kind::Computer, QStringLiteral(u"计算机"), "/");
    return places;
}

}  // namespace platform::file_dialog
