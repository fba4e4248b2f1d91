// Threads and locks: see find_file.h.
#include "search/find_file.h"

#include <QCoreApplication>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <unistd.h>
#include <chrono>
#include <ctime>
#include <thread>

#include "platform/error_box.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "search/wildcards.h"

namespace search {
namespace {

// Deep enough for the walk's recursion in trees far deeper than paths allow.
constexpr std::size_t kWorkerStackSize = 16u << 20;

bool isBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlankOrControl(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlankOrControl(s.back())) s.remove_suffix(1);
    return s;
}

unsigned char asciiLower(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 'A' && b <= 'Z' ? static_cast<unsigned char>(b + ('a' - 'A')) : b;
}

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

// Paths on this system are case-sensitive: two folders that differ only in letter case are
// two folders, so they stay two targets here.
bool samePath(std::string_view a, std::string_view b) {
    return PathSyntax::native().drives ? equalIgnoringAsciiCase(a, b) : a == b;
}

// The full path of `folder`, as the system's full-path call gives it: relative to the
// current directory, with "." and ".." resolved lexically and doubled separators removed.
std::string fullPath(std::string_view folder) {
    if (folder.empty()) return {};
    const char sep = platform::paths::kSeparator;
    std::string path(folder);
    if (path.front() != sep) path = platform::currentDirectory() + sep + path;
    const bool trailing = path.back() == sep;
    std::vector<std::string_view> parts;
    std::string_view rest(path);
    while (!rest.empty()) {
        const std::size_t at = rest.find(sep);
        const std::string_view part = rest.substr(0, at);
        rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out(1, sep);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        out += parts[i];
        if (i + 1 < parts.size() || trailing) out += sep;
    }
    return out;
}

// The subfolder prefix of a location or included entry: "<" without, ">" with subfolders.
bool takePrefix(std::string_view& entry, bool byDefault) {
    if (!entry.empty() && entry.front() == '<') {
        entry.remove_prefix(1);
        return false;
    }
    if (!entry.empty() && entry.front() == '>') {
        entry.remove_prefix(1);
        return true;
    }
    return byDefault;
}

// Applies a priority to the calling thread: the idle class for tpIdle, else a nice value
// for this thread alone. Raising it needs privileges the user may not have; then it stays.
void applyPriority(TThreadPriority p) {
    if (p == tpIdle) {
        const sched_param param{};
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
        return;
    }
    static constexpr int kNice[] = {0, 10, 5, 0, -5, -10, -20};  // by TThreadPriority
    if (kNice[p] != 0) setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kNice[p]);
}

TWin32FindData findDataOf(std::string_view name, const platform::FileDetails& d) {
    TWin32FindData out;
    out.dwFileAttributes = d.attributes;
    out.ftCreationTime = d.creationTime;
    out.ftLastAccessTime = d.lastAccessTime;
    out.ftLastWriteTime = d.lastWriteTime;
    out.nFileSizeHigh = static_cast<std::uint32_t>(d.size >> 32);
    out.nFileSizeLow = static_cast<std::uint32_t>(d.size);
    out.cFileName = name;
    return out;
}

bool isDotName(std::string_view name) {
    return name == "." || name == "..";
}

}  // namespace

// ---- lists and criteria

std::vector<std::string> SplitList(std::string_view text, bool caseSensitive) {
    std::vector<std::string> out;
    while (true) {
        const std::size_t at = text.find(';');
        const std::string_view piece = trimmed(text.substr(0, at));
        if (!piece.empty()) {
            bool seen = false;
            for (const std::string& taken : out) {
                if (caseSensitive ? taken == piece : equalIgnoringAsciiCase(taken, piece)) {
                    seen = true;
                    break;
                }
            }
            if (!seen) out.emplace_back(piece);
        }
        if (at == std::string_view::npos) break;
        text.remove_prefix(at + 1);
    }
    return out;
}

