// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for what the file dialog's places are read from: the mount table, the GTK
// bookmarks and user-dirs.dirs, which the system, the desktop or the user wrote. The input is
// split at its first two NUL bytes into the three texts. Every place must come out as an
// absolute path without a final separator (but the root), and no drive may be the root or a
// pseudo file system; a whole path is shown with one separator per separator of its bytes.
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "platform/code_page.h"
#include "platform/file_dialog/dialog_paths.h"
#include "platform/file_dialog/places.h"

namespace {

using fuzz_support::check;
namespace fd = platform::file_dialog;

void checkPath(const std::string& path, const char* what) {
    check(!path.empty() && path.front() == '/', what);
    check(path == "/" || path.back() != '/', "no final separator");
    const QString shown = platform::toDisplayPath(path);
    check(shown.count(u'/') == qsizetype(std::count(path.begin(), path.end(), '/')),
          "shown with its separators");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view parts[3];
    for (int i = 0; i < 2; ++i) {
        const std::size_t nul = input.find('\0');
        parts[i] = input.substr(0, nul);
        input = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);
    }
    parts[2] = input;

    for (const std::string& drive : fd::parseDriveMounts(parts[0])) {
        checkPath(drive, "a drive is absolute");
        check(drive != "/", "the root is 计算机, not a drive");
    }
    for (const fd::Bookmark& b : fd::parseBookmarks(parts[1]))
        checkPath(b.path, "a bookmark is absolute");
    for (const fd::UserFolder& f : fd::parseUserDirs(parts[2], "/home/u"))
        checkPath(f.path, "a user folder is absolute");
    return 0;
}
