#pragma once

#include <QFont>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QPainter;
class QPagedPaintDevice;

namespace kl516 {

// A table laid out for one paint device: each column starts where the widest cell (or title)
// of the column before it ends, plus a gap. Widths are measured in the table's font on the
// device, so the columns line up in whatever font the device resolves.
struct TableLayout {
    QFont font;
    std::vector<double> left;  // each column's left edge, from the table's left
    double width = 0;          // the whole table
    double lineHeight = 0;
    double ascent = 0;
};

// Measures header and rows in `font` on `device`; a table wider than maxWidth gets a smaller
// font (down to 5 points) so that it fits.
TableLayout layOutTable(QPagedPaintDevice& device, QFont font, const QStringList& header,
                        const std::vector<QStringList>& rows, double maxWidth);

// Writes pages top to bottom: a header line (caption left, date printed right) and a footer
// "Page n of m" on every page, and between them text lines, pictures and tables that go on
// to the next page when the page is full. Without a painter nothing is drawn: the same
// sequence of calls then only counts the pages, which gives m for the real run.
class PageWriter {
  public:
    PageWriter(QPainter* painter, QPagedPaintDevice& device, const QString& caption,
               const QString& printedAt, int totalPages);

    // Device units of a length in points.
    double points(double pt) const { return pt * dpi_ / 72.0; }
    // The space between header and footer.
    const QRectF& body() const { return body_; }
    double y() const { return y_; }
    void advance(double height) { y_ += height; }
    double remaining() const { return body_.bottom() - y_; }
    // Starts a new page unless `height` still fits on this one.
    void ensure(double height);
    void newPage();
    // Draws the last page's footer. Returns the number of pages.
    int finish();
    int page() const { return page_; }
    QPainter* painter() const { return painter_; }

    // A line of text in `font` at the left of the body (plus indent); wraps nothing.
    void line(const QFont& font, const QString& text, double indent = 0);
    // A table: a title line (may be empty), the column titles repeated on every page, the rows.
    void table(const QString& title, const TableLayout& layout, const QStringList& header,
               const std::vector<QStringList>& rows);

    static QFont textFont(double pointSize, bool bold = false);

  private:
    void decorate();  // header and footer of the current page

    QPainter* painter_;
    QPagedPaintDevice& device_;
    QString caption_, printedAt_;
    int total_;
    double dpi_;
    QRectF page_rect_, body_;
    double y_ = 0;
    int page_ = 1;
};

}  // namespace kl516
