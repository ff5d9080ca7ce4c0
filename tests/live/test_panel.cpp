#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include "link/MeterLink.h"
#include "live/ui/ControlPanel.h"
#include "live/ui/MeterArtwork.h"
#include "session/MeterConnection.h"
#include "session/StatusDecoder.h"
#include "simulator/SimulatedMeter.h"
#include "support/ScriptedPrompts.h"

using namespace kl516;
using test::ScriptedPrompts;

namespace {

const DigitImages& digitImages() {
    static const DigitImages images = DigitImages::draw();
    return images;
}

// Sends a mouse event of the left button to a widget, at a point on the screen.
void mouseAt(QWidget* w, QEvent::Type type, QPoint global) {
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, w->mapFromGlobal(QPointF(global)),
                      w->window()->mapFromGlobal(QPointF(global)), global, button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

void mouse(QWidget* w, QEvent::Type type, QPoint local) {
    mouseAt(w, type, w->mapToGlobal(local));
}

void click(QWidget* w) {
    const QPoint c = w->rect().center();
    mouse(w, QEvent::MouseButtonPress, c);
    mouse(w, QEvent::MouseButtonRelease, c);
}

// What the window system delivers for a double click: press, release, double click, release.
void doubleClick(QWidget* w) {
    const QPoint c = w->rect().center();
    mouse(w, QEvent::MouseButtonPress, c);
    mouse(w, QEvent::MouseButtonRelease, c);
    mouse(w, QEvent::MouseButtonDblClick, c);
    mouse(w, QEvent::MouseButtonRelease, c);
}

// Press at a point of the widget, move the mouse by an offset and let go. The screen
// positions are fixed at the start: the widget may move under the mouse.
void drag(QWidget* w, QPoint from, QPoint by) {
    const QPoint start = w->mapToGlobal(from);
    mouseAt(w, QEvent::MouseButtonPress, start);
    mouseAt(w, QEvent::MouseMove, start + by / 2);
    mouseAt(w, QEvent::MouseMove, start + by);
    mouseAt(w, QEvent::MouseButtonRelease, start + by);
}

void runDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

ResponseFrame statusFrame() {
    ResponseFrame f{};
    f[0] = 0x02;
    f[31] = 0x03;
    return f;
}

struct PanelTest : ::testing::Test {
    ManualClock clock;
    SimulatedMeter meter{clock};
    IdleLinkHost host;
    MeterLink link{meter, clock, host};
    MeterConnection connection{link, clock};
    ScriptedPrompts prompts;
    StatusDecoder decoder;
    QPointer<ControlPanel> panel = new ControlPanel(connection, prompts, digitImages());

    ~PanelTest() override { delete panel.data(); }

    QWidget* child(const char* name) const {
        QWidget* w = panel->findChild<QWidget*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QLabel* label(const char* name) const { return qobject_cast<QLabel*>(child(name)); }
    bool shown(const char* name) const { return child(name)->isVisibleTo(panel); }
    // The image a place shows, as the cache key of its pixmap (0: none).
    qint64 image(const char* name) const { return label(name)->pixmap().cacheKey(); }
    static qint64 large(int i) { return digitImages().large[i].cacheKey(); }
    static qint64 small(int i) { return digitImages().small[i].cacheKey(); }

    void apply(const ResponseFrame& frame) { panel->applyRefresh(decoder.onStatus(frame)); }
    // One poll tick against the simulated meter, with the panel refreshed.
    void poll() {
        clock.advance(500);
        ASSERT_TRUE(link.pollStatus());
        apply(link.mainResponse());
    }
    // The command letters the meter has received, polls left out.
    std::string keyLetters() const {
        std::string letters;
        for (const CommandFrame& f : meter.framesWritten())
            if (f[1] != Cmd::Status) letters += static_cast<char>(f[1]);
        return letters;
    }
};

// --- layout ----------------------------------------------------------------------------------

TEST_F(PanelTest, LcdElementsSitOnTheGlassAtTheirPlacesWithTheirInitialState) {
    struct Element {
        const char* name;
        QPoint pos;
        bool visible;
    };
    // clang-format off
    const Element elements[] = {
        {"levelHundredsDigit", {74, 564}, true},        {"levelTensDigit", {110, 564}, true},
        {"levelUnitsDigit", {146, 564}, true},       {"levelTenthsDigit", {184, 564}, true},
        {"decimalPointImage", {175, 601}, true},     {"weightingALabel", {229, 564}, true},
        {"weightingCLabel", {228, 582}, false},      {"fastLabel", {162, 473}, true},
        {"slowLabel", {193, 473}, false},     {"maxLabel", {131, 473}, false},
        {"minLabel", {106, 473}, false},      {"rangeLowLabel", {52, 506}, true},
        {"rangeHighLabel", {234, 506}, true}, {"levelBarImage", {72, 500}, true},
        {"recordingLabel", {149, 618}, false},      {"memoryFullLabel", {178, 619}, false},
        {"underRangeImage", {68, 620}, false},     {"overRangeImage", {215, 619}, false},
        {"runStartImage", {60, 545}, false},     {"runPauseImage", {75, 544}, false},
        {"runStopImage", {88, 544}, false},      {"leqImage", {41, 584}, false},
        {"splImage", {43, 584}, false},       {"yearTensDigit", {136, 529}, true},
        {"yearUnitsDigit", {145, 529}, true},         {"monthTensDigit", {161, 529}, true},
        {"monthUnitsDigit", {170, 529}, true},         {"dayTensDigit", {185, 529}, true},
        {"dayUnitsDigit", {193, 529}, true},         {"hourTensDigit", {136, 544}, true},
        {"hourUnitsDigit", {145, 544}, true},        {"minuteTensDigit", {161, 544}, true},
        {"minuteUnitsDigit", {170, 544}, true},        {"secondTensDigit", {184, 544}, true},
        {"secondUnitsDigit", {194, 544}, true},        {"yearMonthDashImage", {155, 535}, true},
        {"monthDayDashImage", {179, 535}, true},      {"minuteSecondColonImage", {179, 547}, true},
        {"hourMinuteColonImage", {156, 547}, true},       {"batteryImage", {62, 475}, true},
        // Two pixels below (72, 483), where it lay on the battery symbol.
        {"noConnectionLabel", {72, 485}, false},
    };
    // clang-format on
    for (const Element& e : elements) {
        SCOPED_TRACE(e.name);
        QWidget* w = child(e.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->pos(), e.pos);
        EXPECT_EQ(w->isVisibleTo(panel), e.visible);
        EXPECT_TRUE(artwork::kLcdRect.contains(w->geometry())) << "off the LCD glass";
    }
    EXPECT_EQ(child("timeLabel")->pos(), QPoint(263, 107));
    EXPECT_FALSE(shown("timeLabel"));
    EXPECT_TRUE(label("timeLabel")->text().isEmpty());

    // Digit places start empty and have the digit images' sizes.
    for (const char* name :
         {"levelHundredsDigit", "levelTensDigit", "levelUnitsDigit", "levelTenthsDigit"}) {
        EXPECT_EQ(image(name), 0) << name;
        EXPECT_EQ(child(name)->size(), QSize(30, 51)) << name;
    }
    for (const char* name :
         {"yearTensDigit", "yearUnitsDigit", "monthTensDigit", "monthUnitsDigit", "dayTensDigit",
          "dayUnitsDigit", "hourTensDigit", "hourUnitsDigit", "minuteTensDigit", "minuteUnitsDigit",
          "secondTensDigit", "secondUnitsDigit"}) {
        EXPECT_EQ(image(name), 0) << name;
        EXPECT_EQ(child(name)->size(), QSize(9, 15)) << name;
    }

    EXPECT_EQ(child("levelBarImage")->width(), 154);
    EXPECT_EQ(label("rangeLowLabel")->text(), "30");
    EXPECT_EQ(label("rangeHighLabel")->text(), "130");
    EXPECT_EQ(label("noConnectionLabel")->text(), "No Connection");
    EXPECT_EQ(label("noConnectionLabel")->palette().color(QPalette::WindowText),
              QColor(208, 24, 24));
    // clang-format off
    for (auto [name, text] : {std::pair{"weightingALabel", "dBA"}, {"weightingCLabel", "dBC"}, {"fastLabel", "FAST"},
                              {"slowLabel", "SLOW"}, {"maxLabel", "MAX"}, {"minLabel", "MIN"},
                              {"recordingLabel", "REC"}, {"memoryFullLabel", "FULL"}})
        EXPECT_EQ(label(name)->text(), text) << name;
    // clang-format on
}

TEST_F(PanelTest, WindowIsAFramelessFixedPictureOfTheMeter) {
    EXPECT_EQ(panel->windowTitle(), "Control Panel");
    EXPECT_TRUE(panel->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(panel->minimumSize(), QSize(279, 730));
    EXPECT_EQ(panel->maximumSize(), QSize(279, 730));
    QLabel* picture = label("meterPictureImage");
    EXPECT_EQ(picture->geometry(), QRect(0, 0, 279, 731));
    EXPECT_EQ(picture->pixmap().size(), QSize(279, 731));
    // The picture lies below every other element.
    EXPECT_EQ(panel->children().indexOf(picture), 0);

    // The glass of the LCD shows through where no element is lit, and the body is dark.
    const QImage art = picture->pixmap().toImage();
    const QColor glass = art.pixelColor(artwork::kLcdRect.center());
    EXPECT_GT(glass.green(), 150);
    EXPECT_GT(glass.green(), glass.blue());
    EXPECT_LT(art.pixelColor(20, 300).lightness(), 90);
}

TEST_F(PanelTest, KeysAreHandCursorHotSpotsWithTheirHints) {
    struct Key {
        const char* name;
        QRect rect;
        const char* hint;
    };
    // clang-format off
    const Key keys[] = {
        {"powerKey", {211, 135, 48, 43}, "Close Control Panel"},
        {"recordKey", {92, 271, 48, 30}, nullptr},
        {"fastSlowKey", {74, 333, 49, 31}, "Time weighting select button"},
        {"splLeqKey", {142, 330, 51, 34}, nullptr},
        {"maxMinKey", {211, 336, 48, 32},
         "single click to change MAX/MIN mode, double click to cancel."},
        {"backlightKey", {55, 398, 51, 34}, nullptr},
        {"frequencyWeightingKey", {122, 398, 53, 31}, "Frequency Weighting select button"},
        {"runPauseStopKey", {191, 398, 66, 34}, "single click to start/pause LEQ, double click to cancel."},
        {"clockKey", {133, 210, 63, 34}, nullptr},
        {"setKey", {154, 271, 40, 34}, nullptr},
        {"upKey", {217, 215, 36, 34}, nullptr},
        {"downKey", {217, 266, 40, 34}, nullptr},
        {"levelKey", {414, 374, 51, 34}, nullptr},
        {"minimiseKey", {237, 1, 16, 14}, nullptr},
        {"closeKey", {259, 1, 16, 14}, nullptr},
    };
    // clang-format on
    for (const Key& k : keys) {
        SCOPED_TRACE(k.name);
        QWidget* w = child(k.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), k.rect);
        EXPECT_TRUE(w->isVisibleTo(panel));
        EXPECT_EQ(w->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(w->property("hint").toString(), k.hint ? QString(k.hint) : QString());
        const bool tip = qstrcmp(k.name, "maxMinKey") == 0;
        EXPECT_EQ(w->toolTip(), tip ? QString(k.hint) : QString());
    }
}

TEST(DigitImages, SevenSegmentDigitsThenBlanks) {
    const DigitImages& d = digitImages();
    // Inked pixels of an image.
    auto ink = [](const QPixmap& p) {
        const QImage img = p.toImage().convertToFormat(QImage::Format_ARGB32);
        std::vector<bool> on;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) on.push_back(qAlpha(img.pixel(x, y)) > 128);
        return on;
    };
    for (const auto* table : {&d.large, &d.small}) {
        const QSize size = table == &d.large ? QSize(30, 51) : QSize(9, 15);
        const std::vector<bool> eight = ink((*table)[8]);
        std::vector<std::vector<bool>> seen;
        for (int i = 0; i < 18; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ((*table)[i].size(), size);
            const std::vector<bool> on = ink((*table)[i]);
            const auto lit = std::count(on.begin(), on.end(), true);
            if (i >= 10) {
                EXPECT_EQ(lit, 0) << "blank";
                continue;
            }
            EXPECT_GT(lit, 0);
            // Every figure is a subset of the 8, and no two figures look alike.
            size_t outsideEight = 0;
            for (size_t p = 0; p < on.size(); ++p) outsideEight += on[p] && !eight[p];
            EXPECT_EQ(outsideEight, 0u);
            for (const auto& other : seen) EXPECT_NE(on, other);
            seen.push_back(on);
        }
        // A 1 is the two right-hand segments: narrower than an 8 and with less ink.
        const auto one = ink((*table)[1]);
        EXPECT_LT(std::count(one.begin(), one.end(), true) * 2,
                  std::count(eight.begin(), eight.end(), true));
    }
}

TEST(DigitImages, UnlitSegmentsShowFaintlyOnTheGlass) {
    const DigitImages& d = digitImages();
    // An image as the LCD shows it: drawn on the glass.
    auto onGlass = [](const QPixmap& digit) {
        QImage img(digit.size(), QImage::Format_ARGB32);
        img.fill(artwork::lcdGlass());
        QPainter p(&img);
        p.drawPixmap(0, 0, digit);
        return img;
    };
    const int glass = artwork::lcdGlass().lightness();
    for (const auto* table : {&d.large, &d.small}) {
        SCOPED_TRACE(table == &d.large ? "large" : "small");
        const QImage eight = (*table)[8].toImage().convertToFormat(QImage::Format_ARGB32);
        for (int i = 0; i < 18; ++i) {
            SCOPED_TRACE(i);
            const QImage raw = (*table)[i].toImage().convertToFormat(QImage::Format_ARGB32);
            const QImage shown = onGlass((*table)[i]);
            int darkestUnlit = 255, lightestUnlit = 0, lightestLit = 0, litPixels = 0;
            for (int y = 0; y < raw.height(); ++y)
                for (int x = 0; x < raw.width(); ++x) {
                    // Every figure, blanks included, shows the seven segment places of the 8
                    // and nothing outside them.
                    if (qAlpha(eight.pixel(x, y)) == 0) {
                        EXPECT_EQ(qAlpha(raw.pixel(x, y)), 0);
                    }
                    if (qAlpha(eight.pixel(x, y)) < 255) continue;  // segment edges
                    EXPECT_GT(qAlpha(raw.pixel(x, y)), 0) << x << "," << y;
                    const int lightness = shown.pixelColor(x, y).lightness();
                    if (qAlpha(raw.pixel(x, y)) > 128) {
                        lightestLit = std::max(lightestLit, lightness);
                        ++litPixels;
                    } else {
                        darkestUnlit = std::min(darkestUnlit, lightness);
                        lightestUnlit = std::max(lightestUnlit, lightness);
                    }
                }
            if (i == 8) continue;  // all lit
            EXPECT_GT(darkestUnlit - lightestLit, 100) << "unlit segments much lighter than lit";
            EXPECT_LT(lightestUnlit, glass - 8) << "unlit segments still visible";
            EXPECT_GT(darkestUnlit, glass - 50) << "but only faintly";
            EXPECT_EQ(litPixels > 0, i < 10);
        }
    }
}

TEST_F(PanelTest, NeighbouringDigitFiguresNeverTouch) {
    // The columns and rows of an image that hold any ink, unlit segments included.
    auto inkedSpan = [](const QPixmap& pixmap, bool columns) {
        const QImage img = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        int first = -1, last = -1;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (qAlpha(img.pixel(x, y)) > 0) {
                    const int at = columns ? x : y;
                    if (first < 0 || at < first) first = at;
                    last = std::max(last, at);
                }
        return std::pair{first, last};
    };
    const struct {
        std::vector<const char*> places;
        const QPixmap& figure;
    } rows[] = {
        {{"levelHundredsDigit", "levelTensDigit", "levelUnitsDigit", "levelTenthsDigit"},
         digitImages().large[8]},
        {{"yearTensDigit", "yearUnitsDigit", "monthTensDigit", "monthUnitsDigit", "dayTensDigit",
          "dayUnitsDigit"},
         digitImages().small[8]},
        {{"hourTensDigit", "hourUnitsDigit", "minuteTensDigit", "minuteUnitsDigit",
          "secondTensDigit", "secondUnitsDigit"},
         digitImages().small[8]},
    };
    for (const auto& row : rows) {
        const auto [left, right] = inkedSpan(row.figure, true);
        for (size_t i = 1; i < row.places.size(); ++i) {
            SCOPED_TRACE(row.places[i]);
            const int previousEnd = child(row.places[i - 1])->x() + right;
            const int nextStart = child(row.places[i])->x() + left;
            EXPECT_GE(nextStart - previousEnd, 2) << "no clear column between the figures";
        }
    }
    // Clock figures readable at 100 %: at least 9 pixels high, and the date row ends two
    // clear rows above the time row, so the rows never touch.
    const auto [top, bottom] = inkedSpan(digitImages().small[8], false);
    EXPECT_GE(bottom - top + 1, 9);
    EXPECT_GE(child("hourTensDigit")->y() + top - (child("yearTensDigit")->y() + bottom), 3);
    // "Leq" stands where "SPL" stands: the same baseline (their images share the font's
    // ascent above it).
    EXPECT_EQ(child("leqImage")->y(), child("splImage")->y());
    EXPECT_EQ(label("leqImage")->pixmap().height(), label("splImage")->pixmap().height());
}

// --- refresh ---------------------------------------------------------------------------------

TEST_F(PanelTest, RefreshDrawsLevelBarAndAnnunciators) {
    struct Case {
        const char* what;
        uint8_t byte1, byte2, mode;
        std::vector<std::pair<int, uint8_t>> bytes;
        std::array<qint64, 4> digits;
        int bar;
        std::vector<const char*> on, off;
    };
    const qint64 blank = large(10);
    // clang-format off
    const Case cases[] = {
        {"94.5 dBA FAST", 0x18, 0x00, 0x00, {{8, 9}, {9, 4}, {10, 5}},
         {blank, large(9), large(4), large(5)}, 100,
         {"weightingALabel", "fastLabel", "runStopImage", "splImage"},
         {"weightingCLabel", "slowLabel", "runStartImage", "runPauseImage", "leqImage", "recordingLabel", "memoryFullLabel", "underRangeImage",
          "overRangeImage", "maxLabel", "minLabel"}},
        {"MAX 110.0 dBC SLOW", 0x04, 0x00, 0x11, {{11, 0x04}, {12, 0x4C}},
         {large(1), large(1), large(0), large(0)}, 124,
         {"weightingCLabel", "slowLabel", "maxLabel"}, {"weightingALabel", "fastLabel", "minLabel"}},
        {"MIN 25.0", 0x04, 0x00, 0x22, {{13, 0x00}, {14, 0xFA}},
         {blank, large(2), large(5), large(0)}, 4, {"minLabel"}, {"maxLabel"}},
        {"LEQ 90.0", 0x00, 0x80, 0x00, {{26, 0x03}, {27, 0x84}},
         {blank, large(9), large(0), large(0)}, 94, {"leqImage", "runStopImage"}, {"splImage"}},
        {"running", 0x00, 0x60, 0x00, {}, {blank, large(0), large(0), large(0)}, 4,
         {"runStartImage"}, {"runPauseImage", "runStopImage"}},
        {"paused", 0x00, 0x40, 0x00, {}, {blank, large(0), large(0), large(0)}, 4,
         {"runPauseImage"}, {"runStartImage", "runStopImage"}},
        {"recording, under, over, full", 0xC1, 0x10, 0x00, {}, {blank, large(0), large(0), large(0)},
         4, {"recordingLabel", "underRangeImage", "overRangeImage", "memoryFullLabel"}, {}},
        {"140.0 dB: the bar stops at its full width", 0x00, 0x00, 0x00,
         {{7, 1}, {8, 4}, {9, 0}, {10, 0}}, {large(1), large(4), large(0), large(0)}, 154, {}, {}},
        {"a 16-bit level beyond the table blanks all four places", 0x04, 0x00, 0x44,
         {{5, 0x4E}, {6, 0x20}},
         {large(16), large(16), large(16), large(16)}, 154, {}, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResponseFrame f = statusFrame();
        f[1] = c.byte1;
        f[2] = c.byte2;
        f[4] = c.mode;
        for (auto [index, value] : c.bytes) f[index] = value;
        apply(f);
        EXPECT_EQ(image("levelHundredsDigit"), c.digits[0]);
        EXPECT_EQ(image("levelTensDigit"), c.digits[1]);
        EXPECT_EQ(image("levelUnitsDigit"), c.digits[2]);
        EXPECT_EQ(image("levelTenthsDigit"), c.digits[3]);
        EXPECT_EQ(child("levelBarImage")->width(), c.bar);
        EXPECT_EQ(child("levelBarImage")->pos(), QPoint(72, 500)) << "cropped, not moved";
        for (const char* name : c.on) EXPECT_TRUE(shown(name)) << name;
        for (const char* name : c.off) EXPECT_FALSE(shown(name)) << name;
        EXPECT_EQ(label("rangeLowLabel")->text(), "30");
        EXPECT_EQ(label("rangeHighLabel")->text(), "130");
    }
}

TEST_F(PanelTest, MaxMinLabelsAreLeftToTheBlinkTimerUnlessTheModeFixesThem) {
    PanelRefresh r;
    r.maxMin = MaxMinIndicator::MaxOnly;
    panel->applyRefresh(r);
    for (auto leave :
         {MaxMinIndicator::Blink, MaxMinIndicator::StopBlink, MaxMinIndicator::NoChange}) {
        panel->setMaxMinVisible(true, true);  // as a blink step leaves them
        r.maxMin = leave;
        panel->applyRefresh(r);
        EXPECT_TRUE(shown("maxLabel"));
        EXPECT_TRUE(shown("minLabel"));
    }
    r.maxMin = MaxMinIndicator::MinOnly;
    panel->applyRefresh(r);
    EXPECT_FALSE(shown("maxLabel"));
    EXPECT_TRUE(shown("minLabel"));
    r.maxMin = MaxMinIndicator::Off;
    panel->applyRefresh(r);
    EXPECT_FALSE(shown("maxLabel"));
    EXPECT_FALSE(shown("minLabel"));
}

TEST_F(PanelTest, ClockValuesGoToTheirPlacesAndMinusOneLeavesAPlace) {
    PanelRefresh r;
    r.clockValues = {13, 42, 37, 24, 1, 15};  // hours, minutes, seconds, year, month, day
    panel->applyRefresh(r);
    const std::pair<const char*, int> expected[] = {
        {"hourTensDigit", 1},    {"hourUnitsDigit", 3},  {"minuteTensDigit", 4},
        {"minuteUnitsDigit", 2}, {"secondTensDigit", 3}, {"secondUnitsDigit", 7},
        {"yearTensDigit", 2},    {"yearUnitsDigit", 4},  {"monthTensDigit", 0},
        {"monthUnitsDigit", 1},  {"dayTensDigit", 1},    {"dayUnitsDigit", 5},
    };
    for (auto [name, digit] : expected) EXPECT_EQ(image(name), small(digit)) << name;

    // Only the seconds change; every other place keeps its digits.
    r.clockValues = {-1, -1, 59, -1, -1, -1};
    panel->applyRefresh(r);
    for (auto [name, digit] : expected) {
        const std::string place = name;
        const int now = place == "secondTensDigit" ? 5 : place == "secondUnitsDigit" ? 9 : digit;
        EXPECT_EQ(image(name), small(now)) << name;
    }

    // A frame whose clock is not valid (0x5A) redraws no place.
    ResponseFrame f = statusFrame();
    f[15] = 0x5A;
    f[16] = 0x5A;
    f[17] = 0x5A;
    apply(f);
    EXPECT_EQ(image("hourTensDigit"), small(1));
    EXPECT_EQ(image("secondUnitsDigit"), small(9));
}

TEST_F(PanelTest, TimeLabelFollowsItsSetter) {
    panel->setTimeVisible(true);
    EXPECT_TRUE(shown("timeLabel"));
    panel->setTimeVisible(false);
    EXPECT_FALSE(shown("timeLabel"));
}

TEST_F(PanelTest, WithoutAConnectionTheLcdIsBlankUntilTheNextRefresh) {
    // clang-format off
    const std::vector<const char*> lcd = {
        "levelHundredsDigit", "levelTensDigit", "levelUnitsDigit", "levelTenthsDigit", "decimalPointImage", "weightingALabel", "weightingCLabel", "fastLabel",
        "slowLabel", "maxLabel", "minLabel", "rangeLowLabel", "rangeHighLabel", "levelBarImage", "recordingLabel",
        "memoryFullLabel", "underRangeImage", "overRangeImage", "runStartImage", "runPauseImage", "runStopImage", "leqImage", "splImage",
        "yearTensDigit", "yearUnitsDigit", "monthTensDigit", "monthUnitsDigit", "dayTensDigit", "dayUnitsDigit", "hourTensDigit", "hourUnitsDigit", "minuteTensDigit", "minuteUnitsDigit",
        "secondTensDigit", "secondUnitsDigit", "yearMonthDashImage", "monthDayDashImage", "minuteSecondColonImage", "hourMinuteColonImage", "batteryImage"};
    // clang-format on
    auto lit = [&] {
        std::vector<std::string> on;
        for (const char* name : lcd)
            if (shown(name)) on.push_back(name);
        return on;
    };
    poll();  // a live display: level, clock and annunciators
    ASSERT_GT(lit().size(), 20u);

    // Start-up order of the main window: the label, then the 188.8 of the level places; a
    // blink step of the MAX/MIN labels comes in between.
    panel->setNoConnectionVisible(true);
    panel->setMaxMinVisible(true, true);
    panel->setLevelDigits({1, 8, 8, 8});
    EXPECT_TRUE(shown("noConnectionLabel"));
    EXPECT_EQ(lit(), std::vector<std::string>{}) << "the LCD shows nothing, as a meter that is off";
    for (const char* place :
         {"yearTensDigit", "dayUnitsDigit", "hourTensDigit", "secondUnitsDigit"})
        EXPECT_EQ(image(place), 0) << place << " keeps no stale time";

    // The label is readable: on the glass and over no other element of the LCD.
    const QRect label = child("noConnectionLabel")->geometry();
    EXPECT_TRUE(artwork::kLcdRect.contains(label));
    for (const char* name : lcd) EXPECT_FALSE(label.intersects(child(name)->geometry())) << name;

    // Connected again: the label goes, the LCD stays blank until the next status refresh.
    panel->setNoConnectionVisible(false);
    EXPECT_FALSE(shown("noConnectionLabel"));
    EXPECT_EQ(lit(), std::vector<std::string>{});

    clock.advance(1000);  // a new second, so the clock is redrawn
    poll();
    for (const char* name :
         {"levelTensDigit", "levelUnitsDigit", "levelTenthsDigit", "decimalPointImage",
          "weightingALabel", "fastLabel", "rangeLowLabel", "rangeHighLabel", "levelBarImage",
          "runStopImage", "splImage", "yearTensDigit", "secondUnitsDigit", "yearMonthDashImage",
          "minuteSecondColonImage", "batteryImage"})
        EXPECT_TRUE(shown(name)) << name;
    EXPECT_FALSE(shown("maxLabel")) << "the meter's MAX/MIN function is off";
    EXPECT_NE(image("secondUnitsDigit"), 0);
    const std::array<qint64, 4> startUp = {large(1), large(8), large(8), large(8)};
    EXPECT_NE((std::array{image("levelHundredsDigit"), image("levelTensDigit"),
                          image("levelUnitsDigit"), image("levelTenthsDigit")}),
              startUp)
        << "the level is the meter's";
}

// --- keys ------------------------------------------------------------------------------------

TEST_F(PanelTest, FastSlowKeySendsItsFrameAndTheNextPollSwapsTheLabels) {
    poll();
    ASSERT_TRUE(shown("fastLabel"));
    ASSERT_FALSE(shown("slowLabel"));

    const size_t before = meter.framesWritten().size();
    click(child("fastSlowKey"));
    ASSERT_EQ(meter.framesWritten().size(), before + 1);
    const CommandFrame& sent = meter.framesWritten().back();
    EXPECT_EQ(sent[0], 0x02);
    EXPECT_EQ(sent[1], 'F');
    EXPECT_EQ(sent[6], 0x03);
    EXPECT_FALSE(meter.isOpen()) << "the device is closed after the key";

    poll();
    EXPECT_FALSE(shown("fastLabel"));
    EXPECT_TRUE(shown("slowLabel"));
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(PanelTest, KeysSendTheirLetters) {
    struct Case {
        const char* key;
        bool twice;  // double click
        std::string letters;
    };
    // clang-format off
    const Case cases[] = {
        {"recordKey", false, "R"},     {"fastSlowKey", false, "F"},    {"splLeqKey", false, "L"},
        {"maxMinKey", false, "M"},  {"backlightKey", false, "B"},      {"frequencyWeightingKey", false, "C"},
        {"runPauseStopKey", false, "s"},     {"levelKey", false, "L"},
        // The first press of a double click is an ordinary click.
        {"maxMinKey", true, "MN"},  {"runPauseStopKey", true, "su"},
        // A key without a double-click action takes the second press as another click.
        {"frequencyWeightingKey", true, "CC"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + (c.twice ? " double" : ""));
        const std::string before = keyLetters();
        if (c.twice)
            doubleClick(child(c.key));
        else
            click(child(c.key));
        EXPECT_EQ(keyLetters().substr(before.size()), c.letters);
    }
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(PanelTest, ReleaseOutsideTheKeyIsNoClick) {
    QWidget* key = child("fastSlowKey");
    mouse(key, QEvent::MouseButtonPress, key->rect().center());
    mouse(key, QEvent::MouseButtonRelease, key->rect().bottomRight() + QPoint(20, 20));
    EXPECT_EQ(keyLetters(), "");
}

TEST_F(PanelTest, KeysWithoutAFunctionShowANoticeAtTheKeyAndSendNothing) {
    panel->show();
    for (bool attached : {true, false}) {
        SCOPED_TRACE(attached ? "meter attached" : "no meter");
        if (!attached) meter.unplug();
        for (const char* key : {"clockKey", "setKey", "upKey", "downKey"}) {
            SCOPED_TRACE(key);
            click(child(key));
            auto* notice = panel->findChild<QLabel*>(QStringLiteral("notice"));
            ASSERT_NE(notice, nullptr);
            EXPECT_TRUE(notice->isVisible());
            EXPECT_EQ(notice->text(), "not available");
            // Beside the key, inside the panel, and above every other element.
            const QRect at = child(key)->geometry();
            const QRect box = notice->geometry();
            EXPECT_TRUE(panel->rect().contains(box));
            EXPECT_TRUE(box.right() >= at.left() && box.left() <= at.right());
            EXPECT_LE(
                std::min(std::abs(box.top() - at.bottom()), std::abs(at.top() - box.bottom())), 5);
            EXPECT_EQ(panel->children().last(), notice);
            // The panel stays usable: the notice takes no clicks from the keys under it.
            EXPECT_NE(panel->childAt(box.center()), notice);
        }
    }
    EXPECT_TRUE(prompts.shown.empty()) << "no box blocks the panel";
    EXPECT_EQ(meter.exchangeCount(), 0);
    EXPECT_EQ(keyLetters(), "");
}

TEST_F(PanelTest, ANoticeFitsThePanelAndHidesItself) {
    panel->show();
    const QString busy = QStringLiteral(
        "The meter is busy: Load Data is reading its memory. Try again when it has finished.");
    const struct {
        QString text;
        const char* key;  // nullptr: no key
    } cases[] = {{busy, "maxMinKey"},
                 {busy, "closeKey"},
                 {busy, nullptr},
                 {QStringLiteral("not available"), "downKey"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key ? c.key : "no key");
        panel->showNotice(c.text, c.key ? child(c.key) : nullptr);
        auto* notice = panel->findChild<QLabel*>(QStringLiteral("notice"));
        ASSERT_NE(notice, nullptr);
        EXPECT_EQ(notice->text(), c.text);
        EXPECT_TRUE(notice->isVisible());
        EXPECT_TRUE(panel->rect().contains(notice->geometry())) << "wrapped inside the panel";
        EXPECT_GE(notice->height(), notice->heightForWidth(notice->width()));
    }

    // It goes by itself after a few seconds; here the wait is cut short.
    auto* timer = panel->findChild<QTimer*>(QStringLiteral("noticeTimer"));
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_GE(timer->interval(), 2000);
    EXPECT_LE(timer->interval(), 8000);
    timer->start(1);
    auto* notice = panel->findChild<QLabel*>(QStringLiteral("notice"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !notice->isVisible(); }, 2000));
}

TEST_F(PanelTest, FailingOpenShowsConnectFailAndChangesNothing) {
    poll();
    meter.options().openFailure = {0, -1};
    click(child("fastSlowKey"));
    doubleClick(child("maxMinKey"));
    EXPECT_EQ(prompts.messages(), QStringList(3, "Connect fail"));
    EXPECT_EQ(keyLetters(), "");
    EXPECT_TRUE(meter.fast());
    EXPECT_TRUE(shown("fastLabel"));
    EXPECT_FALSE(shown("maxLabel"));
}

// --- window ----------------------------------------------------------------------------------

TEST_F(PanelTest, PowerAndCloseKeysDestroyThePanelAndTheMinimiseKeyAsks) {
    for (const char* key : {"powerKey", "closeKey"}) {
        SCOPED_TRACE(key);
        if (!panel) panel = new ControlPanel(connection, prompts, digitImages());
        panel->show();
        int closedCount = 0, minimise = 0;
        QObject::connect(panel, &ControlPanel::closed, [&] { ++closedCount; });
        QObject::connect(panel, &ControlPanel::minimiseRequested, [&] { ++minimise; });

        click(child("minimiseKey"));
        EXPECT_EQ(minimise, 1);
        EXPECT_TRUE(panel->isVisible());
        EXPECT_EQ(closedCount, 0);

        click(child(key));
        EXPECT_EQ(closedCount, 1);
        runDeferredDeletes();
        EXPECT_TRUE(panel.isNull()) << "destroyed on close";
    }
    EXPECT_EQ(keyLetters(), "");
}

TEST_F(PanelTest, CloseWaitsForARunningBlinkStep) {
    panel->show();
    std::vector<std::string> order;
    QObject::connect(panel, &ControlPanel::closed, [&] { order.push_back("closed"); });
    panel->setBlinkInProgress(true);
    QTimer::singleShot(30, panel, [&] {
        order.push_back("blink done");
        panel->setBlinkInProgress(false);
    });
    EXPECT_TRUE(panel->close());
    EXPECT_EQ(order, (std::vector<std::string>{"blink done", "closed"}));
}

TEST_F(PanelTest, DraggingAPictureMovesThePanelButAKeyDoesNot) {
    panel->move(100, 50);
    panel->show();
    drag(child("meterPictureImage"), {30, 700}, {25, 40});
    EXPECT_EQ(panel->pos(), QPoint(125, 90));
    drag(child("levelTensDigit"), {10, 10}, {-5, 10});
    EXPECT_EQ(panel->pos(), QPoint(120, 100));
    drag(child("fastSlowKey"), {10, 10}, {40, 40});
    EXPECT_EQ(panel->pos(), QPoint(120, 100));
}

TEST_F(PanelTest, InsideAnMdiSubwindowTheSubwindowMovesClosesAndActivates) {
    for (bool madeByArea : {true, false}) {
        SCOPED_TRACE(madeByArea ? "subwindow made by the area" : "subwindow made by hand");
        if (!panel) panel = new ControlPanel(connection, prompts, digitImages());
        QMdiArea area;
        area.resize(800, 900);
        QMdiSubWindow* sub = nullptr;
        if (madeByArea) {
            sub = area.addSubWindow(panel, Qt::FramelessWindowHint);
        } else {
            sub = new QMdiSubWindow(nullptr, Qt::FramelessWindowHint);
            sub->setWidget(panel);
            area.addSubWindow(sub);
        }
        QPointer<QMdiSubWindow> subGuard = sub;
        int activations = 0, closedCount = 0;
        QObject::connect(panel, &ControlPanel::activated, [&] { ++activations; });
        QObject::connect(panel, &ControlPanel::closed, [&] { ++closedCount; });
        area.show();
        sub->move(0, 0);
        sub->show();
        area.setActiveSubWindow(nullptr);
        activations = 0;
        area.setActiveSubWindow(sub);
        EXPECT_GE(activations, 1);

        const QPoint panelPos = panel->pos();
        drag(child("meterPictureImage"), {50, 650}, {30, 20});
        EXPECT_EQ(sub->pos(), QPoint(30, 20));
        EXPECT_EQ(panel->pos(), panelPos) << "the panel stays put inside its subwindow";

        click(child("powerKey"));
        EXPECT_EQ(closedCount, 1);
        runDeferredDeletes();
        EXPECT_TRUE(panel.isNull());
        EXPECT_TRUE(subGuard.isNull()) << "the subwindow goes with the panel";
    }
}

TEST_F(PanelTest, BecomingTheActiveWindowEmitsActivated) {
    QWidget other;
    panel->show();
    other.show();
    QCoreApplication::processEvents();  // activations the platform queued on show
    QApplication::setActiveWindow(&other);
    int activations = 0;
    QObject::connect(panel, &ControlPanel::activated, [&] { ++activations; });
    QApplication::setActiveWindow(panel);
    EXPECT_EQ(activations, 1);
    QApplication::setActiveWindow(&other);
    EXPECT_EQ(activations, 1) << "losing the activation is no activation";
}

}  // namespace

// --- keyboard and screen readers -------------------------------------------------------------

TEST_F(PanelTest, KeysAreNamedButtonsThatTabReachesAndSpaceOrEnterPresses) {
    // Named for the key; Tab goes row by row as the meter reads.
    // clang-format off
    const std::pair<const char*, const char*> tabOrder[] = {
        {"minimiseKey", "Minimise Control Panel"}, {"closeKey", "Close Control Panel"},
        {"powerKey", "Power key"},          {"clockKey", "INTEG TIME/CLOCK key"},
        {"upKey", "Up key"},                {"recordKey", "REC key"},
        {"setKey", "SET key"},              {"downKey", "Down key"},
        {"fastSlowKey", "FAST/SLOW key"},   {"splLeqKey", "SPL/Leq key"},
        {"maxMinKey", "MAX/MIN key"},       {"backlightKey", "Light key"},
        {"frequencyWeightingKey", "A/C key"}, {"runPauseStopKey", "Start/Pause key"},
    };
    // clang-format on
    for (size_t i = 0; i < std::size(tabOrder); ++i) {
        const auto& [name, spoken] = tabOrder[i];
        SCOPED_TRACE(name);
        QWidget* key = child(name);
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(key);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->role(), QAccessible::Button);
        EXPECT_EQ(iface->text(QAccessible::Name), spoken);
        EXPECT_TRUE(key->focusPolicy() & Qt::TabFocus);
        if (i + 1 < std::size(tabOrder)) {
            QWidget* next = key->nextInFocusChain();
            while (!(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
            EXPECT_EQ(next, child(tabOrder[i + 1].first));
        }
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(child("maxMinKey"))
                  ->text(QAccessible::Description)
                  .toStdString(),
              child("maxMinKey")->property("hint").toString().toStdString());
    // Off the picture: neither the mouse nor Tab reaches it.
    EXPECT_EQ(child("levelKey")->focusPolicy(), Qt::NoFocus);

    // Space and Enter act as a click; two presses in quick succession as a double click,
    // exactly as the mouse does; a key without a double-click action sends its letter twice.
    struct Case {
        const char* key;
        std::vector<Qt::Key> presses;
        std::string letters;
    };
    // clang-format off
    const Case cases[] = {
        {"recordKey", {Qt::Key_Space}, "R"},            {"fastSlowKey", {Qt::Key_Return}, "F"},
        {"backlightKey", {Qt::Key_Enter}, "B"},         {"maxMinKey", {Qt::Key_Space}, "M"},
        {"maxMinKey", {Qt::Key_Space, Qt::Key_Space}, "MN"},
        {"runPauseStopKey", {Qt::Key_Space, Qt::Key_Return}, "su"},
        {"frequencyWeightingKey", {Qt::Key_Space, Qt::Key_Space}, "CC"},
        {"splLeqKey", {Qt::Key_Tab}, ""},
    };
    // clang-format on
    const char* previous = "";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        // Apart from the presses of the case before on the same key.
        if (qstrcmp(previous, c.key) == 0) QTest::qWait(QApplication::doubleClickInterval() + 50);
        previous = c.key;
        const std::string before = keyLetters();
        for (Qt::Key k : c.presses) QTest::keyClick(child(c.key), k);
        EXPECT_EQ(keyLetters().substr(before.size()), c.letters);
    }
    // A screen reader's press is a click too.
    const std::string before = keyLetters();
    QAccessibleInterface* key = QAccessible::queryAccessibleInterface(child("splLeqKey"));
    key->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    for (int waited = 0; keyLetters() == before && waited < 2000; waited += 20) QTest::qWait(20);
    EXPECT_EQ(keyLetters().substr(before.size()), "L");
    EXPECT_TRUE(prompts.shown.empty());

    // The key that has the focus is framed; the others stay transparent.
    panel->show();
    panel->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel));
    child("setKey")->setFocus();
    ASSERT_TRUE(child("setKey")->hasFocus());
    QImage framed(child("setKey")->size(), QImage::Format_ARGB32);
    framed.fill(Qt::transparent);
    child("setKey")->render(&framed, {}, {}, QWidget::RenderFlags());
    child("recordKey")->setFocus();
    QImage plain(child("setKey")->size(), QImage::Format_ARGB32);
    plain.fill(Qt::transparent);
    child("setKey")->render(&plain, {}, {}, QWidget::RenderFlags());
    EXPECT_NE(framed, plain);
    EXPECT_EQ(plain.pixel(0, 0), 0u);
}

TEST_F(PanelTest, TheLcdReadsAsTextForScreenReaders) {
    const auto reading = [this] {
        return QAccessible::queryAccessibleInterface(child("lcdReadout"))->text(QAccessible::Name);
    };
    EXPECT_FALSE(child("lcdReadout")->focusPolicy() & Qt::TabFocus);
    EXPECT_TRUE(child("lcdReadout")->testAttribute(Qt::WA_TransparentForMouseEvents));

    struct Case {
        MeterStatus status;
        std::array<int, 4> digits;
        std::array<int, 6> clock;  // hours, minutes, seconds, year, month, day; -1: unchanged
        const char* text;
    };
    MeterStatus aFast;
    aFast.weightingA = true;
    aFast.fast = true;
    MeterStatus cSlowLeq;
    cSlowLeq.leqShown = true;
    cSlowLeq.recording = true;
    cSlowLeq.over = true;
    const int blank = kBlankLargeDigit;
    const Case cases[] = {
        {aFast, {blank, 6, 8, 4}, {12, 3, 7, 26, 12, 11}, "68.4 dBA FAST, 12:03:07"},
        {cSlowLeq, {1, 0, 2, 5}, {-1, -1, -1, -1, -1, -1}, "102.5 dBC SLOW Leq REC OVER, 12:03:07"},
        {aFast, {blank, blank, 0, 5}, {-1, -1, 8, -1, -1, -1}, "0.5 dBA FAST, 12:03:08"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        PanelRefresh r;
        r.status = c.status;
        r.digits = c.digits;
        r.clockValues = c.clock;
        panel->applyRefresh(r);
        EXPECT_EQ(reading(), c.text);
    }

    panel->setNoConnectionVisible(true);
    EXPECT_EQ(reading(), "No Connection");
    // Back on, the clock waits for the meter's next time, as the digits do.
    panel->setNoConnectionVisible(false);
    PanelRefresh r;
    r.status = aFast;
    r.digits = {blank, 6, 8, 4};
    panel->applyRefresh(r);
    EXPECT_EQ(reading(), "68.4 dBA FAST");
}
