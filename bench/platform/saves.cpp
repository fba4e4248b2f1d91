// SPDX-License-Identifier: GPL-3.0-or-later
// Saves of one playlist from two processes at once, 3,000 each, while a third process reads it:
// every save must succeed and every read must find one save's whole list. Three ways a save
// goes: the user's own list renamed into place from a temporary file that has no name until
// it is locked, the same where the file system makes temporary files under their names, and
// another user's shared list that the user may write, rewritten in place (needs root to act
// as that second user). The references, two processes at once in the same run: `cp` of the
// list beside it and `mv` over it (which neither flushes to disk nor checks anything), and the
// least a durable replace does, in this process: write a new file, flush it, rename it over
// the list and flush the folder, without locks or checks.
//   bench_platform_saves [SAVES_PER_WRITER] [FOLDER]
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../search/bench_tree.h"
#include "platform/locked_temporary.h"
#include "platform/system.h"
#include "platform/text_file.h"

namespace {

constexpr uid_t kOtherUser = 4343;  // the writers of another user's list
constexpr uid_t kListOwner = 4242;

// A list of 300 paths whose every line names its writer, so that a mixed list shows.
std::string listOf(char writer) {
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text += "/music/" + std::string(1, writer) + "/album " + std::to_string(i / 12) +
                "/track " + std::to_string(i) + ".mp3\r\n";
    }
    return text;
}

struct Outcome {
    long done = 0;
    long failed = 0;
    double seconds = 0;
    char firstError[200] = {};
};

// Runs `work` in a child process (as `uid` unless 0) and hands back what it reports.
template <typename Work>
pid_t start(int& readEnd, uid_t uid, Work work) {
    int fds[2];
    if (::pipe(fds) != 0) std::exit(2);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        if (uid != 0 && (::setgid(uid) != 0 || ::setuid(uid) != 0)) ::_exit(3);
        const Outcome outcome = work();
        (void)!::write(fds[1], &outcome, sizeof outcome);
        ::_exit(0);
    }
    ::close(fds[1]);
    readEnd = fds[0];
    return child;
}

Outcome finish(pid_t child, int readEnd) {
    Outcome outcome;
    if (::read(readEnd, &outcome, sizeof outcome) != ssize_t(sizeof outcome)) outcome.failed = -1;
    ::close(readEnd);
    ::waitpid(child, nullptr, 0);
    return outcome;
}

Outcome saveMany(const std::string& list, const std::string& text, long saves) {
    Outcome outcome;
    const double begin = bench::now();
    for (long i = 0; i < saves; ++i) {
        try {
            platform::writeWholeFile(list, text);
        } catch (const platform::SystemError& e) {
            if (outcome.failed++ == 0)
                std::snprintf(outcome.firstError, sizeof outcome.firstError, "%s", e.what());
        }
        ++outcome.done;
    }
    outcome.seconds = bench::now() - begin;
    return outcome;
}

// Reads until `stop` exists; counts reads that are not one whole list.
Outcome readMany(const std::string& list, const std::vector<std::string>& whole,
                 const std::string& stop) {
    Outcome outcome;
    while (!bench::exists(stop)) {
        try {
            const std::string text = platform::readWholeFile(list, 1 << 20);
            bool ok = false;
            for (const auto& w : whole) ok = ok || text == w;
            if (!ok && outcome.failed++ == 0)
                std::snprintf(outcome.firstError, sizeof outcome.firstError,
                              "a read of %zu bytes is no whole list", text.size());
        } catch (const platform::SystemError& e) {
            if (outcome.failed++ == 0)
                std::snprintf(outcome.firstError, sizeof outcome.firstError, "%s", e.what());
        }
        ++outcome.done;
    }
    return outcome;
}

// The reference: `cp` to a name beside the list, then `mv` over it, `pairs` times.
Outcome copyAndMove(const std::string& list, const std::string& from, long pairs) {
    Outcome outcome;
    const std::string beside = list + "." + std::to_string(::getpid()) + ".tmp";
    const double begin = bench::now();
    for (long i = 0; i < pairs; ++i) {
        try {
            bench::runQuiet({"cp", from, beside});
            bench::runQuiet({"mv", beside, list});
        } catch (const std::exception&) {
            ++outcome.failed;
        }
        ++outcome.done;
    }
    outcome.seconds = bench::now() - begin;
    return outcome;
}

// The least a durable replace does, `saves` times.
Outcome bareReplace(const std::string& list, const std::string& text, long saves) {
    Outcome outcome;
    const std::string beside = list + "." + std::to_string(::getpid()) + ".new";
    const std::string folder = std::filesystem::path(list).parent_path().string();
    const double begin = bench::now();
    for (long i = 0; i < saves; ++i) {
        const int fd = ::open(beside.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const bool ok = fd >= 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size()) &&
                        ::fsync(fd) == 0 && ::close(fd) == 0 &&
                        ::rename(beside.c_str(), list.c_str()) == 0;
        const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) ::fsync(dir), ::close(dir);
        outcome.failed += !ok;
        ++outcome.done;
    }
    outcome.seconds = bench::now() - begin;
    return outcome;
}

