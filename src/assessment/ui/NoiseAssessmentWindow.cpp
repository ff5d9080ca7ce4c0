#include "assessment/ui/NoiseAssessmentWindow.h"

#include <qcustomplot.h>
#include <QAbstractTableModel>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTime>
#include <QTimeZone>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "assessment/AssessmentChoices.h"
#include "assessment/AssessmentTables.h"
#include "dataset/SerialDateTime.h"
#include "dataset/WallClock.h"
#include "formats/FileProgress.h"
#include "formats/SpreadsheetCsv.h"
#include "formats/TableText.h"
#include "platform/Settings.h"
#include "workspace/Prompts.h"
#include "workspace/ui/GraphWindowHost.h"
#include "levels/LevelFigures.h"

namespace kl516 {

// Rows of texts under column titles: what the tables show is what Save writes.
class TextTableModel : public QAbstractTableModel {
  public:
    TextTableModel(QStringList titles, QObject* parent)
        : QAbstractTableModel(parent), titles_(std::move(titles)) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(rows_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(titles_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || size_t(index.row()) >= rows_.size()) return {};
        const QStringList& row = rows_[size_t(index.row())];
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
            return index.column() < row.size() ? row[index.column()] : QString();
        if (role == Qt::TextAlignmentRole)
            return int((index.column() == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < titles_.size())
            return titles_[section];
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    void setRows(std::vector<QStringList> rows) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
    }
    const std::vector<QStringList>& rows() const { return rows_; }
    const QStringList& titles() const { return titles_; }

  private:
    QStringList titles_;
    std::vector<QStringList> rows_;
};

namespace {

QTableView* makeTable(QWidget* parent, const char* name, const QString& accessible,
                      TextTableModel* model) {
    auto* t = new QTableView(parent);
    t->setObjectName(QLatin1String(name));
    t->setAccessibleName(accessible);
    t->setModel(model);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setWordWrap(false);
    t->setTabKeyNavigation(false);
    t->verticalHeader()->hide();
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    t->horizontalHeader()->setStretchLastSection(false);
    return t;
}

}  // namespace

NoiseAssessmentWindow::NoiseAssessmentWindow(GraphWindowHost& host, AssessmentSeries series,
                                             const QString& caption, QWidget* parent)
    : QWidget(parent), host_(host), series_(std::move(series)) {
    // The window keeps its own copy of the series' clock (the system's when it has none).
    if (series_.clock) clock_ = *series_.clock;
    series_.clock = &clock_;
    setObjectName(QStringLiteral("noiseAssessmentWindow"));
    setWindowTitle(caption + QStringLiteral(" \u2013 Noise Assessment"));
    intervalModel_ = new TextTableModel(columnTitles(AssessmentTable::Intervals), this);
    periodModel_ = new TextTableModel(columnTitles(AssessmentTable::Periods), this);
    eventModel_ = new TextTableModel(columnTitles(AssessmentTable::Events), this);
    buildLayout();
    loadChoices();
    recompute();
    resize(900, 620);
}

NoiseAssessmentWindow::~NoiseAssessmentWindow() = default;

const std::vector<QStringList>& NoiseAssessmentWindow::intervalCells() const {
    return intervalModel_->rows();
}
const std::vector<QStringList>& NoiseAssessmentWindow::periodCells() const {
    return periodModel_->rows();
}
const std::vector<QStringList>& NoiseAssessmentWindow::eventCells() const {
    return eventModel_->rows();
}

void NoiseAssessmentWindow::buildLayout() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);

    auto* choices = new QHBoxLayout;
    auto label = [this, choices](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        choices->addWidget(l);
        choices->addWidget(buddy);
    };
    intervalBox = new QComboBox(this);
    intervalBox->setObjectName(QStringLiteral("intervalBox"));
    intervalBox->setAccessibleName(QStringLiteral("Interval"));
    intervalBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    intervalBox->addItem(QStringLiteral("Automatic"), 0);
    for (int seconds : assessmentIntervals()) intervalBox->addItem(intervalName(seconds), seconds);
    label(QStringLiteral("&Interval"), intervalBox);

    thresholdBox = new QDoubleSpinBox(this);
    thresholdBox->setObjectName(QStringLiteral("thresholdBox"));
    thresholdBox->setAccessibleName(QStringLiteral("Threshold in dB"));
    thresholdBox->setRange(kLowestThreshold, kHighestThreshold);
    thresholdBox->setDecimals(1);
    thresholdBox->setSuffix(QStringLiteral(" dB"));
    thresholdBox->setLocale(host_.locale());
    thresholdBox->setKeyboardTracking(false);
    label(QStringLiteral("&Threshold"), thresholdBox);

