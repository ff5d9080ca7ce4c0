#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include "session/MeterConnection.h"
#include "link/MeterLink.h"
#include "session/StatusDecoder.h"
#include "live/ui/MeterArtwork.h"
#include "live/ui/TfrmPanel.h"
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
    QPointer<TfrmPanel> panel = new TfrmPanel(connection, prompts, digitImages());

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
        {"MainD1", {74, 564}, true},        {"MainD2", {110, 564}, true},
        {"MainD3", {146, 564}, true},       {"MainD4", {184, 564}, true},
        {"imgPoint", {175, 601}, true},     {"lbldBA", {229, 564}, true},
        {"lbldBC", {228, 582}, false},      {"lblFAST", {162, 473}, true},
        {"lblSLOW", {193, 473}, false},     {"lblMAX", {131, 473}, false},
        {"lblMIN", {106, 473}, false},      {"lblRangeLow", {52, 506}, true},
        {"lblRangeHigh", {234, 506}, true}, {"imgColorBar", {72, 500}, true},
        {"lblREC", {149, 618}, false},      {"lblFULL", {178, 619}, false},
        {"imgUNDER", {68, 620}, false},     {"imgOVER", {215, 619}, false},
        {"imgStart", {60, 545}, false},     {"imgPause", {75, 544}, false},
        {"imgStop", {88, 544}, false},      {"imgLEQ", {41, 598}, false},
        {"imgSPL", {43, 584}, false},       {"LCDA", {136, 529}, true},
        {"LCDB", {145, 529}, true},         {"LCDC", {161, 529}, true},
        {"LCDD", {170, 529}, true},         {"LCDE", {185, 529}, true},
        {"LCDF", {193, 529}, true},         {"LCDT3", {136, 544}, true},
        {"LCDT4", {145, 544}, true},        {"LCDT5", {161, 544}, true},
        {"LCDT6", {170, 544}, true},        {"LCDT7", {184, 544}, true},
        {"LCDT8", {194, 544}, true},        {"Image16", {155, 535}, true},
        {"Image17", {179, 535}, true},      {"Image1", {179, 547}, true},
        {"Image2", {156, 547}, true},       {"imgBat", {62, 475}, true},
        // Two pixels below (72, 483), where it lay on the battery symbol.
        {"lblNoConnection", {72, 485}, false},
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
    EXPECT_EQ(child("lblTime")->pos(), QPoint(263, 107));
    EXPECT_FALSE(shown("lblTime"));
    EXPECT_TRUE(label("lblTime")->text().isEmpty());

    // Digit places start empty and have the digit images' sizes.
    for (const char* name : {"MainD1", "MainD2", "MainD3", "MainD4"}) {
        EXPECT_EQ(image(name), 0) << name;
        EXPECT_EQ(child(name)->size(), QSize(30, 51)) << name;
    }
    for (const char* name : {"LCDA", "LCDB", "LCDC", "LCDD", "LCDE", "LCDF", "LCDT3", "LCDT4",
                             "LCDT5", "LCDT6", "LCDT7", "LCDT8"}) {
        EXPECT_EQ(image(name), 0) << name;
        EXPECT_EQ(child(name)->size(), QSize(9, 15)) << name;
    }

    EXPECT_EQ(child("imgColorBar")->width(), 154);
    EXPECT_EQ(label("lblRangeLow")->text(), "30");
    EXPECT_EQ(label("lblRangeHigh")->text(), "130");
    EXPECT_EQ(label("lblNoConnection")->text(), "No Connection");
    EXPECT_EQ(label("lblNoConnection")->palette().color(QPalette::WindowText), QColor(208, 24, 24));
    // clang-format off
    for (auto [name, text] : {std::pair{"lbldBA", "dBA"}, {"lbldBC", "dBC"}, {"lblFAST", "FAST"},
                              {"lblSLOW", "SLOW"}, {"lblMAX", "MAX"}, {"lblMIN", "MIN"},
                              {"lblREC", "REC"}, {"lblFULL", "FULL"}})
        EXPECT_EQ(label(name)->text(), text) << name;
    // clang-format on
}

