#include "report/ui/PageWriter.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <algorithm>

namespace kl516 {

namespace {

constexpr double kColumnGapPt = 9;  // between the widest cell of a column and the next column
constexpr double kMinTablePt = 5;
constexpr double kDecorationPt = 8;

}  // namespace

QFont PageWriter::textFont(double pointSize, bool bold) {
    QFont f = QFontDatabase::hasFamily(QStringLiteral("DejaVu Sans"))
                  ? QFont(QStringLiteral("DejaVu Sans"))
                  : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    return f;
}

TableLayout layOutTable(QPagedPaintDevice& device, QFont font, const QStringList& header,
                        const std::vector<QStringList>& rows, double maxWidth) {
    qsizetype columns = header.size();
    for (const QStringList& r : rows) columns = std::max(columns, r.size());
    std::vector<double> widths(size_t(columns), 0.0);
    const QFontMetricsF fm(font, &device);
    auto measure = [&](const QStringList& cells) {
        for (qsizetype c = 0; c < cells.size(); ++c)
            if (!cells[c].isEmpty())
                widths[size_t(c)] = std::max(widths[size_t(c)], fm.horizontalAdvance(cells[c]));
    };
    for (const QStringList& r : rows) measure(r);
    {
        // Column titles print bold.
        QFont bold = font;
        bold.setBold(true);
        const QFontMetricsF boldMetrics(bold, &device);
        for (qsizetype c = 0; c < header.size(); ++c)
            widths[size_t(c)] =
                std::max(widths[size_t(c)], boldMetrics.horizontalAdvance(header[c]));
    }
    const double dpi = device.logicalDpiX();
    double gap = kColumnGapPt * dpi / 72.0;
    double total = 0;
    for (size_t c = 0; c < widths.size(); ++c)
        total += widths[c] + (c + 1 < widths.size() ? gap : 0);
    double factor = 1;
    if (total > maxWidth && total > 0) {
        // Narrower in a smaller font: every width shrinks with the font's size.
        factor = std::max(maxWidth / total, kMinTablePt / font.pointSizeF());
        font.setPointSizeF(font.pointSizeF() * factor);
    }
    TableLayout l;
    l.font = font;
    const QFontMetricsF scaled(font, &device);
    // Measured once in the larger font; the smaller one's texts are at most that much narrower
    // than the factor says, which the gap (shrunk only half as much) takes up.
    gap *= (1 + factor) / 2;
    double x = 0;
    for (size_t c = 0; c < widths.size(); ++c) {
        l.left.push_back(x);
        x += widths[c] * factor + gap;
    }
    l.width = widths.empty() ? 0 : x - gap;
    l.lineHeight = scaled.height() * 1.15;
    l.ascent = scaled.ascent();
    return l;
}

PageWriter::PageWriter(QPainter* painter, QPagedPaintDevice& device, const QString& caption,
                       const QString& printedAt, int totalPages)
    : painter_(painter),
      device_(device),
      caption_(caption),
      printedAt_(printedAt),
      total_(totalPages),
      dpi_(device.logicalDpiY()) {
    page_rect_ = QRectF(0, 0, device.width(), device.height());
    const double band = points(kDecorationPt * 2.6);
    body_ = page_rect_.adjusted(0, band, 0, -band);
    y_ = body_.top();
    decorate();
}

void PageWriter::decorate() {
    if (!painter_) return;
    const QFont f = textFont(kDecorationPt);
    painter_->save();
    painter_->setFont(f);
    painter_->setPen(Qt::black);
    const QFontMetricsF fm(f, &device_);
    const double top = page_rect_.top() + fm.ascent();
    const QString right =
        printedAt_.isEmpty() ? QString() : QStringLiteral("Printed ") + printedAt_;
    const double rightWidth = fm.horizontalAdvance(right);
    // The caption gives way to the date: cut with an ellipsis rather than run into it.
    const QString caption =
        fm.elidedText(caption_, Qt::ElideRight, page_rect_.width() - rightWidth - points(12));
    painter_->drawText(QPointF(page_rect_.left(), top), caption);
    painter_->drawText(QPointF(page_rect_.right() - rightWidth, top), right);
    const double ruleY = page_rect_.top() + fm.height() + points(2);
    painter_->setPen(QPen(Qt::black, points(0.5)));
    painter_->drawLine(QPointF(page_rect_.left(), ruleY), QPointF(page_rect_.right(), ruleY));
    const QString footer = total_ > 0 ? QStringLiteral("Page %1 of %2").arg(page_).arg(total_)
                                      : QStringLiteral("Page %1").arg(page_);
    painter_->drawText(QPointF(page_rect_.center().x() - fm.horizontalAdvance(footer) / 2,
                               page_rect_.bottom() - fm.descent()),
                       footer);
    painter_->restore();
}

void PageWriter::ensure(double height) {
    if (y_ + height > body_.bottom() && y_ > body_.top()) newPage();
}

void PageWriter::newPage() {
    if (painter_) device_.newPage();
    ++page_;
    y_ = body_.top();
    decorate();
}

int PageWriter::finish() {
    return page_;
}

void PageWriter::line(const QFont& font, const QString& text, double indent) {
    const QFontMetricsF fm(font, &device_);
    const double h = fm.height() * 1.2;
    ensure(h);
    if (painter_) {
        painter_->setFont(font);
        painter_->setPen(Qt::black);
        painter_->drawText(QPointF(body_.left() + indent, y_ + fm.ascent()), text);
    }
    y_ += h;
}

void PageWriter::table(const QString& title, const TableLayout& layout, const QStringList& header,
                       const std::vector<QStringList>& rows) {
    const QFont titleFont = textFont(layout.font.pointSizeF() * 1.2, true);
    const QFontMetricsF titleMetrics(titleFont, &device_);
    QFont headerFont = layout.font;
    headerFont.setBold(true);
    const double h = layout.lineHeight;
    // A title keeps the column titles and a first row with it.
    ensure((title.isEmpty() ? 0 : titleMetrics.height() * 1.3) + 2 * h);
    if (!title.isEmpty()) line(titleFont, title);
    auto drawCells = [&](const QStringList& cells) {
        for (qsizetype c = 0; c < cells.size() && size_t(c) < layout.left.size(); ++c)
            if (!cells[c].isEmpty())
                painter_->drawText(
                    QPointF(body_.left() + layout.left[size_t(c)], y_ + layout.ascent), cells[c]);
    };
    auto drawHeader = [&] {
        if (header.isEmpty()) return;
        if (painter_) {
            painter_->setFont(headerFont);
            painter_->setPen(Qt::black);
            drawCells(header);
            painter_->setPen(QPen(Qt::black, points(0.5)));
            const double ruleY = y_ + h - points(1);
            painter_->drawLine(QPointF(body_.left(), ruleY),
                               QPointF(body_.left() + layout.width, ruleY));
            painter_->setFont(layout.font);
        }
        y_ += h;
    };
    drawHeader();
    if (painter_) painter_->setFont(layout.font);
    for (const QStringList& row : rows) {
        if (y_ + h > body_.bottom()) {
            newPage();
            drawHeader();
        }
        if (painter_) drawCells(row);
        y_ += h;
    }
    if (painter_) painter_->setPen(Qt::black);
    y_ += h / 2;
}

}  // namespace kl516
