#include "graph/ui/GraphView.h"

#include <qcustomplot.h>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRegion>
#include <QRegularExpression>
#include <QWheelEvent>
#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <utility>

#include "dataset/WallClock.h"
#include "graph/ui/DecimatedGraph.h"
#include "graph/ui/GraphCustomizeDialog.h"
#include "graph/ui/TimeAxisTicker.h"

namespace kl516 {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Pixels around a cursor line, a data point or an annotation that count as a hit.
constexpr double kLineHitPixels = 3.0;
constexpr double kPointHitPixels = 4.0;
constexpr double kAnnotationHitPixels = 3.0;
// Larger series are drawn without antialiasing.
constexpr int kAntialiasedPointLimit = 5000;

QStringList textLines(const QString& text) {
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    return text.split(breaks);
}

// A cursor line label: a leading "|" and a letter is a placement code ("|t" top, "|b" bottom)
// and is not drawn; a line feed starts a second line.
struct LineLabelText {
    QStringList lines;
    bool atBottom = false;
};
LineLabelText lineLabelText(const QString& text) {
    LineLabelText out;
    QString rest = text;
    if (rest.size() >= 2 && rest[0] == QLatin1Char('|') && rest[1].isLetter()) {
        out.atBottom = rest[1].toLower() == QLatin1Char('b');
        rest = rest.mid(2);
    }
    if (!rest.isEmpty()) out.lines = textLines(rest);
    return out;
}

QColor colourOf(Argb c) {
    return QColor::fromRgba(QRgb(c));
}

Qt::PenStyle penStyleOf(LineType type) {
    switch (type) {
        case 1:
            return Qt::DashLine;
        case 2:
            return Qt::DotLine;
        case 3:
            return Qt::DashDotLine;
        default:
            return Qt::SolidLine;
    }
}

struct AnnotationView {
    int index = 0;
    int type = 0;
    double key = 0;
    double value = 0;
    QStringList lines;
    QColor color;
};

struct LineView {
    double key = 0;
    LineLabelText label;
    QColor color;
};

// What the overlay draws, taken from the state at ResetImage.
struct Overlay {
    bool showAnnotations = false;
    std::vector<AnnotationView> annotations;
    QFont annotationFont;
    double crossHalfSize = 4;
    bool showLines = false;
    std::array<LineView, 2> lines;
    QFont lineFont;
};

// Draws the graph annotations and the two cursor lines over the plotting area in one item.
class OverlayItem : public QCPAbstractItem {
  public:
    explicit OverlayItem(QCustomPlot* plot) : QCPAbstractItem(plot) { setSelectable(false); }

    Overlay overlay;

    double selectTest(const QPointF&, bool, QVariant*) const override { return -1; }

    QPointF pixelOf(double key, double value) const {
        return {mParentPlot->xAxis->coordToPixel(key), mParentPlot->yAxis->coordToPixel(value)};
    }

    // Where an annotation's text goes. A line longer than the room between its start and the
    // plot's right edge wraps at blanks (a word longer than the room at any character); when
    // that room is narrower than a third of the plot, the text starts further left, so a note
    // near the right edge still shows whole, its start included.
    struct TextPlacement {
        double left = 0, top = 0, width = 0;
        QStringList lines;
    };
    TextPlacement placeText(const AnnotationView& a, const QPointF& at) const {
        TextPlacement t;
        const QFontMetricsF fm(overlay.annotationFont);
        t.left = a.type == 2 ? at.x() + overlay.crossHalfSize + 3 : at.x();
        const QRect area = clipRect();
        const double minimumRoom = area.width() / 3.0;
        if (area.width() > 0 && area.right() - t.left < minimumRoom)
            t.left = std::max(double(area.left()), area.right() - minimumRoom);
        const double room = area.right() - t.left;
        for (const QString& line : a.lines) {
            if (room <= 0 || fm.horizontalAdvance(line) <= room) {
                t.lines.append(line);
                continue;
            }
            QString current;
            for (const QString& word : line.split(QLatin1Char(' '))) {
                const QString joined = current.isEmpty() ? word : current + QLatin1Char(' ') + word;
                if (fm.horizontalAdvance(joined) <= room) {
                    current = joined;
                    continue;
                }
                if (!current.isEmpty()) t.lines.append(current);
                current = word;
                // A word wider than the room is cut into pieces that fit.
                while (current.size() > 1 && fm.horizontalAdvance(current) > room) {
                    qsizetype fits = 1;
                    while (fits < current.size() &&
                           fm.horizontalAdvance(current.left(fits + 1)) <= room)
                        ++fits;
                    t.lines.append(current.left(fits));
                    current = current.mid(fits);
                }
            }
            t.lines.append(current);
        }
        for (const QString& line : t.lines) t.width = std::max(t.width, fm.horizontalAdvance(line));
        t.top = at.y() - fm.height() * t.lines.size() / 2;
        return t;
    }

    // The rectangle an annotation covers on screen: its cross and its text.
    QRectF annotationRect(const AnnotationView& a) const {
        const QPointF at = pixelOf(a.key, a.value);
        const QFontMetricsF fm(overlay.annotationFont);
        const TextPlacement t = placeText(a, at);
        const double height = t.lines.isEmpty() || t.width == 0 ? 0 : fm.height() * t.lines.size();
        QRectF box;
        if (a.type == 2) {
            const double h = overlay.crossHalfSize;
            box = QRectF(at.x() - h, at.y() - h, 2 * h, 2 * h);
        }
        if (height > 0) box |= QRectF(t.left, t.top, t.width, height);
        return box;
    }

    QRectF lineLabelRect(const LineView& line, const QRect& area) const {
        const QFontMetricsF fm(overlay.lineFont);
        double width = 0;
        for (const QString& text : line.label.lines)
            width = std::max(width, fm.horizontalAdvance(text));
        const double height = fm.height() * line.label.lines.size();
        const double x = mParentPlot->xAxis->coordToPixel(line.key);
        double left = x + 3;
        if (left + width > area.right() && x - 3 - width >= area.left()) left = x - 3 - width;
        const double top = line.label.atBottom ? area.bottom() - 2 - height : area.top() + 2;
        return {left, top, width, height};
    }

    // The pixels a cursor line and its label may touch, with room for antialiasing and for
    // glyphs reaching beyond their advance; empty for a line that is not drawn.
    QRect lineBounds(const LineView& line) const {
        const QRect area = clipRect();
        const double x = mParentPlot->xAxis->coordToPixel(line.key);
        if (!std::isfinite(x) || x < area.left() - 1 || x > area.right() + 1) return {};
        const int column = int(std::floor(x));
        QRect bounds(column - 2, area.top() - 2, 5, area.height() + 4);
        if (!line.label.lines.isEmpty()) {
            const int margin = 2 + QFontMetrics(overlay.lineFont).height() / 2;
            bounds |= lineLabelRect(line, area)
                          .toAlignedRect()
                          .adjusted(-margin, -margin, margin, margin);
        }
        return bounds;
    }

