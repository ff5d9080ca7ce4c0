#pragma once

#include <QDialog>
#include <QLocale>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace kl516 {

class Prompts;

// "Real-Time Setup": before every real-time run the user confirms the number of samples and the
// sampling interval; the dialog shows the resulting recording period and recomputes it whenever
// either value changes. It only collects the two texts; the caller reads them after Start.
class RealTimeSetupDialog : public QDialog {
    Q_OBJECT
  public:
    RealTimeSetupDialog(Prompts& prompts, const QLocale& locale, QWidget* parent = nullptr);

    // Rewrites the rate items with the locale's decimal separator; the current text stays.
    void localiseRateItems();
    // Recomputes the period from the two fields (the change handler of both). A rate that is
    // not (yet) a number leaves the period as it was, without a message while typing.
    void recomputePeriod();
    // Start: closes with OK only for a rate that is a number from 0.1 to 30 s; otherwise says
    // why and stays open.
    void accept() override;

    QLabel *sampleCountLabel, *sampleCountHintLabel, *samplingRateLabel, *recordingPeriodLabel,
        *periodFormatLabel, *rateUnitLabel;
    QLineEdit* sampleCountEdit;
    QComboBox* samplingRateBox;
    QWidget* recordingPeriodPanel;
    QLineEdit* recordingPeriodEdit;
    QPushButton* startButton;
    QPushButton* cancelButton;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    Prompts& prompts_;
    QLocale locale_;
    bool shownOnce_ = false;
};

}  // namespace kl516
