// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Paths as the file dialog shows them and as the user types them. Bytes stay bytes: a path is
// shown one component at a time through the code page, and a typed path is resolved one
// component at a time against what the folders really hold, so a name typed the way the
// dialog shows it (a GBK folder read as Chinese under a UTF-8 locale) finds the real bytes.
//
// UI thread only (the run-wide start folder is unguarded state).

#include <QString>

#include <string>
#include <string_view>

namespace platform::file_dialog {

// "/a/b" -> "/a", "/a" -> "/", "/" -> "/".
std::string parentOf(const std::string& folder);
// Without a final separator, except the root itself; "" is the root.
std::string normalized(std::string folder);
// `folder` and `name` joined by one separator.
std::string childOf(const std::string& folder, std::string_view name);
bool isFolder(const std::string& path);
bool exists(const std::string& path);

// The user's home folder; "/" when neither HOME nor the password database has one.
std::string homeFolder();

// The first character of `text` that the code page cannot hold; empty when there is none.
QString firstUnrepresentable(const QString& text);
// "“text”中的字符“x”不能用系统字符集 GBK 表示" (without a closing full stop).
QString unrepresentableText(const QString& what, const QString& text);

struct TypedPath {
    std::string path;          // absolute, "." and ".." resolved by the text, not by links
    bool folderMeant = false;  // typed with a final separator
    QString refused;           // a component the code page cannot hold; `path` is then empty
};

// A typed text whose bytes are known: a completion the user took, or the listed entry under
// the cursor. A text that ends in a separator also stands for the folder in front of whatever
// is typed after it.
struct KnownText {
    QString text;
    std::string path;
};

// What `text` stands for, typed in `folder`: "~" and "~/x" (and "~user") are home folders,
// "/..." is absolute, anything else is relative to `folder`; "." and ".." are resolved as
// written. Each other component is, in this order: the locale's bytes for it when such an
// entry exists; else the first entry of its folder that is shown as the component; else the
// locale's bytes (a new name).
TypedPath resolveTyped(const QString& text, const std::string& folder,
                       const KnownText* known = nullptr);

// The folder a new dialog opens in: where the last dialog of this run ended, unless the
// process's current folder has moved since (the folder command makes its choice current), in
// which case the current folder. Nothing is kept between runs.
std::string startFolder();
void rememberEndFolder(const std::string& folder);

}  // namespace platform::file_dialog
