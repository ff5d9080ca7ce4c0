#include "leq/ui/LeqWindow.h"

#include "dataset/ui/DateColumn.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "formats/SpreadsheetCsv.h"
#include "levels/LevelFigures.h"

namespace kl516 {

namespace {
const char* const kTitles[LeqTableModel::kColumns] = {"No", "Date", "TIME", "SPL", "Leq"};
constexpr int kWidths[LeqTableModel::kColumns] = {65, 75, 100, 75, 75};
}  // namespace

// ---- LeqTableModel ---------------------------------------------------------------------------

QStringList LeqTableModel::spreadsheetHeader() {
    return {QStringLiteral("time"), QStringLiteral("level_dB"), QStringLiteral("leq_dB")};
}

QStringList LeqTableModel::spreadsheetFields(int row, SpreadsheetTimes& times) const {
    const LeqRow& r = rows_[size_t(row)];
    // A second without a reading has no levels.
    return {times(r.stamp), r.hasLevel ? spreadsheetLevel(r.spl) : QString(),
            r.hasLevel ? spreadsheetLevel(r.leq) : QString()};
}

QVariant LeqTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    const LeqRow& r = rows_[size_t(index.row())];
    switch (index.column()) {
        case 0:
            return QString::number(r.number);
        case 1:
            return formatShortDate(r.stamp, locale_);
        case 2:
            return formatLongTime(r.stamp, locale_);
        case 3:
            return r.hasLevel ? levelText(r.spl, locale_) : QString();
        case 4:
            return r.hasLevel ? levelText(r.leq, locale_) : QString();
        default:
            return {};
    }
}

QVariant LeqTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal && section >= 0 && section < kColumns)
        return QString::fromLatin1(kTitles[section]);
    return {};
}

void LeqTableModel::append(const LeqRow& row) {
    const int at = int(rows_.size());
    beginInsertRows({}, at, at);
    rows_.push_back(row);
    endInsertRows();
}

void LeqTableModel::clear() {
    beginResetModel();
    rows_.clear();
    rows_.shrink_to_fit();
    endResetModel();
}

// ---- LeqWindow ---------------------------------------------------------------------------------

