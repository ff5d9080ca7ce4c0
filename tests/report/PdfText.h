#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <vector>

namespace kl516::test {

// What poppler's pdftotext reads back from a PDF: the words with their boxes (in points, from
// the page's top left) page by page, or the text laid out.
struct PdfWord {
    QString text;
    double left, top, right, bottom;
    double height() const { return bottom - top; }
    bool overlaps(const PdfWord& o) const {
        // Boxes that merely touch do not overlap; a tenth of a point is rounding.
        return left < o.right - 0.1 && o.left < right - 0.1 && top < o.bottom - 0.1 &&
               o.top < bottom - 0.1;
    }
};

struct PdfPage {
    double width = 0, height = 0;
    std::vector<PdfWord> words;
    QStringList texts() const {
        QStringList out;
        for (const PdfWord& w : words) out << w.text;
        return out;
    }
};

inline QString pdftotext(const QStringList& arguments) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), arguments);
    EXPECT_TRUE(p.waitForFinished(60000)) << "pdftotext (poppler-utils) is needed";
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline std::vector<PdfPage> pdfPages(const QString& pdf) {
    static const QRegularExpression tag(QStringLiteral(
        "<page width=\"([0-9.]+)\" height=\"([0-9.]+)\">|<word xMin=\"([-0-9.]+)\" "
        "yMin=\"([-0-9.]+)\" xMax=\"([-0-9.]+)\" yMax=\"([-0-9.]+)\">([^<]*)</word>"));
    std::vector<PdfPage> pages;
    auto it = tag.globalMatch(pdftotext({QStringLiteral("-bbox"), pdf, QStringLiteral("-")}));
    while (it.hasNext()) {
        const auto m = it.next();
        if (!m.captured(1).isEmpty()) {
            pages.push_back({m.captured(1).toDouble(), m.captured(2).toDouble(), {}});
        } else if (!pages.empty()) {
            QString text = m.captured(7);
            text.replace(QStringLiteral("&amp;"), QStringLiteral("&"))
                .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
                .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
                .replace(QStringLiteral("&quot;"), QStringLiteral("\""));
            pages.back().words.push_back({text, m.captured(3).toDouble(), m.captured(4).toDouble(),
                                          m.captured(5).toDouble(), m.captured(6).toDouble()});
        }
    }
    return pages;
}

// The text of every page, laid out as on paper.
inline QStringList pdfLayoutPages(const QString& pdf) {
    QStringList out =
        pdftotext({QStringLiteral("-layout"), pdf, QStringLiteral("-")}).split(QChar('\f'));
    if (!out.isEmpty() && out.last().trimmed().isEmpty()) out.removeLast();
    return out;
}

}  // namespace kl516::test
