#include "live/ui/ControlPanel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <functional>
#include <optional>

#include "live/ui/MeterArtwork.h"
#include "session/MeterConnection.h"
#include "workspace/Prompts.h"

namespace kl516 {

DigitImages DigitImages::draw() {
    DigitImages images;
    for (int i = 0; i < 18; ++i) {
        images.large[i] = artwork::largeDigit(i);  // 10..17 come out blank
        images.small[i] = artwork::smallDigit(i);
    }
    return images;
}

namespace {

using artwork::KeyFace;

// A transparent hot spot over a key of the picture, and a button that Tab reaches. A click is a
// press and release inside the spot. When the key has a double-click action, the second press
// of a double click runs it and its release is no click, so a double click gives exactly
// click + double click; otherwise the second press counts as another press. Space, Enter and an
// assistive tool's press act as a click, and two of them within the double-click interval as a
// double click, so that every letter of the key is reachable without a mouse.
class KeySpot final : public QAbstractButton {
  public:
    explicit KeySpot(QWidget* parent) : QAbstractButton(parent) {
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);  // a mouse click leaves the focus where it was
        connect(this, &QAbstractButton::clicked, this, [this] { pressFromKeyboard(); });
    }

    std::function<void()> onClick;
    std::function<void()> onDoubleClick;

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return QAbstractButton::mousePressEvent(event);
        pressed_ = true;
        event->accept();
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return QAbstractButton::mouseDoubleClickEvent(event);
        if (!onDoubleClick) return mousePressEvent(event);
        event->accept();
        pressed_ = false;
        onDoubleClick();
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return QAbstractButton::mouseReleaseEvent(event);
        event->accept();
        const bool click = pressed_ && rect().contains(event->position().toPoint());
        pressed_ = false;
        if (click && onClick) onClick();
    }
    void keyPressEvent(QKeyEvent* event) override {
        // Space is the button's own key; Enter presses the key as well.
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
            !event->isAutoRepeat()) {
            event->accept();
            click();
            return;
        }
        QAbstractButton::keyPressEvent(event);
    }
    // Transparent over the picture; a frame shows the key that has the focus.
    void paintEvent(QPaintEvent*) override {
        if (!hasFocus()) return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 3, 3);
    }

  private:
    void pressFromKeyboard() {
        if (onDoubleClick && sinceLastPress_.isValid() &&
            sinceLastPress_.elapsed() < QApplication::doubleClickInterval()) {
            sinceLastPress_.invalidate();
            onDoubleClick();
            return;
        }
        sinceLastPress_.start();
        if (onClick) onClick();
    }

    bool pressed_ = false;
    QElapsedTimer sinceLastPress_;
};

enum class KeyAction { Send, NotAvailable, Close, Minimise };

struct KeyEntry {
    const char* name;
    const char* spoken;  // the key's accessible name, as printed on the meter
    QRect rect;
    std::optional<KeyFace> face;  // none: nothing drawn (the key lies off the picture)
    KeyAction action;
    char letter = 0;
    char doubleLetter = 0;  // 0: no double-click action
    const char* hint = nullptr;
};

// clang-format off
const KeyEntry kKeys[] = {
    {"powerKey", "Power key", {211, 135, 48, 43}, KeyFace::Power, KeyAction::Close, 0, 0,
     "Close Control Panel"},
    {"recordKey", "REC key", {92, 271, 48, 30}, KeyFace::RecIntv, KeyAction::Send, 'R'},
    {"fastSlowKey", "FAST/SLOW key", {74, 333, 49, 31}, KeyFace::FastSlow, KeyAction::Send, 'F', 0,
     "Time weighting select button"},
    {"splLeqKey", "SPL/Leq key", {142, 330, 51, 34}, KeyFace::SplLeq, KeyAction::Send, 'L'},
    {"maxMinKey", "MAX/MIN key", {211, 336, 48, 32}, KeyFace::MinMax, KeyAction::Send, 'M', 'N',
     "single click to change MAX/MIN mode, double click to cancel."},
    {"backlightKey", "Light key", {55, 398, 51, 34}, KeyFace::Backlight, KeyAction::Send, 'B'},
    {"frequencyWeightingKey", "A/C key", {122, 398, 53, 31}, KeyFace::AC, KeyAction::Send, 'C', 0,
     "Frequency Weighting select button"},
    {"runPauseStopKey", "Start/Pause key", {191, 398, 66, 34}, KeyFace::RunPauseStop,
     KeyAction::Send, 's', 'u', "single click to start/pause LEQ, double click to cancel."},
    {"clockKey", "INTEG TIME/CLOCK key", {133, 210, 63, 34}, KeyFace::IntegTimeClock,
     KeyAction::NotAvailable},
    {"setKey", "SET key", {154, 271, 40, 34}, KeyFace::Set, KeyAction::NotAvailable},
    {"upKey", "Up key", {217, 215, 36, 34}, KeyFace::Up, KeyAction::NotAvailable},
    {"downKey", "Down key", {217, 266, 40, 34}, KeyFace::Down, KeyAction::NotAvailable},
    {"levelKey", "Level key", {414, 374, 51, 34}, std::nullopt, KeyAction::Send, 'L'},
    {"minimiseKey", "Minimise Control Panel", {237, 1, 16, 14}, KeyFace::Minimise,
     KeyAction::Minimise},
    {"closeKey", "Close Control Panel", {259, 1, 16, 14}, KeyFace::Close, KeyAction::Close},
};
// clang-format on

