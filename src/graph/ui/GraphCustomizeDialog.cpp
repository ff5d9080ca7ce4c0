#include "graph/ui/GraphCustomizeDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFontComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cfloat>
#include <cmath>

namespace kl516 {

namespace {

// TDateTime (days since 1899-12-30, local wall clock) shown as a wall-clock QDateTime; UTC keeps
// daylight-saving gaps out of the way.
const QDateTime kDayZero(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);

QDateTime toQDateTime(double days) {
    return kDayZero.addMSecs(qint64(std::llround(days * 86400000.0)));
}
double toDays(const QDateTime& t) {
    return double(kDayZero.msecsTo(t)) / 86400000.0;
}

QDoubleSpinBox* valueBox(const QString& name, double value) {
    auto* box = new QDoubleSpinBox;
    box->setObjectName(name);
    box->setRange(-1e12, 1e12);
    box->setDecimals(3);
    box->setValue(value);
    box->setProperty("shown", box->value());  // the value as rounded for display
    return box;
}

QDateTimeEdit* dateTimeBox(const QString& name, double days) {
    auto* box = new QDateTimeEdit;
    box->setObjectName(name);
    box->setTimeSpec(Qt::UTC);
    box->setDisplayFormat(QLocale::system().dateFormat(QLocale::ShortFormat) + QStringLiteral(" ") +
                          QStringLiteral("HH:mm:ss"));
    box->setDateTime(toQDateTime(days));
    box->setProperty("shown", box->dateTime());
    return box;
}

// A value taken back from an edit box: the original while the box still shows it, so opening
// and closing the dialog never rounds a setting.
double keptOrEdited(double original, const QDoubleSpinBox* box) {
    return box->value() == box->property("shown").toDouble() ? original : box->value();
}
double keptOrEdited(double original, const QDateTimeEdit* box) {
    return box->dateTime() == box->property("shown").toDateTime() ? original
                                                                  : toDays(box->dateTime());
}

}  // namespace

GraphCustomizeDialog::GraphCustomizeDialog(const GraphState& looks, Pages pages, QWidget* parent)
    : QDialog(parent), looks_(looks) {
    setObjectName(QStringLiteral("GraphCustomizeDialog"));
    setWindowTitle(tr("Graph Customization"));
    setModal(true);
    // One colour and one line type per series, so the buttons can point into the vectors.
    const size_t series = size_t(std::clamp(looks_.subsets, 1, 2));
    if (looks_.subsetColors.size() < series)
        looks_.subsetColors.resize(series, PEargb(255, 0, 0, 0));
    if (looks_.subsetLineTypes.size() < series) looks_.subsetLineTypes.resize(series, 0);

    tabs_ = new QTabWidget(this);
    if (pages.titles) tabs_->addTab(titlesPage(), tr("Titles"));
    if (pages.axes) tabs_->addTab(axesPage(), tr("Axes"));
    if (pages.fonts) tabs_->addTab(fontsPage(), tr("Fonts"));
    tabs_->addTab(coloursPage(), tr("Colors"));
    if (pages.subsets) tabs_->addTab(subsetsPage(), tr("Subsets"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);
}

QWidget* GraphCustomizeDialog::titlesPage() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    auto line = [&](QLineEdit*& edit, const QString& name, const QString& label,
                    const QString& text) {
        edit = new QLineEdit(text);
        edit->setObjectName(name);
        form->addRow(label, edit);
    };
    line(edtMainTitle_, QStringLiteral("edtMainTitle"), tr("Main title"), looks_.mainTitle);
    line(edtSubTitle_, QStringLiteral("edtSubTitle"), tr("Subtitle"), looks_.subTitle);
    line(edtXAxisLabel_, QStringLiteral("edtXAxisLabel"), tr("X axis label"), looks_.xAxisLabel);
    line(edtYAxisLabel_, QStringLiteral("edtYAxisLabel"), tr("Y axis label"), looks_.yAxisLabel);
    return page;
}

QWidget* GraphCustomizeDialog::axesPage() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    chkManualX_ = new QCheckBox(tr("Manual X scale"));
    chkManualX_->setObjectName(QStringLiteral("chkManualX"));
    chkManualX_->setChecked(looks_.manualScaleControlX == ScaleControl::ManualMinAndMax);
    form->addRow(chkManualX_);
    if (looks_.dateTimeMode == DateTimeMode::VBDateTime) {
        dtMinX_ = dateTimeBox(QStringLiteral("dtMinX"), looks_.manualMinX);
        dtMaxX_ = dateTimeBox(QStringLiteral("dtMaxX"), looks_.manualMaxX);
        form->addRow(tr("X from"), dtMinX_);
        form->addRow(tr("X to"), dtMaxX_);
    } else {
        spnMinX_ = valueBox(QStringLiteral("spnMinX"), looks_.manualMinX);
        spnMaxX_ = valueBox(QStringLiteral("spnMaxX"), looks_.manualMaxX);
        form->addRow(tr("X from"), spnMinX_);
        form->addRow(tr("X to"), spnMaxX_);
    }
    chkManualY_ = new QCheckBox(tr("Manual Y scale"));
    chkManualY_->setObjectName(QStringLiteral("chkManualY"));
    chkManualY_->setChecked(looks_.manualScaleControlY == ScaleControl::ManualMinAndMax);
    form->addRow(chkManualY_);
    spnMinY_ = valueBox(QStringLiteral("spnMinY"), looks_.manualMinY);
    spnMaxY_ = valueBox(QStringLiteral("spnMaxY"), looks_.manualMaxY);
    form->addRow(tr("Y from"), spnMinY_);
    form->addRow(tr("Y to"), spnMaxY_);
    return page;
}

