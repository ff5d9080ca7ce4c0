#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QSvgRenderer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "graph/ui/GraphCustomizeDialog.h"
#include "graph/ui/GraphWindow.h"
#include "leq/LeqFixture.h"
#include "leq/ui/LeqWindow.h"
#include "live/ui/ControlPanel.h"
#include "report/PdfText.h"
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
        model->setItem(r, 1, new QStandardItem("13/04/2024"));
        model->setItem(r, 2,
                       new QStandardItem(QString("09:%1:31.0").arg(r % 60, 2, 10, QChar('0'))));
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
    // The words of a page between its header and footer lines.
    static std::vector<test::PdfWord> bodyWords(const test::PdfPage& page) {
        double top = 0, bottom = page.height;
        for (const test::PdfWord& w : page.words) {
            if (w.text == QLatin1String("Printed")) top = w.bottom;
            if (w.text == QLatin1String("Page")) bottom = w.top;
        }
        std::vector<test::PdfWord> out;
        for (const test::PdfWord& w : page.words)
            if (w.top >= top && w.bottom <= bottom) out.push_back(w);
        return out;
    }
};

}  // namespace

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

// Columns are placed by the widths of their texts: rows 1-9 and 10 on share their left edges,
// the titles stand over their columns, a long cell keeps its distance from the next column and
// the date never runs into the time.
TEST_F(PdfTablePrint, ColumnsLineUpUnderTheirTitles) {
    auto list = listTable(12);
    list->setItem(4, 1, new QStandardItem("012345678901"));
    ASSERT_TRUE(TablePrinter::print(*list, printer, "Tabular list - survey.txt",
                                    QDateTime(QDate(2024, 4, 14), QTime(8, 0))));
    const std::vector<test::PdfPage> pages = test::pdfPages(pdf);
    ASSERT_EQ(pages.size(), 1u);
    const QString all = pages[0].texts().join(' ');
    EXPECT_TRUE(all.contains("Tabular list - survey.txt")) << all.toStdString();
    EXPECT_TRUE(all.contains("Printed 2024-04-14 08:00:00"));
    EXPECT_TRUE(all.contains("Page 1 of 1"));
    // The title row and the 12 rows: one word per cell.
    std::vector<double> left[4], right[4];
    const QStringList titles = {"No", "Date", "Time", "Value"};
    const QRegularExpression patterns[4] = {
        QRegularExpression("^[0-9]{1,2}$"), QRegularExpression("^(13/04/2024|012345678901)$"),
        QRegularExpression("^09:[0-9]{2}:31\\.0$"), QRegularExpression("^65\\.4$")};
    double titleLeft[4] = {-1, -1, -1, -1};
    for (const test::PdfWord& w : bodyWords(pages[0])) {
        if (const int t = int(titles.indexOf(w.text)); t >= 0) titleLeft[t] = w.left;
        for (int c = 0; c < 4; ++c)
            if (patterns[c].match(w.text).hasMatch()) {
                left[c].push_back(w.left);
                right[c].push_back(w.right);
            }
    }
    for (int c = 0; c < 4; ++c) {
        SCOPED_TRACE(titles[c].toStdString());
        ASSERT_EQ(left[c].size(), 12u);
        const auto [lo, hi] = std::minmax_element(left[c].begin(), left[c].end());
        EXPECT_LE(*hi - *lo, 1.0);
        EXPECT_NEAR(titleLeft[c], *lo, 1.0);
        if (c < 3) {
            EXPECT_LT(*std::max_element(right[c].begin(), right[c].end()), titleLeft[c + 1]);
        }
    }
}

TEST_F(PdfTablePrint, ALongTableRepeatsItsTitlesOnEveryNumberedPage) {
    auto list = listTable(150);
    ASSERT_TRUE(TablePrinter::print(*list, printer, "Tabular list"));
    const std::vector<test::PdfPage> pages = test::pdfPages(pdf);
    ASSERT_GE(pages.size(), 2u);
    int next = 1;  // the row number expected first on the page
    for (size_t p = 0; p < pages.size(); ++p) {
        SCOPED_TRACE(p + 1);
        const std::vector<test::PdfWord> words = bodyWords(pages[p]);
        const QStringList texts = pages[p].texts();
        EXPECT_TRUE(
            texts.join(' ').contains(QString("Page %1 of %2").arg(p + 1).arg(pages.size())));
        for (const char* title : {"No", "Date", "Time", "Value"})
            EXPECT_TRUE(texts.contains(title));
        // Row numbers carry on from the page before: none lost, none twice.
        for (const test::PdfWord& w : words) {
            if (w.text.contains(QRegularExpression("^[0-9]+$")) && w.left < 80) {
                EXPECT_EQ(w.text.toInt(), next);
                ++next;
            }
        }
    }
    EXPECT_EQ(next, 151);
}

