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
using TDateTime = double;

// The local date-time value of a UTC file time (milliseconds kept).
TDateTime fileTimeToLocalDateTime(platform::FileTime utc);
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);

enum TFileAttribute { ffArchive, ffReadonly, ffHidden, ffSystem, ffDirectory };

// A set of TFileAttribute.
class TFileAttributes {
public:
    TFileAttributes() = default;
    TFileAttributes(std::initializer_list<TFileAttribute> items) {
        for (TFileAttribute a : items) include(a);
    }
    bool contains(TFileAttribute a) const { return bits_ & (1u << a); }
    void include(TFileAttribute a) { bits_ |= 1u << a; }
    void exclude(TFileAttribute a) { bits_ &= ~(1u << a); }
    bool operator==(const TFileAttributes&) const = default;

private:
    unsigned bits_ = 0;
};

class TAttributeCriteria : public TPersistent {
public:
    static constexpr std::uint32_t kDefault = 0x27;  // archive, read-only, hidden, system
    static constexpr std::uint32_t kTested = 0x37;   // the five bits the test looks at

    using TPersistent::Assign;
    void Assign(const TPersistent* Source) override;
    const char* ClassName() const override { return "TAttributeCriteria"; }

    TFileAttributes Attributes() const;
    void setAttributes(const TFileAttributes& value);
    bool ExactMatch() const { return exactMatch_; }
    void setExactMatch(bool value) { exactMatch_ = value; }
    std::uint32_t bits() const { return bits_; }

    bool Matches(std::uint32_t attributes) const;
    // Whether the answer can depend on the read-only bit (which costs a stat to learn).
    bool needsReadOnlyBit() const { return exactMatch_ || !(bits_ & platform::kAttrReadOnly); }

private:
    std::uint32_t bits_ = kDefault;
    bool exactMatch_ = false;
};

enum TFileAttributeStatus { fsIgnore, fsSet, fsUnset };

class TAttributeCriteriaEx : public TPersistent {
public:
    using TPersistent::Assign;
    void Assign(const TPersistent* Source) override;
    const char* ClassName() const override { return "TAttributeCriteriaEx"; }

#define VORELA_ATTRIBUTE_STATUS(Name, bit)       \
    TFileAttributeStatus Name() const {          \
        return status(bit);                      \
    }                                            \
    void set##Name(TFileAttributeStatus value) { \
        setStatus(bit, value);                   \
    }
    VORELA_ATTRIBUTE_STATUS(Archive, 0x20)
    VORELA_ATTRIBUTE_STATUS(Readonly, 0x01)
    VORELA_ATTRIBUTE_STATUS(Hidden, 0x02)
    VORELA_ATTRIBUTE_STATUS(System, 0x04)
    VORELA_ATTRIBUTE_STATUS(Directory, 0x10)
    VORELA_ATTRIBUTE_STATUS(Compressed, 0x800)
    VORELA_ATTRIBUTE_STATUS(Encrypted, 0x4000)
    VORELA_ATTRIBUTE_STATUS(Offline, 0x1000)
    VORELA_ATTRIBUTE_STATUS(ReparsePoint, 0x400)
    VORELA_ATTRIBUTE_STATUS(SparseFile, 0x200)
    VORELA_ATTRIBUTE_STATUS(Temporary, 0x100)
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
    bool Matches(std::uint32_t attributes) const;

private:
    TFileAttributeStatus status(std::uint32_t bit) const;
    void setStatus(std::uint32_t bit, TFileAttributeStatus value);

    std::uint32_t onAttr_ = 0;
    std::uint32_t offAttr_ = 0;
};

class TDateTimeCriteria : public TPersistent {
public:
    using TPersistent::Assign;
    void Assign(const TPersistent* Source) override;
    const char* ClassName() const override { return "TDateTimeCriteria"; }

#define VORELA_DATE_BOUND(Name, field) \
    TDateTime Name() const {           \
        return field;                  \
    }                                  \
    void set##Name(TDateTime value) {  \
        field = value;                 \
    }
    VORELA_DATE_BOUND(CreatedBefore, createdBefore_)
    VORELA_DATE_BOUND(CreatedAfter, createdAfter_)
    VORELA_DATE_BOUND(ModifiedBefore, modifiedBefore_)
    VORELA_DATE_BOUND(ModifiedAfter, modifiedAfter_)
    VORELA_DATE_BOUND(AccessedBefore, accessedBefore_)
    VORELA_DATE_BOUND(AccessedAfter, accessedAfter_)
#undef VORELA_DATE_BOUND

    bool isActive() const;
    // Creation, last-write and last-access times of the entry, UTC file times.
    bool Matches(platform::FileTime created, platform::FileTime modified,
                 platform::FileTime accessed) const;

private:
    TDateTime createdBefore_ = 0, createdAfter_ = 0;
    TDateTime modifiedBefore_ = 0, modifiedAfter_ = 0;
    TDateTime accessedBefore_ = 0, accessedAfter_ = 0;
};

class TSizeCriteria : public TPersistent {
public:
    using TPersistent::Assign;
    void Assign(const TPersistent* Source) override;
    const char* ClassName() const override { return "TSizeCriteria"; }

    std::int64_t Min() const { return min_; }
    void setMin(std::int64_t value) { min_ = value; }
    std::int64_t Max() const { return max_; }
    void setMax(std::int64_t value) { max_ = value; }

    bool isActive() const { return min_ != 0 || max_ != 0; }
    bool Matches(std::int64_t size) const;

private:
    std::int64_t min_ = 0;
    std::int64_t max_ = 0;
};

class TContentCriteria : public TPersistent {
public:
    static constexpr std::size_t kBlockSize = 61440;

    TContentCriteria();
    using TPersistent::Assign;
    void Assign(const TPersistent* Source) override;
    const char* ClassName() const override { return "TContentCriteria"; }

    const std::string& Phrase() const { return phrase_; }
    void setPhrase(std::string_view value);
    bool IgnoreCase() const { return ignoreCase_; }
    void setIgnoreCase(bool value);
    bool WholeWord() const { return wholeWord_; }
    void setWholeWord(bool value) { wholeWord_ = value; }

    // Derived from Phrase and IgnoreCase.
    std::size_t PhraseLen() const { return searchPhrase_.size(); }
    const std::string& SearchPhrase() const { return searchPhrase_; }
    const unsigned char* TranslationTable() const { return table_; }

    // Full path of a file. Never fails outward: a file that cannot be read does not match.
    bool Matches(const std::string& path) const;

private:
    void update();

    std::string phrase_;
    bool ignoreCase_ = true;
    bool wholeWord_ = false;
    std::string searchPhrase_;
    const unsigned char* table_;
};

// Does the file at `path` hold the content criteria's phrase (by its rules)?
bool FileContainsPhrase(const std::string& path, const TContentCriteria& criteria);

}  // namespace search