    // Draws the item as its layer does (clipped to the axis rect, with its antialiasing), but
    // only inside `damage`.
    void drawWithin(QCPPainter* painter, const QRegion& damage) {
        painter->save();
        painter->setClipRect(clipRect().translated(0, -1));
        painter->setClipRegion(damage, Qt::IntersectClip);
        applyDefaultAntialiasingHint(painter);
        draw(painter);
        painter->restore();
    }

  protected:
    void draw(QCPPainter* painter) override {
        const QRect area = clipRect();
        if (overlay.showAnnotations) {
            painter->setFont(overlay.annotationFont);
            const QFontMetricsF fm(overlay.annotationFont);
            for (const AnnotationView& a : overlay.annotations) {
                const QPointF at = pixelOf(a.key, a.value);
                if (!std::isfinite(at.x()) || !std::isfinite(at.y())) continue;
                painter->setPen(QPen(a.color, 1));
                const QRectF box = annotationRect(a);
                if (!box.intersects(area)) continue;
                if (a.type == 2) {
                    const double h = overlay.crossHalfSize;
                    painter->drawLine(QPointF(at.x() - h, at.y() - h),
                                      QPointF(at.x() + h, at.y() + h));
                    painter->drawLine(QPointF(at.x() - h, at.y() + h),
                                      QPointF(at.x() + h, at.y() - h));
                }
                const TextPlacement t = placeText(a, at);
                double top = t.top;
                for (const QString& line : t.lines) {
                    painter->drawText(QPointF(t.left, top + fm.ascent()), line);
                    top += fm.height();
                }
            }
        }
        if (overlay.showLines) {
            painter->setFont(overlay.lineFont);
            const QFontMetricsF fm(overlay.lineFont);
            for (const LineView& line : overlay.lines) {
                const double x = mParentPlot->xAxis->coordToPixel(line.key);
                if (!std::isfinite(x) || x < area.left() - 1 || x > area.right() + 1) continue;
                painter->setPen(QPen(line.color, 1));
                painter->drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
                double top = lineLabelRect(line, area).top();
                const double left = lineLabelRect(line, area).left();
                for (const QString& text : line.label.lines) {
                    painter->drawText(QPointF(left, top + fm.ascent()), text);
                    top += fm.height();
                }
            }
        }
    }
};

struct View {
    QCPRange x, y;
};

bool sameAnnotations(const std::vector<AnnotationView>& a, const std::vector<AnnotationView>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const AnnotationView& x, const AnnotationView& y) {
                          return x.index == y.index && x.type == y.type && x.key == y.key &&
                                 x.value == y.value && x.lines == y.lines && x.color == y.color;
                      });
}

bool sameLine(const LineView& a, const LineView& b) {
    return a.key == b.key && a.label.lines == b.label.lines &&
           a.label.atBottom == b.label.atBottom && a.color == b.color;
}

// Whether two overlays differ in their cursor lines at most.
bool sameButLines(const Overlay& a, const Overlay& b) {
    return a.showAnnotations == b.showAnnotations && a.annotationFont == b.annotationFont &&
           a.crossHalfSize == b.crossHalfSize && a.showLines == b.showLines &&
           a.lineFont == b.lineFont && sameAnnotations(a.annotations, b.annotations);
}

// The plot, able to redraw a part of its top layer: a cursor step changes a few columns of the
// overlay, and redrawing and repainting those alone spares clearing, drawing and blending the
// whole plot's buffers at every step.
class LayeredPlot : public QCustomPlot {
  public:
    using QCustomPlot::QCustomPlot;

    // Redraws the buffer of `layer`, the top layer, inside `damage` with `item` as the only
    // child that draws, and repaints that part of the widget. False, with nothing done, when
    // the layer is not the top one with a buffer of its own, another child draws, or any
    // buffer awaits a full replot: the caller then replots the layer whole.
    bool replotTopLayerPart(QCPLayer* layer, OverlayItem* item, const QRegion& damage) {
        if (mLayers.isEmpty() || mLayers.last() != layer || layer->mode() != QCPLayer::lmBuffered ||
            mPaintBuffers.isEmpty() || hasInvalidatedPaintBuffers())
            return false;
        // The rubber band lives on the top layer too, and draws nothing while no drag is on.
        const QList<QCPLayerable*> children = layer->children();
        if (std::any_of(children.begin(), children.end(), [this, item](QCPLayerable* child) {
                const bool idleBand = child == selectionRect() && !selectionRect()->isActive();
                return child != item && !idleBand && child->realVisibility();
            }))
            return false;
        if (damage.isEmpty()) return true;
        // setupPaintBuffers gives a buffered top layer the last buffer.
        const QSharedPointer<QCPAbstractPaintBuffer> buffer = mPaintBuffers.last();
        QCPPainter* painter = buffer->startPainting();
        if (!painter) return false;
        if (!painter->isActive()) {
            delete painter;
            return false;
        }
        painter->save();
        painter->setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect& r : damage) painter->fillRect(r, Qt::transparent);
        painter->restore();
        if (item->realVisibility()) item->drawWithin(painter, damage);
        delete painter;
        buffer->donePainting();
        update(damage);
        return true;
    }
};

}  // namespace

// The link between the state and the QCustomPlot objects. Each series is one QCPGraph whose
// data container holds, in point order, the points from the first drawn point to the last; a
// point that is not drawn inside that run is a NaN value (a gap) carrying the key of the point
// before it, so the keys stay sorted as QCustomPlot requires. Only when the drawn X values go
// backwards does a series fall back to a sorted copy of its drawn points, with a gap between
// two of them where a point not drawn lies between them in the run. Every edit of a
// container is reported to its DecimatedGraph, whose drawing cache then redoes only the pixel
// columns from the first changed entry on.
struct GraphView::Impl {
    struct SeriesSync {
        int first = -1, last = -1;  // first and last drawn point; -1: none
        bool pointOrder = true;     // container entry i is point first + i
        std::vector<int> pointOf;   // container entry -> point when not in point order; -1: gap
        int dirtyLo = INT_MAX, dirtyHi = -1;
    };

    GraphView* q;
    QCustomPlot* plot;
    std::vector<DecimatedGraph*> graphs;
    OverlayItem* overlay = nullptr;
    QCPTextElement* title = nullptr;
    QCPTextElement* subTitle = nullptr;
    QSharedPointer<TimeAxisTicker> timeTicker{new TimeAxisTicker(plot->xAxis)};
    QSharedPointer<QCPAxisTicker> numberTicker{new QCPAxisTicker};
    std::array<SeriesSync, 2> sync;
    std::array<QColor, 2> lineColors{QColor(64, 128, 255), QColor(255, 48, 48)};

    bool structureDirty = true;  // series, point count or X units changed: rebuild everything
    bool haveApplied = false;
    GraphState applied;  // the looks as last applied; its data vectors stay empty
    bool dateMode = false;
    double nullY = kNullDataValueY;

