// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The xesam fields of a track for the media-player interface. UI thread.

#include <QString>
#include <QVariantMap>

#include <string>

namespace app {

// xesam:title, xesam:artist and xesam:album of the file at `path`, from its tags (legacy 8-bit
// text read by platform::legacyText, as names are); `caption` is the title where the tags
// name none, and is left out when it is empty too. The tags of the last path asked for are
// kept, so callers may ask after every change of state.
QVariantMap tagMetadata(const std::string& path, const QString& caption);

}  // namespace app
