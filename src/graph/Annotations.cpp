#include "graph/Annotations.h"

#include "dataset/SerialDateTime.h"
#include "levels/LevelFigures.h"

namespace kl516 {

void AnnotationState::setMode(AnnotationMode mode) {
    if (mode == mode_) return;
    mode_ = mode;
    emit modeChanged(mode);
}

int32_t AnnotationState::takeIndex(const std::vector<GraphAnnotation>& table) {
    int32_t index = last_ + 1;
    while (size_t(index) < table.size() && annotationShown(table[size_t(index)])) ++index;
    last_ = index;
    return index;
}

void AnnotationState::clear(std::vector<GraphAnnotation>& table) {
    for (int32_t i = kLastAfterClear; i <= last_ && size_t(i) < table.size(); ++i) {
        GraphAnnotation& a = table[size_t(i)];
        a.x = 0;
        a.y = 0;
        // Blanked too: the restarted counter reuses these indexes, and the erase dialog must not
        // list what the Clear took away.
        a.type = kAnnotationTextOnly;
        a.text.clear();
    }
    last_ = kLastAfterClear;
}

std::optional<QPoint> annotationPoint(AnnotationMode mode, QPoint mouse, const QRect& area) {
    QPoint at;
    switch (mode) {
        case AnnotationMode::Normal:
            return std::nullopt;
        case AnnotationMode::Text:
            at = mouse + QPoint(1, 7);
            break;
        case AnnotationMode::Cross:
            at = mouse + QPoint(15, 15);
            break;
    }
    const bool inside = at.x() >= area.left() && at.x() <= area.left() + area.width() &&
                        at.y() >= area.top() && at.y() <= area.top() + area.height();
    if (!inside) return std::nullopt;
    return at;
}

bool annotationShown(const GraphAnnotation& a) {
    return a.type == kAnnotationCross || !a.text.isEmpty();
}

void setAnnotation(std::vector<GraphAnnotation>& table, int index, int32_t type, double x,
                   double y, const QString& text) {
    if (index < 0) return;
    if (size_t(index) >= table.size()) table.resize(size_t(index) + 1);
    GraphAnnotation& a = table[size_t(index)];
    a.type = type;
    a.x = x;
    a.y = y;
    a.text = text;
}

std::vector<AnnotationRow> erasableAnnotations(const std::vector<GraphAnnotation>& table,
                                               int32_t last) {
    std::vector<AnnotationRow> rows;
    for (int32_t i = kFirstListedAnnotation; i <= last && size_t(i) < table.size(); ++i) {
        const GraphAnnotation& a = table[size_t(i)];
        if (a.type == kAnnotationCross)
            rows.push_back({int(i), a.x, QStringLiteral("X")});
        else if (!a.text.isEmpty())
            rows.push_back({int(i), a.x, a.text});
    }
    return rows;
}

void eraseAnnotation(std::vector<GraphAnnotation>& table, int index) {
    if (index < 0 || size_t(index) >= table.size()) return;
    table[size_t(index)].type = kAnnotationTextOnly;
    table[size_t(index)].text.clear();
}

GraphAnnotation markerAnnotation(double x, double y, const QLocale& locale) {
    GraphAnnotation a;
    a.type = kAnnotationCross;
    a.x = x;
    a.y = y;
    a.color = makeArgb(255, 255, 255, 0);
    a.text = formatLongTime(x, locale) + QChar(13) + levelText(y, locale) + QStringLiteral(" dB");
    return a;
}

}  // namespace kl516
