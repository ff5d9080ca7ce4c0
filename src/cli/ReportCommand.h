#pragma once

#include <QTextStream>
#include <functional>
#include <vector>

#include "cli/AssessCommand.h"
#include "cli/CommandLine.h"
#include "report/GraphDrawing.h"

namespace kl516 {

// kl516-cli report IN --out FILE.pdf and kl516-cli plot IN --out FILE.{png,svg,pdf}: the
// measurement report and the picture of the graph of a collection file's set, a point or
// table text file or a graph file, drawn as a graph window draws it by `drawing`; without one
// (a tool built without the graphical libraries) they say so and fail.
//
// Exit status: 0 written; 1 a file could not be read or written; 2 wrong arguments.
int runReportCommand(const CliArguments& arguments, QTextStream& out, QTextStream& err,
                     const ReadCollectionSeries& readCollectionSeries, const GraphDrawing* drawing);
int runPlotCommand(const CliArguments& arguments, QTextStream& out, QTextStream& err,
                   const ReadCollectionSeries& readCollectionSeries, const GraphDrawing* drawing);

}  // namespace kl516
