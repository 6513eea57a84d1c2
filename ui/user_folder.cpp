#include "user_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cstdio>

#include "ombrilo/program_version.h"
#include "ui/dialogs.h"

namespace ombrilo {

namespace {

constexpr const char* kCopiedNote = ".gallery-copied";

QString CannotCreate(const QString& folder) {
    return QString("Не удается создать рабочую папку\n%1.").arg(QDir::toNativeSeparators(folder));
}

QString CannotWrite(const QString& folder) {
    return QString("В рабочую папку\n%1\nне удается записать файлы.")
        .arg(QDir::toNativeSeparators(folder));
}

bool CanWriteInto(const QString& folder) {
    QTemporaryFile probe(folder + "/.write-test-XXXXXX");
    return probe.open();
}

// Copies every file of gallery that folder does not have yet; false when one cannot be written.
bool CopyMissingFiles(const QString& gallery, const QString& folder) {
    const QDir source(gallery);
    QDirIterator files(gallery, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString from = files.next();
        const QString to = folder + "/" + source.relativeFilePath(from);
        if (QFileInfo::exists(to) || QFileInfo(to).isSymLink()) {
            continue;
        }
        if (!QDir().mkpath(QFileInfo(to).path()) || !QFile::copy(from, to)) {
            return false;
        }
        // The copy is the user's own file now, writable even when the gallery is read-only.
        QFile::setPermissions(to, QFile::permissions(to) | QFile::WriteOwner);
    }
    return true;
}

bool WriteCopiedNote(const QString& folder) {
    QSaveFile note(folder + "/" + kCopiedNote);
    return note.open(QIODevice::WriteOnly) && note.write(OMBRILO_VERSION "\n") > 0 && note.commit();
}

}  // namespace

QString UserFolderPath() {
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome)) {
        dataHome = QDir::homePath() + "/.local/share";
    }
    return QDir::cleanPath(dataHome + "/ombrilo");
}

QString InstalledGalleryFolder() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + "/" +
                           OMBRILO_GALLERY_FROM_PROGRAMS);
}

QString PrepareUserFolder(const QString& folder, const QString& gallery) {
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir()) {
        return CannotCreate(folder);
    }
    if (!CanWriteInto(folder)) {
        return CannotWrite(folder);
    }
    // Without an installed gallery (a program run from its build folder) nothing is copied, and
    // the copy is made by the first start of an installed program.
    if (QFileInfo::exists(folder + "/" + kCopiedNote) || !QFileInfo(gallery).isDir()) {
        return {};
    }
    if (!CopyMissingFiles(gallery, folder) || !WriteCopiedNote(folder)) {
        return CannotWrite(folder);
    }
    return {};
}

bool EnterUserFolder(const QString& gallery) {
    const QString folder = UserFolderPath();
    const QString problem = PrepareUserFolder(folder, gallery);
    if (problem.isEmpty() && QDir::setCurrent(folder)) {
        return true;
    }
    const QString text = problem.isEmpty() ? CannotCreate(folder) : problem;
    std::fprintf(stderr, "ombrilo: %s\n", qPrintable(QString(text).replace('\n', ' ')));
    ShowError(nullptr, "Ошибка:", text);
    return false;
}

}  // namespace ombrilo