    minDurationBox = new QDoubleSpinBox(this);
    minDurationBox->setObjectName(QStringLiteral("minDurationBox"));
    minDurationBox->setAccessibleName(QStringLiteral("Minimum duration in seconds"));
    minDurationBox->setRange(0, kLongestMinDuration);
    minDurationBox->setDecimals(0);
    minDurationBox->setSuffix(QStringLiteral(" s"));
    minDurationBox->setLocale(host_.locale());
    minDurationBox->setKeyboardTracking(false);
    label(QStringLiteral("Minimum &duration"), minDurationBox);
    choices->addStretch(1);

    saveButton = new QPushButton(QStringLiteral("&Save..."), this);
    saveButton->setObjectName(QStringLiteral("saveButton"));
    saveButton->setAccessibleName(QStringLiteral("Save the tables"));
    choices->addWidget(saveButton);
    layout->addLayout(choices);

    rangeLabel = new QLabel(this);
    rangeLabel->setObjectName(QStringLiteral("rangeLabel"));
    rangeLabel->setWordWrap(true);
    layout->addWidget(rangeLabel);
    errorLabel = new QLabel(this);
    errorLabel->setObjectName(QStringLiteral("errorLabel"));
    errorLabel->setAccessibleName(QStringLiteral("Assessment refused"));
    errorLabel->setWordWrap(true);
    errorLabel->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
    errorLabel->hide();
    layout->addWidget(errorLabel);

    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("assessmentTabs"));
    // Intervals: the chart over the table, the splitter letting either have the room.
    auto* intervals = new QSplitter(Qt::Vertical, tabs);
    intervals->setObjectName(QStringLiteral("intervalSplitter"));
    levelChart = new QCustomPlot(intervals);
    levelChart->setObjectName(QStringLiteral("levelChart"));
    levelChart->setAccessibleName(QStringLiteral("Interval Leq chart"));
    levelChart->setMinimumHeight(120);
    leqBars_ = new QCPBars(levelChart->xAxis, levelChart->yAxis);
    leqBars_->setName(QStringLiteral("Leq"));
    leqBars_->setPen(QPen(QColor(30, 90, 160)));
    leqBars_->setBrush(QColor(70, 130, 200, 170));
    lmaxMarks_ = levelChart->addGraph();
    lmaxMarks_->setName(QStringLiteral("Lmax"));
    lmaxMarks_->setLineStyle(QCPGraph::lsNone);
    lmaxMarks_->setScatterStyle(
        QCPScatterStyle(QCPScatterStyle::ssDiamond, QColor(200, 30, 30), QColor(200, 30, 30), 6));
    QSharedPointer<QCPAxisTickerDateTime> ticker(new QCPAxisTickerDateTime);
    // The values are instants: shown on the series' local clock.
    ticker->setTimeZone(clock_.zone());
    ticker->setDateTimeFormat(QStringLiteral("HH:mm\n") + shortDateFormat(host_.locale()));
    levelChart->xAxis->setTicker(ticker);
    levelChart->yAxis->setLabel(QStringLiteral("dB"));
    // The legend in a row of its own above the bars, so that it hides none of them.
    levelChart->legend->setVisible(true);
    levelChart->legend->setFillOrder(QCPLegend::foColumnsFirst);
    levelChart->plotLayout()->insertRow(0);
    levelChart->plotLayout()->addElement(0, 0, levelChart->legend);
    levelChart->plotLayout()->setRowStretchFactor(0, 0.001);
    levelChart->legend->setMargins(QMargins(4, 2, 4, 2));
    intervalTable =
        makeTable(intervals, "intervalTable", QStringLiteral("Interval levels"), intervalModel_);
    intervals->addWidget(levelChart);
    intervals->addWidget(intervalTable);
    intervals->setStretchFactor(0, 1);
    intervals->setStretchFactor(1, 1);
    tabs->addTab(intervals, QStringLiteral("Intervals"));
    auto* periodPage = new QWidget(tabs);
    auto* periodLayout = new QVBoxLayout(periodPage);
    periodLayout->setContentsMargins(0, 4, 0, 0);
    periodsLabel = new QLabel(periodPage);
    periodsLabel->setObjectName(QStringLiteral("periodsLabel"));
    periodsLabel->setWordWrap(true);
    periodLayout->addWidget(periodsLabel);
    periodTable = makeTable(periodPage, "periodTable",
                            QStringLiteral("Day, evening and night levels"), periodModel_);
    periodLayout->addWidget(periodTable, 1);
    tabs->addTab(periodPage, QStringLiteral("Day-Evening-Night"));
    eventTable = makeTable(tabs, "eventTable", QStringLiteral("Exceedances"), eventModel_);
    tabs->addTab(eventTable, QStringLiteral("Exceedances"));
    layout->addWidget(tabs, 1);

    totalsLabel = new QLabel(this);
    totalsLabel->setObjectName(QStringLiteral("totalsLabel"));
    totalsLabel->setAccessibleName(QStringLiteral("Exceedance totals"));
    totalsLabel->setWordWrap(true);
    totalsLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(totalsLabel);

    connect(intervalBox, &QComboBox::currentIndexChanged, this, [this] { recompute(); });
    connect(thresholdBox, &QDoubleSpinBox::valueChanged, this, [this] { recompute(); });
    connect(minDurationBox, &QDoubleSpinBox::valueChanged, this, [this] { recompute(); });
    connect(saveButton, &QPushButton::clicked, this, [this] { save(); });
}

