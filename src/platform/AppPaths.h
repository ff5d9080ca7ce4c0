#pragma once

#include <QString>
#include <QStringList>

namespace kl516 {

// Where everything the program reads and writes lives. The program's own folder is read-only
// once installed: what ships with it (help page, default graph template) is read from the
// installed data folder, and what the program writes for itself (the graph template the user
// saves, the temporary collection file, logs) goes to a per-user folder. The user's measurement
// data stay in the data folder (Documents/KL516).
struct AppPaths {
    QString programFolder;  // the executable's folder
    QString shippedFolder;  // installed data: <prefix>/share/kl516, or the program's folder
                            // when the program runs from its build folder
    QString userFolder;     // per-user, writable: $XDG_DATA_HOME/KL516 (~/.local/share/KL516)
    QString dataFolder;     // the user's data: Documents/KL516; empty without a documents folder

    // The paths of the running program, from its location and the user's standard folders.
    static AppPaths forRunningProgram();
    // The same for a program in programFolder, with userFolder and dataFolder given (tests and
    // the main window's scratch environment).
    static AppPaths forProgramFolder(const QString& programFolder, const QString& userFolder,
                                     const QString& dataFolder);

    // The folder the user's graph template is written to, with a trailing separator; empty
    // without a per-user folder.
    QString templateFolder() const;
    // userFolder/template/graph.ghf: where the template question writes.
    QString userTemplate() const;
    // The templates to try, in order: the user's, then the shipped one, then one in the
    // program's folder (an older installation); each listed once.
    QStringList templateCandidates() const;
    // The help page: the shipped one, else the one in the program's folder.
    QString helpPage() const;
    // userFolder/temp/LEQ.txt: the log of every reading of the last LEQ run; empty without a
    // per-user folder.
    QString leqLog() const;

    // "name: path" lines for every entry, for `kl516-cli paths`.
    QStringList describe() const;
};

}  // namespace kl516
