#include "formats/FileNames.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace kl516 {

QString filterExtension(const QString& filter) {
    // The patterns are in the last parentheses; descriptions may hold "(*.txt,...)" of their own.
    const qsizetype open = filter.lastIndexOf(QLatin1Char('('));
    const QString patterns = open >= 0 ? filter.mid(open) : filter;
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9]+)"));
    const QRegularExpressionMatch m = pattern.match(patterns);
    return m.hasMatch() ? m.captured(1).toLower() : QString();
}

QString withFilterExtension(const QString& path, const QString& selectedFilter) {
    if (path.isEmpty()) return path;
    const QString name = QFileInfo(path).fileName();
    // ".profile" is a name without an extension too.
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0 && dot < name.size() - 1) return path;
    const QString extension = filterExtension(selectedFilter);
    if (extension.isEmpty()) return path;
    QString out = path;
    if (out.endsWith(QLatin1Char('.'))) out.chop(1);
    return out + QLatin1Char('.') + extension;
}

}  // namespace kl516
