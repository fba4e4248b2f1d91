// SPDX-License-Identifier: GPL-3.0-or-later
// Threads and locks: see file_finder.h.
#include "search/file_finder.h"

#include <QCoreApplication>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/error_box.h"
#include "platform/paths.h"
#include "platform/system.h"

namespace search {
namespace {

// Deep enough for the walk's recursion in trees far deeper than paths allow.
constexpr std::size_t kWorkerStackSize = 16u << 20;

// Applies a priority to the calling thread: the idle class for ThreadPriority::Idle, else a nice
// value for this thread alone. Raising it needs privileges the user may not have; then it stays.
void applyPriority(ThreadPriority p) {
    if (p == ThreadPriority::Idle) {
        const sched_param param{};
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
        return;
    }
    static constexpr int kNice[] = {0, 10, 5, 0, -5, -10, -20};  // by ThreadPriority
    const int nice = kNice[static_cast<int>(p)];
    if (nice != 0) setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), nice);
}

bool isDotName(std::string_view name) {
    return name == "." || name == "..";
}

}  // namespace

// ---- the worker

// A plain POSIX thread, joined by the finder: its end is then visible to every tool that
// checks threads, which a thread class with its own wait conditions would hide.
class SearchWorker {
public:
    explicit SearchWorker(FileFinder* finder) : finder_(finder) {}
    ~SearchWorker() { join(); }
    SearchWorker(const SearchWorker&) = delete;
    SearchWorker& operator=(const SearchWorker&) = delete;

    // Throws SystemError when the thread cannot be created.
    void start(ThreadPriority priority) {
        priority_ = priority;
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setstacksize(&attr, kWorkerStackSize);
        const int error = pthread_create(&thread_, &attr, &SearchWorker::main, this);
        pthread_attr_destroy(&attr);
        if (error != 0) throw platform::SystemError(platform::systemMessage(error), error);
        started_ = true;
    }
    // True once the thread's work is done (it is about to end); join() then returns at once.
    bool finished() const { return finished_; }
    void join() {
        if (started_) pthread_join(thread_, nullptr);
        started_ = false;
    }

private:
    static void* main(void* self) {
        auto* t = static_cast<SearchWorker*>(self);
        applyPriority(t->priority_);
        t->finder_->runWorker();
        t->finished_ = true;
        return nullptr;
    }

    FileFinder* finder_;
    ThreadPriority priority_ = ThreadPriority::Normal;
    pthread_t thread_{};
    bool started_ = false;
    std::atomic<bool> finished_{false};
};

// ---- the finder

FileFinder::FileFinder(QObject* owner) : QObject(owner), criteria_(new SearchCriteria) {}