    bool zoomed = false;  // the view is the user's, not the full view
    View fullView;
    bool layoutDirty = true;
    // What changed since the last replot: anything beyond the overlay, or the overlay only.
    bool fullRedrawNeeded = true;
    bool overlayRedrawNeeded = false;
    // What the overlay changes since its last drawing cover: the cursor lines' pixels, or all.
    QRegion overlayDamage;
    bool overlayDamageAll = false;
    QCPLayer* overlayLayer = nullptr;

    QPoint pressPos;
    Qt::MouseButton pressButton = Qt::NoButton;
    bool pressConsumed = false;

    Impl(GraphView* owner, QCustomPlot* p) : q(owner), plot(p) {}

    const GraphState& st() const { return q->state_; }

    // The date-time axis counts wall seconds from 1970 (a linear scale, unrounded, for zooming).
    double toKey(double x) const { return dateMode ? (x - kSerialOf1970) * kSecondsPerDay : x; }
    double fromKey(double key) const {
        return dateMode ? key / kSecondsPerDay + kSerialOf1970 : key;
    }

    bool drawn(int s, int p) const {
        const double x = st().x[size_t(s)][size_t(p)];
        const float y = st().y[size_t(s)][size_t(p)];
        // In date-time mode X 0 is the unfilled point, never a real time.
        return std::isfinite(x) && hasLevel(y, float(nullY)) && !(dateMode && x == 0);
    }

    void markDirty(int s, int lo, int hi) {
        SeriesSync& sy = sync[size_t(s)];
        sy.dirtyLo = std::min(sy.dirtyLo, lo);
        sy.dirtyHi = std::max(sy.dirtyHi, hi);
    }

    // ---- data ---------------------------------------------------------------------------------

