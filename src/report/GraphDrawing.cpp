#include "report/GraphDrawing.h"

#include <QFileInfo>

namespace kl516 {

std::optional<GraphImageKind> graphImageKind(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png")) return GraphImageKind::Png;
    if (suffix == QLatin1String("svg")) return GraphImageKind::Svg;
    if (suffix == QLatin1String("pdf")) return GraphImageKind::Pdf;
    return std::nullopt;
}

QString printedDateTime(const QDateTime& t) {
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

}  // namespace kl516
