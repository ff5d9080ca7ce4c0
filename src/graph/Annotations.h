#pragma once

#include <QLocale>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "graph/GraphState.h"

namespace kl516 {

// What a click on a graph does: nothing, place a text note, or place a cross.
enum class AnnotationMode { Normal, Text, Cross };

// Annotation types of the graph control's table.
inline constexpr int32_t kAnnotationTextOnly = 0;
inline constexpr int32_t kAnnotationCross = 2;
// The table index of the data-point marker; user annotations come after kFirstUserAnnotation.
inline constexpr int kMarkerAnnotation = 2;

// The annotation state every graph window of the program shares: the index of the last user
// annotation (a new one in any window takes the next index) and the pointer mode the three tool
// buttons set. One object, owned by the main window and handed to each graph window; the
// windows follow modeChanged, so every window shows the mode that its clicks use.
class AnnotationState : public QObject {
    Q_OBJECT
  public:
    static constexpr int32_t kInitialLast = 4;
    // A real-time Clear restarts the counter here, so the next annotation takes index 4.
    static constexpr int32_t kLastAfterClear = 3;

    int32_t lastAnnotation() const { return last_; }
    AnnotationMode mode() const { return mode_; }
    void setMode(AnnotationMode mode);

    // The index for a new annotation in `table`: the one after the counter, passing over any
    // index the table still uses (after a Clear restarted the counter, another window's
    // annotations must not be overwritten). The counter moves to the index taken.
    int32_t takeIndex(const std::vector<GraphAnnotation>& table);
    // The real-time Clear: the cleared window's annotations from index 3 up to the counter are
    // moved to X 0 / Y 0 and blanked, and the counter goes back to 3.
    void clear(std::vector<GraphAnnotation>& table);

  signals:
    void modeChanged(AnnotationMode mode);

  private:
    int32_t last_ = kInitialLast;
    AnnotationMode mode_ = AnnotationMode::Normal;
};

// The point a click places its annotation at: the pointer's drawing point, 1 right and 7 down of
// the reported mouse position for text, 15 right and 15 down for the cross (the crossing of the
// cross pointer). Nothing in normal mode or when that point lies outside the plotting area,
// whose edges count as inside (left <= x <= left + width, top <= y <= top + height).
std::optional<QPoint> annotationPoint(AnnotationMode mode, QPoint mouse, const QRect& plottingArea);

// An annotation that draws something: a cross, or a note with text.
bool annotationShown(const GraphAnnotation& a);

// Writes entry `index` of the table, growing it when needed.
void setAnnotation(std::vector<GraphAnnotation>& table, int index, int32_t type, double x,
                   double y, const QString& text);

// One row of the erase dialog: the annotation's table index, its X and what it shows.
struct AnnotationRow {
    int index = 0;
    double x = 0;
    QString contents;  // "X" for a cross, otherwise the note's text
};
// The first index the erase dialog lists. User annotations start at 5, and at 4 right after a
// real-time Clear; the marker (2) and index 3 are never user annotations.
inline constexpr int kFirstListedAnnotation = 4;
// The annotations of `table` the erase dialog lists, from kFirstListedAnnotation up to `last` in
// index order: every cross, and every note with a text.
std::vector<AnnotationRow> erasableAnnotations(const std::vector<GraphAnnotation>& table,
                                               int32_t last);
// Erases entries of the table: type 0 and an empty text, so nothing of them is drawn or listed.
void eraseAnnotation(std::vector<GraphAnnotation>& table, int index);

// The data-point marker for a point at (x, y): a yellow cross whose text is the point's long
// time, a carriage return and its level with " dB".
GraphAnnotation markerAnnotation(double x, double y, const QLocale& locale);

}  // namespace kl516