    void rebuildSeries(int s) {
        SeriesSync& sy = sync[size_t(s)];
        const int n = st().points;
        const auto& xs = st().x[size_t(s)];
        const auto& ys = st().y[size_t(s)];
        sy.first = sy.last = -1;
        sy.pointOrder = true;
        sy.pointOf.clear();
        bool sorted = true;
        double previous = -std::numeric_limits<double>::infinity();
        for (int p = 0; p < n; ++p) {
            if (!drawn(s, p)) continue;
            if (sy.first < 0) sy.first = p;
            sy.last = p;
            const double key = toKey(xs[size_t(p)]);
            if (key < previous) sorted = false;
            previous = key;
        }
        QVector<QCPGraphData> entries;
        if (sy.first >= 0 && sorted) {
            entries.resize(sy.last - sy.first + 1);
            QCPGraphData* out = entries.data();
            double carry = toKey(xs[size_t(sy.first)]);
            for (int p = sy.first; p <= sy.last; ++p, ++out) {
                if (drawn(s, p)) {
                    carry = toKey(xs[size_t(p)]);
                    *out = QCPGraphData(carry, ys[size_t(p)]);
                } else {
                    *out = QCPGraphData(carry, kNaN);
                }
            }
        } else if (sy.first >= 0) {
            sy.pointOrder = false;
            // undrawnBefore[i]: the points not drawn among first .. first + i - 1.
            std::vector<int> undrawnBefore(size_t(sy.last - sy.first + 2), 0);
            std::vector<int> order;
            for (int p = sy.first; p <= sy.last; ++p) {
                const bool shown = drawn(s, p);
                undrawnBefore[size_t(p - sy.first + 1)] =
                    undrawnBefore[size_t(p - sy.first)] + (shown ? 0 : 1);
                if (shown) order.push_back(p);
            }
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
                return toKey(xs[size_t(a)]) < toKey(xs[size_t(b)]);
            });
            // Neighbours in time are joined unless a point not drawn (a missed sample) lies
            // between them in the run: there the line breaks, as in point order.
            const auto missedBetween = [&](int a, int b) {
                const int lo = std::min(a, b) - sy.first, hi = std::max(a, b) - sy.first;
                return undrawnBefore[size_t(hi)] - undrawnBefore[size_t(lo + 1)] > 0;
            };
            entries.reserve(qsizetype(order.size()));
            sy.pointOf.reserve(order.size());
            for (size_t k = 0; k < order.size(); ++k) {
                const int p = order[k];
                if (k > 0 && missedBetween(order[k - 1], p)) {
                    entries.append(QCPGraphData(entries.constLast().key, kNaN));
                    sy.pointOf.push_back(-1);  // a gap stands for no point
                }
                entries.append(QCPGraphData(toKey(xs[size_t(p)]), ys[size_t(p)]));
                sy.pointOf.push_back(p);
            }
        }
        graphs[size_t(s)]->data()->set(entries, true);
        graphs[size_t(s)]->invalidateAll();
    }

    // Brings the container up to date for points lo..hi, editing it in place; falls back to a
    // rebuild when the first drawn point changes, the run shrinks or the keys would go backwards.
    void updateSeries(int s, int lo, int hi) {
        SeriesSync& sy = sync[size_t(s)];
        const int n = st().points;
        lo = std::max(lo, 0);
        hi = std::min(hi, n - 1);
        if (lo > hi) return;
        if (!sy.pointOrder || sy.first < 0) return rebuildSeries(s);
        // A drawn point before the run, or the first drawn point gone: the run starts elsewhere.
        for (int p = lo; p < sy.first && p <= hi; ++p)
            if (drawn(s, p)) return rebuildSeries(s);
        if (lo <= sy.first && sy.first <= hi && !drawn(s, sy.first)) return rebuildSeries(s);
        lo = std::max(lo, sy.first);
        if (lo > hi) return;  // only undrawn points before the run changed

        const int oldLast = sy.last;
        int newLast = oldLast;
        if (hi >= oldLast) {
            int j = hi;
            while (j >= lo && !drawn(s, j)) --j;
            if (j >= lo && j >= oldLast) {
                newLast = j;
            } else if (!(j < lo && lo > oldLast)) {
                return rebuildSeries(s);  // the last drawn point went away
            } else {
                return;  // only undrawn points after the run changed
            }
        }

        const auto& xs = st().x[size_t(s)];
        const auto& ys = st().y[size_t(s)];
        QCPGraphDataContainer* data = graphs[size_t(s)]->data().data();
        auto it = data->begin();
        const int first = sy.first;
        // The drawing cache is redone from the first entry that really changed: a check of
        // every point that finds nothing new costs no redrawing.
        int changedFrom = INT_MAX;
        auto write = [&](int p, double key, double value) {
            QCPGraphData& e = it[p - first];
            const bool same =
                e.key == key && (std::isnan(value) ? std::isnan(e.value) : e.value == value);
            if (same) return;
            e.key = key;
            e.value = value;
            changedFrom = std::min(changedFrom, p - first);
        };
        double carry = lo > first ? it[std::min(lo - 1, oldLast) - first].key
                                  : -std::numeric_limits<double>::infinity();
        int p = lo;
        for (const int end = std::min(hi, oldLast); p <= end; ++p) {
            if (drawn(s, p)) {
                const double key = toKey(xs[size_t(p)]);
                if (key < carry) return rebuildSeries(s);
                carry = key;
                write(p, key, ys[size_t(p)]);
            } else {
                write(p, carry, kNaN);
            }
        }
        // Gaps after the changed points carry the new key up to the next drawn point.
        for (; p <= oldLast; ++p) {
            const QCPGraphData& e = it[p - first];
            if (!std::isnan(e.value)) {
                if (e.key < carry) return rebuildSeries(s);
                break;
            }
            write(p, carry, kNaN);
        }
        if (changedFrom != INT_MAX) graphs[size_t(s)]->invalidateFrom(changedFrom);
        for (p = oldLast + 1; p <= newLast; ++p) {
            if (drawn(s, p)) {
                const double key = toKey(xs[size_t(p)]);
                if (key < carry) return rebuildSeries(s);
                carry = key;
                data->add(QCPGraphData(key, ys[size_t(p)]));
            } else {
                data->add(QCPGraphData(carry, kNaN));
            }
        }
        sy.last = newLast;
    }

    // ---- looks --------------------------------------------------------------------------------

    bool mono() const { return st().viewingStyle == ViewingStyle::Monochrome; }
    QColor paper(Argb c) const { return mono() ? QColor(Qt::white) : colourOf(c); }
    QColor ink(Argb c) const { return mono() ? QColor(Qt::black) : colourOf(c); }
    QColor seriesColour(int s) const {
        if (mono()) return s == 0 ? QColor(Qt::black) : QColor(96, 96, 96);
        const auto& colours = st().subsetColors;
        return size_t(s) < colours.size() ? colourOf(colours[size_t(s)])
                                          : (s == 0 ? QColor(Qt::blue) : QColor(Qt::red));
    }

    QFont baseFont() const {
        QFont f = st().fontFamily.isEmpty() ? QApplication::font() : QFont(st().fontFamily);
        if (st().fontSize > 0) {
            f.setPointSize(st().fontSize);
        } else if (!st().fontFamily.isEmpty()) {
            f.setPointSizeF(QApplication::font().pointSizeF());
        }
        return f;
    }
    static QFont scaled(QFont f, double factor) {
        if (f.pointSizeF() > 0) f.setPointSizeF(std::max(1.0, f.pointSizeF() * factor));
        return f;
    }

    void ensureGraphs() {
        const size_t wanted = size_t(st().subsets);
        while (graphs.size() > wanted) {
            plot->removeGraph(graphs.back());
            graphs.pop_back();
        }
        while (graphs.size() < wanted) {
            auto* g = new DecimatedGraph(plot->xAxis, plot->yAxis);
            g->setAdaptiveSampling(true);
            g->setLineStyle(QCPGraph::lsLine);
            graphs.push_back(g);
        }
    }

    void setTitleRows() {
        if (title) plot->plotLayout()->remove(title);
        if (subTitle) plot->plotLayout()->remove(subTitle);
        title = subTitle = nullptr;
        plot->plotLayout()->simplify();
        const QFont base = baseFont();
        int row = 0;
        auto add = [&](QCPTextElement*& element, const QString& text, QFont font) {
            if (text.trimmed().isEmpty()) return;
            element = new QCPTextElement(plot, text, font);
            element->setTextColor(ink(st().textColor));
            plot->plotLayout()->insertRow(row);
            plot->plotLayout()->addElement(row, 0, element);
            ++row;
        };
        QFont titleFont = scaled(base, 1.4);
        titleFont.setBold(true);
        add(title, st().mainTitle, titleFont);
        add(subTitle, st().subTitle, scaled(base, 1.1));
    }

    void applyLooks() {
        const GraphState& s = st();
        ensureGraphs();
        plot->setBackground(QBrush(paper(s.deskColor)));
        plot->axisRect()->setBackground(QBrush(paper(s.graphBackColor)));

        const QFont base = baseFont();
        QFont labelFont = base;
        const QColor fore = ink(s.graphForeColor);
        const QColor text = ink(s.textColor);
        const QColor yColour = ink(s.yAxisColor);
        const QPen gridPen(fore, 0, s.gridStyle == GridStyle::Dot ? Qt::DotLine : Qt::SolidLine);
        for (QCPAxis* axis : {plot->xAxis, plot->yAxis, plot->xAxis2, plot->yAxis2}) {
            const QColor line = axis == plot->yAxis ? yColour : fore;
            axis->setBasePen(QPen(line, 0));
            axis->setTickPen(QPen(line, 0));
            axis->setSubTickPen(QPen(line, 0));
            axis->setTickLabelColor(text);
            axis->setTickLabelFont(base);
            axis->setLabelFont(labelFont);
            axis->setLabelColor(axis == plot->yAxis ? yColour : text);
            axis->grid()->setPen(gridPen);
            axis->grid()->setZeroLinePen(Qt::NoPen);
            axis->grid()->setSubGridVisible(false);
            axis->grid()->setVisible(s.gridStyle != GridStyle::None &&
                                     (axis == plot->xAxis || axis == plot->yAxis));
        }
        // The top and right axes only close the frame.
        for (QCPAxis* axis : {plot->xAxis2, plot->yAxis2}) {
            axis->setVisible(true);
            axis->setTicks(false);
            axis->setTickLabels(false);
        }
        plot->xAxis->setLabel(s.xAxisLabel);
        plot->yAxis->setLabel(s.yAxisLabel);
        if (dateMode) {
            plot->xAxis->setTicker(timeTicker);
        } else {
            plot->xAxis->setTicker(numberTicker);
        }
        setTitleRows();

        bool anyLabel = false;
        for (size_t k = 0; k < graphs.size(); ++k) {
            QCPGraph* g = graphs[k];
            const LineType type = k < s.subsetLineTypes.size() ? s.subsetLineTypes[k] : 0;
            g->setPen(QPen(seriesColour(int(k)), type == 4 ? 2 : 0, penStyleOf(type)));
            g->setAntialiased(s.points <= kAntialiasedPointLimit);
            const QString label =
                qsizetype(k) < s.subsetLabels.size() ? s.subsetLabels[qsizetype(k)] : QString();
            g->setName(label);
            if (label.isEmpty()) {
                g->removeFromLegend();
            } else {
                g->addToLegend();
                anyLabel = true;
            }
        }
        plot->legend->setVisible(anyLabel);
        plot->legend->setBrush(QBrush(paper(s.deskColor)));
        plot->legend->setBorderPen(QPen(fore, 0));
        plot->legend->setTextColor(text);
        plot->legend->setFont(base);

        // Zooming: a rubber band handled here, the wheel by QCustomPlot on the chosen axes.
        plot->setSelectionRectMode(s.allowZooming == Zooming::HorzPlusVert ? QCP::srmCustom
                                                                           : QCP::srmNone);
        plot->selectionRect()->setPen(
            QPen(mono() ? QColor(Qt::black) : QColor(Qt::white), 0, Qt::DashLine));
        Qt::Orientations wheel;
        if (s.scrollingHorzZoom) wheel |= Qt::Horizontal;
        if (s.scrollingVertZoom) wheel |= Qt::Vertical;
        const bool wheelZoom = s.allowZooming != Zooming::None && wheel != Qt::Orientations();
        plot->setInteraction(QCP::iRangeZoom, wheelZoom);
        plot->axisRect()->setRangeZoom(wheel);

        buildOverlay();
        layoutDirty = true;
        fullRedrawNeeded = true;
    }

    // The overlay's copy of the annotations and cursor lines.
    void buildOverlay() {
        const GraphState& s = st();
        const QFont base = baseFont();
        Overlay o;
        o.showAnnotations = s.showGraphAnnotations;
        const double annotationScale = std::clamp(s.graphAnnotationTextSize, 10, 1000) / 100.0;
        o.annotationFont = scaled(base, annotationScale);
        o.crossHalfSize = std::max(3.0, 4.0 * annotationScale);
        for (size_t i = 0; i < s.annotations.size(); ++i) {
            const GraphAnnotation& a = s.annotations[i];
            if (a.type != 2 && a.text.isEmpty()) continue;  // nothing to draw
            o.annotations.push_back({int(i), a.type, toKey(a.x), a.y,
                                     a.text.isEmpty() ? QStringList() : textLines(a.text),
                                     mono() ? QColor(Qt::black) : colourOf(a.color)});
        }
        o.showLines = s.showVertLineAnnotations;
        o.lineFont = scaled(base, std::clamp(s.lineAnnotationTextSize, 10, 1000) / 100.0);
        for (size_t i = 0; i < 2; ++i) {
            o.lines[i].key = toKey(s.vertLineX[i]);
            o.lines[i].label = lineLabelText(s.vertLineText[i]);
            o.lines[i].color =
                mono() ? (i == 0 ? QColor(Qt::black) : QColor(96, 96, 96)) : lineColors[i];
        }
        noteOverlayChange(overlay->overlay, o);
        overlay->overlay = std::move(o);
        overlayRedrawNeeded = true;
    }

    // Cursor lines that moved damage their old and new pixels; any other change, the whole
    // overlay. Both overlays are placed with the axes as they are, which are those of the last
    // drawing unless a full replot is due anyway.
    void noteOverlayChange(const Overlay& was, const Overlay& now) {
        if (overlayDamageAll) return;
        if (!sameButLines(was, now)) {
            overlayDamageAll = true;
            return;
        }
        for (size_t i = 0; i < 2; ++i) {
            if (sameLine(was.lines[i], now.lines[i])) continue;
            // Measured with the item's line font, the same in both.
            overlayDamage += overlay->lineBounds(was.lines[i]);
            overlayDamage += overlay->lineBounds(now.lines[i]);
        }
    }

    // Draws the overlay's changes: only the damaged part where that is possible.
    void replotOverlay() {
        const bool whole = overlayDamageAll;
        const QRegion damage = std::exchange(overlayDamage, QRegion());
        overlayDamageAll = false;
        if (whole ||
            !static_cast<LayeredPlot*>(plot)->replotTopLayerPart(overlayLayer, overlay, damage))
            overlayLayer->replot();
    }

    // Copies the settings that only the overlay draws.
    static void copyOverlaySettings(const GraphState& from, GraphState& to) {
        to.annotations = from.annotations;
        to.showGraphAnnotations = from.showGraphAnnotations;
        to.graphAnnotationTextSize = from.graphAnnotationTextSize;
        to.vertLineX = from.vertLineX;
        to.vertLineText = from.vertLineText;
        to.showVertLineAnnotations = from.showVertLineAnnotations;
        to.lineAnnotationTextSize = from.lineAnnotationTextSize;
    }

    // ---- scales and zoom ----------------------------------------------------------------------

    static QCPRange ordered(double a, double b, double pad) {
        if (!std::isfinite(a) || !std::isfinite(b)) return {0, 1};
        if (a > b) std::swap(a, b);
        if (a == b) return {a - pad, b + pad};
        return {a, b};
    }

    View computeFullView() const {
        const GraphState& s = st();
        const double keyPad = dateMode ? 30.0 : 0.5;
        View v;
        double minKey = std::numeric_limits<double>::infinity(), maxKey = -minKey;
        double minValue = minKey, maxValue = -minKey;
        const bool autoX = s.manualScaleControlX != ScaleControl::ManualMinAndMax;
        const bool autoY = s.manualScaleControlY != ScaleControl::ManualMinAndMax;
        for (QCPGraph* g : graphs) {
            const QCPGraphDataContainer& data = *g->data();
            if (data.isEmpty()) continue;
            if (autoX) {  // first and last entries are drawn points, and keys are sorted
                minKey = std::min(minKey, data.constBegin()->key);
                maxKey = std::max(maxKey, (data.constEnd() - 1)->key);
            }
            if (autoY) {
                for (auto it = data.constBegin(); it != data.constEnd(); ++it) {
                    if (std::isnan(it->value)) continue;
                    minValue = std::min(minValue, it->value);
                    maxValue = std::max(maxValue, it->value);
                }
            }
        }
        if (!autoX) {
            v.x = ordered(toKey(s.manualMinX), toKey(s.manualMaxX), keyPad);
        } else if (minKey <= maxKey) {
            v.x = ordered(minKey, maxKey, keyPad);
        } else {
            v.x = ordered(toKey(s.manualMinX), toKey(s.manualMaxX), keyPad);
        }
        if (!autoY) {
            v.y = ordered(s.manualMinY, s.manualMaxY, 1.0);
        } else if (minValue <= maxValue) {
            const double pad = (maxValue - minValue) * 0.05;
            v.y = ordered(minValue - pad, maxValue + pad, 1.0);
        } else {
            v.y = ordered(s.manualMinY, s.manualMaxY, 1.0);
        }
        return v;
    }

    void applyView(const View& v) {
        plot->xAxis->setRange(v.x);  // a changed range marks the layout (rangeChanged)
        plot->yAxis->setRange(v.y);
    }

    void pushZoom() { zoomed = true; }

    // Undoing a zoom returns to the full view, however many zooms led away from it.
    void undoZoom() {
        zoomed = false;
        applyView(fullView);
    }

    void clearZoom() { zoomed = false; }

    // ---- geometry -----------------------------------------------------------------------------

    // The plot takes the control's size. A control squeezed to nothing keeps the plot at its
    // last size (clipped away): a plot of no pixels would give every replot a paint device
    // that cannot be painted on.
    void syncGeometry() {
        if (q->size().isEmpty()) return;
        const QRect r(QPoint(0, 0), q->size());
        if (plot->geometry() != r) plot->setGeometry(r);
        if (plot->viewport() != r) {
            plot->setViewport(r);
            layoutDirty = true;
            fullRedrawNeeded = true;
        }
    }

    // Lays out the plot (margins, axis rect) without drawing, so pixel queries are right even
    // before the next replot.
    void ensureLayout() {
        syncGeometry();
        if (!layoutDirty) return;
        layOut();
        if (ticksMisjudged()) layOut();
        layoutDirty = false;
    }

    void layOut() {
        plot->plotLayout()->update(QCPLayoutElement::upPreparation);
        plot->plotLayout()->update(QCPLayoutElement::upMargins);
        plot->plotLayout()->update(QCPLayoutElement::upLayout);
    }

    // The time ticks were made for another axis length than the layout gave (the first layout,
    // or a new size): made again, they fit the axis. The X axis length depends on the side
    // margins only, which the X ticks do not change, so one more pass settles it.
    bool ticksMisjudged() const {
        return dateMode && std::abs(timeTicker->pixelsUsed() - plot->axisRect()->width()) > 0.5;
    }

    QPointF plotPixel(const QPoint& widgetPixel) const { return widgetPixel - plot->pos(); }
};

