// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the file dialog lists of a folder: its sub-folders and the files the chosen type's
// patterns match, each with what the list shows of it. Names stay their bytes; the shown text,
// the collation key and the type's description are made once per listing.
//
// UI thread only.

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dir_listing.h"

namespace platform::file_dialog {

struct FolderEntry {
    std::string name;  // the exact bytes
    bool folder = false;
    std::uint64_t size = 0;
    FileTime written = 0;
    QString shown;    // the name through the code page
    std::string key;  // collation key of the name
    QString type;     // the desktop's description of the kind of file, in the UI language
};

// Patterns of a file type ("*.mp3;*.MP3"), each a NameMask: a name the code page cannot read is
// matched on its bytes.
class NameFilter {
public:
    NameFilter() = default;
    explicit NameFilter(const std::vector<std::string>& masks);
    bool empty() const { return masks_.empty(); }
    bool matches(std::string_view name) const;

private:
    std::vector<NameMask> masks_;
};

struct ListingOptions {
    bool foldersOnly = false;
    bool showHidden = false;  // dot names
};

// The entries of `folder`; `error` is the system's error number when it cannot be read (and
// the list is then empty), else 0.
std::vector<FolderEntry> listFolder(const std::string& folder, const NameFilter& filter,
                                    const ListingOptions& options, int& error);

}  // namespace platform::file_dialog
