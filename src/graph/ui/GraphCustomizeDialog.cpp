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
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cfloat>
#include <cmath>

namespace kl516 {

namespace {

// SerialDateTime (days since 1899-12-30, local wall clock) shown as a wall-clock QDateTime; UTC
// keeps daylight-saving gaps out of the way.
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
        looks_.subsetColors.resize(series, makeArgb(255, 0, 0, 0));
    if (looks_.subsetLineTypes.size() < series) looks_.subsetLineTypes.resize(series, 0);

    tabs_ = new QTabWidget(this);
    if (pages.titles) tabs_->addTab(titlesPage(), tr("Titles"));
    if (pages.axes) tabs_->addTab(axesPage(), tr("Axes"));
    if (pages.fonts) tabs_->addTab(fontsPage(), tr("Fonts"));
    tabs_->addTab(coloursPage(), tr("Colors"));
    if (pages.subsets) tabs_->addTab(subsetsPage(), tr("Subsets"));
    // Every tab whole: the dialog is as wide as the row of tabs, never scrolled or elided.
    tabs_->tabBar()->setUsesScrollButtons(false);
    tabs_->tabBar()->setElideMode(Qt::ElideNone);

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
    line(mainTitleEdit_, QStringLiteral("mainTitleEdit"), tr("Main title"), looks_.mainTitle);
    line(subTitleEdit_, QStringLiteral("subTitleEdit"), tr("Subtitle"), looks_.subTitle);
    line(xAxisLabelEdit_, QStringLiteral("xAxisLabelEdit"), tr("X axis label"), looks_.xAxisLabel);
    line(yAxisLabelEdit_, QStringLiteral("yAxisLabelEdit"), tr("Y axis label"), looks_.yAxisLabel);
    return page;
}

QWidget* GraphCustomizeDialog::axesPage() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    manualXScaleCheckBox_ = new QCheckBox(tr("Manual X scale"));
    manualXScaleCheckBox_->setObjectName(QStringLiteral("manualXScaleCheckBox"));
    manualXScaleCheckBox_->setChecked(looks_.manualScaleControlX == ScaleControl::ManualMinAndMax);
    form->addRow(manualXScaleCheckBox_);
    if (looks_.dateTimeMode == DateTimeMode::SerialDays) {
        minXDateTimeEdit_ = dateTimeBox(QStringLiteral("minXDateTimeEdit"), looks_.manualMinX);
        maxXDateTimeEdit_ = dateTimeBox(QStringLiteral("maxXDateTimeEdit"), looks_.manualMaxX);
        form->addRow(tr("X from"), minXDateTimeEdit_);
        form->addRow(tr("X to"), maxXDateTimeEdit_);
    } else {
        minXSpinBox_ = valueBox(QStringLiteral("minXSpinBox"), looks_.manualMinX);
        maxXSpinBox_ = valueBox(QStringLiteral("maxXSpinBox"), looks_.manualMaxX);
        form->addRow(tr("X from"), minXSpinBox_);
        form->addRow(tr("X to"), maxXSpinBox_);
    }
    manualYScaleCheckBox_ = new QCheckBox(tr("Manual Y scale"));
    manualYScaleCheckBox_->setObjectName(QStringLiteral("manualYScaleCheckBox"));
    manualYScaleCheckBox_->setChecked(looks_.manualScaleControlY == ScaleControl::ManualMinAndMax);
    form->addRow(manualYScaleCheckBox_);
    minYSpinBox_ = valueBox(QStringLiteral("minYSpinBox"), looks_.manualMinY);
    maxYSpinBox_ = valueBox(QStringLiteral("maxYSpinBox"), looks_.manualMaxY);
    form->addRow(tr("Y from"), minYSpinBox_);
    form->addRow(tr("Y to"), maxYSpinBox_);
    return page;
}

QWidget* GraphCustomizeDialog::fontsPage() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    applicationFontCheckBox_ = new QCheckBox(tr("Application font"));
    applicationFontCheckBox_->setObjectName(QStringLiteral("applicationFontCheckBox"));
    applicationFontCheckBox_->setChecked(looks_.fontFamily.isEmpty());
    fontFamilyComboBox_ = new QFontComboBox;
    fontFamilyComboBox_->setObjectName(QStringLiteral("fontFamilyComboBox"));
    fontFamilyComboBox_->setCurrentFont(looks_.fontFamily.isEmpty() ? QApplication::font()
                                                                    : QFont(looks_.fontFamily));
    fontFamilyComboBox_->setEnabled(!looks_.fontFamily.isEmpty());
    connect(applicationFontCheckBox_, &QCheckBox::toggled, fontFamilyComboBox_,
            [this](bool on) { fontFamilyComboBox_->setEnabled(!on); });
    fontSizeSpinBox_ = new QSpinBox;
    fontSizeSpinBox_->setObjectName(QStringLiteral("fontSizeSpinBox"));
    fontSizeSpinBox_->setRange(0, 72);
    fontSizeSpinBox_->setSpecialValueText(tr("Default"));
    fontSizeSpinBox_->setValue(std::clamp(looks_.fontSize, 0, 72));
    form->addRow(applicationFontCheckBox_);
    form->addRow(tr("Family"), fontFamilyComboBox_);
    form->addRow(tr("Size"), fontSizeSpinBox_);
    return page;
}

