#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/Settings.h"

namespace kl516 {

namespace {

QString clean(const QString& path) {
    return path.isEmpty() ? path : QDir::cleanPath(path);
}

// The installed data folder of a program in <prefix>/bin is <prefix>/share/kl516; a program
// run from its build folder has its data beside it.
QString shippedFolderFor(const QString& programFolder) {
    const QDir bin(programFolder);
    const QString installed = QDir::cleanPath(bin.filePath(QStringLiteral("../share/kl516")));
    if (QFileInfo(installed).isDir()) return installed;
    return clean(programFolder);
}

}  // namespace

AppPaths AppPaths::forProgramFolder(const QString& programFolder, const QString& userFolder,
                                    const QString& dataFolder) {
    AppPaths p;
    p.programFolder = clean(programFolder);
    p.shippedFolder = shippedFolderFor(programFolder);
    p.userFolder = clean(userFolder);
    p.dataFolder = clean(dataFolder);
    return p;
}

AppPaths AppPaths::forRunningProgram() {
    const QString generic = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return forProgramFolder(QCoreApplication::applicationDirPath(),
                            generic.isEmpty() ? QString() : generic + QStringLiteral("/KL516"),
                            kl516::dataFolder());
}

QString AppPaths::templateFolder() const {
    // Without a per-user folder there is nowhere to write: never the root of the disk.
    if (userFolder.isEmpty()) return {};
    return userFolder + QStringLiteral("/template/");
}

QString AppPaths::userTemplate() const {
    return userFolder.isEmpty() ? QString() : templateFolder() + QStringLiteral("graph.ghf");
}

QStringList AppPaths::templateCandidates() const {
    QStringList list;
    auto add = [&list](const QString& path) {
        if (!path.isEmpty() && !list.contains(path)) list << path;
    };
    if (!userFolder.isEmpty()) add(userTemplate());
    if (!shippedFolder.isEmpty()) add(shippedFolder + QStringLiteral("/template/graph.ghf"));
    if (!programFolder.isEmpty()) add(programFolder + QStringLiteral("/template/graph.ghf"));
    return list;
}

QString AppPaths::helpPage() const {
    const QString shipped = shippedFolder + QStringLiteral("/KL516Help.htm");
    if (QFileInfo::exists(shipped)) return shipped;
    return programFolder + QStringLiteral("/KL516Help.htm");
}

QString AppPaths::leqLog() const {
    return userFolder.isEmpty() ? QString() : userFolder + QStringLiteral("/temp/LEQ.txt");
}

QStringList AppPaths::describe() const {
    return {QStringLiteral("program: ") + programFolder,
            QStringLiteral("shipped data: ") + shippedFolder,
            QStringLiteral("user data: ") + userFolder,
            QStringLiteral("graph template: ") + userTemplate(),
            QStringLiteral("help page: ") + helpPage(),
            QStringLiteral("LEQ log: ") + leqLog(),
            QStringLiteral("measurement data: ") + dataFolder};
}

}  // namespace kl516
