#include "live/ui/MeterArtwork.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTransform>
#include <array>
#include <cmath>
#include <vector>

namespace kl516::artwork {

namespace {

QPixmap canvas(int width, int height) {
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void smooth(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

// --- seven-segment figures -------------------------------------------------------------------

// Segments a..g of each digit: top, upper right, lower right, bottom, lower left, upper left,
// middle.
constexpr std::array<uint8_t, 10> kSegments = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                               0x6D, 0x7D, 0x07, 0x7F, 0x6F};

struct SegmentBox {
    double left, right, top, bottom;  // outer edges of the figure
    double thickness;
    double gap;    // clearance between neighbouring segments
    double slant;  // horizontal shift per pixel of height, towards the right at the top
};

// A bar with pointed ends along its centre line, from (x1, y1) to (x2, y2), axis-parallel.
QPolygonF bar(QPointF from, QPointF to, double half) {
    if (from.y() == to.y()) {
        const double y = from.y(), a = from.x(), b = to.x();
        return QPolygonF({{a, y},
                          {a + half, y - half},
                          {b - half, y - half},
                          {b, y},
                          {b - half, y + half},
                          {a + half, y + half}});
    }
    const double x = from.x(), a = from.y(), b = to.y();
    return QPolygonF({{x, a},
                      {x + half, a + half},
                      {x + half, b - half},
                      {x, b},
                      {x - half, b - half},
                      {x - half, a + half}});
}

// Unlit segments of a real LCD stay faintly visible against the glass.
QColor unlitInk() {
    QColor ink = lcdInk();
    ink.setAlpha(34);
    return ink;
}

// The colour of segment s of a figure: ink when lit, the faint unlit tone otherwise. Values
// outside 0..9 light no segment.
QColor segmentColour(int value, int s) {
    const bool lit = value >= 0 && value <= 9 && (kSegments[value] & (1 << s));
    return lit ? lcdInk() : unlitInk();
}

QPixmap sevenSegment(int width, int height, const SegmentBox& box, int value) {
    QPixmap pixmap = canvas(width, height);

    const double h = box.thickness / 2;
    const double xl = box.left + h, xr = box.right - h;
    const double yt = box.top + h, yb = box.bottom - h, ym = (yt + yb) / 2;
    const double g = box.gap;
    const std::array<QPolygonF, 7> segments = {
        bar({xl + g, yt}, {xr - g, yt}, h),  // a
        bar({xr, yt + g}, {xr, ym - g}, h),  // b
        bar({xr, ym + g}, {xr, yb - g}, h),  // c
        bar({xl + g, yb}, {xr - g, yb}, h),  // d
        bar({xl, ym + g}, {xl, yb - g}, h),  // e
        bar({xl, yt + g}, {xl, ym - g}, h),  // f
        bar({xl + g, ym}, {xr - g, ym}, h),  // g
    };

    QPainter p(&pixmap);
    smooth(p);
    // Shear about the middle line so that the figure leans like a printed LCD digit.
    p.setTransform(QTransform(1, 0, -box.slant, 1, box.slant * ym, 0));
    p.setPen(Qt::NoPen);
    for (int s = 0; s < 7; ++s) {
        p.setBrush(segmentColour(value, s));
        p.drawPolygon(segments[s]);
    }
    return pixmap;
}

// The clock digits are too small for smoothed outlines, which blur into grey blobs: each
// segment is a fixed set of pixel runs. The figure takes columns 1..7 and rows 1..12 of the
// 9 x 15 image, so neighbouring places (8 or more pixels apart) keep a clear column between
// figures, and the date and time rows, 15 pixels apart, three clear rows between them.
// Vertical strokes are two pixels wide with a bevelled inner edge, horizontal ones two rows
// deep; the middle bar (rows 6 and 7) is level with the date dashes and the time colons.
struct PixelRun {
    int x, y, length;
    bool vertical;
};

// clang-format off
const std::array<std::vector<PixelRun>, 7> kSmallSegments = {{
    {{2, 1, 5, false}, {3, 2, 3, false}},   // a
    {{7, 2, 4, true}, {6, 3, 3, true}},     // b
    {{7, 8, 4, true}, {6, 8, 3, true}},     // c
    {{2, 12, 5, false}, {3, 11, 3, false}}, // d
    {{1, 8, 4, true}, {2, 8, 3, true}},     // e
    {{1, 2, 4, true}, {2, 3, 3, true}},     // f
    {{2, 6, 5, false}, {2, 7, 5, false}},   // g
}};
// clang-format on

QPixmap pixelSevenSegment(int value) {
    QPixmap pixmap = canvas(9, 15);
    QPainter p(&pixmap);
    for (int s = 0; s < 7; ++s) {
        const QColor colour = segmentColour(value, s);
        for (const PixelRun& run : kSmallSegments[s])
            p.fillRect(run.vertical ? QRect(run.x, run.y, 1, run.length)
                                    : QRect(run.x, run.y, run.length, 1),
                       colour);
    }
    return pixmap;
}

// --- the meter picture -----------------------------------------------------------------------

const QColor kKeyText(238, 240, 242);
const QColor kKeyAccent(255, 190, 80);
const QColor kRecRed(255, 96, 80);

QFont keyFont(int pixelSize, bool bold = true) {
    QFont f;
    f.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans"),
                   QStringLiteral("Liberation Sans Narrow"), QStringLiteral("Arial")});
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

void drawBackground(QPainter& p) {
    QLinearGradient g(0, 0, 0, kMeterHeight);
    g.setColorAt(0, QColor(226, 230, 234));
    g.setColorAt(1, QColor(200, 206, 212));
    p.fillRect(QRect(0, 0, kMeterWidth, kMeterHeight), g);
}

void drawMicrophone(QPainter& p) {
    // The capsule: a brushed metal cylinder with a domed grille on top.
    const QRectF capsule(124, 22, 31, 30);
    QLinearGradient metal(capsule.left(), 0, capsule.right(), 0);
    metal.setColorAt(0.0, QColor(120, 124, 130));
    metal.setColorAt(0.3, QColor(232, 234, 237));
    metal.setColorAt(0.55, QColor(190, 194, 199));
    metal.setColorAt(1.0, QColor(100, 104, 110));
    p.setPen(QPen(QColor(60, 63, 68), 1));
    p.setBrush(metal);
    p.drawRoundedRect(capsule, 3, 3);

    QPainterPath dome;
    dome.moveTo(capsule.left(), capsule.top() + 3);
    dome.cubicTo(capsule.left(), 8, capsule.right(), 8, capsule.right(), capsule.top() + 3);
    dome.closeSubpath();
    QRadialGradient domeShade(QPointF(134, 13), 20);
    domeShade.setColorAt(0, QColor(245, 246, 248));
    domeShade.setColorAt(1, QColor(140, 144, 150));
    p.setBrush(domeShade);
    p.drawPath(dome);

    // Grille slots across the dome and the capsule's upper band.
    p.setPen(QPen(QColor(70, 74, 80, 170), 1));
    for (int i = 0; i < 4; ++i) {
        const double y = 15.5 + i * 3;
        const double inset = i == 0 ? 7 : (i == 1 ? 3 : 1.5);
        p.drawLine(QPointF(capsule.left() + inset + 1, y), QPointF(capsule.right() - inset - 1, y));
    }
    // The clamp ring where the capsule meets the body.
    QLinearGradient ring(120, 0, 159, 0);
    ring.setColorAt(0, QColor(30, 32, 35));
    ring.setColorAt(0.4, QColor(88, 92, 98));
    ring.setColorAt(1, QColor(24, 26, 28));
    p.setPen(QPen(QColor(15, 16, 18), 1));
    p.setBrush(ring);
    p.drawRoundedRect(QRectF(120, 46, 39, 9), 2, 2);
}

QPainterPath bodyOutline() {
    QPainterPath body;
    body.addRoundedRect(QRectF(5, 92, 269, 634), 26, 26);
    // The tapering head that carries the microphone.
    QPainterPath head;
    head.moveTo(46, 118);
    head.cubicTo(74, 98, 100, 82, 112, 54);
    head.lineTo(167, 54);
    head.cubicTo(179, 82, 205, 98, 233, 118);
    head.closeSubpath();
    return body.united(head);
}

void drawBody(QPainter& p) {
    const QPainterPath outline = bodyOutline();

    // Drop shadow.
    p.save();
    p.translate(2, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawPath(outline);
    p.restore();

    QLinearGradient side(5, 0, 274, 0);
    side.setColorAt(0.0, QColor(28, 30, 33));
    side.setColorAt(0.12, QColor(56, 60, 66));
    side.setColorAt(0.5, QColor(64, 68, 75));
    side.setColorAt(0.88, QColor(52, 56, 62));
    side.setColorAt(1.0, QColor(24, 26, 29));
    p.setPen(QPen(QColor(14, 15, 17), 1.5));
    p.setBrush(side);
    p.drawPath(outline);

    // A soft sheen from the top.
    QLinearGradient sheen(0, 54, 0, 300);
    sheen.setColorAt(0, QColor(255, 255, 255, 28));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawPath(outline);

    // Inner bevel line.
    p.setPen(QPen(QColor(255, 255, 255, 30), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(8.5, 95.5, 262, 627), 23, 23);
}

void drawBranding(QPainter& p) {
    p.setPen(QColor(236, 238, 241));
    QFont big = keyFont(22);
    big.setItalic(true);
    p.setFont(big);
    p.drawText(QRectF(24, 124, 150, 28), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("KL516"));
    p.setPen(QColor(170, 176, 184));
    QFont small = keyFont(9, false);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    p.setFont(small);
    p.drawText(QRectF(25, 153, 170, 14), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("SOUND LEVEL METER"));
    p.setPen(kKeyAccent);
    p.drawText(QRectF(25, 167, 170, 14), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("DATA LOGGER"));

    // The measuring range, printed between the keypad and the display.
    p.setPen(QColor(150, 156, 164));
    QFont line = keyFont(8, false);
    line.setLetterSpacing(QFont::AbsoluteSpacing, 2.0);
    p.setFont(line);
    p.drawText(QRectF(20, 439, 239, 14), Qt::AlignCenter, QStringLiteral("30 \u2013 130 dB"));
}

void drawKeypadPlate(QPainter& p) {
    const QRectF plate(40, 197, 229, 241);
    QLinearGradient g(0, plate.top(), 0, plate.bottom());
    g.setColorAt(0, QColor(44, 47, 52));
    g.setColorAt(1, QColor(36, 39, 43));
    p.setPen(QPen(QColor(18, 19, 21), 1));
    p.setBrush(g);
    p.drawRoundedRect(plate, 12, 12);
    p.setPen(QPen(QColor(255, 255, 255, 22), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(plate.adjusted(1, 1, -1, -1), 11, 11);
}

void drawGrip(QPainter& p) {
    // Ribs of the hand grip below the display.
    for (int i = 0; i < 7; ++i) {
        const double y = 670 + i * 7;
        const double inset = 44 + std::abs(i - 3) * 3;
        p.setPen(QPen(QColor(16, 17, 19), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(inset, y), QPointF(kMeterWidth - inset, y));
        p.setPen(QPen(QColor(255, 255, 255, 30), 1, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(inset, y + 1.5), QPointF(kMeterWidth - inset, y + 1.5));
    }
}

void drawDisplay(QPainter& p) {
    // Black bezel around the glass.
    const QRectF bezel = QRectF(kLcdRect).adjusted(-9, -9, 9, 9);
    QLinearGradient frame(0, bezel.top(), 0, bezel.bottom());
    frame.setColorAt(0, QColor(10, 11, 12));
    frame.setColorAt(1, QColor(30, 32, 35));
    p.setPen(QPen(QColor(80, 84, 90), 1));
    p.setBrush(frame);
    p.drawRoundedRect(bezel, 11, 11);

    const QRectF glass(kLcdRect);
    QLinearGradient face(0, glass.top(), 0, glass.bottom());
    face.setColorAt(0, QColor(203, 213, 192));
    face.setColorAt(1, lcdGlass());
    p.setPen(Qt::NoPen);
    p.setBrush(face);
    p.drawRoundedRect(glass, 4, 4);

    // Inner shadow along the top and left edges: the glass sits below the bezel.
    p.save();
    QPainterPath clip;
    clip.addRoundedRect(glass, 4, 4);
    p.setClipPath(clip);
    QLinearGradient top(0, glass.top(), 0, glass.top() + 6);
    top.setColorAt(0, QColor(0, 0, 0, 70));
    top.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(glass, top);
    QLinearGradient left(glass.left(), 0, glass.left() + 5, 0);
    left.setColorAt(0, QColor(0, 0, 0, 50));
    left.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(glass, left);
    p.restore();

    // Scale under the level bar: a tick every 10 dB from 30 to 130 dB (1.5 pixels per dB).
    p.setPen(QPen(lcdInk(), 1));
    for (int k = 0; k <= 10; ++k) {
        const double x = 76.5 + 15 * k;
        p.drawLine(QPointF(x, 511), QPointF(x, k % 2 == 0 ? 516 : 514));
    }
    p.drawLine(QPointF(76, 511.5), QPointF(227, 511.5));
}

// --- keys ------------------------------------------------------------------------------------

void drawKeyCap(QPainter& p, const QRectF& r, const QColor& top, const QColor& bottom,
                double radius) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 110));
    p.drawRoundedRect(r.translated(0, 2), radius, radius);

    QLinearGradient g(0, r.top(), 0, r.bottom());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(QPen(QColor(16, 17, 19), 1));
    p.setBrush(g);
    p.drawRoundedRect(r, radius, radius);
    p.setPen(QPen(QColor(255, 255, 255, 45), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
}

void twoLines(QPainter& p, const QRectF& r, const QString& first, const QColor& firstColour,
              const QString& second, int firstSize = 10, int secondSize = 9) {
    const double mid = r.center().y();
    p.setFont(keyFont(firstSize));
    p.setPen(firstColour);
    p.drawText(QRectF(r.left(), mid - firstSize - 1.5, r.width(), firstSize + 2),
               Qt::AlignHCenter | Qt::AlignBottom, first);
    p.setFont(keyFont(secondSize));
    p.setPen(kKeyAccent);
    p.drawText(QRectF(r.left(), mid + 0.5, r.width(), secondSize + 3),
               Qt::AlignHCenter | Qt::AlignTop, second);
}

void oneLine(QPainter& p, const QRectF& r, const QString& text, int size = 11) {
    p.setFont(keyFont(size));
    p.setPen(kKeyText);
    p.drawText(r, Qt::AlignCenter, text);
}

void sunSymbol(QPainter& p, QPointF c) {
    p.setPen(QPen(kKeyText, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, 4.5, 4.5);
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4;
        p.drawLine(c + QPointF(std::cos(a) * 7.5, std::sin(a) * 7.5),
                   c + QPointF(std::cos(a) * 10.5, std::sin(a) * 10.5));
    }
}

void triangle(QPainter& p, QPointF c, double size, bool up) {
    const double s = up ? -1 : 1;
    p.setPen(Qt::NoPen);
    p.setBrush(kKeyText);
    p.drawPolygon(
        QPolygonF({c + QPointF(0, s * size * 0.6), c + QPointF(-size * 0.7, -s * size * 0.5),
                   c + QPointF(size * 0.7, -s * size * 0.5)}));
}

void runGlyphs(QPainter& p, QPointF c) {
    p.setPen(Qt::NoPen);
    p.setBrush(kKeyText);
    const double y = c.y();
    // play
    p.drawPolygon(QPolygonF({{c.x() - 20, y - 6}, {c.x() - 20, y + 6}, {c.x() - 10, y}}));
    // pause
    p.drawRect(QRectF(c.x() - 5, y - 6, 3, 12));
    p.drawRect(QRectF(c.x() + 1, y - 6, 3, 12));
    // stop
    p.drawRect(QRectF(c.x() + 10, y - 5.5, 11, 11));
}

void powerSymbol(QPainter& p, QPointF c) {
    p.setPen(QPen(kRecRed, 2.4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QRectF arc(c.x() - 9, c.y() - 8, 18, 18);
    p.drawArc(arc, 120 * 16, 300 * 16);
    p.drawLine(c + QPointF(0, -11), c + QPointF(0, -1));
}

void drawKey(QPainter& p, const KeyDrawing& key) {
    const QRectF r = QRectF(key.rect).adjusted(0.5, 0.5, -0.5, -2.5);
    const QColor top(104, 110, 118), bottom(70, 74, 80);
    switch (key.face) {
        case KeyFace::Power:
            drawKeyCap(p, r, QColor(92, 96, 103), QColor(52, 55, 60), r.height() / 2 - 2);
            powerSymbol(p, r.center());
            return;
        case KeyFace::Minimise:
        case KeyFace::Close: {
            // Small flat buttons on the window's top edge.
            const QRectF b = QRectF(key.rect).adjusted(0.5, 0.5, -0.5, -0.5);
            p.setPen(QPen(QColor(150, 156, 164), 1));
            p.setBrush(QColor(238, 240, 243));
            p.drawRoundedRect(b, 3, 3);
            p.setPen(QPen(QColor(50, 54, 60), 1.5, Qt::SolidLine, Qt::RoundCap));
            const QPointF c = b.center();
            if (key.face == KeyFace::Minimise) {
                p.drawLine(c + QPointF(-4, 3), c + QPointF(4, 3));
            } else {
                p.drawLine(c + QPointF(-3.5, -3.5), c + QPointF(3.5, 3.5));
                p.drawLine(c + QPointF(-3.5, 3.5), c + QPointF(3.5, -3.5));
            }
            return;
        }
        default:
            break;
    }

    drawKeyCap(p, r, top, bottom, 7);
    switch (key.face) {
        case KeyFace::RecIntv:
            twoLines(p, r, QStringLiteral("REC"), kRecRed, QStringLiteral("INTV"));
            break;
        case KeyFace::FastSlow:
            twoLines(p, r, QStringLiteral("FAST"), kKeyText, QStringLiteral("SLOW"));
            break;
        case KeyFace::SplLeq:
            twoLines(p, r, QStringLiteral("SPL"), kKeyText, QStringLiteral("Leq"));
            break;
        case KeyFace::MinMax:
            twoLines(p, r, QStringLiteral("MIN"), kKeyText, QStringLiteral("MAX"));
            break;
        case KeyFace::IntegTimeClock:
            twoLines(p, r, QStringLiteral("INTEG TIME"), kKeyText, QStringLiteral("CLOCK"), 9, 9);
            break;
        case KeyFace::Backlight:
            sunSymbol(p, r.center());
            break;
        case KeyFace::AC:
            oneLine(p, r, QStringLiteral("A/C"), 12);
            break;
        case KeyFace::RunPauseStop:
            runGlyphs(p, r.center());
            break;
        case KeyFace::Set:
            oneLine(p, r, QStringLiteral("SET"), 11);
            break;
        case KeyFace::Up:
            triangle(p, r.center(), 14, true);
            break;
        case KeyFace::Down:
            triangle(p, r.center(), 14, false);
            break;
        default:
            break;
    }
}

}  // namespace

QColor lcdInk() {
    return QColor(28, 36, 30);
}
QColor lcdGlass() {
    return QColor(184, 196, 172);
}

QFont lcdFont(int pixelSize, bool bold) {
    return keyFont(pixelSize, bold);
}

QPixmap meterPicture(const std::vector<KeyDrawing>& keys) {
    QPixmap pixmap(kMeterWidth, kMeterHeight);
    QPainter p(&pixmap);
    smooth(p);
    drawBackground(p);
    drawBody(p);
    drawMicrophone(p);
    drawBranding(p);
    drawKeypadPlate(p);
    drawDisplay(p);
    drawGrip(p);
    for (const KeyDrawing& key : keys) drawKey(p, key);
    return pixmap;
}

QPixmap largeDigit(int value) {
    return sevenSegment(30, 51, {4, 26, 3, 48, 5, 0.7, 0.06}, value);
}

QPixmap smallDigit(int value) {
    return pixelSevenSegment(value);
}

QPixmap decimalPoint() {
    QPixmap pixmap = canvas(6, 12);
    QPainter p(&pixmap);
    p.fillRect(QRect(0, 7, 5, 5), lcdInk());
    return pixmap;
}

QPixmap dateDash() {
    QPixmap pixmap = canvas(5, 3);
    QPainter p(&pixmap);
    p.fillRect(QRect(0, 0, 5, 2), lcdInk());
    return pixmap;
}

QPixmap timeColon() {
    QPixmap pixmap = canvas(4, 12);
    QPainter p(&pixmap);
    p.fillRect(QRect(1, 0, 2, 2), lcdInk());
    p.fillRect(QRect(1, 6, 2, 2), lcdInk());
    return pixmap;
}

QPixmap battery() {
    QPixmap pixmap = canvas(17, 9);
    QPainter p(&pixmap);
    p.setPen(Qt::NoPen);
    p.setBrush(lcdInk());
    // Outline, terminal and three charge bars.
    p.drawRect(QRect(0, 0, 15, 1));
    p.drawRect(QRect(0, 8, 15, 1));
    p.drawRect(QRect(0, 0, 1, 9));
    p.drawRect(QRect(14, 0, 1, 9));
    p.drawRect(QRect(15, 3, 2, 3));
    for (int i = 0; i < 3; ++i) p.drawRect(QRect(2 + i * 4, 2, 3, 5));
    return pixmap;
}

QPixmap levelBar() {
    // One 2-pixel segment for every 2 dB, a pixel of glass between them.
    QPixmap pixmap = canvas(154, 9);
    QPainter p(&pixmap);
    for (int x = 0; x + 2 <= 154; x += 3) p.fillRect(QRect(x, 0, 2, 9), lcdInk());
    return pixmap;
}

QPixmap runStart() {
    QPixmap pixmap = canvas(10, 11);
    QPainter p(&pixmap);
    smooth(p);
    p.setPen(Qt::NoPen);
    p.setBrush(lcdInk());
    p.drawPolygon(QPolygonF({{1, 0.5}, {1, 10.5}, {9.5, 5.5}}));
    return pixmap;
}

QPixmap runPause() {
    QPixmap pixmap = canvas(10, 11);
    QPainter p(&pixmap);
    p.fillRect(QRect(1, 1, 3, 10), lcdInk());
    p.fillRect(QRect(6, 1, 3, 10), lcdInk());
    return pixmap;
}

QPixmap runStop() {
    QPixmap pixmap = canvas(10, 11);
    QPainter p(&pixmap);
    p.fillRect(QRect(1, 2, 9, 9), lcdInk());
    return pixmap;
}

QPixmap word(const QString& text, int pixelSize) {
    const QFont font = lcdFont(pixelSize);
    const QFontMetrics metrics(font);
    const QRect bounds = metrics.tightBoundingRect(text);
    QPixmap pixmap = canvas(bounds.width() + 2, metrics.ascent() + metrics.descent());
    QPainter p(&pixmap);
    smooth(p);
    p.setFont(font);
    p.setPen(lcdInk());
    p.drawText(QPointF(1 - bounds.left(), metrics.ascent()), text);
    return pixmap;
}

}  // namespace kl516::artwork
