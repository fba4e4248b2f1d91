// SPDX-License-Identifier: GPL-3.0-or-later
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
#include <unordered_set>

#include "search/prepared_search.h"
#include "search/search_record.h"

namespace search {

// What a folder-change handler asks the walk to skip in the folder it was told about.
enum class FolderIgnore { None, JustThis, JustSubfolders, ThisAndSubfolders };
enum class ThreadPriority { Idle, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

class FileFinder;
using SearchEventHandler = std::function<void(FileFinder* Sender)>;
using FileMatchHandler = std::function<void(FileFinder* Sender, const std::string& Folder,
                                            const SearchRecord& FileInfo)>;
using FolderChangeHandler =
    std::function<void(FileFinder* Sender, const std::string& Folder, FolderIgnore& IgnoreFolder)>;

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
    // True from the moment an abort() waits for the lock until it returns; any thread.
    bool abortPending() const { return abortRequested_; }
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
    // Device and inode of a folder, in the listing's encoding; none when it cannot be read.
    static std::optional<FileId> folderId(const std::string& path);

    std::unique_ptr<SearchCriteria> criteria_;
    bool threaded_ = false;
    ThreadPriority threadPriority_ = ThreadPriority::Normal;
    std::atomic<bool> aborted_{false};
    std::atomic<bool> destroying_{false};
    std::atomic<bool> abortRequested_{false};  // an Abort is waiting for the lock
    bool busy_ = false;
    std::atomic<std::uint16_t> currentLevel_{0};
    std::unique_ptr<PreparedSearch> targetSearch_;
    const TargetFolder* currentTarget_ = nullptr;  // walking thread
    // The folders from the target down to the one being walked: a link back to one of them
    // would never end, so it is not entered. Walking thread.
    std::unordered_set<FileId, FileIdHash> ancestors_;
    std::unique_ptr<SearchWorker> worker_;
    std::optional<std::string> workerError_;
    std::recursive_mutex lock_;
};

}  // namespace search
