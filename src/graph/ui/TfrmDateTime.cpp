#include "graph/ui/TfrmDateTime.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "workspace/ui/Dialogs.h"

namespace kl516 {

namespace {

// A two-digit year would make the picker guess the century.
QString withWholeYear(QString format) {
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

}  // namespace

TfrmDateTime::TfrmDateTime(const QDateTime& now, int setNumber, const QLocale& locale,
                           QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmDateTime"));
    setWindowTitle(QStringLiteral("Date Time"));

    Label1 = new QLabel(QStringLiteral("New start of data set %1:").arg(setNumber), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    // The pickers only ever hold valid dates and times, so the warning has nothing to say.
    Label2 = new QLabel(QStringLiteral("is not valid, Please correct it."), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->hide();

    DatePicker = new QDateEdit(now.date(), this);
    DatePicker->setObjectName(QStringLiteral("DatePicker"));
    DatePicker->setCalendarPopup(true);
    DatePicker->setLocale(locale);
    DatePicker->setDisplayFormat(withWholeYear(locale.dateFormat(QLocale::ShortFormat)));
    TimePicker = new QTimeEdit(QTime(now.time().hour(), now.time().minute(), now.time().second()),
                               this);
    TimePicker->setObjectName(QStringLiteral("TimePicker"));
    TimePicker->setDisplayFormat(QStringLiteral("HH:mm:ss"));

    QHBoxLayout* buttons = makeDialogButtons(*this, QStringLiteral("OK"), BitBtn1, BitBtn2);

    auto* pickers = new QGridLayout;
    pickers->addWidget(Label1, 0, 0, 1, 2);
    pickers->addWidget(DatePicker, 1, 0);
    pickers->addWidget(TimePicker, 1, 1);
    pickers->addWidget(Label2, 2, 0, 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(pickers);
    layout->addLayout(buttons);
}

QDate TfrmDateTime::date() const { return DatePicker->date(); }

QTime TfrmDateTime::time() const {
    const QTime t = TimePicker->time();
    return QTime(t.hour(), t.minute(), t.second());
}

void TfrmDateTime::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    centreOnScreen(*this);
}

}  // namespace kl516
