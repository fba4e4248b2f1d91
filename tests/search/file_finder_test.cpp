// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/system.h"
#include "search/file_finder.h"
#include "support/scripted_message_box.h"

using namespace search;

namespace {

// ---- lists and targets

TEST(SplitList, TrimsDropsEmptiesAndDuplicatesInOtherCase) {
    struct Case {
        const char* text;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"*.mp3; *.MP3 ;;\t*.mp3\n", {"*.mp3"}},
        {"*.mp3;*.wma", {"*.mp3", "*.wma"}},
        {"", {}},
        {" ; ;", {}},
        {"b;A;a;B", {"b", "A"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(splitList(c.text), c.pieces);
    }
    EXPECT_EQ(splitList("/M;/m", true), (std::vector<std::string>{"/M", "/m"}));
}

std::vector<std::string> targetPaths(const PreparedSearch& s) {
    std::vector<std::string> out;
    // The walk goes from the back of the list.
    for (auto it = s.targets.items().rbegin(); it != s.targets.items().rend(); ++it) {
        out.push_back((*it)->path);
    }
    return out;
}

TEST(BuildFolders, TargetsPrefixesAndMasks) {
    SearchCriteria c;
    c.files().setFileName("*.mp3;*.wma");
    c.files().setLocation(">/a/b;</c;/a/b/;/a/./x/../b");
    c.files().setMaxLevel(3);
    c.files().included().push_back("/inc/*.lrc");
    c.files().included().push_back("</inc2/");
    PreparedSearch s(c);
    EXPECT_EQ(targetPaths(s), (std::vector<std::string>{"/inc/", "/inc2/", "/a/b/", "/c/"}));
    const auto& items = s.targets.items();
    auto find = [&](const std::string& path) -> const TargetFolder& {
        for (const auto& t : items) {
            if (t->path == path) return *t;
        }
        throw std::runtime_error("no target " + path);
    };
    // "/a/b" named three times: one target, masks appended each time, the last naming's
    // subfolder setting.
    EXPECT_EQ(find("/a/b/").masks,
              (std::vector<std::string>{"*.mp3", "*.wma", "*.mp3", "*.wma", "*.mp3", "*.wma"}));
    EXPECT_TRUE(find("/a/b/").subfolders);
    EXPECT_FALSE(find("/c/").subfolders);
    EXPECT_EQ(find("/c/").maxLevel, 3);
    EXPECT_EQ(find("/inc/").masks, std::vector<std::string>{"*.lrc"});
    EXPECT_EQ(find("/inc2/").masks, std::vector<std::string>{"*.*"});
    EXPECT_FALSE(find("/inc2/").subfolders);

    SearchCriteria relative;
    relative.files().setLocation("rel");
    PreparedSearch r(relative);
    EXPECT_EQ(targetPaths(r), std::vector<std::string>{platform::currentDirectory() + "/rel/"});
    SearchCriteria none;
    none.files().setLocation(" ; ");
    EXPECT_TRUE(PreparedSearch(none).targets.items().empty());
    PreparedSearch defaults(relative);
    EXPECT_EQ(defaults.targets.items().front()->masks, std::vector<std::string>{"*.*"});
}

TEST(TargetSearch, ContentSearchNeverMatchesFolders) {
    SearchCriteria c;
    c.attribute().setAttributes({FileAttribute::Directory, FileAttribute::Archive});
    c.content().setPhrase("x");
    PreparedSearch s(c);
    EXPECT_FALSE(s.attribute.attributes().contains(FileAttribute::Directory));
    EXPECT_TRUE(
        c.attribute().attributes().contains(FileAttribute::Directory));  // the finder's own is kept
}

// ---- walking real trees

class Tree {
public:
    Tree() { EXPECT_TRUE(dir_.isValid()); }
    std::string root() const { return dir_.path().toStdString() + "/"; }
    void file(const std::string& rel, const std::string& data = "x") {
        std::ofstream(root() + rel, std::ios::binary) << data;
    }
    void folder(const std::string& rel) { ::mkdir((root() + rel).c_str(), 0755); }

private:
    QTemporaryDir dir_;
};

// Records events as "F <folder>", "M <full path>", "begin", "finish", "abort", with the
// thread each came on.
struct Recorder {
    std::mutex m;
    std::vector<std::string> events;
    std::vector<QThread*> threads;
    void add(std::string e) {
        std::lock_guard<std::mutex> g(m);
        events.push_back(std::move(e));
        threads.push_back(QThread::currentThread());
    }
    std::vector<std::string> only(char kind) {
        std::lock_guard<std::mutex> g(m);
        std::vector<std::string> out;
        for (const auto& e : events) {
            if (e[0] == kind && e[1] == ' ') out.push_back(e.substr(2));
        }
        return out;
    }
    void attach(FileFinder& f, const std::string& root) {
        f.onFolderChange = [this, root](FileFinder*, const std::string& folder, FolderIgnore&) {
            add("F " + folder.substr(root.size()));
        };
        f.onFileMatch = [this, root](FileFinder*, const std::string& folder,
                                     const SearchRecord& r) {
            add("M " + folder.substr(root.size()) + r.name);
        };
        f.onSearchBegin = [this](FileFinder*) { add("begin"); };
        f.onSearchFinish = [this](FileFinder* s) {
            add(s->wasAborted() ? "finish aborted" : "finish");
        };
        f.onSearchAbort = [this](FileFinder*) { add("abort"); };
    }
};

class WalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.file("b.mp3");
        tree.file("a.wma");
        tree.file("notes.txt");
        tree.folder("sub");
        tree.file("sub/c.MP3");
        tree.folder("sub/deeper");
        tree.file("sub/deeper/d.mp3");
        tree.folder("other.mp3");  // a folder whose name matches the mask
        tree.file("other.mp3/e.wma");
        finder.criteria().files().setLocation(tree.root());
        finder.criteria().files().setFileName("*.mp3;*.wma");
        rec.attach(finder, tree.root());
    }
    std::vector<std::string> sorted(std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    }
    Tree tree;
    FileFinder finder;
    Recorder rec;
};

