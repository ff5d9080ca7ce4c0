#pragma once

#include <QDialog>
#include <array>

#include "graph/GraphState.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QDateTimeEdit;
class QFontComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace kl516 {

// The graph control's own settings dialog: titles, axes, fonts, colours and styles, subsets.
// It edits a copy of the looks; result() gives the copy with the user's changes.
class GraphCustomizeDialog : public QDialog {
    Q_OBJECT
  public:
    struct Pages {
        bool titles = true;  // main title, subtitle, axis labels
        bool axes = true;    // manual or automatic scales
        bool fonts = true;
        bool subsets = true;  // labels, line types, colours of the series
    };

    GraphCustomizeDialog(const GraphState& looks, Pages pages, QWidget* parent = nullptr);

    GraphState result() const;
    QTabWidget* tabs() const { return tabs_; }

  private:
    QWidget* titlesPage();
    QWidget* axesPage();
    QWidget* fontsPage();
    QWidget* coloursPage();
    QWidget* subsetsPage();
    QPushButton* colourButton(const QString& objectName, Argb* colour);
    void showColour(QPushButton* button, Argb colour);

    GraphState looks_;  // colours are edited in place by their buttons
    QTabWidget* tabs_ = nullptr;

    QLineEdit* mainTitleEdit_ = nullptr;
    QLineEdit* subTitleEdit_ = nullptr;
    QLineEdit* xAxisLabelEdit_ = nullptr;
    QLineEdit* yAxisLabelEdit_ = nullptr;

    QCheckBox* manualXScaleCheckBox_ = nullptr;
    QCheckBox* manualYScaleCheckBox_ = nullptr;
    QDoubleSpinBox* minXSpinBox_ = nullptr;
    QDoubleSpinBox* maxXSpinBox_ = nullptr;
    QDateTimeEdit* minXDateTimeEdit_ = nullptr;
    QDateTimeEdit* maxXDateTimeEdit_ = nullptr;
    QDoubleSpinBox* minYSpinBox_ = nullptr;
    QDoubleSpinBox* maxYSpinBox_ = nullptr;

    QCheckBox* applicationFontCheckBox_ = nullptr;
    QFontComboBox* fontFamilyComboBox_ = nullptr;
    QSpinBox* fontSizeSpinBox_ = nullptr;

    QComboBox* gridStyleComboBox_ = nullptr;
    QComboBox* viewingStyleComboBox_ = nullptr;

    std::array<QLineEdit*, 2> subsetLabelEdits_{};
    std::array<QComboBox*, 2> lineTypeComboBoxes_{};
};

}  // namespace kl516
