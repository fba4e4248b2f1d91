#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include <sys/stat.h>

#include "code_page.h"
#include "file_dialogs.h"
#include "paths.h"

namespace platform {
namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// "*.mp3" -> "*.[mM][pP]3": Qt's wildcards are case-sensitive on this system.
QString caseInsensitiveGlob(const QString& pattern) {
    QString out;
    for (const QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper()) {
            out += u'[';
            out += c.toLower();
            out += c.toUpper();
            out += u']';
        } else {
            out += c;
        }
    }
    return out;
}

class QtFileDialogs final : public FileDialogService {
public:
    std::optional<std::string> runFileDialog(QWidget* owner,
                                             const FileDialogSettings& settings) override {
        QFileDialog dialog(owner);
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setNameFilter(qtNameFilters(settings.filter));
        if (settings.kind == FileDialogSettings::Kind::Save) {
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
            dialog.setOption(QFileDialog::DontConfirmOverwrite, !settings.promptOverwrite);
            QString ext = settings.defaultExtension;
            if (ext.startsWith(u'*')) ext.remove(0, 1);
            if (ext.startsWith(u'.')) ext.remove(0, 1);
            dialog.setDefaultSuffix(ext);
        } else {
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setFileMode(settings.fileMustExist ? QFileDialog::ExistingFile
                                                      : QFileDialog::AnyFile);
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return chosenPathBytes(dialog.selectedFiles().front());
    }

    std::optional<std::string> chooseFolder(QWidget* owner, const QString& title) override {
        const QString dir =
            QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
        if (dir.isEmpty()) return std::nullopt;
        return chosenPathBytes(dir);
    }
};

std::unique_ptr<FileDialogService>& slot() {
    static std::unique_ptr<FileDialogService> service = std::make_unique<QtFileDialogs>();
    return service;
}

}  // namespace

std::string chosenPathBytes(const QString& chosen) {
    const std::string listed = qtPathBytes(chosen);
    if (exists(listed)) return listed;
    const QFileInfo info(chosen);
    const std::string folder = qtPathBytes(info.path());
    if (const auto name = fromDisplay(info.fileName()); name && exists(folder)) {
        return paths::withTrailingSeparator(folder) + *name;
    }
    return fromDisplay(chosen).value_or(listed);
}

QString qtNameFilters(const QString& storedFilter) {
    const QStringList parts = storedFilter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList globs;
        for (const QString& p : parts[i + 1].split(u';', Qt::SkipEmptyParts)) {
            globs << caseInsensitiveGlob(p.trimmed());
        }
        filters << parts[i] + QStringLiteral(" (") + globs.join(u' ') + u')';
    }
    return filters.join(QStringLiteral(";;"));
}

FileDialogService& fileDialogs() {
    return *slot();
}

std::unique_ptr<FileDialogService> setFileDialogService(
    std::unique_ptr<FileDialogService> service) {
    if (!service) service = std::make_unique<QtFileDialogs>();
    std::swap(slot(), service);
    return service;
}

}  // namespace platform