// ---- construction ----------------------------------------------------------------------------

GraphView::GraphView(QWidget* parent) : QWidget(parent) {
    plot_ = new LayeredPlot(this);
    d_ = new Impl(this, plot_);
    plot_->setMouseTracking(true);
    plot_->installEventFilter(this);
    // The graph takes the keyboard focus on a click or Tab, for the keys of its window.
    setFocusPolicy(Qt::StrongFocus);
    plot_->setFocusPolicy(Qt::NoFocus);
    plot_->setPlottingHints(QCP::phFastPolylines | QCP::phCacheLabels);
    plot_->setNoAntialiasingOnDrag(true);
    // Annotations and cursor lines go on the plot's top layer, which has a paint buffer of its
    // own: moving a cursor redraws that layer alone, not the series under it.
    d_->overlayLayer = plot_->layer(QStringLiteral("overlay"));
    d_->overlayLayer->setMode(QCPLayer::lmBuffered);
    d_->overlay = new OverlayItem(plot_);
    d_->overlay->setLayer(d_->overlayLayer);
    d_->overlay->setClipToAxisRect(true);

    auto rangeChanged = [this] {
        d_->layoutDirty = true;
        d_->fullRedrawNeeded = true;
    };
    connect(plot_->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, rangeChanged);
    connect(plot_->yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, rangeChanged);
    connect(plot_, &QCustomPlot::afterLayout, this, [this] {
        if (d_->ticksMisjudged()) d_->layOut();
        d_->layoutDirty = false;
        // A layout outside a replot (an export at another size) leaves the buffers behind it.
        d_->fullRedrawNeeded = true;
    });
    connect(plot_, &QCustomPlot::afterReplot, this,
            [this, range = QCPRange(), area = QRect()]() mutable {
                d_->fullRedrawNeeded = d_->overlayRedrawNeeded = false;
                d_->overlayDamage = QRegion();
                d_->overlayDamageAll = false;
                if (plot_->xAxis->range() == range && plot_->axisRect()->rect() == area) return;
                range = plot_->xAxis->range();
                area = plot_->axisRect()->rect();
                emit viewChanged();
            });
    // Rubber-band zoom: both axes take the band's extent.
    connect(plot_->selectionRect(), &QCPSelectionRect::accepted, this,
            [this](const QRect& band, QMouseEvent* event) {
                const QRect r = band.normalized();
                if (event->button() != Qt::LeftButton || r.width() < 3 || r.height() < 3) return;
                d_->pushZoom();
                plot_->xAxis->setRange(plot_->xAxis->pixelToCoord(r.left()),
                                       plot_->xAxis->pixelToCoord(r.right()));
                plot_->yAxis->setRange(plot_->yAxis->pixelToCoord(r.bottom()),
                                       plot_->yAxis->pixelToCoord(r.top()));
                plot_->replot(QCustomPlot::rpQueuedReplot);
                emit zoomedIn();
            });
    // Wheel zoom: QCustomPlot zooms after this signal; remember the view it leaves.
    connect(plot_, &QCustomPlot::mouseWheel, this, [this](QWheelEvent* event) {
        if (!plot_->interactions().testFlag(QCP::iRangeZoom)) return;
        if (!plot_->axisRect()->rect().contains(event->position().toPoint())) return;
        d_->pushZoom();
        emit zoomedIn();
    });
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    resize(400, 300);
    resetImage();
}

