#pragma once
// The background file finder: walks folders, tests every entry against its criteria and
// reports the accepted ones through events, on the caller's thread or on a worker.
//
// Threads: the UI thread (the thread that created the finder) runs Execute, Abort, the begin
// and finish steps and the completion event. In threaded mode the walk, with the
// folder-change and file-match events, runs on the worker (SearchWorker). Lock order: the
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
    void setExtendedAttribute(const ExtendedAttributeCriteria& value) { attributeEx_.assign(value); }
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

// What a folder-change handler asks the walk to skip in the folder it was told about.
enum class FolderIgnore { None, JustThis, JustSubfolders, ThisAndSubfolders };
enum class ThreadPriority { Idle, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

class FileFinder;
using SearchEventHandler = std::function<void(FileFinder* Sender)>;
using FileMatchHandler =
    std::function<void(FileFinder* Sender, const std::string& Folder, const SearchRecord& FileInfo)>;
using FolderChangeHandler =
    std::function<void(FileFinder* Sender, const std::string& Folder, FolderIgnore& IgnoreFolder)>;

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

class SearchWorker;

class FileFinder : public QObject {
    Q_OBJECT
public:
    explicit FileFinder(QObject* owner = nullptr);
    ~FileFinder() override;

    SearchCriteria& criteria() { return *criteria_; }
    void setCriteria(const SearchCriteria& value) { criteria_->assign(value); }
    bool threaded() const { return threaded_; }
    void setThreaded(bool value) { threaded_ = value; }
    ThreadPriority threadPriority() const { return threadPriority_; }
    void setThreadPriority(ThreadPriority value) { threadPriority_ = value; }
    bool isBusy() const { return busy_; }
    bool wasAborted() const { return aborted_; }
    std::uint16_t currentLevel() const { return currentLevel_; }

    // Set while idle; called as described at the top of this file.
    FileMatchHandler onFileMatch;
    FolderChangeHandler onFolderChange;
    SearchEventHandler onSearchBegin;
    SearchEventHandler onSearchFinish;
    SearchEventHandler onSearchAbort;

    // Starts a search; nothing while Busy. Not threaded it returns after the finish event.
    void execute();
    // Asks a running search to stop; returns after the abort event. Never blocks the UI
    // thread: while the worker holds the lock, pending events are processed between tries.
    void abort();

protected:
    virtual void notifySearchBegin();
    virtual void notifySearchFinish();
    virtual void notifySearchAbort();
    virtual FolderIgnore notifyFolderChange(const std::string& folder);
    virtual void notifyFileMatch(const std::string& folder, const SearchRecord& rec);
    virtual bool acceptFile(const std::string& folder, const SearchRecord& rec);

private:
    // The worker's completion message, queued to this object's thread.
    Q_INVOKABLE void completeThreadedSearch();

    friend class SearchWorker;

    void beginSearch();
    void finishSearch();
    void walkTargets();
    void walkFolder(const std::string& folder);
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

    std::unique_ptr<SearchCriteria> criteria_;
    bool threaded_ = false;
    ThreadPriority threadPriority_ = ThreadPriority::Normal;
    std::atomic<bool> aborted_{false};
    std::atomic<bool> destroying_{false};
    std::atomic<bool> abortRequested_{false};  // an Abort is waiting for the lock
    bool busy_ = false;
    std::atomic<std::uint16_t> currentLevel_{0};
    std::unique_ptr<PreparedSearch> targetSearch_;
    const TargetFolder* currentTarget_ = nullptr;   // walking thread
    std::unordered_set<FileId, FileIdHash> walked_;  // walking thread
    std::unique_ptr<SearchWorker> worker_;
    std::optional<std::string> workerError_;
    std::recursive_mutex lock_;
};

}  // namespace search
