// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop shell: web pages, the file property view, the disc drive door. Every call here
// is silent on failure; none of their callers reports one.

#include <optional>
#include <string>
#include <string_view>

class QUrl;

namespace platform {

// A file URL carries the name's bytes percent-encoded, whatever the locale: these turn a
// path's bytes into such a URL and back, so a GBK name survives the trip to a file manager or
// from a drop. Not a local file: none.
QUrl localFileUrl(std::string_view path);
std::optional<std::string> localPathOfUrl(const QUrl& url);

// Opens `url` in the system's web browser.
void openUrl(const QUrl& url);

// Asks the desktop's file manager to show the properties of `path`
// (org.freedesktop.FileManager1.ShowItemProperties). Returns at once.
void showFileProperties(std::string_view path);

// Opens or closes the door of the default optical drive and returns when the drive is done.
void setDiscDoorOpen(bool open);

}  // namespace platform