GraphView::~GraphView() {
    delete d_;
}

// ---- data ------------------------------------------------------------------------------------

void GraphView::propertiesEdited(int32_t subsetsBefore, int32_t pointsBefore) {
    if (state_.subsets == subsetsBefore && state_.points == pointsBefore) return;
    const int32_t subsets = state_.subsets;
    const int32_t points = state_.points;
    state_.subsets = subsetsBefore;
    state_.points = pointsBefore;
    setSubsets(subsets);
    setPoints(points);
}

void GraphView::setSubsets(int count) {
    count = std::clamp(count, 1, 2);
    if (count == state_.subsets && state_.x.size() == size_t(count)) return;
    state_.resize(count, state_.points);
    d_->structureDirty = true;
}

void GraphView::setPoints(int count) {
    count = std::max(count, 0);
    if (count == state_.points && state_.x.size() == size_t(state_.subsets)) return;
    state_.resize(state_.subsets, count);
    d_->structureDirty = true;
}

double GraphView::xValue(int series, int point) const {
    if (series < 0 || series >= state_.subsets || size_t(series) >= state_.x.size()) return 0;
    const auto& xs = state_.x[size_t(series)];
    if (point == -1) point = 0;
    return point >= 0 && size_t(point) < xs.size() ? xs[size_t(point)] : 0;
}

void GraphView::setXValue(int series, int point, double value) {
    if (series < 0 || series >= state_.subsets || size_t(series) >= state_.x.size()) return;
    auto& xs = state_.x[size_t(series)];
    if (point == -1) {
        std::fill(xs.begin(), xs.end(), value);
        d_->markDirty(series, 0, int(xs.size()) - 1);
    } else if (point >= 0 && size_t(point) < xs.size()) {
        xs[size_t(point)] = value;
        d_->markDirty(series, point, point);
    }
}

float GraphView::yValue(int series, int point) const {
    if (series < 0 || series >= state_.subsets || size_t(series) >= state_.y.size())
        return state_.nullDataValueY;
    const auto& ys = state_.y[size_t(series)];
    if (point == -1) point = 0;
    return point >= 0 && size_t(point) < ys.size() ? ys[size_t(point)] : state_.nullDataValueY;
}

void GraphView::setYValue(int series, int point, float value) {
    if (series < 0 || series >= state_.subsets || size_t(series) >= state_.y.size()) return;
    auto& ys = state_.y[size_t(series)];
    if (point == -1) {
        std::fill(ys.begin(), ys.end(), value);
        d_->markDirty(series, 0, int(ys.size()) - 1);
    } else if (point >= 0 && size_t(point) < ys.size()) {
        ys[size_t(point)] = value;
        d_->markDirty(series, point, point);
    }
}

