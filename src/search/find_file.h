#pragma once
// The background file finder: walks folders, tests every entry against its criteria and
// reports the accepted ones through events, on the caller's thread or on a worker.
//
// Threads: the UI thread (the thread that created the finder) runs Execute, Abort, the begin
// and finish steps and the completion event. In threaded mode the walk, with the
// folder-change and file-match events, runs on the worker (TSearchThread). Lock order: the
// finder's recursive lock `lock_` is the only lock; it is held only around a handler call
// (worker) and around the abort step (UI thread), never while waiting for anything else.
//
// Shared fields: aborted_, destroying_ and abortRequested_ are atomics (written by the UI thread,
// read by the worker at every step); currentLevel_ is an atomic written by the walking thread.
// busy_, the prepared search, the worker reference and workerError_ are handed over by starting and
// joining the worker: the UI thread writes them only while no worker runs, and the worker writes
// workerError_ only before it posts its completion.

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/dir_listing.h"
#include "search/criteria.h"
#include "search/persistent.h"

namespace search {

// Cuts at ";", trims blanks and control characters, drops empty pieces and pieces equal to an
// earlier one (ignoring letter case unless `caseSensitive`). Order is kept.
std::vector<std::string> SplitList(std::string_view text, bool caseSensitive = false);

class TFileCriteria : public TPersistent {
public:
    using TPersistent::Assign;
    void Assign(const TPersistent* Source) override;
    const char* ClassName() const override { return "TFileCriteria"; }

    const std::string& FileName() const { return fileName_; }
    void setFileName(std::string_view value) { fileName_ = value; }
    const std::string& Location() const { return location_; }
    void setLocation(std::string_view value) { location_ = value; }
    std::vector<std::string>& Included() { return included_; }
    const std::vector<std::string>& Included() const { return included_; }
    std::vector<std::string>& Excluded() { return excluded_; }
    const std::vector<std::string>& Excluded() const { return excluded_; }
    bool Subfolders() const { return subfolders_; }
    void setSubfolders(bool value) { subfolders_ = value; }
    std::uint16_t MinLevel() const { return minLevel_; }
    void setMinLevel(std::uint16_t value) { minLevel_ = value; }
    std::uint16_t MaxLevel() const { return maxLevel_; }
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

class TSearchCriteria : public TPersistent {
public:
    using TPersistent::Assign;
    void Assign(const TPersistent* Source) override;
    const char* ClassName() const override { return "TSearchCriteria"; }

    TFileCriteria& Files() { return files_; }
    const TFileCriteria& Files() const { return files_; }
    void setFiles(const TFileCriteria& value) { files_.Assign(value); }
    TAttributeCriteria& Attribute() { return attribute_; }
    const TAttributeCriteria& Attribute() const { return attribute_; }
    void setAttribute(const TAttributeCriteria& value) { attribute_.Assign(value); }
    TAttributeCriteriaEx& AttributeEx() { return attributeEx_; }
    const TAttributeCriteriaEx& AttributeEx() const { return attributeEx_; }
    void setAttributeEx(const TAttributeCriteriaEx& value) { attributeEx_.Assign(value); }
    TDateTimeCriteria& TimeStamp() { return timeStamp_; }
    const TDateTimeCriteria& TimeStamp() const { return timeStamp_; }
    void setTimeStamp(const TDateTimeCriteria& value) { timeStamp_.Assign(value); }
    TSizeCriteria& Size() { return size_; }
    const TSizeCriteria& Size() const { return size_; }
    void setSize(const TSizeCriteria& value) { size_.Assign(value); }
    TContentCriteria& Content() { return content_; }
    const TContentCriteria& Content() const { return content_; }
    void setContent(const TContentCriteria& value) { content_.Assign(value); }

private:
    TFileCriteria files_;
    TAttributeCriteria attribute_;
    TAttributeCriteriaEx attributeEx_;
    TDateTimeCriteria timeStamp_;
    TSizeCriteria size_;
    TContentCriteria content_;
};

// The platform's raw find data of an entry.
struct TWin32FindData {
    std::uint32_t dwFileAttributes = 0;
    platform::FileTime ftCreationTime = 0;
    platform::FileTime ftLastAccessTime = 0;
    platform::FileTime ftLastWriteTime = 0;
    std::uint32_t nFileSizeHigh = 0;
    std::uint32_t nFileSizeLow = 0;
    std::string cFileName;
    std::string cAlternateFileName;  // no short names here: always empty
};

// The directory-search record of one entry, handed to handlers read-only for the duration of
// the call. Name is always there; the other fields are read from the file system on first
// use (on the calling thread, during the call), so a walk that needs only names costs no stat.
class TSearchRec {
public:
    std::string Name;

    // Last-write time as a packed local DOS date (high word) and time (low word); -1 when it
    // does not fit that format.
    std::int32_t Time() const;
    // The low 32 bits of the size.
    std::int32_t Size() const { return static_cast<std::int32_t>(FindData().nFileSizeLow); }
    std::uint32_t Attr() const { return FindData().dwFileAttributes; }
    const TWin32FindData& FindData() const;

    std::int64_t size64() const {
        const TWin32FindData& d = FindData();
        return static_cast<std::int64_t>(d.nFileSizeHigh) * 4294967296LL + d.nFileSizeLow;
    }
    // Attribute bits without the read-only bit unless already known (no stat for plain files).
    std::uint32_t basicAttributes() const;