QWidget* GraphCustomizeDialog::coloursPage() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    form->addRow(tr("Axes and grid"),
                 colourButton(QStringLiteral("foreColorButton"), &looks_.graphForeColor));
    form->addRow(tr("Plotting area"),
                 colourButton(QStringLiteral("backColorButton"), &looks_.graphBackColor));
    form->addRow(tr("Desk"), colourButton(QStringLiteral("deskColorButton"), &looks_.deskColor));
    form->addRow(tr("Text"), colourButton(QStringLiteral("textColorButton"), &looks_.textColor));
    form->addRow(tr("Y axis"),
                 colourButton(QStringLiteral("yAxisColorButton"), &looks_.yAxisColor));
    gridStyleComboBox_ = new QComboBox;
    gridStyleComboBox_->setObjectName(QStringLiteral("gridStyleComboBox"));
    gridStyleComboBox_->addItems({tr("Solid"), tr("Dotted"), tr("None")});
    gridStyleComboBox_->setCurrentIndex(int(looks_.gridStyle));
    form->addRow(tr("Grid"), gridStyleComboBox_);
    viewingStyleComboBox_ = new QComboBox;
    viewingStyleComboBox_->setObjectName(QStringLiteral("viewingStyleComboBox"));
    viewingStyleComboBox_->addItems({tr("Color"), tr("Monochrome")});
    viewingStyleComboBox_->setCurrentIndex(int(looks_.viewingStyle));
    form->addRow(tr("Viewing"), viewingStyleComboBox_);
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
        label->setObjectName(QStringLiteral("subsetLabelEdit") + n);
        subsetLabelEdits_[size_t(s)] = label;
        auto* type = new QComboBox;
        type->setObjectName(QStringLiteral("lineTypeComboBox") + n);
        type->addItems({tr("Solid"), tr("Dash"), tr("Dot"), tr("Dash-dot"), tr("Thick solid")});
        type->setCurrentIndex(std::clamp(looks_.subsetLineTypes[size_t(s)], 0, 4));
        lineTypeComboBoxes_[size_t(s)] = type;
        form->addRow(tr("Subset %1 label").arg(n), label);
        form->addRow(tr("Line type"), type);
        form->addRow(tr("Color"), colourButton(QStringLiteral("subsetColorButton") + n,
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
    if (mainTitleEdit_) {
        r.mainTitle = mainTitleEdit_->text();
        r.subTitle = subTitleEdit_->text();
        r.xAxisLabel = xAxisLabelEdit_->text();
        r.yAxisLabel = yAxisLabelEdit_->text();
    }
    if (manualXScaleCheckBox_) {
        r.manualScaleControlX = manualXScaleCheckBox_->isChecked() ? ScaleControl::ManualMinAndMax
                                                                   : ScaleControl::Automatic;
        r.manualScaleControlY = manualYScaleCheckBox_->isChecked() ? ScaleControl::ManualMinAndMax
                                                                   : ScaleControl::Automatic;
        if (minXDateTimeEdit_) {
            r.manualMinX = keptOrEdited(looks_.manualMinX, minXDateTimeEdit_);
            r.manualMaxX = keptOrEdited(looks_.manualMaxX, maxXDateTimeEdit_);
        } else {
            r.manualMinX = keptOrEdited(looks_.manualMinX, minXSpinBox_);
            r.manualMaxX = keptOrEdited(looks_.manualMaxX, maxXSpinBox_);
        }
        r.manualMinY = keptOrEdited(looks_.manualMinY, minYSpinBox_);
        r.manualMaxY = keptOrEdited(looks_.manualMaxY, maxYSpinBox_);
    }
    if (applicationFontCheckBox_) {
        r.fontFamily = applicationFontCheckBox_->isChecked()
                           ? QString()
                           : fontFamilyComboBox_->currentFont().family();
        r.fontSize = fontSizeSpinBox_->value();
    }
    r.gridStyle = GridStyle(gridStyleComboBox_->currentIndex());
    r.viewingStyle = ViewingStyle(viewingStyleComboBox_->currentIndex());
    if (subsetLabelEdits_[0]) {
        for (size_t s = 0; s < 2 && subsetLabelEdits_[s]; ++s) {
            while (size_t(r.subsetLabels.size()) <= s) r.subsetLabels.append(QString());
            r.subsetLabels[qsizetype(s)] = subsetLabelEdits_[s]->text();
            r.subsetLineTypes[s] = lineTypeComboBoxes_[s]->currentIndex();
        }
        // Trailing empty labels are dropped so an untouched dialog changes nothing.
        while (!r.subsetLabels.isEmpty() && r.subsetLabels.last().isEmpty() &&
               r.subsetLabels.size() > looks_.subsetLabels.size())
            r.subsetLabels.removeLast();
    }
    return r;
}

}  // namespace kl516