void GraphView::copyXData(const double* values, int count) {
    if (!values || state_.x.empty()) return;
    const int n = std::min(count, int(state_.x[0].size()));
    if (n <= 0) return;
    std::copy(values, values + n, state_.x[0].begin());
    d_->markDirty(0, 0, n - 1);
}

void GraphView::copyYData(const float* values, int count) {
    if (!values || state_.y.empty()) return;
    const int n = std::min(count, int(state_.y[0].size()));
    if (n <= 0) return;
    std::copy(values, values + n, state_.y[0].begin());
    d_->markDirty(0, 0, n - 1);
}

bool GraphView::loadState(const QByteArray& block) {
    GraphState loaded;
    if (!loadGraphState(block, loaded)) return false;
    setState(std::move(loaded));
    return true;
}

void GraphView::setState(GraphState state) {
    state_ = std::move(state);
    d_->structureDirty = true;
    d_->haveApplied = false;
    d_->clearZoom();
    resetImage();
}

// ---- reset -----------------------------------------------------------------------------------

void GraphView::resetImage() {
    Impl& d = *d_;
    d.syncGeometry();
    // Direct edits of state() may have left the vectors out of step with the counts.
    bool shapeOk = state_.subsets >= 1 && state_.subsets <= 2 && state_.points >= 0 &&
                   state_.x.size() == size_t(state_.subsets) &&
                   state_.y.size() == size_t(state_.subsets);
    for (size_t s = 0; shapeOk && s < state_.x.size(); ++s)
        shapeOk = state_.x[s].size() == size_t(state_.points) &&
                  state_.y[s].size() == size_t(state_.points);
    if (!shapeOk) {
        state_.resize(state_.subsets, state_.points);
        d.structureDirty = true;
    }

    // Compare everything but the data with the looks last applied (cheap: the data vectors are
    // moved out for the comparison), so any change of a setting is picked up.
    bool looksChanged = !d.haveApplied || d.structureDirty;
    bool overlayOnly = false;  // only annotations or cursor lines changed (the cursors move often)
    {
        std::vector<std::vector<double>> xs;
        std::vector<std::vector<float>> ys;
        xs.swap(state_.x);
        ys.swap(state_.y);
        if (d.haveApplied) {
            looksChanged = looksChanged || !(state_ == d.applied);
            if (state_.subsets != d.applied.subsets || state_.points != d.applied.points ||
                state_.nullDataValueY != d.applied.nullDataValueY ||
                state_.dateTimeMode != d.applied.dateTimeMode)
                d.structureDirty = true;
            if (looksChanged && !d.structureDirty) {
                GraphState others = d.applied;
                Impl::copyOverlaySettings(state_, others);
                overlayOnly = others == state_;
            }
        }
        if (looksChanged) d.applied = state_;
        xs.swap(state_.x);
        ys.swap(state_.y);
    }
    // The data setters record what they changed; after editPoints (or the mutable state()) the
    // data vectors may have been edited directly, so every point is checked (in place, no
    // reallocation).
    const bool verifyData = stateTouched_;
    if (d.structureDirty || verifyData || d.sync[0].dirtyHi >= 0 || d.sync[1].dirtyHi >= 0)
        d.fullRedrawNeeded = true;

    d.dateMode = state_.dateTimeMode == DateTimeMode::SerialDays;
    d.nullY = state_.nullDataValueY;
    if (d.structureDirty) {
        d.ensureGraphs();
        for (int s = 0; s < state_.subsets; ++s) d.rebuildSeries(s);
        d.clearZoom();
        looksChanged = true;
    } else {
        for (int s = 0; s < state_.subsets; ++s) {
            Impl::SeriesSync& sy = d.sync[size_t(s)];
            if (verifyData) {
                d.updateSeries(s, 0, state_.points - 1);
            } else if (sy.dirtyHi >= 0) {
                d.updateSeries(s, sy.dirtyLo, sy.dirtyHi);
            }
        }
    }
    for (auto& sy : d.sync) {
        sy.dirtyLo = INT_MAX;
        sy.dirtyHi = -1;
    }
    if (looksChanged && overlayOnly) {
        d.buildOverlay();
    } else if (looksChanged) {
        d.applyLooks();
    }

    d.fullView = d.computeFullView();
    if (!d.zoomed) d.applyView(d.fullView);
    d.structureDirty = false;
    d.haveApplied = true;
    stateTouched_ = false;
}

// ---- actions ---------------------------------------------------------------------------------

void GraphView::perform(GraphAction action) {
    switch (action) {
        case GraphAction::ResetImage:
            resetImage();
            break;
        case GraphAction::InvalidateImage:
            d_->syncGeometry();
            if (!d_->fullRedrawNeeded && d_->overlayRedrawNeeded) {
                d_->overlayRedrawNeeded = false;
                d_->replotOverlay();  // the series' buffer stays as it is
            } else {
                plot_->replot(QCustomPlot::rpQueuedReplot);
            }
            break;
        case GraphAction::undoZoomButton:
            d_->undoZoom();
            plot_->replot(QCustomPlot::rpQueuedReplot);
            break;
        case GraphAction::Customize:
            customize();
            break;
        case GraphAction::ReinitAndReset:
            d_->clearZoom();
            d_->structureDirty = true;
            resetImage();
            plot_->replot();
            break;
    }
}

void GraphView::customize() {
    // The dialog edits the looks only; the data stay where they are.
    GraphState looks;
    std::vector<std::vector<double>> xs;
    std::vector<std::vector<float>> ys;
    xs.swap(state_.x);
    ys.swap(state_.y);
    looks = state_;
    xs.swap(state_.x);
    ys.swap(state_.y);

    GraphCustomizeDialog dialog(
        looks, {allowTitlesPage_, allowAxesPage_, allowFontPage_, allowSubsetsPage_}, this);
    dialogResult_ = dialog.exec() == QDialog::Accepted ? 1 : 0;
    if (dialogResult_ == 1) {
        GraphState edited = dialog.result();
        edited.subsets = state_.subsets;
        edited.points = state_.points;
        edited.x.swap(state_.x);
        edited.y.swap(state_.y);
        state_ = std::move(edited);  // the points are the same vectors: nothing to re-check
        resetImage();
        plot_->replot(QCustomPlot::rpQueuedReplot);
    }
    emit customizeDialogClosed();
}

// ---- queries ---------------------------------------------------------------------------------

QRect GraphView::plottingArea() const {
    d_->ensureLayout();
    return plot_->axisRect()->rect().translated(plot_->pos());
}

QPointF GraphView::pixelToValue(const QPoint& pixel) const {
    d_->ensureLayout();
    const QPointF p = d_->plotPixel(pixel);
    return {d_->fromKey(plot_->xAxis->pixelToCoord(p.x())), plot_->yAxis->pixelToCoord(p.y())};
}

