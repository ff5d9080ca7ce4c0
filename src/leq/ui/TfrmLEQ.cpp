#include "leq/ui/TfrmLEQ.h"

#include "dataset/ui/DateColumn.h"

#include <QFontMetrics>
#include <algorithm>
#include <QCloseEvent>
#include <QComboBox>
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

namespace kl516 {

namespace {
const char* const kTitles[LeqTableModel::kColumns] = {"No", "Date", "TIME", "SPL", "Leq"};
constexpr int kWidths[LeqTableModel::kColumns] = {65, 75, 100, 75, 75};
}  // namespace

// ---- LeqTableModel ---------------------------------------------------------------------------

QVariant LeqTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    const LeqRow& r = rows_[size_t(index.row())];
    switch (index.column()) {
        case 0: return QString::number(r.number);
        case 1: return formatShortDate(r.stamp, locale_);
        case 2: return formatLongTime(r.stamp, locale_);
        case 3: return r.hasLevel ? formatLevel(r.spl, locale_) : QString();
        case 4: return r.hasLevel ? formatLevel(r.leq, locale_) : QString();
        default: return {};
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

// ---- TfrmLEQ ---------------------------------------------------------------------------------

TfrmLEQ::TfrmLEQ(const QLocale& locale, QWidget* parent)
    : QWidget(parent), model_(new LeqTableModel(locale, this)), locale_(locale) {
    setObjectName(QStringLiteral("frmLEQ"));
    setWindowTitle(QStringLiteral("LEQ"));
    setFont(QFont(QStringLiteral("Tahoma")));

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    outer->addWidget(Splitter1);

    Panel1 = new QFrame(Splitter1);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto* left = new QVBoxLayout(Panel1);
    left->setContentsMargins(2, 2, 2, 2);
    LEQGrid = new QTableView(Panel1);
    LEQGrid->setObjectName(QStringLiteral("LEQGrid"));
    LEQGrid->setModel(model_);
    LEQGrid->verticalHeader()->hide();
    LEQGrid->verticalHeader()->setDefaultSectionSize(18);
    // Fixed row heights: appending a row never measures the whole table.
    LEQGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    LEQGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    LEQGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int c = 0; c < LeqTableModel::kColumns; ++c) LEQGrid->setColumnWidth(c, kWidths[c]);
    // The date column widens to the user's short date, so a date is never cut.
    LEQGrid->setColumnWidth(
        1, std::max(kWidths[1], widestShortDate(QFontMetrics(LEQGrid->font()), locale) + 12));
    left->addWidget(LEQGrid);

    Panel2 = new QFrame(Splitter1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    auto* right = new QVBoxLayout(Panel2);
    Splitter2 = new QSplitter(Qt::Vertical, Panel2);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    right->addWidget(Splitter2);

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

    GroupBox1 = new QGroupBox(QStringLiteral("Setup"), Splitter2);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto* setup = new QVBoxLayout(GroupBox1);
    cmbTimeSelect = new QComboBox(GroupBox1);
    cmbTimeSelect->setObjectName(QStringLiteral("cmbTimeSelect"));
    for (const LeqDuration& d : kLeqDurations) cmbTimeSelect->addItem(QString::fromLatin1(d.caption));
    setup->addWidget(cmbTimeSelect);
    btnLEQ = new QPushButton(QStringLiteral("Start"), GroupBox1);
    btnLEQ->setObjectName(QStringLiteral("btnLEQ"));
    Button1 = new QPushButton(QStringLiteral("Stop"), GroupBox1);
    Button1->setObjectName(QStringLiteral("Button1"));
    setup->addWidget(btnLEQ);
    setup->addWidget(Button1);

    GroupBox2 = new QGroupBox(QStringLiteral("Status"), Splitter2);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    auto* status = new QFormLayout(GroupBox2);
    Label1 = label("Label1", QStringLiteral("sampling rate"));
    edtLEQrate = field("edtLEQrate");
    Label3 = label("Label3", QStringLiteral("time left"));
    edtTimeLeft = field("edtTimeLeft");
    Label2 = label("Label2", QStringLiteral("LEQ"));
    edtLEQValue = field("edtLEQValue");
    status->addRow(Label1, edtLEQrate);
    status->addRow(Label3, edtTimeLeft);
    status->addRow(Label2, edtLEQValue);
    Label1->hide();
    edtLEQrate->hide();
    Button2 = new QPushButton(QStringLiteral("Save"), GroupBox2);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = new QPushButton(QStringLiteral("Graph"), GroupBox2);
    Button3->setObjectName(QStringLiteral("Button3"));
    status->addRow(Button2);
    status->addRow(Button3);

    // The levels a timed measurement reports beside the Leq.
    GroupBox3 = new QGroupBox(QStringLiteral("Summary"), Splitter2);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    auto* summary = new QFormLayout(GroupBox3);
    edtLmax = field("edtLmax");
    edtLmin = field("edtLmin");
    edtL10 = field("edtL10");
    edtL50 = field("edtL50");
    edtL90 = field("edtL90");
    edtSEL = field("edtSEL");
    summary->addRow(QStringLiteral("Lmax"), edtLmax);
    summary->addRow(QStringLiteral("Lmin"), edtLmin);
    summary->addRow(QStringLiteral("L10"), edtL10);
    summary->addRow(QStringLiteral("L50"), edtL50);
    summary->addRow(QStringLiteral("L90"), edtL90);
    summary->addRow(QStringLiteral("SEL"), edtSEL);

    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    int gridWidth = 0;
    for (int w : kWidths) gridWidth += w;
    Splitter1->setSizes({gridWidth + 24, 190});
    resize(gridWidth + 24 + 200, 520);
}

int TfrmLEQ::selectedSeconds() const {
    const int i = cmbTimeSelect->currentIndex();
    return i < 0 ? -1 : kLeqDurations[i].seconds;
}

void TfrmLEQ::showSummary(const LeqSummary& s) {
    const QList<QLineEdit*> fields{edtLmax, edtLmin, edtL10, edtL50, edtL90, edtSEL};
    if (!s.valid()) {
        for (QLineEdit* e : fields) e->clear();
        return;
    }
    const double values[] = {s.lmax, s.lmin, s.l10, s.l50, s.l90, s.sel};
    for (int i = 0; i < fields.size(); ++i) fields[i]->setText(formatLevel(values[i], locale_));
}

void TfrmLEQ::scrollToLastRow() {
    LEQGrid->scrollToBottom();
}

void TfrmLEQ::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    cmbTimeSelect->setCurrentIndex(0);
}

void TfrmLEQ::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closed();
}

}  // namespace kl516
