#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrinter>
#include <QTabWidget>
#include <QTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QTemporaryDir>

#include "graph/ui/GraphCustomizeDialog.h"
#include "graph/ui/GraphWindow.h"
#include "leq/LeqFixture.h"
#include "leq/ui/LeqWindow.h"
#include "live/ui/ControlPanel.h"
#include "report/ui/PrintCommands.h"
#include "report/ui/TablePrinter.h"

using namespace kl516;

namespace {

// A table with the list's titles and `rows` rows of "n", date, time and level; a seventh,
// untitled and empty column as the tabular list has.
std::unique_ptr<QStandardItemModel> listTable(int rows) {
    auto model = std::make_unique<QStandardItemModel>(rows, 7);
    const QStringList titles = {"No", "Date", "Time", "Value", "", "", ""};
    for (int c = 0; c < 7; ++c) model->setHeaderData(c, Qt::Horizontal, titles[c]);
    for (int r = 0; r < rows; ++r) {
        model->setItem(r, 0, new QStandardItem(QString::number(r + 1)));
        model->setItem(r, 1, new QStandardItem("1/5/2024"));
        model->setItem(r, 2, new QStandardItem(QString("08:%1:00").arg(r % 60, 2, 10, QChar('0'))));
        model->setItem(r, 3, new QStandardItem("65.4"));
    }
    return model;
}

struct PdfTablePrint : ::testing::Test {
    QTemporaryDir dir;
    QString pdf = dir.filePath("table.pdf");
    QPrinter printer{QPrinter::HighResolution};

    void SetUp() override {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
    }

