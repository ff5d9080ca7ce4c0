#include "report/ui/GraphRender.h"

#include <qcustomplot.h>

#include <QFileInfo>
#include <QImage>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <algorithm>

#include "dataset/SerialDateTime.h"
#include "graph/ui/GraphView.h"
#include "report/ui/PageWriter.h"

namespace kl516 {

namespace {

// Draws the plot at `logical` size with a painter of 96 pixels per inch.
void paintPlot(GraphView& view, QCPPainter& painter, QSize logical) {
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    view.plot()->toPainter(&painter, logical.width(), logical.height());
}

// The plot drew itself at another size: lay it out again for the screen.
void restoreScreenLayout(GraphView& view) {
    view.plot()->replot(QCustomPlot::rpImmediateRefresh);
}

}  // namespace

void drawGraph(GraphView& view, QCPPainter& painter, const QRectF& target) {
    const QSize size(int(target.width()), int(target.height()));
    if (size.isEmpty()) return;
    painter.save();
    painter.translate(target.topLeft());
    painter.setClipRect(QRectF(QPointF(0, 0), size));
    paintPlot(view, painter, size);
    painter.restore();
    restoreScreenLayout(view);
}

QString writeGraphImage(GraphView& view, const QString& path, QSize size) {
    const std::optional<GraphImageKind> kind = graphImageKind(path);
    if (!kind) return QStringLiteral("%1 is not a .png, .svg or .pdf file").arg(path);
    if (size.width() < 16 || size.height() < 16 || size.width() > 20000 || size.height() > 20000)
        return QStringLiteral("the size %1 x %2 is outside 16 to 20000 pixels")
            .arg(size.width())
            .arg(size.height());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    bool drawn = false;
    switch (*kind) {
        case GraphImageKind::Png: {
            QImage image(size, QImage::Format_ARGB32_Premultiplied);
            image.setDotsPerMeterX(int(kScreenDpi / 0.0254 + 0.5));
            image.setDotsPerMeterY(int(kScreenDpi / 0.0254 + 0.5));
            image.fill(Qt::white);
            QCPPainter painter;
            if (painter.begin(&image)) {
                painter.setRenderHint(QPainter::Antialiasing);
                paintPlot(view, painter, size);
                painter.end();
                drawn = image.save(&file, "PNG");
            }
            break;
        }
        case GraphImageKind::Svg: {
            QSvgGenerator svg;
            svg.setOutputDevice(&file);
            svg.setSize(size);
            svg.setViewBox(QRect(QPoint(0, 0), size));
            svg.setResolution(kScreenDpi);
            svg.setTitle(QFileInfo(path).completeBaseName());
            QCPPainter painter;
            if (painter.begin(&svg)) {
                paintPlot(view, painter, size);
                drawn = painter.end();
            }
            break;
        }
        case GraphImageKind::Pdf: {
            QPdfWriter pdf(&file);
            pdf.setResolution(kScreenDpi);
            pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
            pdf.setPageSize(QPageSize(
                QSizeF(size.width() * 72.0 / kScreenDpi, size.height() * 72.0 / kScreenDpi),
                QPageSize::Point, QString(), QPageSize::ExactMatch));
            pdf.setTitle(QFileInfo(path).completeBaseName());
            pdf.setCreator(QStringLiteral("KL516"));
            QCPPainter painter;
            if (painter.begin(&pdf)) {
                paintPlot(view, painter, size);
                drawn = painter.end();
            }
            break;
        }
    }
    restoreScreenLayout(view);
    if (!drawn) {
        file.cancelWriting();
        return QStringLiteral("the graph could not be drawn into %1").arg(path);
    }
    if (!file.commit()) return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return QString();
}

void withOffscreenGraph(GraphState state, const std::function<void(GraphView&)>& f) {
    GraphView view;
    view.setAttribute(Qt::WA_DontShowOnScreen);
    view.resize(1152, 560);
    view.setState(std::move(state));  // taken over, not copied through its saved block
    view.perform(GraphAction::ResetImage);
    f(view);
}

QString writeGraphImage(GraphState state, const QString& path, QSize size) {
    QString error;
    withOffscreenGraph(std::move(state),
                       [&](GraphView& view) { error = writeGraphImage(view, path, size); });
    return error;
}

bool printGraphPage(GraphView& view, QPrinter& printer, const QString& caption,
                    const QDateTime& printedAt) {
    const int resolution = printer.resolution();
    printer.setResolution(kScreenDpi);
    QCPPainter painter;
    bool printed = painter.begin(&printer);
    if (printed) {
        PageWriter pages(&painter, printer, caption, printedDateTime(printedAt), 1);
        drawGraph(view, painter, pages.body().adjusted(0, pages.points(4), 0, 0));
        pages.finish();
        printed = painter.end();
    }
    printer.setResolution(resolution);
    return printed;
}

}  // namespace kl516