    explicit TSearchRec(platform::DirListing& listing);
    explicit TSearchRec(const platform::DirEntry& entry);

private:
    platform::DirListing* listing_ = nullptr;
    mutable std::optional<TWin32FindData> data_;
};

enum TFolderIgnore { fiNone, fiJustThis, fiJustSubfolders, fiThisAndSubfolders };
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TFindFile;
using TNotifyEvent = std::function<void(TFindFile* Sender)>;
using TFileMatchEvent =
    std::function<void(TFindFile* Sender, const std::string& Folder, const TSearchRec& FileInfo)>;
using TFolderChangeEvent =
    std::function<void(TFindFile* Sender, const std::string& Folder, TFolderIgnore& IgnoreFolder)>;

struct TTargetFolder {
    std::string Path;  // absolute, ends in a separator
    bool Subfolders = true;
    std::vector<std::string> Masks;
    std::uint16_t MinLevel = 0;
    std::uint16_t MaxLevel = 0;
};

class TTargetFolderList {
public:
    // Targets in list order; new ones go to the front, the walk goes from the back.
    std::vector<std::unique_ptr<TTargetFolder>>& items() { return items_; }
    const std::vector<std::unique_ptr<TTargetFolder>>& items() const { return items_; }
    std::vector<std::string> Excluded;

    // The target for `folder` (made absolute, with a final separator), created at the front
    // when the list has none yet.
    TTargetFolder& AddFolder(std::string_view folder);
    bool IsExcluded(std::string_view folder, std::string_view name) const;

private:
    std::vector<std::unique_ptr<TTargetFolder>> items_;
};

// The search as prepared when it begins: targets and private copies of the criteria.
class TTargetSearch {
public:
    explicit TTargetSearch(const TSearchCriteria& criteria);

    TTargetFolderList TargetFolders;
    TAttributeCriteria Attribute;
    TAttributeCriteriaEx AttributeEx;
    TDateTimeCriteria TimeStamp;
    TSizeCriteria Size;
    TContentCriteria Content;

    // Size, attributes, extended attributes, time stamps, exclusion, content: in this order,
    // stopping at the first that fails.
    bool Matches(const std::string& folder, const TSearchRec& rec) const;

private:
    void BuildFolders(const TFileCriteria& files);
};

class TSearchThread;

class TFindFile : public QObject {
    Q_OBJECT
public:
    explicit TFindFile(QObject* owner = nullptr);
    ~TFindFile() override;

    TSearchCriteria& Criteria() { return *criteria_; }
    void setCriteria(const TSearchCriteria& value) { criteria_->Assign(value); }
    bool Threaded() const { return threaded_; }
    void setThreaded(bool value) { threaded_ = value; }
    TThreadPriority ThreadPriority() const { return threadPriority_; }
    void setThreadPriority(TThreadPriority value) { threadPriority_ = value; }
    bool Busy() const { return busy_; }
    bool Aborted() const { return aborted_; }
    std::uint16_t CurrentLevel() const { return currentLevel_; }

    // Set while idle; called as described at the top of this file.
    TFileMatchEvent OnFileMatch;
    TFolderChangeEvent OnFolderChange;
    TNotifyEvent OnSearchBegin;
    TNotifyEvent OnSearchFinish;
    TNotifyEvent OnSearchAbort;

    // Starts a search; nothing while Busy. Not threaded it returns after the finish event.
    void Execute();
    // Asks a running search to stop; returns after the abort event. Never blocks the UI
    // thread: while the worker holds the lock, pending events are processed between tries.
    void Abort();

protected:
    virtual void DoSearchBegin();
    virtual void DoSearchFinish();
    virtual void DoSearchAbort();
    virtual TFolderIgnore DoFolderChange(const std::string& folder);
    virtual void DoFileMatch(const std::string& folder, const TSearchRec& rec);
    virtual bool AcceptFile(const std::string& folder, const TSearchRec& rec);

private:
    // The worker's completion message, queued to this object's thread.
    Q_INVOKABLE void completeThreadedSearch();

    friend class TSearchThread;

    void SearchBegin();
    void SearchFinish();
    void SearchAll();
    void SearchIn(const std::string& folder);
    void runWorker();
    // Whether the walk may enter `path` (a folder not yet walked in this target).
    bool enterOnce(const std::string& path);
    // Walking thread: before taking the lock for a handler, lets a waiting Abort go first.
    void yieldToAbort() const;

    struct FileId {
        std::uint64_t device;
        std::uint64_t inode;
        bool operator==(const FileId&) const = default;
    };
    struct FileIdHash {
        std::size_t operator()(const FileId& id) const {
            return std::hash<std::uint64_t>()(id.inode * 31 + id.device);
        }
    };

    std::unique_ptr<TSearchCriteria> criteria_;
    bool threaded_ = false;
    TThreadPriority threadPriority_ = tpNormal;
    std::atomic<bool> aborted_{false};
    std::atomic<bool> destroying_{false};
    std::atomic<bool> abortRequested_{false};  // an Abort is waiting for the lock
    bool busy_ = false;
    std::atomic<std::uint16_t> currentLevel_{0};
    std::unique_ptr<TTargetSearch> targetSearch_;
    const TTargetFolder* currentTarget_ = nullptr;   // walking thread
    std::unordered_set<FileId, FileIdHash> walked_;  // walking thread
    std::unique_ptr<TSearchThread> worker_;
    std::optional<std::string> workerError_;
    std::recursive_mutex lock_;
};

}  // namespace search