void NoiseAssessmentWindow::loadChoices() {
    const AssessmentOptions c = readAssessmentChoices(*openSettings(host_.settingsFile()));
    loading_ = true;
    const int interval = intervalBox->findData(c.intervalSeconds);
    intervalBox->setCurrentIndex(std::max(interval, 0));
    thresholdBox->setValue(c.threshold);
    minDurationBox->setValue(c.minDurationSeconds);
    periods_ = c.periods;
    const auto clock = [this](int seconds) {
        return host_.locale().toString(QTime(0, 0).addSecs(seconds), QLocale::ShortFormat);
    };
    periodsLabel->setText(
        QStringLiteral("Day from %1, evening from %2, night from %3; for Ldn night from %4 "
                       "(set in the settings)")
            .arg(clock(periods_.dayStart), clock(periods_.eveningStart), clock(periods_.nightStart),
                 clock(periods_.ldnNightStart)));
    loading_ = false;
}

void NoiseAssessmentWindow::storeChoices() const {
    const std::unique_ptr<QSettings> store = openSettings(host_.settingsFile());
    AssessmentOptions c = readAssessmentChoices(*store);
    c.intervalSeconds = intervalBox->currentData().toInt();
    c.threshold = thresholdBox->value();
    c.minDurationSeconds = minDurationBox->value();
    writeAssessmentChoices(*store, c);
}

void NoiseAssessmentWindow::recompute() {
    if (loading_) return;
    AssessmentOptions options;
    options.intervalSeconds = intervalBox->currentData().toInt();
    options.periods = periods_;
    options.threshold = thresholdBox->value();
    options.minDurationSeconds = minDurationBox->value();
    AssessmentOutcome outcome = assessNoise(series_, options);
    assessment_ = std::move(outcome.assessment);
    if (!assessment_) {
        errorLabel->setText(outcome.error ? outcome.error->message
                                          : QStringLiteral("The series cannot be assessed."));
        errorLabel->show();
    } else {
        errorLabel->clear();
        errorLabel->hide();
    }
    showAssessment();
    storeChoices();
}

QString NoiseAssessmentWindow::timeText(double instant) const {
    return formatDateTime(serialOfWallSeconds(clock_.wallOf(instant)), host_.locale());
}

void NoiseAssessmentWindow::showAssessment() {
    const QLocale locale = host_.locale();
    const size_t n = series_.times.size();
    rangeLabel->setText(
        n == 0 ? QStringLiteral("No samples")
               : QStringLiteral("%1 samples from %2 to %3")
                     .arg(n)
                     .arg(timeText(series_.times.front()), timeText(series_.times.back())));
    std::vector<QStringList> intervals, periods, events;
    if (assessment_) {
        const Assessment& a = *assessment_;
        const CellFormat format{[this](double t) { return timeText(t); }, locale, QString()};
        const auto texts = [&](AssessmentTable table) {
            std::vector<QStringList> rows;
            for (const AssessmentCells& cells : tableCells(a, table))
                rows.push_back(cellTexts(cells, format));
            return rows;
        };
        intervals = texts(AssessmentTable::Intervals);
        periods = texts(AssessmentTable::Periods);
        events = texts(AssessmentTable::Events);
        const ExceedanceResult& x = a.exceedances;
        totalsLabel->setText(
            QStringLiteral("Above %1 dB for at least %2 s: %3 %4; %5 s above = %6 % of %7 s "
                           "measured")
                .arg(levelText(thresholdBox->value(), locale))
                .arg(QString::number(minDurationBox->value()))
                .arg(x.events.size())
                .arg(x.events.size() == 1 ? QStringLiteral("event") : QStringLiteral("events"))
                .arg(secondsText(x.secondsAbove, locale), percentText(x.percentAbove, locale),
                     secondsText(x.measuredSeconds, locale)));
        intervalBox->setItemText(
            0, QStringLiteral("Automatic (%1)").arg(intervalName(a.intervalSeconds)));
    } else {
        totalsLabel->clear();
        intervalBox->setItemText(0, QStringLiteral("Automatic"));
    }
    intervalModel_->setRows(std::move(intervals));
    periodModel_->setRows(std::move(periods));
    eventModel_->setRows(std::move(events));
    saveButton->setEnabled(assessment_.has_value());
    drawChart();
}