TEST_F(WalkTest, NotThreadedReportsInWalkOrder) {
    finder.execute();
    EXPECT_FALSE(finder.isBusy());
    ASSERT_GE(rec.events.size(), 2u);
    EXPECT_EQ(rec.events.front(), "begin");
    EXPECT_EQ(rec.events.back(), "finish");
    // Each folder's own entries come before its subfolders; "*.wma" before "*.mp3".
    const auto matches = rec.only('M');
    ASSERT_EQ(matches.size(), 5u);
    EXPECT_EQ(matches[0], "a.wma");
    EXPECT_EQ(matches[1], "b.mp3");
    EXPECT_EQ(sorted({matches.begin() + 2, matches.end()}),
              (std::vector<std::string>{"other.mp3/e.wma", "sub/c.MP3", "sub/deeper/d.mp3"}));
    const auto folders = rec.only('F');
    EXPECT_EQ(folders.front(), "");
    EXPECT_EQ(sorted(folders), (std::vector<std::string>{"", "other.mp3/", "sub/", "sub/deeper/"}));
    const auto deeper = std::find(rec.events.begin(), rec.events.end(), "F sub/deeper/");
    const auto c = std::find(rec.events.begin(), rec.events.end(), "M sub/c.MP3");
    EXPECT_LT(c, deeper);
    for (QThread* t : rec.threads) EXPECT_EQ(t, QThread::currentThread());
}

TEST_F(WalkTest, LocationWithAndWithoutSeparatorAndEmptyMask) {
    std::string root = tree.root();
    root.pop_back();
    finder.criteria().files().setLocation(root + ";" + root + "/");
    finder.criteria().files().setFileName("");
    finder.criteria().files().setSubfolders(false);
    finder.execute();
    // One target, "*.*" twice (once per naming): files only, each twice.
    EXPECT_EQ(rec.only('F'), std::vector<std::string>{""});
    EXPECT_EQ(sorted(rec.only('M')), (std::vector<std::string>{"a.wma", "a.wma", "b.mp3", "b.mp3",
                                                               "notes.txt", "notes.txt"}));
}