// Tab goes through the keys as the eye reads the meter: top row first, then row by row from
// left to right. The level key lies off the picture and is left out, as it is for the mouse.
const char* const kTabOrder[] = {
    "minimiseKey",
    "closeKey",
    "powerKey",
    "clockKey",
    "upKey",
    "recordKey",
    "setKey",
    "downKey",
    "fastSlowKey",
    "splLeqKey",
    "maxMinKey",
    "backlightKey",
    "frequencyWeightingKey",
    "runPauseStopKey",
};

// Only this key shows its hint as a tool tip; the others keep theirs unshown.
constexpr const char* kToolTipKey = "maxMinKey";

constexpr int kBarMinWidth = 4;
constexpr int kBarFullWidth = 154;

// A notice stays long enough to be read: a few seconds, longer for a longer text.
int noticeDurationMs(const QString& text) {
    return std::clamp(2500 + 50 * int(text.size()), 3000, 8000);
}
constexpr int kNoticeMargin = 3;  // from the panel's edges and from the key

// Two pixels lower than (72, 483), where its top row lay on the battery symbol and the top
// annunciators: the label now fills the free band between that row (down to row 484) and the
// level bar (from row 500).
constexpr QPoint kNoConnectionPos{72, 485};

QLabel* makeLabel(QWidget* parent, const char* name, QPoint pos, bool visible) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setContentsMargins(0, 0, 0, 0);
    label->setMargin(0);
    label->setIndent(0);
    label->move(pos);
    label->setVisible(visible);
    return label;
}

QLabel* imageLabel(QWidget* parent, const char* name, QPoint pos, const QPixmap& image,
                   bool visible) {
    QLabel* label = makeLabel(parent, name, pos, visible);
    label->setPixmap(image);
    label->resize(image.size());
    return label;
}

// An empty digit place of the given size; it shows nothing until a digit image is set.
QLabel* digitPlace(QWidget* parent, const char* name, QPoint pos, QSize size) {
    QLabel* label = makeLabel(parent, name, pos, true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->resize(size);
    return label;
}

QLabel* textLabel(QWidget* parent, const char* name, QPoint pos, const QString& text, int pixelSize,
                  bool visible, const QColor& colour = artwork::lcdInk()) {
    QLabel* label = makeLabel(parent, name, pos, visible);
    label->setFont(artwork::lcdFont(pixelSize));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->setText(text);
    label->adjustSize();
    return label;
}

}  // namespace

ControlPanel::ControlPanel(MeterConnection& connection, Prompts& prompts, const DigitImages& digits,
                           QWidget* parent)
    : QWidget(parent), connection_(connection), prompts_(prompts), digits_(digits) {
    setObjectName(QStringLiteral("controlPanel"));
    setWindowTitle(QStringLiteral("Control Panel"));
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(kWidth, kHeight);

    std::vector<artwork::KeyDrawing> faces;
    for (const KeyEntry& key : kKeys)
        if (key.face) faces.push_back({*key.face, key.rect});

    // The meter picture first, so that every other element lies above it.
    auto* picture =
        imageLabel(this, "meterPictureImage", {0, 0}, artwork::meterPicture(faces), true);
    pictures_.push_back(picture);
    buildLcd();
    buildKeys();
    for (QWidget* w : pictures_) w->installEventFilter(this);
}

