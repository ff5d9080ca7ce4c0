#include "graph/GraphState.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>

#include "dataset/SerialDateTime.h"

namespace kl516 {

void GraphState::resize(int32_t subsetCount, int32_t pointCount) {
    subsets = std::clamp(subsetCount, int32_t(1), int32_t(2));
    points = std::max(pointCount, int32_t(0));
    x.resize(size_t(subsets));
    y.resize(size_t(subsets));
    for (int s = 0; s < subsets; ++s) {
        x[size_t(s)].resize(size_t(points), 0.0);
        y[size_t(s)].resize(size_t(points), nullDataValueY);
    }
}

// Block layout, version 1, every number little-endian:
//   "KLGS", u32 version
//   i32 subsets (1 or 2), i32 points (>= 0), f32 nullDataValueY, u8 dateTimeMode
//   f64 x[subsets][points], f32 y[subsets][points]
//   u8 scale control X, u8 scale control Y, f64 minX, maxX, minY, maxY
//   str mainTitle, subTitle, xAxisLabel, yAxisLabel; u32 n, str subsetLabels[n]
//   str fontFamily, i32 fontSize
//   u32 fore, back, desk, text, yAxis colours; u32 n, u32 subsetColors[n]
//   u32 n, i32 subsetLineTypes[n]; u8 gridStyle, u8 viewingStyle
//   u32 n, annotations[n] { i32 type, f64 x, f64 y, str text, u32 colour }
//   u8 showGraphAnnotations, i32 graphAnnotationTextSize
//   f64 vertLineX[2], str vertLineText[2], u8 showVertLineAnnotations, i32 lineAnnotationTextSize
//   u8 allowZooming, scrollingHorzZoom, scrollingVertZoom, allowDataHotSpots,
//      allowVertLineAnnotHotSpots, allowGraphAnnotHotSpots
// A str is u32 n followed by n UTF-16 code units, so every QString comes back unchanged. The
// block ends exactly after the last field. Every accepted block saves back to the same bytes.
namespace {

constexpr char kMagic[4] = {'K', 'L', 'G', 'S'};
constexpr uint32_t kVersion = 1;
constexpr qsizetype kMinStringBytes = 4;
constexpr qsizetype kMinAnnotationBytes = 4 + 8 + 8 + kMinStringBytes + 4;

class Writer {
  public:
    explicit Writer(qsizetype expected) { out_.reserve(expected); }

    void bytes(const char* data, qsizetype n) { out_.append(data, n); }
    template <typename T>
    void number(T value) {
        const T le = qToLittleEndian(value);
        bytes(reinterpret_cast<const char*>(&le), sizeof le);
    }
    void u8(uint8_t v) { out_.append(char(v)); }
    void u32(uint32_t v) { number(v); }
    void i32(int32_t v) { number(v); }
    void f32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        number(bits);
    }
    void f64(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        number(bits);
    }
    void str(const QString& s) {
        u32(uint32_t(s.size()));
        for (QChar c : s) number(uint16_t(c.unicode()));
    }
    QByteArray take() { return std::move(out_); }

  private:
    QByteArray out_;
};

// Reads fields from the front of the block; every read checks the bytes that remain.
class Reader {
  public:
    explicit Reader(const QByteArray& block) : p_(block.constData()), left_(block.size()) {}

    qsizetype left() const { return left_; }

    bool bytes(char* out, qsizetype n) {
        if (n < 0 || n > left_) return false;
        std::memcpy(out, p_, size_t(n));
        p_ += n;
        left_ -= n;
        return true;
    }
    template <typename T>
    bool number(T& value) {
        T le;
        if (!bytes(reinterpret_cast<char*>(&le), sizeof le)) return false;
        value = qFromLittleEndian(le);
        return true;
    }
    bool u8(uint8_t& v) { return number(v); }
    bool u32(uint32_t& v) { return number(v); }
    bool i32(int32_t& v) { return number(v); }
    bool f32(float& v) {
        uint32_t bits;
        if (!number(bits)) return false;
        std::memcpy(&v, &bits, sizeof v);
        return true;
    }
    bool f64(double& v) {
        uint64_t bits;
        if (!number(bits)) return false;
        std::memcpy(&v, &bits, sizeof v);
        return true;
    }
    bool flag(bool& v) {
        uint8_t b;
        if (!u8(b) || b > 1) return false;
        v = b != 0;
        return true;
    }
    template <typename E>
    bool enumeration(E& v, uint8_t last) {
        uint8_t b;
        if (!u8(b) || b > last) return false;
        v = E(b);
        return true;
    }
    bool str(QString& s) {
        uint32_t n;
        if (!u32(n) || qsizetype(n) > left_ / 2) return false;
        s.resize(qsizetype(n));
        QChar* out = s.data();
        for (uint32_t i = 0; i < n; ++i) {
            uint16_t unit;
            if (!number(unit)) return false;
            out[i] = QChar(char16_t(unit));
        }
        return true;
    }
    // A count of items that need at least `minBytes` each; never more than the rest can hold.
    bool count(uint32_t& n, qsizetype minBytes) {
        return u32(n) && qsizetype(n) <= left_ / minBytes;
    }