QWidget* GraphCustomizeDialog::fontsPage() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    chkDefaultFont_ = new QCheckBox(tr("Application font"));
    chkDefaultFont_->setObjectName(QStringLiteral("chkDefaultFont"));
    chkDefaultFont_->setChecked(looks_.fontFamily.isEmpty());
    cmbFontFamily_ = new QFontComboBox;
    cmbFontFamily_->setObjectName(QStringLiteral("cmbFontFamily"));
    cmbFontFamily_->setCurrentFont(looks_.fontFamily.isEmpty() ? QApplication::font()
                                                               : QFont(looks_.fontFamily));
    cmbFontFamily_->setEnabled(!looks_.fontFamily.isEmpty());
    connect(chkDefaultFont_, &QCheckBox::toggled, cmbFontFamily_,
            [this](bool on) { cmbFontFamily_->setEnabled(!on); });
    spnFontSize_ = new QSpinBox;
    spnFontSize_->setObjectName(QStringLiteral("spnFontSize"));
    spnFontSize_->setRange(0, 72);
    spnFontSize_->setSpecialValueText(tr("Default"));
    spnFontSize_->setValue(std::clamp(looks_.fontSize, 0, 72));
    form->addRow(chkDefaultFont_);
    form->addRow(tr("Family"), cmbFontFamily_);
    form->addRow(tr("Size"), spnFontSize_);
    return page;
}

QWidget* GraphCustomizeDialog::coloursPage() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    form->addRow(tr("Axes and grid"),
                 colourButton(QStringLiteral("btnForeColor"), &looks_.graphForeColor));
    form->addRow(tr("Plotting area"),
                 colourButton(QStringLiteral("btnBackColor"), &looks_.graphBackColor));
    form->addRow(tr("Desk"), colourButton(QStringLiteral("btnDeskColor"), &looks_.deskColor));
    form->addRow(tr("Text"), colourButton(QStringLiteral("btnTextColor"), &looks_.textColor));
    form->addRow(tr("Y axis"), colourButton(QStringLiteral("btnYAxisColor"), &looks_.yAxisColor));
    cmbGridStyle_ = new QComboBox;
    cmbGridStyle_->setObjectName(QStringLiteral("cmbGridStyle"));
    cmbGridStyle_->addItems({tr("Solid"), tr("Dotted"), tr("None")});
    cmbGridStyle_->setCurrentIndex(int(looks_.gridStyle));
    form->addRow(tr("Grid"), cmbGridStyle_);
    cmbViewingStyle_ = new QComboBox;
    cmbViewingStyle_->setObjectName(QStringLiteral("cmbViewingStyle"));
    cmbViewingStyle_->addItems({tr("Color"), tr("Monochrome")});
    cmbViewingStyle_->setCurrentIndex(int(looks_.viewingStyle));
    form->addRow(tr("Viewing"), cmbViewingStyle_);
    return page;
}