QPoint GraphView::valueToPixel(double x, double y) const {
    d_->ensureLayout();
    auto clampPixel = [](double v) {
        return std::isfinite(v) ? int(std::lround(std::clamp(v, -1e9, 1e9))) : INT_MIN / 2;
    };
    return QPoint(clampPixel(plot_->xAxis->coordToPixel(d_->toKey(x))),
                  clampPixel(plot_->yAxis->coordToPixel(y))) +
           plot_->pos();
}

bool GraphView::isZoomed() const {
    return d_->zoomed;
}

HotSpot GraphView::hotSpotAt(const QPoint& pixel) const {
    Impl& d = *d_;
    d.ensureLayout();
    const QPointF p = d.plotPixel(pixel);
    const QRect area = plot_->axisRect()->rect();
    const Overlay& o = d.overlay->overlay;
    HotSpot hit;

    if (o.showLines && state_.allowVertLineAnnotHotSpots && p.y() >= area.top() - kLineHitPixels &&
        p.y() <= area.bottom() + kLineHitPixels) {
        double best = kLineHitPixels;
        for (int i = 0; i < 2; ++i) {
            const double distance =
                std::abs(plot_->xAxis->coordToPixel(o.lines[size_t(i)].key) - p.x());
            if (distance <= best) {
                best = distance;
                hit = {HotSpotKind::VertLineAnnotation, -1, i};
            }
        }
        if (hit.kind != HotSpotKind::None) return hit;
    }

    if (o.showAnnotations && state_.allowGraphAnnotHotSpots) {
        // The last drawn annotation lies on top.
        for (auto it = o.annotations.rbegin(); it != o.annotations.rend(); ++it) {
            const QRectF box = d.overlay->annotationRect(*it).adjusted(
                -kAnnotationHitPixels, -kAnnotationHitPixels, kAnnotationHitPixels,
                kAnnotationHitPixels);
            if (box.contains(p)) return {HotSpotKind::GraphAnnotation, -1, it->index};
        }
    }

    if (state_.allowDataHotSpots && area.contains(p.toPoint())) {
        double best = kPointHitPixels * kPointHitPixels;
        const double lowKey = plot_->xAxis->pixelToCoord(p.x() - kPointHitPixels);
        const double highKey = plot_->xAxis->pixelToCoord(p.x() + kPointHitPixels);
        for (size_t s = 0; s < d.graphs.size(); ++s) {
            const QCPGraphDataContainer& data = *d.graphs[s]->data();
            const auto begin = data.constBegin();
            for (auto it = data.findBegin(std::min(lowKey, highKey), false);
                 it != data.constEnd() && it->key <= std::max(lowKey, highKey); ++it) {
                if (std::isnan(it->value)) continue;
                const double dx = plot_->xAxis->coordToPixel(it->key) - p.x();
                const double dy = plot_->yAxis->coordToPixel(it->value) - p.y();
                if (dx * dx + dy * dy > best) continue;
                best = dx * dx + dy * dy;
                const Impl::SeriesSync& sy = d.sync[s];
                const int entry = int(it - begin);
                hit = {HotSpotKind::Data, int(s),
                       sy.pointOrder ? sy.first + entry : sy.pointOf[size_t(entry)]};
            }
        }
    }
    return hit;
}

void GraphView::setVertLineColor(int line, const QColor& color) {
    if (line < 0 || line > 1) return;
    d_->lineColors[size_t(line)] = color;
    if (state_.viewingStyle == ViewingStyle::Color) {
        d_->overlay->overlay.lines[size_t(line)].color = color;
        d_->overlayRedrawNeeded = true;
        d_->overlayDamageAll = true;
    }
}

QStringList GraphView::vertLineLabelLines(int line) const {
    if (line < 0 || line > 1 || !d_->overlay->overlay.showLines) return {};
    return d_->overlay->overlay.lines[size_t(line)].label.lines;
}

// ---- events ----------------------------------------------------------------------------------

void GraphView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    d_->syncGeometry();
}

bool GraphView::cancelZoomDrag() {
    QCPSelectionRect* band = plot_->selectionRect();
    if (!band || !band->isActive()) return false;
    band->cancel();
    plot_->replot(QCustomPlot::rpQueuedReplot);
    return true;
}

void GraphView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && cancelZoomDrag()) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool GraphView::eventFilter(QObject* watched, QEvent* event) {
    if (watched != plot_) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::MouseMove: {
            auto* e = static_cast<QMouseEvent*>(event);
            lastMouse_ = e->position().toPoint() + plot_->pos();
            emit mouseMoved(lastMouse_);
            if (state_.allowGraphAnnotHotSpots && !(e->buttons() & Qt::LeftButton)) {
                const HotSpot hs = hotSpotAt(lastMouse_);
                const int over = hs.kind == HotSpotKind::GraphAnnotation ? hs.index : -1;
                if (over != hoveredAnnotation_) {
                    hoveredAnnotation_ = over;
                    emit graphAnnotHovered(over);
                }
            }
            // While a cursor line is held, QCustomPlot does not see the drag at all.
            return d_->pressConsumed && (e->buttons() & Qt::LeftButton);
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* e = static_cast<QMouseEvent*>(event);
            lastMouse_ = e->position().toPoint() + plot_->pos();
            d_->pressPos = lastMouse_;
            d_->pressButton = e->button();
            d_->pressConsumed = false;
            emit mousePressed(lastMouse_, e->button());
            if (e->button() != Qt::LeftButton) return false;
            const HotSpot hs = hotSpotAt(lastMouse_);
            switch (hs.kind) {
                case HotSpotKind::VertLineAnnotation:
                    // The window drags the line: no rubber band may start.
                    d_->pressConsumed = true;
                    emit vertLineAnnotHotSpot(hs.index);
                    return true;
                case HotSpotKind::GraphAnnotation:
                    emit graphAnnotHotSpot(hs.index);
                    if (event->type() == QEvent::MouseButtonDblClick)
                        emit graphAnnotDoubleClicked(hs.index);
                    break;
                case HotSpotKind::Data:
                    emit dataHotSpot(hs.series, hs.index);
                    break;
                case HotSpotKind::None:
                    break;
            }
            return false;
        }
        case QEvent::MouseButtonRelease: {
            auto* e = static_cast<QMouseEvent*>(event);
            lastMouse_ = e->position().toPoint() + plot_->pos();
            emit mouseReleased(lastMouse_);
            const bool consumed = d_->pressConsumed;
            d_->pressConsumed = false;
            if (e->button() == d_->pressButton && e->button() == Qt::LeftButton &&
                (lastMouse_ - d_->pressPos).manhattanLength() < 5)
                emit clicked(lastMouse_);
            d_->pressButton = Qt::NoButton;
            return consumed;
        }
        case QEvent::Leave:
            emit mouseLeft();
            return false;
        default:
            return false;
    }
}

}  // namespace kl516