void ControlPanel::buildLcd() {
    const QSize large(30, 51), small(9, 15);
    // Every element below lies on the LCD and is blanked with it, except the no-connection
    // and time labels.
    auto picture = [this](QLabel* label) {
        pictures_.push_back(label);
        return lcdElement(label);
    };

    const char* mainNames[4] = {"levelHundredsDigit", "levelTensDigit", "levelUnitsDigit",
                                "levelTenthsDigit"};
    const int mainX[4] = {74, 110, 146, 184};
    for (int i = 0; i < 4; ++i)
        mainDigits_[i] = picture(digitPlace(this, mainNames[i], {mainX[i], 564}, large));
    picture(imageLabel(this, "decimalPointImage", {175, 601}, artwork::decimalPoint(), true))
        ->raise();

    weightingALabel_ =
        picture(textLabel(this, "weightingALabel", {229, 564}, QStringLiteral("dBA"), 13, true));
    weightingCLabel_ =
        picture(textLabel(this, "weightingCLabel", {228, 582}, QStringLiteral("dBC"), 13, false));
    fastLabel_ =
        picture(textLabel(this, "fastLabel", {162, 473}, QStringLiteral("FAST"), 10, true));
    slowLabel_ =
        picture(textLabel(this, "slowLabel", {193, 473}, QStringLiteral("SLOW"), 10, false));
    maxLabel_ = picture(textLabel(this, "maxLabel", {131, 473}, QStringLiteral("MAX"), 10, false));
    minLabel_ = picture(textLabel(this, "minLabel", {106, 473}, QStringLiteral("MIN"), 10, false));
    rangeLowLabel_ =
        picture(textLabel(this, "rangeLowLabel", {52, 506}, QStringLiteral("30"), 9, true));
    rangeHighLabel_ =
        picture(textLabel(this, "rangeHighLabel", {234, 506}, QStringLiteral("130"), 9, true));

    levelBarImage_ =
        picture(imageLabel(this, "levelBarImage", {72, 500}, artwork::levelBar(), true));
    levelBarImage_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    recordingLabel_ =
        picture(textLabel(this, "recordingLabel", {149, 618}, QStringLiteral("REC"), 10, false));
    memoryFullLabel_ =
        picture(textLabel(this, "memoryFullLabel", {178, 619}, QStringLiteral("FULL"), 10, false));
    underRangeImage_ = picture(imageLabel(this, "underRangeImage", {68, 620},
                                          artwork::word(QStringLiteral("UNDER"), 10), false));
    overRangeImage_ = picture(imageLabel(this, "overRangeImage", {215, 619},
                                         artwork::word(QStringLiteral("OVER"), 10), false));
    runStartImage_ =
        picture(imageLabel(this, "runStartImage", {60, 545}, artwork::runStart(), false));
    runPauseImage_ =
        picture(imageLabel(this, "runPauseImage", {75, 544}, artwork::runPause(), false));
    runStopImage_ = picture(imageLabel(this, "runStopImage", {88, 544}, artwork::runStop(), false));
    leqImage_ = picture(
        imageLabel(this, "leqImage", {41, 584}, artwork::word(QStringLiteral("Leq"), 11), false));
    splImage_ = picture(
        imageLabel(this, "splImage", {43, 584}, artwork::word(QStringLiteral("SPL"), 11), false));

    // Clock places: hours, minutes, seconds, year, month, day; tens then units.
    const struct {
        const char* name;
        QPoint pos;
    } clockPlaces[12] = {
        {"hourTensDigit", {136, 544}},   {"hourUnitsDigit", {145, 544}},
        {"minuteTensDigit", {161, 544}}, {"minuteUnitsDigit", {170, 544}},
        {"secondTensDigit", {184, 544}}, {"secondUnitsDigit", {194, 544}},
        {"yearTensDigit", {136, 529}},   {"yearUnitsDigit", {145, 529}},
        {"monthTensDigit", {161, 529}},  {"monthUnitsDigit", {170, 529}},
        {"dayTensDigit", {185, 529}},    {"dayUnitsDigit", {193, 529}},
    };
    for (int i = 0; i < 12; ++i)
        clockDigits_[i] = picture(digitPlace(this, clockPlaces[i].name, clockPlaces[i].pos, small));

    picture(imageLabel(this, "yearMonthDashImage", {155, 535}, artwork::dateDash(), true));
    picture(imageLabel(this, "monthDayDashImage", {179, 535}, artwork::dateDash(), true));
    picture(imageLabel(this, "minuteSecondColonImage", {179, 547}, artwork::timeColon(), true));
    picture(imageLabel(this, "hourMinuteColonImage", {156, 547}, artwork::timeColon(), true));
    picture(imageLabel(this, "batteryImage", {62, 475}, artwork::battery(), true));

    // Shown on the blank LCD while no meter is connected.
    noConnectionLabel_ = textLabel(this, "noConnectionLabel", kNoConnectionPos,
                                   QStringLiteral("No Connection"), 12, false, QColor(208, 24, 24));
    pictures_.push_back(noConnectionLabel_);
    timeLabel_ = textLabel(this, "timeLabel", {263, 107}, QString(), 10, false);
    pictures_.push_back(timeLabel_);

    // Over the whole glass, above the other elements but transparent to the mouse, so that a
    // drag on the LCD still moves the panel.
    lcdReadout_ = makeLabel(this, "lcdReadout", artwork::kLcdRect.topLeft(), true);
    lcdReadout_->resize(artwork::kLcdRect.size());
    lcdReadout_->setAttribute(Qt::WA_TransparentForMouseEvents);
    lcdReadout_->setAccessibleDescription(QStringLiteral("Meter display"));
    updateReading();
}