TEST_F(PanelTest, WindowIsAFramelessFixedPictureOfTheMeter) {
    EXPECT_EQ(panel->windowTitle(), "Control Panel");
    EXPECT_TRUE(panel->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(panel->minimumSize(), QSize(279, 730));
    EXPECT_EQ(panel->maximumSize(), QSize(279, 730));
    QLabel* picture = label("imgPanel");
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
        {"btnPower", {211, 135, 48, 43}, "Close Control Panel"},
        {"btnREC", {92, 271, 48, 30}, nullptr},
        {"btnFast", {74, 333, 49, 31}, "Time weighting select button"},
        {"btnSPL", {142, 330, 51, 34}, nullptr},
        {"btnMaxMin", {211, 336, 48, 32},
         "single click to change MAX/MIN mode, double click  to cancel ."},
        {"btnBK", {55, 398, 51, 34}, nullptr},
        {"btnAC", {122, 398, 53, 31}, "Frequency Weighting select button"},
        {"Label1", {191, 398, 66, 34}, "single click to start/pause LEQ, double click  to cancel ."},
        {"btnTIME", {133, 210, 63, 34}, nullptr},
        {"btnSET", {154, 271, 40, 34}, nullptr},
        {"btnUP", {217, 215, 36, 34}, nullptr},
        {"btnDOWN", {217, 266, 40, 34}, nullptr},
        {"btnLevel", {414, 374, 51, 34}, nullptr},
        {"SpeedButton1", {237, 1, 16, 14}, nullptr},
        {"SpeedButton2", {259, 1, 16, 14}, nullptr},
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
        const bool tip = qstrcmp(k.name, "btnMaxMin") == 0;
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
        {{"MainD1", "MainD2", "MainD3", "MainD4"}, digitImages().large[8]},
        {{"LCDA", "LCDB", "LCDC", "LCDD", "LCDE", "LCDF"}, digitImages().small[8]},
        {{"LCDT3", "LCDT4", "LCDT5", "LCDT6", "LCDT7", "LCDT8"}, digitImages().small[8]},
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
    // The date row ends a clear row above the time row.
    const auto [top, bottom] = inkedSpan(digitImages().small[8], false);
    EXPECT_GE(child("LCDT3")->y() + top - (child("LCDA")->y() + bottom), 2);
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
         {"lbldBA", "lblFAST", "imgStop", "imgSPL"},
         {"lbldBC", "lblSLOW", "imgStart", "imgPause", "imgLEQ", "lblREC", "lblFULL", "imgUNDER",
          "imgOVER", "lblMAX", "lblMIN"}},
        {"MAX 110.0 dBC SLOW", 0x04, 0x00, 0x11, {{11, 0x04}, {12, 0x4C}},
         {large(1), large(1), large(0), large(0)}, 124,
         {"lbldBC", "lblSLOW", "lblMAX"}, {"lbldBA", "lblFAST", "lblMIN"}},
        {"MIN 25.0", 0x04, 0x00, 0x22, {{13, 0x00}, {14, 0xFA}},
         {blank, large(2), large(5), large(0)}, 4, {"lblMIN"}, {"lblMAX"}},
        {"LEQ 90.0", 0x00, 0x80, 0x00, {{26, 0x03}, {27, 0x84}},
         {blank, large(9), large(0), large(0)}, 94, {"imgLEQ", "imgStop"}, {"imgSPL"}},
        {"running", 0x00, 0x60, 0x00, {}, {blank, large(0), large(0), large(0)}, 4,
         {"imgStart"}, {"imgPause", "imgStop"}},
        {"paused", 0x00, 0x40, 0x00, {}, {blank, large(0), large(0), large(0)}, 4,
         {"imgPause"}, {"imgStart", "imgStop"}},
        {"recording, under, over, full", 0xC1, 0x10, 0x00, {}, {blank, large(0), large(0), large(0)},
         4, {"lblREC", "imgUNDER", "imgOVER", "lblFULL"}, {}},
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
        EXPECT_EQ(image("MainD1"), c.digits[0]);
        EXPECT_EQ(image("MainD2"), c.digits[1]);
        EXPECT_EQ(image("MainD3"), c.digits[2]);
        EXPECT_EQ(image("MainD4"), c.digits[3]);
        EXPECT_EQ(child("imgColorBar")->width(), c.bar);
        EXPECT_EQ(child("imgColorBar")->pos(), QPoint(72, 500)) << "cropped, not moved";
        for (const char* name : c.on) EXPECT_TRUE(shown(name)) << name;
        for (const char* name : c.off) EXPECT_FALSE(shown(name)) << name;
        EXPECT_EQ(label("lblRangeLow")->text(), "30");
        EXPECT_EQ(label("lblRangeHigh")->text(), "130");
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
        EXPECT_TRUE(shown("lblMAX"));
        EXPECT_TRUE(shown("lblMIN"));
    }
    r.maxMin = MaxMinIndicator::MinOnly;
    panel->applyRefresh(r);
    EXPECT_FALSE(shown("lblMAX"));
    EXPECT_TRUE(shown("lblMIN"));
    r.maxMin = MaxMinIndicator::Off;
    panel->applyRefresh(r);
    EXPECT_FALSE(shown("lblMAX"));
    EXPECT_FALSE(shown("lblMIN"));
}

