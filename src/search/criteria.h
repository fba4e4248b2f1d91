// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The finder's entry tests besides file names and folders: attributes, extended attributes,
// time stamps, size and content. Each is a settings object that copies itself from one of its
// own class and offers one test, Matches. The tests read only their own object and the
// constant tables, so a prepared copy may be used on the walking thread without a lock.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/dir_listing.h"
#include "search/persistent.h"

namespace search {

// Days since 30 December 1899; the time of day is the fraction.
using DateTime = double;

// The local date-time value of a UTC file time (milliseconds kept).
DateTime fileTimeToLocalDateTime(platform::FileTime utc);
DateTime encodeDate(int year, int month, int day);
DateTime encodeTime(int hour, int minute, int second, int millisecond);

enum class FileAttribute { Archive, Readonly, Hidden, System, Directory };

// A set of FileAttribute.
class FileAttributes {
public:
    FileAttributes() = default;
    FileAttributes(std::initializer_list<FileAttribute> items) {
        for (FileAttribute a : items) include(a);
    }
    bool contains(FileAttribute a) const { return bits_ & bit(a); }
    void include(FileAttribute a) { bits_ |= bit(a); }
    void exclude(FileAttribute a) { bits_ &= ~bit(a); }
    bool operator==(const FileAttributes&) const = default;

private:
    static unsigned bit(FileAttribute a) { return 1u << static_cast<unsigned>(a); }

    unsigned bits_ = 0;
};

class AttributeCriteria : public Persistent {
public:
    static constexpr std::uint32_t kDefault = 0x27;  // archive, read-only, hidden, system
    static constexpr std::uint32_t kTested = 0x37;   // the five bits the test looks at

    using Persistent::assign;
    void assign(const Persistent* Source) override;
    const char* className() const override { return "TAttributeCriteria"; }

    FileAttributes attributes() const;
    void setAttributes(const FileAttributes& value);
    bool exactMatch() const { return exactMatch_; }
    void setExactMatch(bool value) { exactMatch_ = value; }
    std::uint32_t bits() const { return bits_; }

    bool matches(std::uint32_t attributes) const;
    // Whether the answer can depend on the read-only bit (which costs a stat to learn).
    bool needsReadOnlyBit() const { return exactMatch_ || !(bits_ & platform::kAttrReadOnly); }

private:
    std::uint32_t bits_ = kDefault;
    bool exactMatch_ = false;
};

enum class AttributeStatus { Ignore, Set, Unset };

class ExtendedAttributeCriteria : public Persistent {
public:
    using Persistent::assign;
    void assign(const Persistent* Source) override;
    const char* className() const override { return "TAttributeCriteriaEx"; }

#define VORELA_ATTRIBUTE_STATUS(get, set, bit) \
    AttributeStatus get() const {              \
        return status(bit);                    \
    }                                          \
    void set(AttributeStatus value) {          \
        setStatus(bit, value);                 \
    }
    VORELA_ATTRIBUTE_STATUS(archive, setArchive, 0x20)
    VORELA_ATTRIBUTE_STATUS(readonly, setReadonly, 0x01)
    VORELA_ATTRIBUTE_STATUS(hidden, setHidden, 0x02)
    VORELA_ATTRIBUTE_STATUS(system, setSystem, 0x04)
    VORELA_ATTRIBUTE_STATUS(directory, setDirectory, 0x10)
    VORELA_ATTRIBUTE_STATUS(compressed, setCompressed, 0x800)
    VORELA_ATTRIBUTE_STATUS(encrypted, setEncrypted, 0x4000)
    VORELA_ATTRIBUTE_STATUS(offline, setOffline, 0x1000)
    VORELA_ATTRIBUTE_STATUS(reparsePoint, setReparsePoint, 0x400)
    VORELA_ATTRIBUTE_STATUS(sparseFile, setSparseFile, 0x200)
    VORELA_ATTRIBUTE_STATUS(temporary, setTemporary, 0x100)
#undef VORELA_ATTRIBUTE_STATUS