void ControlPanel::buildKeys() {
    for (const KeyEntry& key : kKeys) {
        auto* spot = new KeySpot(this);
        spot->setObjectName(QLatin1String(key.name));
        spot->setGeometry(key.rect);
        spot->setAccessibleName(QString::fromLatin1(key.spoken));
        if (key.hint) {
            spot->setProperty("hint", QString::fromLatin1(key.hint));
            spot->setAccessibleDescription(QString::fromLatin1(key.hint));
            if (qstrcmp(key.name, kToolTipKey) == 0)
                spot->setToolTip(QString::fromLatin1(key.hint));
        }
        switch (key.action) {
            case KeyAction::Send: {
                const char letter = key.letter;
                spot->onClick = [this, letter, spot] { sendKey(letter, spot); };
                if (key.doubleLetter) {
                    const char second = key.doubleLetter;
                    spot->onDoubleClick = [this, second, spot] { sendKey(second, spot); };
                }
                break;
            }
            case KeyAction::NotAvailable:
                spot->onClick = [this, spot] { showNotice(QStringLiteral("not available"), spot); };
                break;
            case KeyAction::Close:
                spot->onClick = [this] { closePanel(); };
                break;
            case KeyAction::Minimise:
                spot->onClick = [this] { emit minimiseRequested(); };
                break;
        }
        if (!key.face) spot->setFocusPolicy(Qt::NoFocus);
    }
    QWidget* previous = nullptr;
    for (const char* name : kTabOrder) {
        auto* key = findChild<QWidget*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
        if (previous && key) setTabOrder(previous, key);
        previous = key;
    }
}

void ControlPanel::sendKey(char letter, QWidget* key) {
    const MeterConnection::KeyOutcome outcome = connection_.sendKey(letter);
    if (outcome.result == MeterConnection::KeyResult::Failed) prompts_.message(outcome.message);
    // A key pressed while a download or another command holds the link is refused, and the
    // command goes on undisturbed.
    if (outcome.result == MeterConnection::KeyResult::Busy) showNotice(outcome.message, key);
}

void ControlPanel::showNotice(const QString& text, QWidget* at) {
    if (!notice_) {
        notice_ = new QLabel(this);
        notice_->setObjectName(QStringLiteral("notice"));
        notice_->setAttribute(Qt::WA_TransparentForMouseEvents);  // keys stay clickable
        notice_->setFrameShape(QFrame::Box);
        notice_->setMargin(3);
        notice_->setAutoFillBackground(true);
        notice_->setForegroundRole(QPalette::ToolTipText);
        notice_->setBackgroundRole(QPalette::ToolTipBase);
        noticeTimer_ = new QTimer(this);
        noticeTimer_->setObjectName(QStringLiteral("noticeTimer"));
        noticeTimer_->setSingleShot(true);
        connect(noticeTimer_, &QTimer::timeout, notice_, &QWidget::hide);
    }
    notice_->setText(text);
    const int widest = width() - 2 * kNoticeMargin;
    notice_->setWordWrap(false);
    notice_->adjustSize();
    if (notice_->width() > widest) {
        notice_->setWordWrap(true);
        notice_->resize(widest, notice_->heightForWidth(widest));
    }

    // Under the key, centred on it, or above it when there is no room below; always inside
    // the panel.
    QRect key = rect();
    if (at && isAncestorOf(at))
        key = QRect(at->mapTo(this, QPoint(0, 0)), at->size());
    else if (at)
        key = QRect(mapFromGlobal(at->mapToGlobal(QPoint(0, 0))), at->size());
    QPoint pos(key.center().x() - notice_->width() / 2, key.bottom() + 1 + kNoticeMargin);
    if (pos.y() + notice_->height() > height() - kNoticeMargin)
        pos.setY(key.top() - kNoticeMargin - notice_->height());
    pos.setX(std::clamp(pos.x(), kNoticeMargin, width() - kNoticeMargin - notice_->width()));
    pos.setY(std::clamp(pos.y(), kNoticeMargin, height() - kNoticeMargin - notice_->height()));
    notice_->move(pos);
    notice_->raise();
    notice_->show();
    noticeTimer_->start(noticeDurationMs(text));
}

