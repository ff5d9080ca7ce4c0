#pragma once

#include <QDateTime>
#include <QDialog>
#include <QLocale>

class QDateEdit;
class QLabel;
class QPushButton;
class QTimeEdit;

namespace kl516 {

// The new start of a logger data set: a date and a time of day to the second, OK and Cancel.
// Stays on top, centred on the screen; a fresh dialog is made for every change.
class DataSetStartDialog : public QDialog {
    Q_OBJECT
  public:
    // The pickers start at `date` and `time`, the set's present start; `setNumber` (1-based)
    // names the set in promptLabel. The date is shown in the locale's short format, with the
    // whole year.
    DataSetStartDialog(QDate date, QTime time, int setNumber, const QLocale& locale,
                       QWidget* parent = nullptr);

    // The date of datePicker with the time of day of timePicker, to the whole second.
    QDate date() const;
    QTime time() const;

    QLabel *promptLabel, *invalidDateLabel;
    QDateEdit* datePicker;
    QTimeEdit* timePicker;
    QPushButton *acceptButton, *cancelButton;

  protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace kl516