    std::uint32_t mustBeSet() const {
        return onAttr_;
    }
    std::uint32_t mustBeClear() const {
        return offAttr_;
    }
    bool isActive() const {
        return (onAttr_ | offAttr_) != 0;
    }
    bool matches(std::uint32_t attributes) const;

private:
    AttributeStatus status(std::uint32_t bit) const;
    void setStatus(std::uint32_t bit, AttributeStatus value);

    std::uint32_t onAttr_ = 0;
    std::uint32_t offAttr_ = 0;
};

class DateTimeCriteria : public Persistent {
public:
    using Persistent::assign;
    void assign(const Persistent* Source) override;
    const char* className() const override { return "TDateTimeCriteria"; }

#define VORELA_DATE_BOUND(get, set, field) \
    DateTime get() const {                 \
        return field;                      \
    }                                      \
    void set(DateTime value) {             \
        field = value;                     \
    }
    VORELA_DATE_BOUND(createdBefore, setCreatedBefore, createdBefore_)
    VORELA_DATE_BOUND(createdAfter, setCreatedAfter, createdAfter_)
    VORELA_DATE_BOUND(modifiedBefore, setModifiedBefore, modifiedBefore_)
    VORELA_DATE_BOUND(modifiedAfter, setModifiedAfter, modifiedAfter_)
    VORELA_DATE_BOUND(accessedBefore, setAccessedBefore, accessedBefore_)
    VORELA_DATE_BOUND(accessedAfter, setAccessedAfter, accessedAfter_)
#undef VORELA_DATE_BOUND

    bool isActive() const;
    // Creation, last-write and last-access times of the entry, UTC file times.
    bool matches(platform::FileTime created, platform::FileTime modified,
                 platform::FileTime accessed) const;

private:
    DateTime createdBefore_ = 0, createdAfter_ = 0;
    DateTime modifiedBefore_ = 0, modifiedAfter_ = 0;
    DateTime accessedBefore_ = 0, accessedAfter_ = 0;
};

class SizeCriteria : public Persistent {
public:
    using Persistent::assign;
    void assign(const Persistent* Source) override;
    const char* className() const override { return "TSizeCriteria"; }

    std::int64_t min() const { return min_; }
    void setMin(std::int64_t value) { min_ = value; }
    std::int64_t max() const { return max_; }
    void setMax(std::int64_t value) { max_ = value; }

    bool isActive() const { return min_ != 0 || max_ != 0; }
    bool matches(std::int64_t size) const;

private:
    std::int64_t min_ = 0;
    std::int64_t max_ = 0;
};

class ContentCriteria : public Persistent {
public:
    static constexpr std::size_t kBlockSize = 61440;

    ContentCriteria();
    using Persistent::assign;
    void assign(const Persistent* Source) override;
    const char* className() const override { return "TContentCriteria"; }

    const std::string& phrase() const { return phrase_; }
    void setPhrase(std::string_view value);
    bool ignoreCase() const { return ignoreCase_; }
    void setIgnoreCase(bool value);
    bool wholeWord() const { return wholeWord_; }
    void setWholeWord(bool value) { wholeWord_ = value; }

    // Derived from Phrase and IgnoreCase.
    std::size_t phraseLength() const { return searchPhrase_.size(); }
    const std::string& searchPhrase() const { return searchPhrase_; }
    const unsigned char* translationTable() const { return table_; }

    // Full path of a file. Never fails outward: a file that cannot be read does not match.
    bool matches(const std::string& path) const;

private:
    void update();

    std::string phrase_;
    bool ignoreCase_ = true;
    bool wholeWord_ = false;
    std::string searchPhrase_;
    const unsigned char* table_;
};

// Does the file at `path` hold the content criteria's phrase (by its rules)?
bool fileContainsPhrase(const std::string& path, const ContentCriteria& criteria);

}  // namespace search