void ControlPanel::closePanel() {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->close();
    else
        close();
}

QWidget* ControlPanel::dragTarget() {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) return sub;
    return this;
}

void ControlPanel::applyRefresh(const PanelRefresh& refresh) {
    const MeterStatus& s = refresh.status;
    // The first refresh after the connection came back lights the LCD again.
    if (noConnectionLabel_->isHidden()) setLcdOn(true);
    setLit(recordingLabel_, s.recording);

    setLit(weightingALabel_, s.weightingA);
    setLit(weightingCLabel_, !s.weightingA);
    setLit(fastLabel_, s.fast);
    setLit(slowLabel_, !s.fast);
    setLit(underRangeImage_, s.under);
    setLit(overRangeImage_, s.over);
    setLit(memoryFullLabel_, s.memoryFull);
    setLit(runStartImage_, s.runState == RunState::Running);
    setLit(runPauseImage_, s.runState == RunState::Paused);
    setLit(runStopImage_, s.runState == RunState::Stopped);
    setLit(leqImage_, s.leqShown);
    setLit(splImage_, !s.leqShown);

    for (int i = 0; i < 6; ++i) {
        const int value = refresh.clockValues[i];
        if (value < 0 || value > 99) continue;  // -1: the place keeps its digits
        clockDigits_[2 * i]->setPixmap(digits_.small[value / 10]);
        clockDigits_[2 * i + 1]->setPixmap(digits_.small[value % 10]);
        shownClock_[i] = value;
    }

    setLevelDigits(refresh.digits);

    switch (refresh.maxMin) {
        case MaxMinIndicator::Off:
            setMaxMinVisible(false, false);
            break;
        case MaxMinIndicator::MaxOnly:
            setMaxMinVisible(true, false);
            break;
        case MaxMinIndicator::MinOnly:
            setMaxMinVisible(false, true);
            break;
        case MaxMinIndicator::Blink:
        case MaxMinIndicator::StopBlink:
        case MaxMinIndicator::NoChange:
            break;  // the caller's blink timer owns the labels
    }

    rangeLowLabel_->setText(QStringLiteral("30"));
    rangeHighLabel_->setText(QStringLiteral("130"));
    levelBarImage_->resize(std::clamp(refresh.barWidth, kBarMinWidth, kBarFullWidth),
                           levelBarImage_->height());
    updateReading();
}

void ControlPanel::setLevelDigits(const std::array<int, 4>& images) {
    for (int i = 0; i < 4; ++i) {
        const int index =
            images[i] >= 0 && images[i] < kLargeDigitImages ? images[i] : kDigitFailureImage;
        mainDigits_[i]->setPixmap(digits_.large[index]);
        shownDigits_[i] = index;
    }
    updateReading();
}

void ControlPanel::setMaxMinVisible(bool maxShown, bool minShown) {
    setLit(maxLabel_, maxShown);
    setLit(minLabel_, minShown);
}

void ControlPanel::setNoConnectionVisible(bool shown) {
    noConnectionLabel_->setVisible(shown);
    if (shown) setLcdOn(false);
    updateReading();
}

QLabel* ControlPanel::lcdElement(QLabel* element) {
    lcd_.emplace_back(element, !element->isHidden());
    return element;
}

void ControlPanel::setLit(QWidget* element, bool lit) {
    for (auto& [widget, isLit] : lcd_) {
        if (widget != element) continue;
        isLit = lit;
        widget->setVisible(lit && lcdOn_);
        return;
    }
}

