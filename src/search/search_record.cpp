// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/search_record.h"

#include <ctime>

namespace search {
namespace {

FindData findDataOf(std::string_view name, const platform::FileDetails& d) {
    FindData out;
    out.attributes = d.attributes;
    out.creationTime = d.creationTime;
    out.lastAccessTime = d.lastAccessTime;
    out.lastWriteTime = d.lastWriteTime;
    out.sizeHigh = static_cast<std::uint32_t>(d.size >> 32);
    out.sizeLow = static_cast<std::uint32_t>(d.size);
    out.fileName = name;
    return out;
}

}  // namespace

SearchRecord::SearchRecord(platform::DirListing& listing)
    : name(listing.name()), listing_(&listing) {}

SearchRecord::SearchRecord(const platform::DirEntry& entry)
    : name(entry.name), data_(findDataOf(entry.name, entry.details)) {}

const FindData& SearchRecord::findData() const {
    if (!data_) data_ = findDataOf(name, listing_->details());
    return *data_;
}

std::uint32_t SearchRecord::basicAttributes() const {
    if (data_ || !listing_) return findData().attributes;
    return listing_->basicAttributes();
}

std::int32_t SearchRecord::dosTime() const {
    const platform::FileTime ft = findData().lastWriteTime;
    const std::time_t seconds = static_cast<std::time_t>(ft / 10000000ULL) - 11644473600LL;
    std::tm t{};
    if (::localtime_r(&seconds, &t) == nullptr) return -1;
    const int year = t.tm_year + 1900;
    if (year < 1980 || year > 2107) return -1;
    const auto date =
        static_cast<std::uint32_t>(((year - 1980) << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday);
    const auto time =
        static_cast<std::uint32_t>((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2));
    return static_cast<std::int32_t>((date << 16) | time);
}

}  // namespace search