TEST_F(PanelTest, ClockValuesGoToTheirPlacesAndMinusOneLeavesAPlace) {
    PanelRefresh r;
    r.clockValues = {13, 42, 37, 24, 1, 15};  // hours, minutes, seconds, year, month, day
    panel->applyRefresh(r);
    const std::pair<const char*, int> expected[] = {
        {"LCDT3", 1}, {"LCDT4", 3}, {"LCDT5", 4}, {"LCDT6", 2}, {"LCDT7", 3}, {"LCDT8", 7},
        {"LCDA", 2},  {"LCDB", 4},  {"LCDC", 0},  {"LCDD", 1},  {"LCDE", 1},  {"LCDF", 5},
    };
    for (auto [name, digit] : expected) EXPECT_EQ(image(name), small(digit)) << name;

    // Only the seconds change; every other place keeps its digits.
    r.clockValues = {-1, -1, 59, -1, -1, -1};
    panel->applyRefresh(r);
    for (auto [name, digit] : expected) {
        const std::string place = name;
        const int now = place == "LCDT7" ? 5 : place == "LCDT8" ? 9 : digit;
        EXPECT_EQ(image(name), small(now)) << name;
    }

    // A frame whose clock is not valid (0x5A) redraws no place.
    ResponseFrame f = statusFrame();
    f[15] = 0x5A;
    f[16] = 0x5A;
    f[17] = 0x5A;
    apply(f);
    EXPECT_EQ(image("LCDT3"), small(1));
    EXPECT_EQ(image("LCDT8"), small(9));
}

TEST_F(PanelTest, TimeLabelFollowsItsSetter) {
    panel->setTimeVisible(true);
    EXPECT_TRUE(shown("lblTime"));
    panel->setTimeVisible(false);
    EXPECT_FALSE(shown("lblTime"));
}

TEST_F(PanelTest, WithoutAConnectionTheLcdIsBlankUntilTheNextRefresh) {
    // clang-format off
    const std::vector<const char*> lcd = {
        "MainD1", "MainD2", "MainD3", "MainD4", "imgPoint", "lbldBA", "lbldBC", "lblFAST",
        "lblSLOW", "lblMAX", "lblMIN", "lblRangeLow", "lblRangeHigh", "imgColorBar", "lblREC",
        "lblFULL", "imgUNDER", "imgOVER", "imgStart", "imgPause", "imgStop", "imgLEQ", "imgSPL",
        "LCDA", "LCDB", "LCDC", "LCDD", "LCDE", "LCDF", "LCDT3", "LCDT4", "LCDT5", "LCDT6",
        "LCDT7", "LCDT8", "Image16", "Image17", "Image1", "Image2", "imgBat"};
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
    EXPECT_TRUE(shown("lblNoConnection"));
    EXPECT_EQ(lit(), std::vector<std::string>{}) << "the LCD shows nothing, as a meter that is off";
    for (const char* place : {"LCDA", "LCDF", "LCDT3", "LCDT8"})
        EXPECT_EQ(image(place), 0) << place << " keeps no stale time";

    // The label is readable: on the glass and over no other element of the LCD.
    const QRect label = child("lblNoConnection")->geometry();
    EXPECT_TRUE(artwork::kLcdRect.contains(label));
    for (const char* name : lcd) EXPECT_FALSE(label.intersects(child(name)->geometry())) << name;

    // Connected again: the label goes, the LCD stays blank until the next status refresh.
    panel->setNoConnectionVisible(false);
    EXPECT_FALSE(shown("lblNoConnection"));
    EXPECT_EQ(lit(), std::vector<std::string>{});

    clock.advance(1000);  // a new second, so the clock is redrawn
    poll();
    for (const char* name : {"MainD2", "MainD3", "MainD4", "imgPoint", "lbldBA", "lblFAST",
                             "lblRangeLow", "lblRangeHigh", "imgColorBar", "imgStop", "imgSPL",
                             "LCDA", "LCDT8", "Image16", "Image1", "imgBat"})
        EXPECT_TRUE(shown(name)) << name;
    EXPECT_FALSE(shown("lblMAX")) << "the meter's MAX/MIN function is off";
    EXPECT_NE(image("LCDT8"), 0);
    const std::array<qint64, 4> startUp = {large(1), large(8), large(8), large(8)};
    EXPECT_NE((std::array{image("MainD1"), image("MainD2"), image("MainD3"), image("MainD4")}),
              startUp)
        << "the level is the meter's";
}

// --- keys ------------------------------------------------------------------------------------