void ControlPanel::setLcdOn(bool on) {
    if (on == lcdOn_) return;
    lcdOn_ = on;
    // The clock comes back with the meter's next time, never with the time it had when the
    // connection went.
    if (!on) {
        for (QLabel* place : clockDigits_) place->clear();
        shownClock_.fill(-1);
    }
    for (const auto& [widget, lit] : lcd_) widget->setVisible(lit && on);
    updateReading();
}

bool ControlPanel::shownLit(const QWidget* element) const {
    for (const auto& [widget, isLit] : lcd_)
        if (widget == element) return isLit && lcdOn_;
    return false;
}

QString ControlPanel::reading() const {
    if (!noConnectionLabel_->isHidden()) return noConnectionLabel_->text();
    if (!lcdOn_) return QString();
    QStringList words;
    // The level as the digits show it: blank places are left out, the point stands before
    // the tenths.
    QString level;
    for (int i = 0; i < 4; ++i) {
        const int image = shownDigits_[i];
        if (image < 0 || image > 9) continue;
        if (i == 3) level += QLatin1Char('.');
        level += QChar(u'0' + image);
    }
    if (!level.isEmpty()) words << level;
    const std::pair<const QLabel*, const char*> annunciators[] = {
        {weightingALabel_, "dBA"}, {weightingCLabel_, "dBC"},   {fastLabel_, "FAST"},
        {slowLabel_, "SLOW"},      {leqImage_, "Leq"},          {recordingLabel_, "REC"},
        {overRangeImage_, "OVER"}, {underRangeImage_, "UNDER"}, {memoryFullLabel_, "FULL"},
    };
    for (const auto& [element, word] : annunciators)
        if (shownLit(element)) words << QLatin1String(word);
    QString text = words.join(QLatin1Char(' '));
    // hours, minutes and seconds, once all three have been drawn
    if (std::all_of(shownClock_.begin(), shownClock_.begin() + 3, [](int v) { return v >= 0; }))
        text += QStringLiteral(", %1:%2:%3")
                    .arg(shownClock_[0], 2, 10, QLatin1Char('0'))
                    .arg(shownClock_[1], 2, 10, QLatin1Char('0'))
                    .arg(shownClock_[2], 2, 10, QLatin1Char('0'));
    return text;
}

void ControlPanel::updateReading() {
    if (!lcdReadout_) return;  // the LCD is still being built
    QString text = reading();
    if (text.isEmpty()) text = QStringLiteral("LCD off");
    // Setting the same name again would announce it again.
    if (lcdReadout_->accessibleName() != text) lcdReadout_->setAccessibleName(text);
}

void ControlPanel::setTimeVisible(bool shown) {
    timeLabel_->setVisible(shown);
}

void ControlPanel::closeEvent(QCloseEvent* event) {
    // A MAX/MIN blink step may be under way further up the stack; let it finish first.
    while (blinkInProgress_) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    event->accept();
    if (!closedEmitted_) {
        closedEmitted_ = true;
        emit closed();
    }
}

bool ControlPanel::eventFilter(QObject* watched, QEvent* event) {
    const bool picture = std::find(pictures_.begin(), pictures_.end(), watched) != pictures_.end();
    if (!picture) return QWidget::eventFilter(watched, event);

    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton) break;
            QWidget* target = dragTarget();
            // A top-level panel lets the window system move it where it can (Wayland);
            // otherwise the panel follows the mouse itself.
            if (target->isWindow() && target->windowHandle() &&
                target->windowHandle()->startSystemMove())
                return true;
            dragging_ = true;
            dragOffset_ = mouse->globalPosition().toPoint() - target->pos();
            return true;
        }
        case QEvent::MouseMove: {
            if (!dragging_) break;
            auto* mouse = static_cast<QMouseEvent*>(event);
            dragTarget()->move(mouse->globalPosition().toPoint() - dragOffset_);
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton || !dragging_) break;
            dragging_ = false;
            return true;
        }
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

void ControlPanel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) emit activated();
    QWidget::changeEvent(event);
}

bool ControlPanel::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange) {
        // Inside an MDI subwindow the subwindow is what closes, moves and activates: it is
        // destroyed with the panel, and its activation counts as the panel's.
        if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) {
            sub->setAttribute(Qt::WA_DeleteOnClose);
            connect(sub, &QMdiSubWindow::aboutToActivate, this, &ControlPanel::activated,
                    Qt::UniqueConnection);
        }
    }
    return QWidget::event(event);
}

}  // namespace kl516
