#pragma once

#include <QStringList>
#include <QWidget>
#include <optional>
#include <vector>

#include "assessment/NoiseAssessment.h"

class QComboBox;
class QCPBars;
class QCPGraph;
class QCustomPlot;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QTableView;

namespace kl516 {

class GraphWindowHost;
class TextTableModel;

// The noise assessment of a graph window's series: the levels per clock-aligned interval (a
// table and a bar chart of their Leq with Lmax marks), the day-evening-night levels and the
// exceedances of a threshold. Interval, threshold and minimum duration are chosen here, the
// tables follow at once, and the choices are remembered in the settings store. Save writes the
// three tables to one table text file.
class NoiseAssessmentWindow : public QWidget {
    Q_OBJECT
  public:
    // series: the samples to assess (instants, on the series' clock or else the system's);
    // caption: the graph window's.
    NoiseAssessmentWindow(GraphWindowHost& host, AssessmentSeries series, const QString& caption,
                          QWidget* parent = nullptr);
    ~NoiseAssessmentWindow() override;

    // Computes the tables again from the controls and remembers the choices.
    void recompute();
    // Asks for a file and writes the three tables; false when nothing was written.
    bool save();

    // The assessment shown; empty when the series was refused.
    const std::optional<Assessment>& assessment() const { return assessment_; }
    // The cells of the three tables as shown (and saved), under the titles of their columns
    // (AssessmentTables.h).
    const std::vector<QStringList>& intervalCells() const;
    const std::vector<QStringList>& periodCells() const;
    const std::vector<QStringList>& eventCells() const;

    // Controls
    QComboBox* intervalBox;  // item data: seconds, 0 the automatic choice
    QDoubleSpinBox *thresholdBox, *minDurationBox;
    QPushButton* saveButton;
    QLabel *rangeLabel, *errorLabel, *totalsLabel, *periodsLabel;
    QTabWidget* tabs;
    QTableView *intervalTable, *periodTable, *eventTable;
    QCustomPlot* levelChart;

  private:
    void buildLayout();
    void loadChoices();
    void storeChoices() const;
    void showAssessment();
    void drawChart();
    // An instant as the locale's date and time on the local clock.
    QString timeText(double instant) const;
    // Save's spreadsheet CSV: the interval table under its column names.
    bool saveIntervalsForSpreadsheet(const QString& path);

    GraphWindowHost& host_;
    AssessmentSeries series_;
    LocalClock clock_;  // the series' clock
    DayPeriods periods_;
    std::optional<Assessment> assessment_;
    TextTableModel *intervalModel_, *periodModel_, *eventModel_;
    QCPBars* leqBars_ = nullptr;
    QCPGraph* lmaxMarks_ = nullptr;
    bool loading_ = false;
};

}  // namespace kl516