TEST_F(PanelTest, FastSlowKeySendsItsFrameAndTheNextPollSwapsTheLabels) {
    poll();
    ASSERT_TRUE(shown("lblFAST"));
    ASSERT_FALSE(shown("lblSLOW"));

    const size_t before = meter.framesWritten().size();
    click(child("btnFast"));
    ASSERT_EQ(meter.framesWritten().size(), before + 1);
    const CommandFrame& sent = meter.framesWritten().back();
    EXPECT_EQ(sent[0], 0x02);
    EXPECT_EQ(sent[1], 'F');
    EXPECT_EQ(sent[6], 0x03);
    EXPECT_FALSE(meter.isOpen()) << "the device is closed after the key";

    poll();
    EXPECT_FALSE(shown("lblFAST"));
    EXPECT_TRUE(shown("lblSLOW"));
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
        {"btnREC", false, "R"},     {"btnFast", false, "F"},    {"btnSPL", false, "L"},
        {"btnMaxMin", false, "M"},  {"btnBK", false, "B"},      {"btnAC", false, "C"},
        {"Label1", false, "s"},     {"btnLevel", false, "L"},
        // The first press of a double click is an ordinary click.
        {"btnMaxMin", true, "MN"},  {"Label1", true, "su"},
        // A key without a double-click action takes the second press as another click.
        {"btnAC", true, "CC"},
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
    QWidget* key = child("btnFast");
    mouse(key, QEvent::MouseButtonPress, key->rect().center());
    mouse(key, QEvent::MouseButtonRelease, key->rect().bottomRight() + QPoint(20, 20));
    EXPECT_EQ(keyLetters(), "");
}

TEST_F(PanelTest, KeysWithoutAFunctionShowANoticeAtTheKeyAndSendNothing) {
    panel->show();
    for (bool attached : {true, false}) {
        SCOPED_TRACE(attached ? "meter attached" : "no meter");
        if (!attached) meter.unplug();
        for (const char* key : {"btnTIME", "btnSET", "btnUP", "btnDOWN"}) {
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
    } cases[] = {{busy, "btnMaxMin"},
                 {busy, "SpeedButton2"},
                 {busy, nullptr},
                 {QStringLiteral("not available"), "btnDOWN"}};
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
    click(child("btnFast"));
    doubleClick(child("btnMaxMin"));
    EXPECT_EQ(prompts.messages(), QStringList(3, "Connect fail"));
    EXPECT_EQ(keyLetters(), "");
    EXPECT_TRUE(meter.fast());
    EXPECT_TRUE(shown("lblFAST"));
    EXPECT_FALSE(shown("lblMAX"));
}

// --- window ----------------------------------------------------------------------------------

TEST_F(PanelTest, PowerAndCloseKeysDestroyThePanelAndTheMinimiseKeyAsks) {
    for (const char* key : {"btnPower", "SpeedButton2"}) {
        SCOPED_TRACE(key);
        if (!panel) panel = new TfrmPanel(connection, prompts, digitImages());
        panel->show();
        int closedCount = 0, minimise = 0;
        QObject::connect(panel, &TfrmPanel::closed, [&] { ++closedCount; });
        QObject::connect(panel, &TfrmPanel::minimiseRequested, [&] { ++minimise; });

        click(child("SpeedButton1"));
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
    QObject::connect(panel, &TfrmPanel::closed, [&] { order.push_back("closed"); });
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
    drag(child("imgPanel"), {30, 700}, {25, 40});
    EXPECT_EQ(panel->pos(), QPoint(125, 90));
    drag(child("MainD2"), {10, 10}, {-5, 10});
    EXPECT_EQ(panel->pos(), QPoint(120, 100));
    drag(child("btnFast"), {10, 10}, {40, 40});
    EXPECT_EQ(panel->pos(), QPoint(120, 100));
}

TEST_F(PanelTest, InsideAnMdiSubwindowTheSubwindowMovesClosesAndActivates) {
    for (bool madeByArea : {true, false}) {
        SCOPED_TRACE(madeByArea ? "subwindow made by the area" : "subwindow made by hand");
        if (!panel) panel = new TfrmPanel(connection, prompts, digitImages());
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
        QObject::connect(panel, &TfrmPanel::activated, [&] { ++activations; });
        QObject::connect(panel, &TfrmPanel::closed, [&] { ++closedCount; });
        area.show();
        sub->move(0, 0);
        sub->show();
        area.setActiveSubWindow(nullptr);
        activations = 0;
        area.setActiveSubWindow(sub);
        EXPECT_GE(activations, 1);

        const QPoint panelPos = panel->pos();
        drag(child("imgPanel"), {50, 650}, {30, 20});
        EXPECT_EQ(sub->pos(), QPoint(30, 20));
        EXPECT_EQ(panel->pos(), panelPos) << "the panel stays put inside its subwindow";

        click(child("btnPower"));
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
    QObject::connect(panel, &TfrmPanel::activated, [&] { ++activations; });
    QApplication::setActiveWindow(panel);
    EXPECT_EQ(activations, 1);
    QApplication::setActiveWindow(&other);
    EXPECT_EQ(activations, 1) << "losing the activation is no activation";
}

}  // namespace