  private:
    const char* p_;
    qsizetype left_;
};

qsizetype dataBytes(int32_t subsets, int32_t points) {
    return qsizetype(subsets) * qsizetype(points) * qsizetype(sizeof(double) + sizeof(float));
}

bool readState(Reader& r, GraphState& s) {
    char magic[4];
    uint32_t version;
    if (!r.bytes(magic, 4) || std::memcmp(magic, kMagic, 4) != 0) return false;
    if (!r.u32(version) || version != kVersion) return false;

    if (!r.i32(s.subsets) || s.subsets < 1 || s.subsets > 2) return false;
    if (!r.i32(s.points) || s.points < 0) return false;
    if (!r.f32(s.nullDataValueY)) return false;
    if (!r.enumeration(s.dateTimeMode, uint8_t(DateTimeMode::SerialDays))) return false;
    if (dataBytes(s.subsets, s.points) > r.left()) return false;
    s.x.assign(size_t(s.subsets), {});
    s.y.assign(size_t(s.subsets), {});
    for (auto& xs : s.x) {
        xs.resize(size_t(s.points));
        for (double& v : xs) r.f64(v);
    }
    for (auto& ys : s.y) {
        ys.resize(size_t(s.points));
        for (float& v : ys) r.f32(v);
    }

    constexpr auto manual = uint8_t(ScaleControl::ManualMinAndMax);
    if (!r.enumeration(s.manualScaleControlX, manual) ||
        !r.enumeration(s.manualScaleControlY, manual) || !r.f64(s.manualMinX) ||
        !r.f64(s.manualMaxX) || !r.f64(s.manualMinY) || !r.f64(s.manualMaxY))
        return false;

    if (!r.str(s.mainTitle) || !r.str(s.subTitle) || !r.str(s.xAxisLabel) || !r.str(s.yAxisLabel))
        return false;
    // Graphs and templates saved while the level axis kept the control's placeholder title.
    if (s.yAxisLabel == QLatin1String("Y Axis #1")) s.yAxisLabel = QStringLiteral("dB");
    uint32_t n;
    if (!r.count(n, kMinStringBytes)) return false;
    s.subsetLabels.clear();
    s.subsetLabels.reserve(qsizetype(n));
    for (uint32_t i = 0; i < n; ++i) {
        QString label;
        if (!r.str(label)) return false;
        s.subsetLabels.append(label);
    }
    if (!r.str(s.fontFamily) || !r.i32(s.fontSize)) return false;

    if (!r.u32(s.graphForeColor) || !r.u32(s.graphBackColor) || !r.u32(s.deskColor) ||
        !r.u32(s.textColor) || !r.u32(s.yAxisColor))
        return false;
    if (!r.count(n, 4)) return false;
    s.subsetColors.resize(n);
    for (Argb& c : s.subsetColors) r.u32(c);
    if (!r.count(n, 4)) return false;
    s.subsetLineTypes.resize(n);
    for (LineType& t : s.subsetLineTypes) r.i32(t);
    if (!r.enumeration(s.gridStyle, uint8_t(GridStyle::None)) ||
        !r.enumeration(s.viewingStyle, uint8_t(ViewingStyle::Monochrome)))
        return false;

    if (!r.count(n, kMinAnnotationBytes)) return false;
    s.annotations.assign(n, {});
    for (GraphAnnotation& a : s.annotations) {
        if (!r.i32(a.type) || !r.f64(a.x) || !r.f64(a.y) || !r.str(a.text) || !r.u32(a.color))
            return false;
    }
    if (!r.flag(s.showGraphAnnotations) || !r.i32(s.graphAnnotationTextSize)) return false;
    if (!r.f64(s.vertLineX[0]) || !r.f64(s.vertLineX[1]) || !r.str(s.vertLineText[0]) ||
        !r.str(s.vertLineText[1]) || !r.flag(s.showVertLineAnnotations) ||
        !r.i32(s.lineAnnotationTextSize))
        return false;

    if (!r.enumeration(s.allowZooming, uint8_t(Zooming::HorzPlusVert)) ||
        !r.flag(s.scrollingHorzZoom) || !r.flag(s.scrollingVertZoom) ||
        !r.flag(s.allowDataHotSpots) || !r.flag(s.allowVertLineAnnotHotSpots) ||
        !r.flag(s.allowGraphAnnotHotSpots))
        return false;
    return r.left() == 0;
}

}  // namespace

