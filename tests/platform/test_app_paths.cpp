#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/AppPaths.h"

using namespace kl516;

namespace {

void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

}  // namespace

TEST(AppPaths, TemplatesAreTriedUserFirstThenShippedThenProgramFolder) {
    QTemporaryDir dir;
    const QString user = dir.filePath("user");
    struct Case {
        const char* what;
        QString program;
        bool installed;  // <prefix>/share/kl516 exists beside <prefix>/bin
        QString userFolder;
        QStringList expected;
    };
    const QString bin = dir.filePath("prefix/bin");
    const QString share = dir.filePath("prefix/share/kl516");
    const QString build = dir.filePath("build");
    const Case cases[] = {
        {"installed",
         bin,
         true,
         user,
         {user + "/template/graph.ghf", share + "/template/graph.ghf",
          bin + "/template/graph.ghf"}},
        // From the build folder the shipped data are the program's own: listed once.
        {"build folder",
         build,
         false,
         user,
         {user + "/template/graph.ghf", build + "/template/graph.ghf"}},
        {"no user folder",
         bin,
         true,
         QString(),
         {share + "/template/graph.ghf", bin + "/template/graph.ghf"}},
    };
    QDir().mkpath(bin);
    QDir().mkpath(build);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.installed)
            QDir().mkpath(share);
        else
            QDir(dir.filePath("prefix/share")).removeRecursively();
        const AppPaths p = AppPaths::forProgramFolder(c.program, c.userFolder, QString());
        EXPECT_EQ(p.templateCandidates(), c.expected);
    }
}

TEST(AppPaths, TheTemplateIsWrittenInTheUserFolderNeverBesideTheProgram) {
    QTemporaryDir dir;
    const QString bin = dir.filePath("prefix/bin");
    QDir().mkpath(bin);
    QDir().mkpath(dir.filePath("prefix/share/kl516"));
    const AppPaths p = AppPaths::forProgramFolder(bin, dir.filePath("user"), dir.filePath("docs"));
    EXPECT_EQ(p.templateFolder(), dir.filePath("user") + "/template/");
    EXPECT_EQ(p.userTemplate(), p.templateFolder() + "graph.ghf");
    EXPECT_EQ(p.templateCandidates().front(), p.userTemplate());
    for (const QString& readOnly : {p.programFolder, p.shippedFolder})
        EXPECT_FALSE(p.userTemplate().startsWith(readOnly + "/")) << readOnly.toStdString();
}

TEST(AppPaths, TheHelpPageIsTheShippedOneWhenItIsThere) {
    QTemporaryDir dir;
    const QString bin = dir.filePath("prefix/bin");
    const QString share = dir.filePath("prefix/share/kl516");
    QDir().mkpath(bin);
    QDir().mkpath(share);
    const AppPaths p = AppPaths::forProgramFolder(bin, dir.filePath("user"), QString());
    // Not shipped: the program folder's (an older installation).
    EXPECT_EQ(p.helpPage(), bin + "/KL516Help.htm");
    touch(share + "/KL516Help.htm");
    EXPECT_EQ(p.helpPage(), share + "/KL516Help.htm");
}
