#pragma once
// The desktop shell: web pages, the file property view, the disc drive door. Every call here
// is silent on failure; none of their callers reports one.

#include <string_view>

class QUrl;

namespace platform {

// Opens `url` in the system's web browser.
void openUrl(const QUrl& url);

// Asks the desktop's file manager to show the properties of `path`
// (org.freedesktop.FileManager1.ShowItemProperties). Returns at once.
void showFileProperties(std::string_view path);

// Opens or closes the door of the default optical drive and returns when the drive is done.
void setDiscDoorOpen(bool open);

}  // namespace platform
