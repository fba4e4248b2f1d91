// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The places a user starts from, as the desktop's own file choosers offer them: the home
// folder, the user's folders (user-dirs.dirs) under their own names, the GTK bookmarks, the
// mounted drives, and the root as 计算机. Paths are bytes exactly as the files and the mount
// table give them; labels are for the screen.
//
// Reading is synchronous and cheap (three small files); UI thread only.

#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace platform::file_dialog {

struct Place {
    enum class Kind { Home, UserFolder, Bookmark, Drive, Computer };
    Kind kind;
    QString label;
    std::string path;

    bool operator==(const Place&) const = default;
};

// The places that exist now, in the order shown, each path once. Folders from the user's
// files are shown only when they exist; drives as the mount table lists them.
std::vector<Place> readPlaces();

// The mount table the drives come from; the system flags it when a mount comes or goes.
inline constexpr char kMountTable[] = "/proc/self/mountinfo";

// The parsers behind readPlaces, for what the files may hold.

struct UserFolder {
    std::string key;  // "MUSIC" of XDG_MUSIC_DIR
    std::string path;
};
// user-dirs.dirs: lines XDG_<KEY>_DIR="$HOME/<path>" or "/<path>", shell-quoted.
std::vector<UserFolder> parseUserDirs(std::string_view text, const std::string& home);

struct Bookmark {
    std::string path;  // percent-decoded bytes of a local file:// URI
    QString label;     // the label written after the URI (UTF-8), or empty
};
// GTK bookmarks: one URI per line, optionally followed by a blank and a label. Only local
// file:// URIs are places here.
std::vector<Bookmark> parseBookmarks(std::string_view text);

// The mount points (bytes, escapes decoded) of real file systems in a mountinfo text: block
// devices and network shares, not pseudo file systems, not the root, not the system's own
// folders (/boot, /usr, /var, ...), each once.
std::vector<std::string> parseDriveMounts(std::string_view mountinfo);

}  // namespace platform::file_dialog