FileFinder::~FileFinder() {
    destroying_ = true;
    if (busy_) abort();
    // The worker may be inside a handler that waits for this thread: keep serving events
    // until it has ended. Its completion message dies with this object.
    while (worker_ && !worker_->finished()) {
        if (QCoreApplication::instance()) QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker_.reset();
    targetSearch_.reset();
    busy_ = false;
}

void FileFinder::execute() {
    if (busy_) return;
    beginSearch();
    if (!threaded_) {
        try {
            walkTargets();
        } catch (...) {
            finishSearch();
            throw;
        }
        finishSearch();
        return;
    }
    try {
        worker_ = std::make_unique<SearchWorker>(this);
        worker_->start(threadPriority_);
    } catch (...) {
        worker_.reset();
        finishSearch();
        throw;
    }
}

void FileFinder::abort() {
    if (!busy_ || aborted_) return;
    // While this is set the worker lets the abort have the lock before its next handler call;
    // without it a worker that takes the lock again right after each call could keep the
    // abort waiting indefinitely.
    struct Request {
        std::atomic<bool>& flag;
        ~Request() { flag = false; }
    } request{abortRequested_};
    abortRequested_ = true;
    // Polls: a worker blocked in a handler may be waiting for this thread to serve its call.
    for (;;) {
        if (!busy_ || aborted_) return;
        if (lock_.try_lock()) break;
        if (QCoreApplication::instance()) QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    std::lock_guard<std::recursive_mutex> hold(lock_, std::adopt_lock);
    aborted_ = true;
    if (!destroying_) notifySearchAbort();
}

void FileFinder::beginSearch() {
    busy_ = true;
    aborted_ = false;
    try {
        targetSearch_ = std::make_unique<PreparedSearch>(*criteria_);
        notifySearchBegin();
    } catch (...) {
        targetSearch_.reset();
        busy_ = false;
        throw;
    }
}

void FileFinder::finishSearch() {
    struct Release {
        FileFinder* finder;
        ~Release() {
            finder->targetSearch_.reset();
            finder->busy_ = false;
        }
    } release{this};
    notifySearchFinish();
}

void FileFinder::notifySearchBegin() {
    if (onSearchBegin && !destroying_) onSearchBegin(this);
}

void FileFinder::notifySearchFinish() {
    if (onSearchFinish && !destroying_) onSearchFinish(this);
}

void FileFinder::notifySearchAbort() {
    if (onSearchAbort && !destroying_) onSearchAbort(this);
}

void FileFinder::yieldToAbort() const {
    while (abortRequested_ && !aborted_) std::this_thread::yield();
}

FolderIgnore FileFinder::notifyFolderChange(const std::string& folder) {
    FolderIgnore ignore = FolderIgnore::None;
    if (aborted_ || !onFolderChange) return ignore;
    yieldToAbort();
    if (aborted_) return ignore;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    // Once destruction has taken the lock, nothing more reaches the handlers.
    if (!destroying_) onFolderChange(this, folder, ignore);
    return ignore;
}

void FileFinder::notifyFileMatch(const std::string& folder, const SearchRecord& rec) {
    if (aborted_ || !onFileMatch) return;
    yieldToAbort();
    if (aborted_) return;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (!destroying_) onFileMatch(this, folder, rec);
}

bool FileFinder::acceptFile(const std::string& folder, const SearchRecord& rec) {
    if (aborted_) return false;
    return targetSearch_->matches(folder, rec);
}

std::optional<FileFinder::FileId> FileFinder::folderId(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;  // the listing will fail silently
    // The same device encoding as the listing's (major in the high half).
    const std::uint64_t device =
        (static_cast<std::uint64_t>(major(st.st_dev)) << 32) | minor(st.st_dev);
    return FileId{device, st.st_ino};
}

void FileFinder::walkTargets() {
    const auto& targets = targetSearch_->targets.items();
    for (auto it = targets.rbegin(); it != targets.rend() && !aborted_; ++it) {
        currentLevel_ = 0;
        currentTarget_ = it->get();
        ancestors_.clear();
        if (const auto id = folderId((*it)->path.empty() ? std::string(".") : (*it)->path))
            ancestors_.insert(*id);
        walkFolder((*it)->path);
    }
    currentTarget_ = nullptr;
    ancestors_.clear();
}

void FileFinder::walkFolder(const std::string& folder) {
    if (aborted_) return;
    struct Level {
        std::atomic<std::uint16_t>& level;
        ~Level() { --level; }
    } depth{currentLevel_};
    const std::uint16_t level = ++currentLevel_;
    const FolderIgnore ignore = notifyFolderChange(folder);
    const TargetFolder& target = *currentTarget_;

    // The folder is read once; each mask, and the subfolder pass, lists the names read.
    std::optional<platform::DirListing> listing;
    auto list = [&](std::string_view mask) -> platform::DirListing& {
        if (listing) {
            listing->reset(mask);
        } else {
            listing.emplace(folder, mask);
        }
        return *listing;
    };

    if ((ignore == FolderIgnore::None || ignore == FolderIgnore::JustSubfolders) &&
        level >= target.minLevel) {
        for (auto mask = target.masks.rbegin(); mask != target.masks.rend() && !aborted_; ++mask) {
            platform::DirListing& entries = list(*mask);
            while (entries.next()) {
                if (isDotName(entries.name()) && entries.isDirectory()) continue;
                const SearchRecord rec(entries);
                if (acceptFile(folder, rec)) notifyFileMatch(folder, rec);
                if (aborted_) break;
            }
        }
    }

    if (target.subfolders && (ignore == FolderIgnore::None || ignore == FolderIgnore::JustThis) &&
        (target.maxLevel == 0 || level < target.maxLevel) && !aborted_) {
        // Names first, then the descent: no listing stays open while the walk goes deeper.
        struct Sub {
            std::string name;
            FileId id;
        };
        std::vector<Sub> subfolders;
        {
            platform::DirListing& entries = list("*.*");
            while (entries.next()) {
                if (isDotName(entries.name()) || !entries.isDirectory()) continue;
                const platform::FileDetails& d = entries.details();
                subfolders.push_back({std::string(entries.name()), {d.device, d.inode}});
            }
            listing.reset();
        }
        for (const Sub& sub : subfolders) {
            if (aborted_) break;
            // A link back to a folder the walk is inside would loop for ever; any other folder
            // is walked under every name it is reached by, as each name is a path of its own.
            const bool known = sub.id.inode != 0;
            if (known && !ancestors_.insert(sub.id).second) continue;
            struct Leave {
                std::unordered_set<FileId, FileIdHash>* ancestors;
                const FileId* id;
                ~Leave() {
                    if (id) ancestors->erase(*id);
                }
            } leave{&ancestors_, known ? &sub.id : nullptr};
            walkFolder(folder + sub.name + platform::paths::kSeparator);
        }
    }
}

void FileFinder::runWorker() {
    try {
        walkTargets();
    } catch (const std::exception& error) {
        workerError_ = error.what();
    } catch (...) {
        // Not an error of ours to describe; the walk just ends.
    }
    QMetaObject::invokeMethod(this, "completeThreadedSearch", Qt::QueuedConnection);
}

void FileFinder::completeThreadedSearch() {
    // Entered from the event loop: nothing may escape it.
    platform::runGuarded([this] {
        if (!worker_) return;
        worker_->join();
        worker_.reset();
        std::optional<std::string> error = std::move(workerError_);
        workerError_.reset();
        // The worker may not touch widgets: its error is shown here, on the owning thread.
        if (error && !destroying_) platform::showStandardError(platform::toDisplayMessage(*error));
        finishSearch();
    });
}

}  // namespace search