QByteArray saveGraphState(const GraphState& s) {
    const int32_t subsets = std::clamp(s.subsets, int32_t(1), int32_t(2));
    const int32_t points = std::max(s.points, int32_t(0));
    Writer w(64 + dataBytes(subsets, points) + 512 + qsizetype(s.annotations.size()) * 40);
    w.bytes(kMagic, 4);
    w.u32(kVersion);

    w.i32(subsets);
    w.i32(points);
    w.f32(s.nullDataValueY);
    w.u8(uint8_t(s.dateTimeMode));
    // A series or point the vectors lack is written as an unfilled point (X 0, Y null).
    for (size_t k = 0; k < size_t(subsets); ++k) {
        const std::vector<double>* xs = k < s.x.size() ? &s.x[k] : nullptr;
        for (size_t p = 0; p < size_t(points); ++p) w.f64(xs && p < xs->size() ? (*xs)[p] : 0.0);
    }
    for (size_t k = 0; k < size_t(subsets); ++k) {
        const std::vector<float>* ys = k < s.y.size() ? &s.y[k] : nullptr;
        for (size_t p = 0; p < size_t(points); ++p)
            w.f32(ys && p < ys->size() ? (*ys)[p] : s.nullDataValueY);
    }

    w.u8(uint8_t(s.manualScaleControlX));
    w.u8(uint8_t(s.manualScaleControlY));
    w.f64(s.manualMinX);
    w.f64(s.manualMaxX);
    w.f64(s.manualMinY);
    w.f64(s.manualMaxY);

    w.str(s.mainTitle);
    w.str(s.subTitle);
    w.str(s.xAxisLabel);
    w.str(s.yAxisLabel);
    w.u32(uint32_t(s.subsetLabels.size()));
    for (const QString& label : s.subsetLabels) w.str(label);
    w.str(s.fontFamily);
    w.i32(s.fontSize);

    w.u32(s.graphForeColor);
    w.u32(s.graphBackColor);
    w.u32(s.deskColor);
    w.u32(s.textColor);
    w.u32(s.yAxisColor);
    w.u32(uint32_t(s.subsetColors.size()));
    for (Argb c : s.subsetColors) w.u32(c);
    w.u32(uint32_t(s.subsetLineTypes.size()));
    for (LineType t : s.subsetLineTypes) w.i32(t);
    w.u8(uint8_t(s.gridStyle));
    w.u8(uint8_t(s.viewingStyle));

    w.u32(uint32_t(s.annotations.size()));
    for (const GraphAnnotation& a : s.annotations) {
        w.i32(a.type);
        w.f64(a.x);
        w.f64(a.y);
        w.str(a.text);
        w.u32(a.color);
    }
    w.u8(s.showGraphAnnotations);
    w.i32(s.graphAnnotationTextSize);
    w.f64(s.vertLineX[0]);
    w.f64(s.vertLineX[1]);
    w.str(s.vertLineText[0]);
    w.str(s.vertLineText[1]);
    w.u8(s.showVertLineAnnotations);
    w.i32(s.lineAnnotationTextSize);

    w.u8(uint8_t(s.allowZooming));
    w.u8(s.scrollingHorzZoom);
    w.u8(s.scrollingVertZoom);
    w.u8(s.allowDataHotSpots);
    w.u8(s.allowVertLineAnnotHotSpots);
    w.u8(s.allowGraphAnnotHotSpots);
    return w.take();
}

bool loadGraphState(const QByteArray& block, GraphState& state) {
    Reader r(block);
    GraphState loaded;
    if (!readState(r, loaded)) return false;
    state = std::move(loaded);
    return true;
}

void applyNewGraphLooks(GraphState& s) {
    s.showGraphAnnotations = true;
    s.graphAnnotationTextSize = 100;
    s.lineAnnotationTextSize = 100;
    s.gridStyle = GridStyle::Dot;
    s.subTitle = QStringLiteral(" ");
    s.dateTimeMode = DateTimeMode::SerialDays;
    s.xAxisLabel = QStringLiteral("Time");
    s.yAxisLabel = QStringLiteral("dB");  // every series is a level
    s.graphForeColor = makeArgb(255, 190, 190, 190);
    s.graphBackColor = makeArgb(255, 0, 0, 0);
    s.deskColor = makeArgb(255, 190, 190, 190);
    s.textColor = makeArgb(255, 0, 0, 0);
    s.subsetColors = {makeArgb(255, 255, 255, 0), makeArgb(255, 255, 0, 0)};
    s.subsetLineTypes = {0, 0};
    s.yAxisColor = makeArgb(255, 255, 0, 0);
}

GraphState seriesGraphState(std::vector<double> times, std::vector<float> levels,
                            const QString& title) {
    GraphState s;
    const int n = int(std::min(times.size(), levels.size()));
    // The points are taken over, not copied: a series may hold millions.
    times.resize(size_t(n));
    levels.resize(size_t(n));
    s.subsets = 1;
    s.points = n;
    s.x.resize(1);
    s.y.resize(1);
    s.x[0] = std::move(times);
    s.y[0] = std::move(levels);
    s.nullDataValueY = kNullDataValueY;
    s.manualScaleControlY = ScaleControl::ManualMinAndMax;
    s.manualMinY = 30;
    s.manualMaxY = 130;
    const std::vector<double>& x = s.x[0];
    if (n > 0 && x.front() != 0) {
        s.manualScaleControlX = ScaleControl::ManualMinAndMax;
        s.manualMinX = x.front();
        s.manualMaxX = n > 1 ? x[size_t(n - 1)] : x.front() + kOneSecond;
    }
    applyNewGraphLooks(s);
    s.showVertLineAnnotations = false;
    s.mainTitle = title;
    return s;
}

}  // namespace kl516
