#pragma once

#include <memory>

#include "report/GraphDrawing.h"

class QCoreApplication;

namespace kl516 {

// Draws with a graph control that is laid out at a graph window's size and never shown: the
// command-line tool's pictures and reports.
class OffscreenGraphDrawing : public GraphDrawing {
  public:
    QString writeImage(GraphState state, const QString& path, QSize size) const override;
    QString writeReport(GraphState state, const ReportRequest& request,
                        const QString& path) const override;
};

// The graphical application the drawing needs, on the offscreen platform unless another is
// named (QT_QPA_PLATFORM), so that no display is needed. argc must outlive it.
std::unique_ptr<QCoreApplication> makeDrawingApplication(int& argc, char** argv);

}  // namespace kl516
