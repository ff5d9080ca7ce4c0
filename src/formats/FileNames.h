#pragma once

#include <QString>

namespace kl516 {

// The extension of the first pattern of a file dialog filter, without the dot and in lower
// case: "Graph file (*.ghf)" gives "ghf", "TXT file(*.txt,data seperated by tab) (*.TXT)"
// gives "txt". Empty when the filter has no "*.ext" pattern (such as "*").
QString filterExtension(const QString& filter);

// A file name typed without any extension gets the selected filter's, so that the file shows
// under that filter and is written in its format; a name with an extension stays as it is.
QString withFilterExtension(const QString& path, const QString& selectedFilter);

}  // namespace kl516