void NoiseAssessmentWindow::drawChart() {
    QVector<double> x, leq, markX, lmax;
    double low = 200, high = 0;
    if (assessment_) {
        const double width = assessment_->intervalSeconds;
        leqBars_->setWidth(width * 0.8);
        for (const IntervalRow& r : assessment_->intervals) {
            if (!r.figures.leq) continue;
            const double middle = r.start + width / 2;
            x << middle;
            leq << *r.figures.leq;
            low = std::min(low, *r.figures.leq);
            high = std::max(high, *r.figures.leq);
            if (r.figures.lmax) {
                markX << middle;
                lmax << *r.figures.lmax;
                high = std::max(high, *r.figures.lmax);
            }
        }
        if (!assessment_->intervals.empty())
            levelChart->xAxis->setRange(assessment_->intervals.front().start,
                                        assessment_->intervals.back().end);
    }
    leqBars_->setData(x, leq, true);
    lmaxMarks_->setData(markX, lmax, true);
    if (x.isEmpty()) {
        levelChart->yAxis->setRange(30, 130);
    } else {
        // Whole tens around the levels, so that the bars' differences show.
        const double bottom = std::max(0.0, std::floor(low / 10) * 10 - 10);
        levelChart->yAxis->setRange(bottom, std::ceil(high / 10) * 10 + 5);
    }
    levelChart->replot();
}

bool NoiseAssessmentWindow::saveIntervalsForSpreadsheet(const QString& path) {
    const std::vector<IntervalRow>& intervals = assessment_->intervals;
    const CellFormat format{[this](double t) { return isoInstantText(t, clock_, true); },
                            QLocale::c(), QString()};
    const FileWriteResult r = writeSpreadsheetCsvFile(
        path, columnCsvNames(AssessmentTable::Intervals), qint64(intervals.size()),
        [&](qint64 i) { return cellTexts(kl516::intervalCells(intervals[size_t(i)]), format); });
    if (!r.ok()) host_.prompts().message(r.error);
    return r.status == FileWriteResult::Status::Written;
}

bool NoiseAssessmentWindow::save() {
    if (!assessment_) return false;
    Prompts& prompts = host_.prompts();
    const AppPaths paths = host_.paths();
    const QString folder = paths.dataFolder.isEmpty() ? paths.programFolder : paths.dataFolder;
    QString chosen;
    const QString path = prompts.saveFileNameAndFilter(
        QStringLiteral("Save"), folder, dialogFilter(FileFilter::assessmentTables()), chosen);
    if (path.isEmpty()) return false;
    if (isSpreadsheetCsvFilter(chosen)) return saveIntervalsForSpreadsheet(path);
    // The three tables one after the other, each under its name and column titles, and the
    // totals at the end.
    std::vector<QStringList> rows;
    auto addTable = [&rows](const QString& name, const TextTableModel& model) {
        rows.push_back({name});
        rows.push_back(model.titles());
        rows.insert(rows.end(), model.rows().begin(), model.rows().end());
        rows.push_back({});
    };
    const QChar separator = textFileSeparator(path);
    const QLocale locale = host_.locale();
    // The caption may name a file: a separator in it would only split the title.
    QString title = windowTitle();
    title.replace(separator, QLatin1Char(' '));
    rows.push_back({title});
    rows.push_back({QStringLiteral("Samples"), QStringLiteral("From"), QStringLiteral("To"),
                    QStringLiteral("Threshold (dB)"), QStringLiteral("Minimum duration (s)")});
    rows.push_back({QString::number(series_.times.size()), timeText(series_.times.front()),
                    timeText(series_.times.back()), levelText(thresholdBox->value(), locale),
                    QString::number(minDurationBox->value())});
    rows.push_back({});
    addTable(QStringLiteral("Intervals"), *intervalModel_);
    addTable(QStringLiteral("Day-Evening-Night"), *periodModel_);
    addTable(QStringLiteral("Exceedances"), *eventModel_);
    rows.push_back(columnTitles(AssessmentTable::Totals));
    rows.push_back(cellTexts(totalsCells(assessment_->exceedances), CellFormat{{}, locale, {}}));
    const auto cellsOf = [&rows](qint64 i) { return rows[size_t(i)]; };
    // The reader knows no quoting: a cell holding the separator would come back split.
    if (const std::optional<SeparatorInCell> clash =
            findSeparatorInCells(qint64(rows.size()), cellsOf, separator)) {
        prompts.message(fileWriteError(
            path, separatorInFieldMessage(clash->column + 1, clash->row + 1,
                                          QStringLiteral("the tables"), clash->text, separator)));
        return false;
    }
    const FileWriteResult r = writeTableTextFile(path, qint64(rows.size()), cellsOf, separator);
    if (!r.ok()) prompts.message(r.error);
    return r.status == FileWriteResult::Status::Written;
}

}  // namespace kl516