QWidget* GraphCustomizeDialog::subsetsPage() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    const int series = std::clamp(looks_.subsets, 1, 2);
    for (int s = 0; s < series; ++s) {
        const QString n = QString::number(s + 1);
        auto* label =
            new QLineEdit(s < looks_.subsetLabels.size() ? looks_.subsetLabels[s] : QString());
        label->setObjectName(QStringLiteral("edtSubsetLabel") + n);
        edtSubsetLabel_[size_t(s)] = label;
        auto* type = new QComboBox;
        type->setObjectName(QStringLiteral("cmbLineType") + n);
        type->addItems({tr("Solid"), tr("Dash"), tr("Dot"), tr("Dash-dot"), tr("Thick solid")});
        type->setCurrentIndex(std::clamp(looks_.subsetLineTypes[size_t(s)], 0, 4));
        cmbLineType_[size_t(s)] = type;
        form->addRow(tr("Subset %1 label").arg(n), label);
        form->addRow(tr("Line type"), type);
        form->addRow(tr("Color"), colourButton(QStringLiteral("btnSubsetColor") + n,
                                               &looks_.subsetColors[size_t(s)]));
    }
    return page;
}

QPushButton* GraphCustomizeDialog::colourButton(const QString& objectName, Argb* colour) {
    auto* button = new QPushButton;
    button->setObjectName(objectName);
    showColour(button, *colour);
    connect(button, &QPushButton::clicked, this, [this, button, colour] {
        const QColor chosen = QColorDialog::getColor(QColor::fromRgba(*colour), this, QString(),
                                                     QColorDialog::ShowAlphaChannel);
        if (!chosen.isValid()) return;
        *colour = Argb(chosen.rgba());
        showColour(button, *colour);
    });
    return button;
}

void GraphCustomizeDialog::showColour(QPushButton* button, Argb colour) {
    const QColor c = QColor::fromRgba(colour);
    button->setText(c.name(QColor::HexArgb));
    button->setStyleSheet(QStringLiteral("background-color: %1; color: %2")
                              .arg(c.name(), c.lightness() < 128 ? QStringLiteral("white")
                                                                 : QStringLiteral("black")));
}

GraphState GraphCustomizeDialog::result() const {
    GraphState r = looks_;
    if (edtMainTitle_) {
        r.mainTitle = edtMainTitle_->text();
        r.subTitle = edtSubTitle_->text();
        r.xAxisLabel = edtXAxisLabel_->text();
        r.yAxisLabel = edtYAxisLabel_->text();
    }
    if (chkManualX_) {
        r.manualScaleControlX =
            chkManualX_->isChecked() ? ScaleControl::ManualMinAndMax : ScaleControl::Automatic;
        r.manualScaleControlY =
            chkManualY_->isChecked() ? ScaleControl::ManualMinAndMax : ScaleControl::Automatic;
        if (dtMinX_) {
            r.manualMinX = keptOrEdited(looks_.manualMinX, dtMinX_);
            r.manualMaxX = keptOrEdited(looks_.manualMaxX, dtMaxX_);
        } else {
            r.manualMinX = keptOrEdited(looks_.manualMinX, spnMinX_);
            r.manualMaxX = keptOrEdited(looks_.manualMaxX, spnMaxX_);
        }
        r.manualMinY = keptOrEdited(looks_.manualMinY, spnMinY_);
        r.manualMaxY = keptOrEdited(looks_.manualMaxY, spnMaxY_);
    }
    if (chkDefaultFont_) {
        r.fontFamily =
            chkDefaultFont_->isChecked() ? QString() : cmbFontFamily_->currentFont().family();
        r.fontSize = spnFontSize_->value();
    }
    r.gridStyle = GridStyle(cmbGridStyle_->currentIndex());
    r.viewingStyle = ViewingStyle(cmbViewingStyle_->currentIndex());
    if (edtSubsetLabel_[0]) {
        for (size_t s = 0; s < 2 && edtSubsetLabel_[s]; ++s) {
            while (size_t(r.subsetLabels.size()) <= s) r.subsetLabels.append(QString());
            r.subsetLabels[qsizetype(s)] = edtSubsetLabel_[s]->text();
            r.subsetLineTypes[s] = cmbLineType_[s]->currentIndex();
        }
        // Trailing empty labels are dropped so an untouched dialog changes nothing.
        while (!r.subsetLabels.isEmpty() && r.subsetLabels.last().isEmpty() &&
               r.subsetLabels.size() > looks_.subsetLabels.size())
            r.subsetLabels.removeLast();
    }
    return r;
}

}  // namespace kl516