    static QString pdftotext(const QStringList& arguments) {
        QProcess p;
        p.start("pdftotext", arguments);
        EXPECT_TRUE(p.waitForFinished(30000)) << "pdftotext (poppler-utils) is needed";
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    // The printed text, page by page, as pdftotext lays it out.
    QStringList pages() {
        QStringList out = pdftotext({"-layout", pdf, "-"}).split(QChar('\f'));
        if (!out.isEmpty() && out.last().trimmed().isEmpty()) out.removeLast();
        return out;
    }
    // The words of the first page with their left and right edges, in points.
    struct Word {
        QString text;
        double left, right, top;
    };
    std::vector<Word> words() {
        static const QRegularExpression word(
            "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"[0-9.]+\">([^<]*)</word>");
        std::vector<Word> out;
        auto it = word.globalMatch(pdftotext({"-bbox", "-f", "1", "-l", "1", pdf, "-"}));
        while (it.hasNext()) {
            const auto m = it.next();
            out.push_back({m.captured(4), m.captured(1).toDouble(), m.captured(3).toDouble(),
                           m.captured(2).toDouble()});
        }
        return out;
    }
    static QStringList textLines(const QString& page) {
        QStringList lines;
        for (const QString& l : page.split('\n'))
            if (!l.trimmed().isEmpty()) lines << l;
        return lines;
    }
};

}  // namespace

TEST(TablePrinter, PadsEachCellToItsColumnWithTwoBlanksPerMissingCharacter) {
    const struct {
        QStringList cells;
        QString line;
    } cases[] = {
        // "No" + 16 blanks, "Date" + 12, "Time" (width 17) + 26, "Value" + 10.
        {{"No", "Date", "Time", "Value"},
         "No" + QString(16, ' ') + "Date" + QString(12, ' ') + "Time" + QString(26, ' ') +
             "Value" + QString(10, ' ')},
        // A cell of the width or longer gets no blanks and touches the next one.
        {{"1", "012345678901", "x"}, "1" + QString(18, ' ') + "012345678901" + "x" + QString(32, ' ')},
        {{"", "", "12345678901234567"}, QString(20, ' ') + QString(20, ' ') + "12345678901234567"},
    };
    for (const auto& c : cases) EXPECT_EQ(TablePrinter::paddedLine(c.cells), c.line) << c.cells.join('|').toStdString();
}

TEST(TablePrinter, PrintsEveryColumnThatHoldsDataAndLeavesTrailingEmptyOnesOut) {
    auto list = listTable(3);
    EXPECT_EQ(TablePrinter::printedColumns(*list), 4);
    list->setItem(2, 5, new QStandardItem("x"));
    EXPECT_EQ(TablePrinter::printedColumns(*list), 6);
    // The LEQ table's last column, "Leq", is printed.
    LeqTableModel leq(QLocale(QLocale::English, QLocale::UnitedKingdom));
    EXPECT_EQ(TablePrinter::printedColumns(leq), LeqTableModel::kColumns);
}

TEST(TablePrinter, FallsBackToTheSystemsFixedPitchFontAtTenPoints) {
    const QFont f = TablePrinter::font();
    EXPECT_EQ(f.pointSize(), 10);
    if (!QFontDatabase::hasFamily("FixedSys")) {
        EXPECT_EQ(f.family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    }
}

TEST_F(PdfTablePrint, ATitleAndThreeRowsPrintFourLinesOnOnePageWithThePadding) {
    auto list = listTable(3);
    ASSERT_TRUE(TablePrinter::print(*list, printer));
    const QStringList printed = pages();
    ASSERT_EQ(printed.size(), 1);
    const QStringList lines = textLines(printed[0]);
    ASSERT_EQ(lines.size(), 4);
    // Where the words start shows the blanks between them: in a fixed-pitch font "No" + 16
    // blanks puts "Date" 18 characters after "No", "Date" + 12 puts "Time" 16 after "Date",
    // and "Time" + 26 puts "Value" 30 after "Time".
    const std::vector<Word> all = words();
    auto find = [&](const char* text) {
        for (const Word& x : all)
            if (x.text == text) return x;
        ADD_FAILURE() << "no word " << text;
        return Word{};
    };
    const Word w[4] = {find("No"), find("Date"), find("Time"), find("Value")};
    const double advance = (w[3].right - w[3].left) / 5;  // one character
    EXPECT_NEAR((w[1].left - w[0].left) / advance, 18, 0.1);
    EXPECT_NEAR((w[2].left - w[1].left) / advance, 16, 0.1);
    EXPECT_NEAR((w[3].left - w[2].left) / advance, 30, 0.1);
    // The first line starts one line height below the page's top.
    EXPECT_GT(w[0].top, 0);
    EXPECT_TRUE(lines[1].contains(QRegularExpression("^\\s*1\\s+1/5/2024\\s+08:00:00\\s+65\\.4\\s*$")))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[3].trimmed().startsWith("3 ")) << lines[3].toStdString();
}

TEST_F(PdfTablePrint, TwoPagesAndOneRowMoreGoOnThreePagesWithTheTitleOnTheFirstOnly) {
    const int p = TablePrinter::layout(printer).linesPerPage;
    ASSERT_GT(p, 10);
    // 2p + 1 lines: the title row and 2p data rows.
    auto list = listTable(2 * p);
    ASSERT_TRUE(TablePrinter::print(*list, printer));
    const QStringList printed = pages();
    ASSERT_EQ(printed.size(), 3);
    const QStringList first = textLines(printed[0]), second = textLines(printed[1]),
                      third = textLines(printed[2]);
    EXPECT_EQ(first.size(), p);
    EXPECT_EQ(second.size(), p);
    ASSERT_EQ(third.size(), 1);
    EXPECT_TRUE(first[0].contains("Date"));
    EXPECT_TRUE(first[1].trimmed().startsWith("1 "));
    EXPECT_TRUE(second[0].trimmed().startsWith(QString::number(p) + " ")) << second[0].toStdString();
    EXPECT_FALSE(second.join('\n').contains("Date"));
    EXPECT_FALSE(third[0].contains("Date"));
    EXPECT_TRUE(third[0].trimmed().startsWith(QString::number(2 * p) + " ")) << third[0].toStdString();
}

TEST_F(PdfTablePrint, TheLeqTablePrintsItsLeqColumn) {
    LeqTableModel leq(QLocale(QLocale::English, QLocale::UnitedKingdom));
    leq.append({1, 45413.5, true, 71.2f, 70.9f, 24});
    leq.append({2, 45413.5 + 1.0 / 86400, false, 0, 0, 0});
    ASSERT_TRUE(TablePrinter::print(leq, printer));
    const QStringList lines = textLines(pages().value(0));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].trimmed().endsWith("Leq")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains(QRegularExpression("71\\.2\\s+70\\.9\\s*$"))) << lines[1].toStdString();
}

namespace {

// The main window with its print dialog answered by the test: a PDF file in the scratch folder,
// or Cancel.
struct PrintFromMainWindow : test::LeqFixture {
    QString pdf;
    int printDialogs = 0;
    bool acceptPrint = true;
    std::function<bool(QPrinter&, QWidget*)> defaultPrintDialog;

