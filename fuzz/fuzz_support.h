// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the fuzz targets: the locale an input asks for, a scratch folder, and, for the
// targets that drive real windows, an offscreen application with message boxes that answer at
// once and a file dialog that always chooses one file.
//
// Single-threaded: libFuzzer calls a target from one thread.

#include <QApplication>

#include <fcntl.h>
#include <langinfo.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/code_page.h"
#include "platform/file_dialogs.h"
#include "platform/message_box.h"

namespace fuzz_support {

// Ends the run as a finding, with a message, when `ok` is false.
inline void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// Switches the process to one of the locales the player is used under, chosen by `selector`,
// with the matching code page; one that is not installed falls back to C.
inline void useLocale(unsigned char selector) {
    static const char* const kLocales[] = {"zh_CN.gbk", "zh_CN.utf8", "C.UTF-8", "C"};
    const char* wanted = kLocales[selector % 4];
    if (!std::setlocale(LC_ALL, wanted)) std::setlocale(LC_ALL, "C");
    platform::CodePage::setActive(platform::CodePage::fromCharsetName(nl_langinfo(CODESET)));
}

// A private folder for the files a target writes, removed when the process ends normally.
inline const std::string& scratchFolder() {
    static const std::string folder = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/vorela-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) std::abort();
        static const std::string removeAtExit = pattern;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(removeAtExit, ignored);
        });
        return pattern + "/";
    }();
    return folder;
}

// Replaces a scratch file's contents (a plain write: the writer under test is not this one).
inline void putFile(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) std::abort();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) std::abort();
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

// The offscreen application the window targets need, made on first use.
inline void ensureApplication() {
    static std::unique_ptr<QApplication> app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz";
        static char* argv[] = {name, nullptr};
        return std::make_unique<QApplication>(argc, argv);
    }();
}

// Message boxes that answer at once and count what they were asked.
class AnsweringBoxes final : public platform::MessageBoxService {
public:
    int show(QWidget*, const QString& text, const QString&, unsigned style) override {
        ++shown;
        lastText = text;
        return (style & platform::MB_YESNO) ? platform::IDNO : platform::IDOK;
    }
    int shown = 0;
    QString lastText;
};

// A file dialog that always chooses `path`.
class ChosenFile final : public platform::FileDialogService {
public:
    explicit ChosenFile(std::string path) : path_(std::move(path)) {}
    std::optional<std::string> runFileDialog(QWidget*,
                                             const platform::FileDialogSettings&) override {
        return path_;
    }
    std::optional<std::string> chooseFolder(QWidget*, const QString&) override { return path_; }

private:
    std::string path_;
};

}  // namespace fuzz_support