TEST_F(WalkTest, LevelsAndPrefixes) {
    struct Case {
        const char* label;
        std::string location;
        int minLevel;
        int maxLevel;
        std::vector<std::string> folders;
        std::vector<std::string> matches;
    };
    const std::string r = tree.root();
    const Case cases[] = {
        {"MaxLevel 1", r, 0, 1, {""}, {"a.wma", "b.mp3"}},
        {"MinLevel 2",
         r,
         2,
         0,
         {"", "other.mp3/", "sub/", "sub/deeper/"},
         {"other.mp3/e.wma", "sub/c.MP3", "sub/deeper/d.mp3"}},
        {"< and > prefixes",
         ">" + r + "sub;<" + r + "other.mp3",
         0,
         0,
         {"other.mp3/", "sub/", "sub/deeper/"},
         {"other.mp3/e.wma", "sub/c.MP3", "sub/deeper/d.mp3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        rec.events.clear();
        finder.criteria().files().setLocation(c.location);
        finder.criteria().files().setMinLevel(static_cast<std::uint16_t>(c.minLevel));
        finder.criteria().files().setMaxLevel(static_cast<std::uint16_t>(c.maxLevel));
        finder.criteria().files().setSubfolders(c.label[0] != '<');
        finder.execute();
        EXPECT_EQ(sorted(rec.only('F')), c.folders);
        EXPECT_EQ(sorted(rec.only('M')), c.matches);
    }
}

TEST_F(WalkTest, IgnoreModes) {
    struct Case {
        FolderIgnore mode;
        std::vector<std::string> folders;
        std::vector<std::string> matches;
    };
    const Case cases[] = {
        {FolderIgnore::JustSubfolders,
         {"", "other.mp3/", "sub/"},
         {"a.wma", "b.mp3", "other.mp3/e.wma", "sub/c.MP3"}},
        {FolderIgnore::ThisAndSubfolders,
         {"", "other.mp3/", "sub/"},
         {"a.wma", "b.mp3", "other.mp3/e.wma"}},
        {FolderIgnore::JustThis,
         {"", "other.mp3/", "sub/", "sub/deeper/"},
         {"a.wma", "b.mp3", "other.mp3/e.wma", "sub/deeper/d.mp3"}},
    };
    const std::string root = tree.root();
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        rec.events.clear();
        finder.onFolderChange = [&](FileFinder*, const std::string& folder, FolderIgnore& ignore) {
            EXPECT_EQ(static_cast<int>(ignore), static_cast<int>(FolderIgnore::None));
            rec.add("F " + folder.substr(root.size()));
            if (folder == root + "sub/") ignore = c.mode;
        };
        finder.execute();
        EXPECT_EQ(sorted(rec.only('F')), c.folders);
        EXPECT_EQ(sorted(rec.only('M')), c.matches);
    }
}

TEST_F(WalkTest, BusyAbortAndAbortedFlags) {
    int executes = 0;
    finder.onFileMatch = [&](FileFinder* f, const std::string&, const SearchRecord&) {
        f->execute();  // busy: nothing
        ++executes;
        f->abort();
        f->abort();  // already aborted: nothing
        rec.add("M");
    };
    finder.onSearchFinish = [&](FileFinder* f) {
        rec.add(f->wasAborted() ? "finish aborted" : "finish");
        f->execute();  // still busy during the finish event
    };
    finder.abort();  // idle: nothing
    EXPECT_FALSE(finder.wasAborted());
    finder.execute();
    EXPECT_EQ(executes, 1);
    EXPECT_EQ(rec.events,
              (std::vector<std::string>{"begin", "F ", "abort", "M", "finish aborted"}));
    EXPECT_TRUE(finder.wasAborted());
    rec.events.clear();
    finder.onFileMatch = nullptr;
    finder.execute();
    EXPECT_FALSE(finder.wasAborted());
    EXPECT_EQ(rec.events.back(), "finish");
}

TEST_F(WalkTest, HandlerErrorEndsTheWalkAfterTheFinishEvent) {
    finder.onFileMatch = [](FileFinder*, const std::string&, const SearchRecord&) {
        throw std::runtime_error("handler failed");
    };
    EXPECT_THROW(finder.execute(), std::runtime_error);
    EXPECT_EQ(rec.events.back(), "finish");
    EXPECT_FALSE(finder.isBusy());
}

TEST_F(WalkTest, SearchRecordAndCriteriaInTheWalk) {
    tree.file("big.mp3", std::string(1000, 'y'));
    tree.file("song.mp3", "la la NEEDLE la");
    std::vector<std::string> seen;
    finder.onFileMatch = [&](FileFinder*, const std::string& folder, const SearchRecord& r) {
        seen.push_back(folder.substr(tree.root().size()) + r.name);
        if (r.name == "big.mp3") {
            EXPECT_EQ(r.size64(), 1000);
            EXPECT_EQ(r.sizeLow(), 1000);
            EXPECT_EQ(r.attributes() & 0x30u, 0x20u);
            EXPECT_EQ(r.findData().fileName, "big.mp3");
            EXPECT_GT(r.dosTime(), 0);
        }
    };
    finder.criteria().size().setMin(500);
    finder.execute();
    EXPECT_EQ(seen, std::vector<std::string>{"big.mp3"});

    seen.clear();
    finder.criteria().size().setMin(0);
    finder.criteria().files().excluded() = {"sub/", "a.*"};
    finder.criteria().content().setPhrase("needle");
    finder.criteria().attribute().setAttributes({FileAttribute::Archive, FileAttribute::Directory});
    finder.criteria().files().setFileName("*.*");
    finder.execute();
    EXPECT_EQ(seen, std::vector<std::string>{"song.mp3"});
}

// ---- threaded

// Runs the event loop until the finder is idle again.
bool waitIdle(const FileFinder& f, int ms = 30000) {
    return QTest::qWaitFor([&] { return !f.isBusy(); }, ms);
}

TEST_F(WalkTest, ThreadedGivesTheSameResultsOnTheWorker) {
    finder.execute();
    const auto plain = rec.events;
    rec.events.clear();
    rec.threads.clear();
    finder.setThreaded(true);
    finder.execute();
    EXPECT_TRUE(finder.isBusy());
    ASSERT_TRUE(waitIdle(finder));
    EXPECT_EQ(rec.events, plain);
    std::lock_guard<std::mutex> g(rec.m);
    for (std::size_t i = 0; i < rec.events.size(); ++i) {
        const bool walk = rec.events[i][1] == ' ';
        SCOPED_TRACE(rec.events[i]);
        EXPECT_EQ(rec.threads[i] == QThread::currentThread(), !walk);
    }
}

TEST_F(WalkTest, ThreadedErrorIsShownOnTheUiThread) {
    testing_support::ScriptedMessageBoxes boxes;
    QThread* shownOn = nullptr;
    boxes.onShow([&](const testing_support::ShownBox&) { shownOn = QThread::currentThread(); });
    finder.onFileMatch = [](FileFinder*, const std::string&, const SearchRecord&) {
        throw std::runtime_error("disk on fire");
    };
    finder.setThreaded(true);
    finder.execute();
    ASSERT_TRUE(waitIdle(finder));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, QStringLiteral(u"disk on fire."));
    EXPECT_EQ(shownOn, QThread::currentThread());
    EXPECT_EQ(rec.events.back(), "finish");
}

