// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The finder's settings (file names, locations, folders to leave out, and the entry tests of
// criteria.h) and the search prepared from them when a walk begins: the target folders with
// their masks and private copies of the tests. A prepared search is read-only while the walk
// runs, so the walking thread uses it without a lock.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "search/criteria.h"
#include "search/persistent.h"
#include "search/search_record.h"

namespace search {

// Cuts at ";", trims blanks and control characters, drops empty pieces and pieces equal to an
// earlier one (ignoring letter case unless `caseSensitive`). Order is kept.
std::vector<std::string> splitList(std::string_view text, bool caseSensitive = false);

class FileCriteria : public Persistent {
public:
    using Persistent::assign;
    void assign(const Persistent* Source) override;
    const char* className() const override { return "TFileCriteria"; }

    const std::string& fileName() const { return fileName_; }
    void setFileName(std::string_view value) { fileName_ = value; }
    const std::string& location() const { return location_; }
    void setLocation(std::string_view value) { location_ = value; }
    std::vector<std::string>& included() { return included_; }
    const std::vector<std::string>& included() const { return included_; }
    std::vector<std::string>& excluded() { return excluded_; }
    const std::vector<std::string>& excluded() const { return excluded_; }
    bool subfolders() const { return subfolders_; }
    void setSubfolders(bool value) { subfolders_ = value; }
    std::uint16_t minLevel() const { return minLevel_; }
    void setMinLevel(std::uint16_t value) { minLevel_ = value; }
    std::uint16_t maxLevel() const { return maxLevel_; }
    void setMaxLevel(std::uint16_t value) { maxLevel_ = value; }

private:
    std::string fileName_;
    std::string location_;
    std::vector<std::string> included_;
    std::vector<std::string> excluded_;
    bool subfolders_ = true;
    std::uint16_t minLevel_ = 0;
    std::uint16_t maxLevel_ = 0;
};

class SearchCriteria : public Persistent {
public:
    using Persistent::assign;
    void assign(const Persistent* Source) override;
    const char* className() const override { return "TSearchCriteria"; }

    FileCriteria& files() { return files_; }
    const FileCriteria& files() const { return files_; }
    void setFiles(const FileCriteria& value) { files_.assign(value); }
    AttributeCriteria& attribute() { return attribute_; }
    const AttributeCriteria& attribute() const { return attribute_; }
    void setAttribute(const AttributeCriteria& value) { attribute_.assign(value); }
    ExtendedAttributeCriteria& extendedAttribute() { return attributeEx_; }
    const ExtendedAttributeCriteria& extendedAttribute() const { return attributeEx_; }
    void setExtendedAttribute(const ExtendedAttributeCriteria& value) {
        attributeEx_.assign(value);
    }
    DateTimeCriteria& timeStamp() { return timeStamp_; }
    const DateTimeCriteria& timeStamp() const { return timeStamp_; }
    void setTimeStamp(const DateTimeCriteria& value) { timeStamp_.assign(value); }
    SizeCriteria& size() { return size_; }
    const SizeCriteria& size() const { return size_; }
    void setSize(const SizeCriteria& value) { size_.assign(value); }
    ContentCriteria& content() { return content_; }
    const ContentCriteria& content() const { return content_; }
    void setContent(const ContentCriteria& value) { content_.assign(value); }

private:
    FileCriteria files_;
    AttributeCriteria attribute_;
    ExtendedAttributeCriteria attributeEx_;
    DateTimeCriteria timeStamp_;
    SizeCriteria size_;
    ContentCriteria content_;
};

struct TargetFolder {
    std::string path;  // absolute, ends in a separator
    bool subfolders = true;
    std::vector<std::string> masks;
    std::uint16_t minLevel = 0;
    std::uint16_t maxLevel = 0;
};

class TargetFolderList {
public:
    // Targets in list order; new ones go to the front, the walk goes from the back.
    std::vector<std::unique_ptr<TargetFolder>>& items() { return items_; }
    const std::vector<std::unique_ptr<TargetFolder>>& items() const { return items_; }
    std::vector<std::string> excluded;

    // The target for `folder` (made absolute, with a final separator), created at the front
    // when the list has none yet.
    TargetFolder& addFolder(std::string_view folder);
    bool isExcluded(std::string_view folder, std::string_view name) const;

private:
    std::vector<std::unique_ptr<TargetFolder>> items_;
};

// The search as prepared when it begins: targets and private copies of the criteria.
class PreparedSearch {
public:
    explicit PreparedSearch(const SearchCriteria& criteria);

    TargetFolderList targets;
    AttributeCriteria attribute;
    ExtendedAttributeCriteria extendedAttribute;
    DateTimeCriteria timeStamp;
    SizeCriteria size;
    ContentCriteria content;

    // Size, attributes, extended attributes, time stamps, exclusion, content: in this order,
    // stopping at the first that fails.
    bool matches(const std::string& folder, const SearchRecord& rec) const;

private:
    void buildFolders(const FileCriteria& files);
};

}  // namespace search
