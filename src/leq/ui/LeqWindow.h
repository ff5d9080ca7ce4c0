#pragma once

#include <QAbstractTableModel>
#include <QLocale>
#include <QWidget>
#include <functional>
#include <vector>

#include "leq/LeqRun.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;
class QTableView;

namespace kl516 {

class SpreadsheetTimes;

// The rows of an LEQ run for leqTable: No, Date, TIME, SPL, Leq. Rows are kept as numbers and
// turned into texts when shown, so that a day of rows stays small and appending one row costs
// one row insertion.
class LeqTableModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kColumns = 5;

    explicit LeqTableModel(QLocale locale, QObject* parent = nullptr)
        : QAbstractTableModel(parent), locale_(std::move(locale)) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(rows_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : kColumns;
    }
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void append(const LeqRow& row);
    void clear();
    void reserve(size_t rows) { rows_.reserve(rows); }
    const std::vector<LeqRow>& rows() const { return rows_; }
    // Cells 1..4 of a row (date, time, SPL, Leq), as saved.
    QStringList cells(int row) const { return rows_[size_t(row)].cells(locale_); }
    // The spreadsheet CSV's column names and a row's fields: time, SPL and Leq as numbers; the
    // rows' times through one SpreadsheetTimes, in order.
    static QStringList spreadsheetHeader();
    QStringList spreadsheetFields(int row, SpreadsheetTimes& times) const;
    const QLocale& locale() const { return locale_; }

  private:
    QLocale locale_;
    std::vector<LeqRow> rows_;
};

// The LEQ measurement window: the table of completed seconds, the duration list, Start and
// Stop, the status fields, the statistical summary, Save and Graph. It shows what the LEQ
// commands tell it; the buttons are handled there. Destroyed when closed.
class LeqWindow final : public QWidget {
    Q_OBJECT
  public:
    explicit LeqWindow(const QLocale& locale, QWidget* parent = nullptr);

    LeqTableModel& table() const { return *model_; }
    // Seconds of the selected duration, or -1 when nothing is selected.
    int selectedSeconds() const;
    // Shows the summary fields; an invalid summary clears them.
    void showSummary(const LeqSummary& summary);
    // Keeps the last row in view once the table outgrows its area.
    void scrollToLastRow();
    // Asked before the window closes; false keeps it open (the table's save question).
    std::function<bool()> confirmClose;

    // Controls
    QSplitter *mainSplitter, *controlsSplitter;
    QFrame *tablePanel, *controlsPanel;
    QTableView* leqTable;
    QGroupBox *setupGroup, *statusGroup, *summaryGroup;
    QComboBox* durationBox;
    QPushButton *startRunButton, *stopRunButton, *saveButton, *graphButton;
    QLabel *samplingRateLabel, *currentLeqLabel, *timeLeftLabel;
    QLineEdit *samplingRate, *timeLeft, *currentLeq;
    QLineEdit *summaryLmax, *summaryLmin, *summaryL10, *summaryL50, *summaryL90, *summarySel;

  signals:
    void closed();
    // Every row of the table was written to a file by File > Save.
    void tableSaved();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    LeqTableModel* model_;
    QLocale locale_;
    bool shownOnce_ = false;
};

}  // namespace kl516