// A handler that has its work done by the UI thread and waits for it, as the design's hand-over
// of widget updates did: a stop and the finder's end must still come through. The wait is on a
// standard condition, which thread checkers see, unlike Qt's blocking queued call.
void viaUiThread(QObject* ui, const std::function<void()>& f) {
    struct Call {
        std::mutex m;
        std::condition_variable ran;
        bool done = false;  // guarded by m
    };
    const auto call = std::make_shared<Call>();
    QMetaObject::invokeMethod(
        ui,
        [call, f] {
            f();
            std::lock_guard<std::mutex> hold(call->m);
            call->done = true;
            call->ran.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> wait(call->m);
    call->ran.wait(wait, [&] { return call->done; });
}

TEST_F(WalkTest, ThreadedAbortWhileTheWorkerWaitsForTheUiThread) {
    for (int i = 0; i < 50; ++i) {
        tree.folder("many" + std::to_string(i));
        tree.file("many" + std::to_string(i) + "/x.mp3");
    }
    QObject ui;
    std::atomic<int> matches{0};
    std::atomic<bool> abortSeen{false};
    finder.onFolderChange = [&](FileFinder*, const std::string&, FolderIgnore&) {
        viaUiThread(&ui, [] {});
    };
    finder.onFileMatch = [&](FileFinder*, const std::string&, const SearchRecord&) {
        viaUiThread(&ui, [&] { ++matches; });
    };
    finder.onSearchAbort = [&](FileFinder*) { abortSeen = true; };
    finder.setThreaded(true);
    finder.execute();
    // The worker is now blocked in its first folder event until this thread serves it.
    finder.abort();
    EXPECT_TRUE(abortSeen);
    EXPECT_TRUE(finder.wasAborted());
    EXPECT_TRUE(finder.isBusy());
    ASSERT_TRUE(waitIdle(finder));
    EXPECT_EQ(rec.events.back(), "finish aborted");
    EXPECT_LT(matches.load(), 55);
}

TEST_F(WalkTest, DestroyedWhileAThreadedSearchRuns) {
    for (int i = 0; i < 20; ++i) tree.folder("many" + std::to_string(i));
    QObject ui;
    std::atomic<int> calls{0};
    auto* f = new FileFinder;
    f->criteria().files().setLocation(tree.root());
    f->onFolderChange = [&](FileFinder*, const std::string&, FolderIgnore&) {
        viaUiThread(&ui, [&] { ++calls; });
    };
    bool ended = false;
    f->onSearchFinish = [&](FileFinder*) { ended = true; };
    f->onSearchAbort = [&](FileFinder*) { ended = true; };
    f->setThreaded(true);
    f->execute();
    delete f;  // waits for the worker; no event after this point
    const int after = calls;
    QCoreApplication::processEvents();
    EXPECT_EQ(calls.load(), after);
    EXPECT_FALSE(ended);
    EXPECT_LE(after, 1);
}

// ---- trees that could trap a walk

TEST(WalkTraps, LinkCyclesEndAndAFolderIsWalkedUnderEachOfItsNames) {
    Tree tree;
    tree.folder("a");
    tree.folder("a/real");
    tree.file("a/real/song.mp3");
    // Links back up the tree: to the parent, to the folder itself, to the root.
    ASSERT_EQ(::symlink("..", (tree.root() + "a/real/up").c_str()), 0);
    ASSERT_EQ(::symlink(".", (tree.root() + "a/self").c_str()), 0);
    ASSERT_EQ(::symlink(tree.root().c_str(), (tree.root() + "a/real/root").c_str()), 0);
    // A second name for a folder that is no ancestor: a path of its own.
    ASSERT_EQ(::symlink("real", (tree.root() + "a/alias").c_str()), 0);
    for (bool threaded : {false, true}) {
        SCOPED_TRACE(threaded);
        FileFinder f;
        Recorder rec;
        rec.attach(f, tree.root());
        f.criteria().files().setLocation(tree.root());
        f.criteria().files().setFileName("*.mp3");
        f.setThreaded(threaded);
        f.execute();
        ASSERT_TRUE(waitIdle(f));
        auto folders = rec.only('F');
        std::sort(folders.begin(), folders.end());
        EXPECT_EQ(folders, (std::vector<std::string>{"", "a/", "a/alias/", "a/real/"}));
        auto matches = rec.only('M');
        std::sort(matches.begin(), matches.end());
        EXPECT_EQ(matches, (std::vector<std::string>{"a/alias/song.mp3", "a/real/song.mp3"}));
    }
}

TEST(WalkTraps, VeryDeepTree) {
    Tree tree;
    std::string rel;
    int depth = 0;
    // As deep as paths allow, up to 2000 levels.
    while (depth < 2000 && tree.root().size() + rel.size() + 4 < PATH_MAX - 16) {
        rel += "d/";
        ASSERT_EQ(::mkdir((tree.root() + rel).c_str(), 0755), 0);
        ++depth;
    }
    tree.file(rel + "deep.mp3");
    FileFinder f;
    std::atomic<int> folders{0};
    std::atomic<int> deepest{0};
    std::vector<std::string> found;
    f.onFolderChange = [&](FileFinder* s, const std::string&, FolderIgnore&) {
        ++folders;
        deepest = std::max<int>(deepest, s->currentLevel());
    };
    f.onFileMatch = [&](FileFinder*, const std::string& folder, const SearchRecord& r) {
        found.push_back(folder + r.name);
    };
    f.criteria().files().setLocation(tree.root());
    f.setThreaded(true);
    f.execute();
    ASSERT_TRUE(waitIdle(f, 120000));
    EXPECT_EQ(folders.load(), depth + 1);
    EXPECT_EQ(deepest.load(), depth + 1);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], tree.root() + rel + "deep.mp3");
    EXPECT_GE(depth, 1000);
}

TEST(WalkTraps, MissingLocationSendsItsFolderEventOnly) {
    FileFinder f;
    Recorder rec;
    rec.attach(f, "");
    f.criteria().files().setLocation("/no/such/folder");
    f.execute();
    EXPECT_EQ(rec.events, (std::vector<std::string>{"begin", "F /no/such/folder/", "finish"}));
    rec.events.clear();
    f.criteria().files().setLocation("");
    f.setThreaded(true);
    f.execute();
    ASSERT_TRUE(waitIdle(f));
    EXPECT_EQ(rec.events, (std::vector<std::string>{"begin", "finish"}));
}

}  // namespace