LeqWindow::LeqWindow(const QLocale& locale, QWidget* parent)
    : QWidget(parent), model_(new LeqTableModel(locale, this)), locale_(locale) {
    setObjectName(QStringLiteral("leqWindow"));
    setWindowTitle(QStringLiteral("LEQ"));
    setFont(QFont(QStringLiteral("Tahoma")));

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    mainSplitter = new QSplitter(Qt::Horizontal, this);
    mainSplitter->setObjectName(QStringLiteral("mainSplitter"));
    outer->addWidget(mainSplitter);

    tablePanel = new QFrame(mainSplitter);
    tablePanel->setObjectName(QStringLiteral("tablePanel"));
    auto* left = new QVBoxLayout(tablePanel);
    left->setContentsMargins(2, 2, 2, 2);
    leqTable = new QTableView(tablePanel);
    leqTable->setObjectName(QStringLiteral("leqTable"));
    leqTable->setAccessibleName(QStringLiteral("LEQ readings"));
    leqTable->setModel(model_);
    leqTable->verticalHeader()->hide();
    leqTable->verticalHeader()->setDefaultSectionSize(18);
    // Fixed row heights: appending a row never measures the whole table.
    leqTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    leqTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    leqTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int c = 0; c < LeqTableModel::kColumns; ++c) leqTable->setColumnWidth(c, kWidths[c]);
    // The date column widens to the user's short date, so a date is never cut.
    leqTable->setColumnWidth(
        1, std::max(kWidths[1], widestShortDate(QFontMetrics(leqTable->font()), locale) + 12));
    left->addWidget(leqTable);

    controlsPanel = new QFrame(mainSplitter);
    controlsPanel->setObjectName(QStringLiteral("controlsPanel"));
    auto* right = new QVBoxLayout(controlsPanel);
    controlsSplitter = new QSplitter(Qt::Vertical, controlsPanel);
    controlsSplitter->setObjectName(QStringLiteral("controlsSplitter"));
    right->addWidget(controlsSplitter);

    auto field = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setReadOnly(true);
        return e;
    };
    auto label = [this](const char* name, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        return l;
    };

    setupGroup = new QGroupBox(QStringLiteral("Setup"), controlsSplitter);
    setupGroup->setObjectName(QStringLiteral("setupGroup"));
    auto* setup = new QVBoxLayout(setupGroup);
    durationBox = new QComboBox(setupGroup);
    durationBox->setObjectName(QStringLiteral("durationBox"));
    for (const LeqDuration& d : kLeqDurations) durationBox->addItem(QString::fromLatin1(d.caption));
    // A combo box is named for screen readers only by a label that is its buddy.
    auto* durationLabel = new QLabel(QStringLiteral("Duration"), setupGroup);
    durationLabel->setObjectName(QStringLiteral("durationLabel"));
    durationLabel->setBuddy(durationBox);
    setup->addWidget(durationLabel);
    setup->addWidget(durationBox);
    startRunButton = new QPushButton(QStringLiteral("Start"), setupGroup);
    startRunButton->setObjectName(QStringLiteral("startRunButton"));
    stopRunButton = new QPushButton(QStringLiteral("Stop"), setupGroup);
    stopRunButton->setObjectName(QStringLiteral("stopRunButton"));
    setup->addWidget(startRunButton);
    setup->addWidget(stopRunButton);

    statusGroup = new QGroupBox(QStringLiteral("Status"), controlsSplitter);
    statusGroup->setObjectName(QStringLiteral("statusGroup"));
    auto* status = new QFormLayout(statusGroup);
    samplingRateLabel = label("samplingRateLabel", QStringLiteral("sampling rate"));
    samplingRate = field("samplingRate");
    timeLeftLabel = label("timeLeftLabel", QStringLiteral("time left"));
    timeLeft = field("timeLeft");
    currentLeqLabel = label("currentLeqLabel", QStringLiteral("LEQ"));
    currentLeq = field("currentLeq");
    status->addRow(samplingRateLabel, samplingRate);
    status->addRow(timeLeftLabel, timeLeft);
    status->addRow(currentLeqLabel, currentLeq);
    // Each field is named by its label, not by the group's title.
    samplingRateLabel->setBuddy(samplingRate);
    timeLeftLabel->setBuddy(timeLeft);
    currentLeqLabel->setBuddy(currentLeq);
    samplingRateLabel->hide();
    samplingRate->hide();
    saveButton = new QPushButton(QStringLiteral("Save"), statusGroup);
    saveButton->setObjectName(QStringLiteral("saveButton"));
    graphButton = new QPushButton(QStringLiteral("Graph"), statusGroup);
    graphButton->setObjectName(QStringLiteral("graphButton"));
    status->addRow(saveButton);
    status->addRow(graphButton);

    // The levels a timed measurement reports beside the Leq.
    summaryGroup = new QGroupBox(QStringLiteral("Summary"), controlsSplitter);
    summaryGroup->setObjectName(QStringLiteral("summaryGroup"));
    auto* summary = new QFormLayout(summaryGroup);
    summaryLmax = field("summaryLmax");
    summaryLmin = field("summaryLmin");
    summaryL10 = field("summaryL10");
    summaryL50 = field("summaryL50");
    summaryL90 = field("summaryL90");
    summarySel = field("summarySel");
    summary->addRow(QStringLiteral("Lmax"), summaryLmax);
    summary->addRow(QStringLiteral("Lmin"), summaryLmin);
    summary->addRow(QStringLiteral("L10"), summaryL10);
    summary->addRow(QStringLiteral("L50"), summaryL50);
    summary->addRow(QStringLiteral("L90"), summaryL90);
    summary->addRow(QStringLiteral("SEL"), summarySel);

    mainSplitter->setStretchFactor(0, 1);
    mainSplitter->setStretchFactor(1, 0);
    int gridWidth = 0;
    for (int w : kWidths) gridWidth += w;
    mainSplitter->setSizes({gridWidth + 24, 190});
    resize(gridWidth + 24 + 200, 520);
}

int LeqWindow::selectedSeconds() const {
    const int i = durationBox->currentIndex();
    return i < 0 ? -1 : kLeqDurations[i].seconds;
}

void LeqWindow::showSummary(const LeqSummary& s) {
    const QList<QLineEdit*> fields{summaryLmax, summaryLmin, summaryL10,
                                   summaryL50,  summaryL90,  summarySel};
    if (!s.valid()) {
        for (QLineEdit* e : fields) e->clear();
        return;
    }
    const double values[] = {s.lmax, s.lmin, s.l10, s.l50, s.l90, s.sel};
    for (int i = 0; i < fields.size(); ++i) fields[i]->setText(levelText(values[i], locale_));
}

void LeqWindow::scrollToLastRow() {
    leqTable->scrollToBottom();
}

void LeqWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    durationBox->setCurrentIndex(0);
}

void LeqWindow::closeEvent(QCloseEvent* event) {
    if (confirmClose && !confirmClose()) {
        event->ignore();
        return;
    }
    event->accept();
    emit closed();
}

}  // namespace kl516
