// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One entry found by the walk, as handed to the finder's tests and handlers.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/dir_listing.h"

namespace search {

// The platform's raw find data of an entry.
struct FindData {
    std::uint32_t attributes = 0;
    platform::FileTime creationTime = 0;
    platform::FileTime lastAccessTime = 0;
    platform::FileTime lastWriteTime = 0;
    std::uint32_t sizeHigh = 0;
    std::uint32_t sizeLow = 0;
    std::string fileName;
    std::string alternateFileName;  // no short names here: always empty
};

// The directory-search record of one entry, handed to handlers read-only for the duration of
// the call. The name is always there; the other fields are read from the file system on first
// use (on the calling thread, during the call), so a walk that needs only names costs no stat.
class SearchRecord {
public:
    std::string name;

    // Last-write time as a packed local DOS date (high word) and time (low word); -1 when it
    // does not fit that format.
    std::int32_t dosTime() const;
    // The low 32 bits of the size.
    std::int32_t sizeLow() const { return static_cast<std::int32_t>(findData().sizeLow); }
    std::uint32_t attributes() const { return findData().attributes; }
    const FindData& findData() const;

    std::int64_t size64() const {
        const FindData& d = findData();
        return static_cast<std::int64_t>(d.sizeHigh) * 4294967296LL + d.sizeLow;
    }
    // Attribute bits without the read-only bit unless already known (no stat for plain files).
    std::uint32_t basicAttributes() const;

    explicit SearchRecord(platform::DirListing& listing);
    explicit SearchRecord(const platform::DirEntry& entry);

private:
    platform::DirListing* listing_ = nullptr;
    mutable std::optional<FindData> data_;
};

}  // namespace search