TEST_F(PdfTablePrint, TheLeqTablePrintsItsLeqColumn) {
    LeqTableModel leq(QLocale(QLocale::English, QLocale::UnitedKingdom));
    leq.append({1, 45413.5, true, 71.2f, 70.9f, 24});
    leq.append({2, 45413.5 + 1.0 / 86400, false, 0, 0, 0});
    ASSERT_TRUE(TablePrinter::print(leq, printer));
    const QString page = test::pdfLayoutPages(pdf).value(0);
    EXPECT_TRUE(page.contains(QRegularExpression("TIME\\s+SPL\\s+Leq"))) << page.toStdString();
    EXPECT_TRUE(page.contains(QRegularExpression("71\\.2\\s+70\\.9\\s*\\n"))) << page.toStdString();
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
    // A graph prints in landscape, under a header with the window's caption.
    const std::vector<test::PdfPage> printed = test::pdfPages(pdf);
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_GT(printed[0].width, printed[0].height);
    EXPECT_TRUE(printed[0].texts().join(' ').contains(graph->caption()))
        << graph->caption().toStdString();
    // The next table prints in portrait again: each kind keeps its own orientation.
    QPageLayout::Orientation tableOrientation = QPageLayout::Landscape;
    print().execPrintDialog = [&](QPrinter& printer, QWidget*) {
        tableOrientation = printer.pageLayout().orientation();
        return false;
    };
    QStandardItemModel table(1, 1);
    print().printTable(table);
    EXPECT_EQ(tableOrientation, QPageLayout::Portrait);

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

TEST_F(PrintFromMainWindow, ExportGraphAndReportWriteTheActiveGraphAndCancelWritesNothing) {
    GraphWindow* graph = window->realTimeWindow();
    ASSERT_NE(graph, nullptr);
    activate(graph);
    int dialogs = 0;
    bool accept = false;
    print().execGraphImageDialog = [&](GraphImageChoice& c, QWidget*) {
        ++dialogs;
        EXPECT_EQ(c.size, QSize(1600, 900));  // the default size
        // Offered before any export: the caption, in the data folder.
        EXPECT_EQ(QFileInfo(c.path).fileName(), graph->caption() + ".png");
        EXPECT_EQ(QFileInfo(c.path).absolutePath().toStdString(),
                  QDir::cleanPath(window->dataFolder()).toStdString());
        c.path = dir.filePath("graph.svg");
        c.size = {800, 400};
        return accept;
    };
    print().execReportDialog = [&](ReportChoice& c, QWidget*) {
        ++dialogs;
        EXPECT_FALSE(c.includeSamples);
        c.path = dir.filePath("report");  // the suffix is added
        return accept;
    };
    print().showExportError = [](const QString& message, QWidget*) {
        ADD_FAILURE() << message.toStdString();
    };
    test::action(*window, "exportGraphAction")->trigger();
    test::button(*window, "exportReportButton")->click();
    EXPECT_EQ(dialogs, 2);
    EXPECT_TRUE(QDir(dir.path()).entryList({"graph.*", "report*"}, QDir::Files).isEmpty());

    accept = true;
    test::action(*window, "exportGraphAction")->trigger();
    test::action(*window, "exportReportAction")->trigger();
    EXPECT_EQ(dialogs, 4);
    EXPECT_EQ(QSvgRenderer(dir.filePath("graph.svg")).viewBox(), QRect(0, 0, 800, 400));
    const QString report = test::pdfLayoutPages(dir.filePath("report.pdf")).value(0);
    EXPECT_TRUE(report.contains(graph->caption())) << report.toStdString();
    EXPECT_TRUE(report.contains("Lmax")) << report.toStdString();

    // Any other window exports nothing.
    activate(window->panel());
    test::action(*window, "exportGraphAction")->trigger();
    test::action(*window, "exportReportAction")->trigger();
    EXPECT_EQ(dialogs, 4);
}