void TFileCriteria::Assign(const TPersistent* Source) {
    if (const auto* s = dynamic_cast<const TFileCriteria*>(Source)) {
        *this = *s;
        return;
    }
    TPersistent::Assign(Source);
}

void TSearchCriteria::Assign(const TPersistent* Source) {
    if (const auto* s = dynamic_cast<const TSearchCriteria*>(Source)) {
        files_.Assign(s->files_);
        attribute_.Assign(s->attribute_);
        attributeEx_.Assign(s->attributeEx_);
        timeStamp_.Assign(s->timeStamp_);
        size_.Assign(s->size_);
        content_.Assign(s->content_);
        return;
    }
    TPersistent::Assign(Source);
}

// ---- the search record

TSearchRec::TSearchRec(platform::DirListing& listing) : Name(listing.name()), listing_(&listing) {}

TSearchRec::TSearchRec(const platform::DirEntry& entry)
    : Name(entry.name), data_(findDataOf(entry.name, entry.details)) {}

const TWin32FindData& TSearchRec::FindData() const {
    if (!data_) data_ = findDataOf(Name, listing_->details());
    return *data_;
}

std::uint32_t TSearchRec::basicAttributes() const {
    if (data_ || !listing_) return FindData().dwFileAttributes;
    return listing_->basicAttributes();
}

