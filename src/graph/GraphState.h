#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <vector>

#include "levels/LevelArithmetic.h"

namespace kl516 {

// A colour as 0xAARRGGBB.
using Argb = uint32_t;
constexpr Argb makeArgb(int alpha, int red, int green, int blue) {
    return (Argb(alpha & 0xFF) << 24) | (Argb(red & 0xFF) << 16) | (Argb(green & 0xFF) << 8) |
           Argb(blue & 0xFF);
}

enum class ScaleControl : uint8_t { Automatic = 0, ManualMinAndMax = 1 };
enum class GridStyle : uint8_t { Solid = 0, Dot = 1, None = 2 };
enum class ViewingStyle : uint8_t { Color = 0, Monochrome = 1 };
enum class Zooming : uint8_t { None = 0, HorzPlusVert = 1 };
enum class DateTimeMode : uint8_t { None = 0, SerialDays = 1 };
// Line type of a series: 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 thick solid.
using LineType = int32_t;

inline constexpr float kNullDataValueY = kNullLevel;

// One entry of the graph annotation table: type 0 text only, 2 a cross.
struct GraphAnnotation {
    int32_t type = 0;
    double x = 0;
    double y = 0;
    QString text;
    Argb color = makeArgb(255, 255, 255, 255);
    bool operator==(const GraphAnnotation&) const = default;
};

// Everything a graph control shows: data, scales, looks and annotations. Saved and restored as
// one block (graph files and the graph template).
struct GraphState {
    // data
    int32_t subsets = 1;  // 1 or 2
    int32_t points = 0;
    // [series][point], SerialDateTime values when date-time mode; one empty series by default
    std::vector<std::vector<double>> x = std::vector<std::vector<double>>(1);
    // [series][point], dB; kNullDataValueY is not drawn
    std::vector<std::vector<float>> y = std::vector<std::vector<float>>(1);
    float nullDataValueY = kNullDataValueY;
    DateTimeMode dateTimeMode = DateTimeMode::None;

    // scales
    ScaleControl manualScaleControlX = ScaleControl::Automatic;
    ScaleControl manualScaleControlY = ScaleControl::Automatic;
    double manualMinX = 0, manualMaxX = 1, manualMinY = 0, manualMaxY = 1;

    // titles and labels
    QString mainTitle;
    QString subTitle;
    QString xAxisLabel;
    QString yAxisLabel = QStringLiteral("dB");  // every series is a level
    QStringList subsetLabels;
    QString fontFamily;      // empty: the application font
    int32_t fontSize = 0;    // point size; 0: the application font's size

    // colours and styles
    Argb graphForeColor = makeArgb(255, 0, 0, 0);
    Argb graphBackColor = makeArgb(255, 255, 255, 255);
    Argb deskColor = makeArgb(255, 240, 240, 240);
    Argb textColor = makeArgb(255, 0, 0, 0);
    Argb yAxisColor = makeArgb(255, 0, 0, 0);
    std::vector<Argb> subsetColors{makeArgb(255, 0, 0, 255), makeArgb(255, 255, 0, 0)};
    std::vector<LineType> subsetLineTypes{0, 0};
    GridStyle gridStyle = GridStyle::Solid;
    ViewingStyle viewingStyle = ViewingStyle::Color;

    // annotations
    std::vector<GraphAnnotation> annotations;
    bool showGraphAnnotations = false;
    int32_t graphAnnotationTextSize = 100;  // percent
    std::array<double, 2> vertLineX{0, 0};
    std::array<QString, 2> vertLineText;
    bool showVertLineAnnotations = false;
    int32_t lineAnnotationTextSize = 100;

    // interaction
    Zooming allowZooming = Zooming::None;
    bool scrollingHorzZoom = false;
    bool scrollingVertZoom = false;
    bool allowDataHotSpots = false;
    bool allowVertLineAnnotHotSpots = false;
    bool allowGraphAnnotHotSpots = false;

    bool operator==(const GraphState&) const = default;

    // Sets the number of points; every series gets X 0 and Y null for new points.
    void resize(int32_t subsetCount, int32_t pointCount);
};

// The state as one versioned binary block, and back. loadGraphState rejects a truncated,
// corrupt or oversized block (returning false and leaving `state` unchanged) and never
// allocates more than the block itself can fill.
QByteArray saveGraphState(const GraphState& state);
bool loadGraphState(const QByteArray& block, GraphState& state);

// The looks of a new graph window that no template dresses: dotted grid, the time and level
// axes, yellow and red series on black, notes shown at full size.
void applyNewGraphLooks(GraphState& state);

// The graph as a new graph window shows a series without a template: levels against time,
// 30 to 130 dB, the time axis spanning the series, the cursor labels off. The vectors are taken
// over (pass them moved to spare a copy).
GraphState seriesGraphState(std::vector<double> times, std::vector<float> levels,
                            const QString& title = QString());

}  // namespace kl516
