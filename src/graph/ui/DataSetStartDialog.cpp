#include "graph/ui/DataSetStartDialog.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "dataset/SerialDateTime.h"
#include "workspace/ui/Dialogs.h"

namespace kl516 {

DataSetStartDialog::DataSetStartDialog(QDate date, QTime time, int setNumber, const QLocale& locale,
                                       QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("dataSetStartDialog"));
    setWindowTitle(QStringLiteral("Date Time"));

    promptLabel = new QLabel(QStringLiteral("New start of data set %1:").arg(setNumber), this);
    promptLabel->setObjectName(QStringLiteral("promptLabel"));
    // The pickers only ever hold valid dates and times, so the warning has nothing to say.
    invalidDateLabel = new QLabel(QStringLiteral("is not valid, Please correct it."), this);
    invalidDateLabel->setObjectName(QStringLiteral("invalidDateLabel"));
    invalidDateLabel->hide();

    datePicker = new QDateEdit(date, this);
    datePicker->setObjectName(QStringLiteral("datePicker"));
    datePicker->setCalendarPopup(true);
    datePicker->setLocale(locale);
    // A two-digit year would make the picker guess the century.
    datePicker->setDisplayFormat(shortDateFormat(locale));
    timePicker = new QTimeEdit(QTime(time.hour(), time.minute(), time.second()), this);
    timePicker->setObjectName(QStringLiteral("timePicker"));
    timePicker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    datePicker->setAccessibleName(QStringLiteral("Start date"));
    timePicker->setAccessibleName(QStringLiteral("Start time"));

    QHBoxLayout* buttons =
        makeDialogButtons(*this, QStringLiteral("OK"), acceptButton, cancelButton);

    auto* pickers = new QGridLayout;
    pickers->addWidget(promptLabel, 0, 0, 1, 2);
    pickers->addWidget(datePicker, 1, 0);
    pickers->addWidget(timePicker, 1, 1);
    pickers->addWidget(invalidDateLabel, 2, 0, 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(pickers);
    layout->addLayout(buttons);
}

QDate DataSetStartDialog::date() const {
    return datePicker->date();
}

QTime DataSetStartDialog::time() const {
    const QTime t = timePicker->time();
    return QTime(t.hour(), t.minute(), t.second());
}

void DataSetStartDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
}

}  // namespace kl516