std::int32_t TSearchRec::Time() const {
    const platform::FileTime ft = FindData().ftLastWriteTime;
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

// ---- the prepared search

TTargetFolder& TTargetFolderList::AddFolder(std::string_view folder) {
    std::string path = fullPath(folder);
    const PathSyntax& syntax = PathSyntax::native();
    if (!path.empty() && syntax.delimiters.find(path.back()) == std::string_view::npos) {
        path += syntax.separator;
    }
    for (const auto& target : items_) {
        if (samePath(target->Path, path)) return *target;
    }
    auto target = std::make_unique<TTargetFolder>();
    target->Path = std::move(path);
    items_.insert(items_.begin(), std::move(target));
    return *items_.front();
}

bool TTargetFolderList::IsExcluded(std::string_view folder, std::string_view name) const {
    for (auto it = Excluded.rbegin(); it != Excluded.rend(); ++it) {
        if (PatternExcludes(folder, name, *it)) return true;
    }
    return false;
}

TTargetSearch::TTargetSearch(const TSearchCriteria& criteria) {
    BuildFolders(criteria.Files());
    Attribute.Assign(criteria.Attribute());
    AttributeEx.Assign(criteria.AttributeEx());
    TimeStamp.Assign(criteria.TimeStamp());
    Size.Assign(criteria.Size());
    Content.Assign(criteria.Content());
    if (Content.PhraseLen() > 0) {
        TFileAttributes set = Attribute.Attributes();
        set.exclude(ffDirectory);
        Attribute.setAttributes(set);
    }
}

void TTargetSearch::BuildFolders(const TFileCriteria& files) {
    TargetFolders.Excluded = files.Excluded();
    for (const std::string& included : files.Included()) {
        std::string_view entry(included);
        const bool subfolders = takePrefix(entry, files.Subfolders());
        const platform::paths::Split parts = platform::paths::split(entry);
        TTargetFolder& target = TargetFolders.AddFolder(parts.folder);
        target.Masks.emplace_back(parts.name.empty() ? std::string_view("*.*") : parts.name);
        target.Subfolders = subfolders;
        target.MinLevel = files.MinLevel();
        target.MaxLevel = files.MaxLevel();
    }
    std::vector<std::string> masks = SplitList(files.FileName());
    if (masks.empty()) masks.emplace_back("*.*");
    // Locations are folder names: letter case tells two folders apart on this system.
    for (const std::string& location : SplitList(files.Location(), !PathSyntax::native().drives)) {
        std::string_view entry(location);
        const bool subfolders = takePrefix(entry, files.Subfolders());
        TTargetFolder& target = TargetFolders.AddFolder(entry);
        target.Masks.insert(target.Masks.end(), masks.begin(), masks.end());
        target.Subfolders = subfolders;
        target.MinLevel = files.MinLevel();
        target.MaxLevel = files.MaxLevel();
    }
}

bool TTargetSearch::Matches(const std::string& folder, const TSearchRec& rec) const {
    // Tests whose settings cannot reject anything are passed without reading the entry's
    // metadata; the answers are the same.
    if (Size.isActive() && !Size.Matches(rec.size64())) return false;
    const std::uint32_t attributes =
        Attribute.needsReadOnlyBit() ? rec.Attr() : rec.basicAttributes();
    if (!Attribute.Matches(attributes)) return false;
    if (AttributeEx.isActive() && !AttributeEx.Matches(rec.Attr())) return false;
    if (TimeStamp.isActive()) {
        const TWin32FindData& d = rec.FindData();
        if (!TimeStamp.Matches(d.ftCreationTime, d.ftLastWriteTime, d.ftLastAccessTime)) {
            return false;
        }
    }
    if (TargetFolders.IsExcluded(folder, rec.Name)) return false;
    return Content.PhraseLen() == 0 || Content.Matches(folder + rec.Name);
}

// ---- the worker

// A plain POSIX thread, joined by the finder: its end is then visible to every tool that
// checks threads, which a thread class with its own wait conditions would hide.
class TSearchThread {
public:
    explicit TSearchThread(TFindFile* finder) : finder_(finder) {}
    ~TSearchThread() { join(); }
    TSearchThread(const TSearchThread&) = delete;
    TSearchThread& operator=(const TSearchThread&) = delete;

    // Throws SystemError when the thread cannot be created.
    void start(TThreadPriority priority) {
        priority_ = priority;
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setstacksize(&attr, kWorkerStackSize);
        const int error = pthread_create(&thread_, &attr, &TSearchThread::main, this);
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
        auto* t = static_cast<TSearchThread*>(self);
        applyPriority(t->priority_);
        t->finder_->runWorker();
        t->finished_ = true;
        return nullptr;
    }

    TFindFile* finder_;
    TThreadPriority priority_ = tpNormal;
    pthread_t thread_{};
    bool started_ = false;
    std::atomic<bool> finished_{false};
};

// ---- the finder

TFindFile::TFindFile(QObject* owner) : QObject(owner), criteria_(new TSearchCriteria) {}

TFindFile::~TFindFile() {
    destroying_ = true;
    if (busy_) Abort();
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

void TFindFile::Execute() {
    if (busy_) return;
    SearchBegin();
    if (!threaded_) {
        try {
            SearchAll();
        } catch (...) {
            SearchFinish();
            throw;
        }
        SearchFinish();
        return;
    }
    try {
        worker_ = std::make_unique<TSearchThread>(this);
        worker_->start(threadPriority_);
    } catch (...) {
        worker_.reset();
        SearchFinish();
        throw;
    }
}

void TFindFile::Abort() {
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
    if (!destroying_) DoSearchAbort();
}

void TFindFile::SearchBegin() {
    busy_ = true;
    aborted_ = false;
    try {
        targetSearch_ = std::make_unique<TTargetSearch>(*criteria_);
        DoSearchBegin();
    } catch (...) {
        targetSearch_.reset();
        busy_ = false;
        throw;
    }
}

void TFindFile::SearchFinish() {
    struct Release {
        TFindFile* finder;
        ~Release() {
            finder->targetSearch_.reset();
            finder->busy_ = false;
        }
    } release{this};
    DoSearchFinish();
}

void TFindFile::DoSearchBegin() {
    if (OnSearchBegin && !destroying_) OnSearchBegin(this);
}

void TFindFile::DoSearchFinish() {
    if (OnSearchFinish && !destroying_) OnSearchFinish(this);
}

void TFindFile::DoSearchAbort() {
    if (OnSearchAbort && !destroying_) OnSearchAbort(this);
}

void TFindFile::yieldToAbort() const {
    while (abortRequested_ && !aborted_) std::this_thread::yield();
}

TFolderIgnore TFindFile::DoFolderChange(const std::string& folder) {
    TFolderIgnore ignore = fiNone;
    if (aborted_ || !OnFolderChange) return ignore;
    yieldToAbort();
    if (aborted_) return ignore;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    // Once destruction has taken the lock, nothing more reaches the handlers.
    if (!destroying_) OnFolderChange(this, folder, ignore);
    return ignore;
}

void TFindFile::DoFileMatch(const std::string& folder, const TSearchRec& rec) {
    if (aborted_ || !OnFileMatch) return;
    yieldToAbort();
    if (aborted_) return;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (!destroying_) OnFileMatch(this, folder, rec);
}

bool TFindFile::AcceptFile(const std::string& folder, const TSearchRec& rec) {
    if (aborted_) return false;
    return targetSearch_->Matches(folder, rec);
}

bool TFindFile::enterOnce(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return true;  // the listing will fail silently
    // The same device encoding as the listing's (major in the high half).
    const std::uint64_t device =
        (static_cast<std::uint64_t>(major(st.st_dev)) << 32) | minor(st.st_dev);
    return walked_.insert({device, st.st_ino}).second;
}

void TFindFile::SearchAll() {
    const auto& targets = targetSearch_->TargetFolders.items();
    for (auto it = targets.rbegin(); it != targets.rend() && !aborted_; ++it) {
        currentLevel_ = 0;
        currentTarget_ = it->get();
        walked_.clear();
        enterOnce((*it)->Path.empty() ? std::string(".") : (*it)->Path);
        SearchIn((*it)->Path);
    }
    currentTarget_ = nullptr;
    walked_.clear();
}

void TFindFile::SearchIn(const std::string& folder) {
    if (aborted_) return;
    struct Level {
        std::atomic<std::uint16_t>& level;
        ~Level() { --level; }
    } depth{currentLevel_};
    const std::uint16_t level = ++currentLevel_;
    const TFolderIgnore ignore = DoFolderChange(folder);
    const TTargetFolder& target = *currentTarget_;

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

    if ((ignore == fiNone || ignore == fiJustSubfolders) && level >= target.MinLevel) {
        for (auto mask = target.Masks.rbegin(); mask != target.Masks.rend() && !aborted_; ++mask) {
            platform::DirListing& entries = list(*mask);
            while (entries.next()) {
                if (isDotName(entries.name()) && entries.isDirectory()) continue;
                const TSearchRec rec(entries);
                if (AcceptFile(folder, rec)) DoFileMatch(folder, rec);
                if (aborted_) break;
            }
        }
    }

    if (target.Subfolders && (ignore == fiNone || ignore == fiJustThis) &&
        (target.MaxLevel == 0 || level < target.MaxLevel) && !aborted_) {
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
            // A folder already walked in this target (a link back up the tree, or a second
            // link to the same folder) is not entered again.
            const bool known = sub.id.inode != 0 && !walked_.insert(sub.id).second;
            if (known) continue;
            SearchIn(folder + sub.name + platform::paths::kSeparator);
        }
    }
}

void TFindFile::runWorker() {
    try {
        SearchAll();
    } catch (const std::exception& error) {
        workerError_ = error.what();
    } catch (...) {
        // Not an error of ours to describe; the walk just ends.
    }
    QMetaObject::invokeMethod(this, "completeThreadedSearch", Qt::QueuedConnection);
}

void TFindFile::completeThreadedSearch() {
    // Entered from the event loop: nothing may escape it.
    platform::runGuarded([this] {
        if (!worker_) return;
        worker_->join();
        worker_.reset();
        std::optional<std::string> error = std::move(workerError_);
        workerError_.reset();
        // The worker may not touch widgets: its error is shown here, on the owning thread.
        if (error && !destroying_) platform::showStandardError(QString::fromLocal8Bit(*error));
        SearchFinish();
    });
}

}  // namespace search