    void SetUp() override {
        start();
        pdf = dir.filePath("printout.pdf");
        defaultPrintDialog = print().execPrintDialog;
        print().execPrintDialog = [this](QPrinter& printer, QWidget*) {
            ++printDialogs;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return acceptPrint;
        };
    }
    PrintCommands& print() { return window->printCommands(); }
    void activate(QWidget* child) {
        auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget());
        ASSERT_NE(sub, nullptr);
        window->workspace()->setActiveSubWindow(sub);
        ASSERT_EQ(window->activeChild(), child);
    }
    QString printedText() {
        QProcess p;
        p.start("pdftotext", {"-layout", pdf, "-"});
        EXPECT_TRUE(p.waitForFinished(30000));
        return QString::fromUtf8(p.readAllStandardOutput());
    }
};

}  // namespace

TEST_F(PrintFromMainWindow, PrintPrintsTheActiveLeqTableAndCancelPrintsNothing) {
    openLeq();
    leqWindow()->table().append({1, 45413.5, true, 71.2f, 70.9f, 24});
    leqWindow()->table().append({2, 45413.5 + kOneSecond, true, 74.0f, 72.8f, 24});
    activate(leqWindow());

    acceptPrint = false;
    test::button(*window, "printButton")->click();
    EXPECT_EQ(printDialogs, 1);
    EXPECT_FALSE(QFile::exists(pdf));

    acceptPrint = true;
    test::action(*window, "printAction")->trigger();
    EXPECT_EQ(printDialogs, 2);
    const QString text = printedText();
    EXPECT_TRUE(text.contains(QRegularExpression("TIME\\s+SPL\\s+Leq"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression("74\\.0\\s+72\\.8"))) << text.toStdString();
}

TEST_F(PrintFromMainWindow, PrinterSetupSetsUpThePrinterOfTheLaterJobs) {
    QPrinter* setUp = nullptr;
    print().execPrinterSetupDialog = [&](QPrinter& printer, QWidget*) {
        setUp = &printer;
        printer.setPageOrientation(QPageLayout::Landscape);
        return true;
    };
    test::action(*window, "printerSetupAction")->trigger();
    ASSERT_EQ(setUp, &print().printer());
    openLeq();
    leqWindow()->table().append({1, 45413.5, true, 71.2f, 70.9f, 24});
    activate(leqWindow());
    print().execPrintDialog = [&](QPrinter& printer, QWidget*) {
        EXPECT_EQ(&printer, setUp);
        EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    };
    test::action(*window, "printAction")->trigger();
    EXPECT_TRUE(QFile::exists(pdf));
}

TEST_F(PrintFromMainWindow, WithTheControlPanelActivePrintDoesNothing) {
    activate(window->panel());
    test::action(*window, "printAction")->trigger();
    EXPECT_EQ(printDialogs, 0);
}

TEST_F(PrintFromMainWindow, AGraphGoesThroughItsSettingsWithFourPagesHiddenThenThePrintDialog) {
    GraphWindow* graph = window->realTimeWindow();
    ASSERT_NE(graph, nullptr);
    activate(graph);
    int pagesOffered = -1;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<GraphCustomizeDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        pagesOffered = dialog->tabs()->count();
        EXPECT_EQ(printDialogs, 0);  // the settings come first
        dialog->reject();
    });
    test::button(*window, "printButton")->click();
    EXPECT_EQ(pagesOffered, 1);  // colours and styles only
    EXPECT_EQ(printDialogs, 1);
    ASSERT_TRUE(QFile::exists(pdf));
    EXPECT_GT(QFileInfo(pdf).size(), 1000);

    // Afterwards the window's own settings dialog offers every page again.
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<GraphCustomizeDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        pagesOffered = dialog->tabs()->count();
        dialog->reject();
    });
    graph->graphView->perform(GraphAction::Customize);
    EXPECT_EQ(pagesOffered, 5);
}

TEST_F(PrintFromMainWindow, ThePrintDialogOffersAPdfFileBesideThePrinters) {
    print().execPrintDialog = defaultPrintDialog;
    QStringList printers;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        for (QComboBox* box : dialog->findChildren<QComboBox*>())
            for (int i = 0; i < box->count(); ++i) printers << box->itemText(i);
        qobject_cast<QDialog*>(dialog)->reject();
    });
    QStandardItemModel table(1, 1);
    EXPECT_FALSE(print().printTable(table));
    EXPECT_TRUE(printers.join('|').contains("PDF")) << printers.join('|').toStdString();
}