double msPerSave(const Outcome& a, const Outcome& b) {
    return (a.seconds + b.seconds) / double(a.done + b.done) * 1e3;
}

}  // namespace

int main(int argc, char** argv) {
    const long saves = argc > 1 ? std::atol(argv[1]) : 3000;
    std::string folder = std::string(argc > 2 ? argv[2] : "/tmp") + "/saves_XXXXXX";
    if (!::mkdtemp(folder.data())) return 2;
    ::chmod(folder.c_str(), 0777);
    const std::string list = folder + "/list.m3u";
    const std::string a = listOf('a'), b = listOf('b'), first = listOf('0');
    bool met = true;

    struct Way {
        const char* name;
        bool nameless;
        bool othersList;
    } ways[] = {
        {"own list, nameless temporary files", true, false},
        {"own list, named temporary files", false, false},
        {"another user's list, rewritten in place", true, true},
    };
    double perSave = 0;
    for (const Way& way : ways) {
        if (way.othersList && ::geteuid() != 0) {
            std::printf("%-42s skipped: needs root to act as a second user\n", way.name);
            continue;
        }
        platform::detail::useNamelessFiles(way.nameless);
        std::filesystem::remove(list);
        platform::writeWholeFile(list, first);
        const uid_t writer = way.othersList ? kOtherUser : 0;
        if (way.othersList) {
            ::chown(list.c_str(), kListOwner, kListOwner);
            ::chmod(list.c_str(), 0666);
        }
        const std::string stop = folder + "/stop";
        std::filesystem::remove(stop);
        int readerEnd = -1, aEnd = -1, bEnd = -1;
        const pid_t reader = start(readerEnd, writer, [&] {
            return readMany(list, {first, a, b}, stop);
        });
        const pid_t writerA = start(aEnd, writer, [&] { return saveMany(list, a, saves); });
        const pid_t writerB = start(bEnd, writer, [&] { return saveMany(list, b, saves); });
        const Outcome savedA = finish(writerA, aEnd), savedB = finish(writerB, bEnd);
        platform::writeWholeFile(stop, "");
        const Outcome read = finish(reader, readerEnd);

        struct stat st {};
        ::stat(list.c_str(), &st);
        const std::string last = platform::readWholeFile(list, 1 << 20);
        const bool whole = last == a || last == b;
        const bool kept =
            !way.othersList || (st.st_uid == kListOwner && (st.st_mode & 0777) == 0666);
        const long failed = savedA.failed + savedB.failed;
        const double ms = msPerSave(savedA, savedB);
        if (way.nameless && !way.othersList) perSave = ms;
        std::size_t leftBehind = 0;
        for (const auto& e : std::filesystem::directory_iterator(folder))
            leftBehind += e.path().filename().string().front() == '.';
        std::printf(
            "%-42s %ld of %ld saves failed, %ld of %ld reads not whole, last list %s, owner and "
            "mode %s, %zu hidden files left; %.3f ms a save\n",
            way.name, failed, savedA.done + savedB.done, read.failed, read.done,
            whole ? "whole" : "TORN", kept ? "kept" : "CHANGED", leftBehind, ms);
        for (const Outcome* o : {&savedA, &savedB, &read})
            if (o->firstError[0]) std::printf("    first failure: %s\n", o->firstError);
        met = met && failed == 0 && read.failed == 0 && whole && kept && leftBehind == 0;
    }

    // The references, two processes at once as above.
    const std::string from = folder + "/from.m3u";
    platform::writeWholeFile(from, a);
    const long pairs = std::min(saves, 300L);
    int aEnd = -1, bEnd = -1;
    pid_t childA = start(aEnd, 0, [&] { return copyAndMove(list, from, pairs); });
    pid_t childB = start(bEnd, 0, [&] { return copyAndMove(list, from, pairs); });
    const Outcome copiedA = finish(childA, aEnd), copiedB = finish(childB, bEnd);
    childA = start(aEnd, 0, [&] { return bareReplace(list, a, saves); });
    childB = start(bEnd, 0, [&] { return bareReplace(list, b, saves); });
    const Outcome bareA = finish(childA, aEnd), bareB = finish(childB, bEnd);
    const double copyMs = msPerSave(copiedA, copiedB), bareMs = msPerSave(bareA, bareB);
    std::printf("cp + mv: %.3f ms a pair (%ld of %ld failed); a save takes %.2fx a cp + mv\n",
                copyMs, copiedA.failed + copiedB.failed, copiedA.done + copiedB.done,
                perSave / copyMs);
    std::printf("bare write, flush, rename: %.3f ms (%ld of %ld failed); a save takes %.2fx\n",
                bareMs, bareA.failed + bareB.failed, bareA.done + bareB.done, perSave / bareMs);
    std::filesystem::remove_all(folder);
    return met ? 0 : 1;
}
