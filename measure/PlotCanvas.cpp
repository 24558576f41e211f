#include "PlotCanvas.h"

#include <QFontMetricsF>
#include <QImage>
#include <algorithm>
#include <QPen>

namespace ksv {

namespace {

QPointF Anchored(const QFontMetricsF& metrics, QPointF at, const QString& text, int align)
{
    double x = at.x(), y = at.y();
    const double width = metrics.horizontalAdvance(text);
    if (align & Qt::AlignRight) x -= width;
    if (align & Qt::AlignHCenter) x -= width / 2;
    if (align & Qt::AlignTop) y += metrics.ascent();
    else if (align & Qt::AlignVCenter) y += (metrics.ascent() - metrics.descent()) / 2;
    else y -= metrics.descent();
    return {x, y};
}

QString Escaped(const QString& text) { return text.toHtmlEscaped(); }

QString Number(double v) { return QString::number(v, 'f', 1); }

} // namespace

void TPainterCanvas::Polyline(const std::vector<QPointF>& points, const QColor& color, double width, bool dashed)
{
    QPen pen(color, width);
    if (dashed) pen.setStyle(Qt::DashLine);
    painter_.setPen(pen);
    painter_.drawPolyline(points.data(), static_cast<int>(points.size()));
}

void TPainterCanvas::FillRect(const QRectF& rect, const QColor& color) { painter_.fillRect(rect, color); }

void TPainterCanvas::Segments(const std::vector<QPointF>& points, const QColor& color, double width)
{
    painter_.setPen(QPen(color, width));
    painter_.drawLines(points.data(), static_cast<int>(points.size() / 2));
}

// Set pixel by pixel in an image of their extent, then drawn at once: the
// trace's narrow vertical bands are the slowest shape for a painter that
// fills them scan line by scan line.
void TPainterCanvas::FillRects(const std::vector<QRectF>& rects, const QColor& color)
{
    if (rects.empty()) return;
    QRect extent;
    for (const QRectF& r : rects) extent |= r.toAlignedRect();
    extent &= painter_.hasClipping() ? painter_.clipBoundingRect().toAlignedRect() : extent;
    if (extent.isEmpty()) return;
    QImage image(extent.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const QRgb pixel = qPremultiply(color.rgba());
    for (const QRectF& r : rects) {
        const QRect cells = r.toAlignedRect().translated(-extent.topLeft()) & image.rect();
        for (int y = cells.top(); y <= cells.bottom(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            std::fill(line + cells.left(), line + cells.right() + 1, pixel);
        }
    }
    painter_.drawImage(extent.topLeft(), image);
}

void TPainterCanvas::FrameRect(const QRectF& rect, const QColor& color)
{
    painter_.setPen(QPen(color, 1));
    painter_.setBrush(Qt::NoBrush);
    painter_.drawRect(rect);
}

void TPainterCanvas::Text(const QPointF& at, const QString& text, const QColor& color, int align, bool bold)
{
    QFont font = painter_.font();
    font.setBold(bold);
    painter_.setFont(font);
    painter_.setPen(color);
    painter_.drawText(Anchored(QFontMetricsF(font), at, text, align), text);
}

void TPainterCanvas::Clip(const QRectF& rect) { painter_.setClipRect(rect); }

void TPainterCanvas::NoClip() { painter_.setClipping(false); }

TSvgCanvas::TSvgCanvas(QSizeF size, const QFont& font) : size_(size), font_(font) {}

void TSvgCanvas::Polyline(const std::vector<QPointF>& points, const QColor& color, double width, bool dashed)
{
    if (points.empty()) return;
    QString list;
    list.reserve(static_cast<qsizetype>(points.size() * 12));
    for (const QPointF& p : points) list += Number(p.x()) + u',' + Number(p.y()) + u' ';
    body_ += QStringLiteral("<polyline fill=\"none\" stroke=\"%1\" stroke-width=\"%2\"%3 points=\"%4\"/>\n")
                 .arg(color.name(), Number(width),
                      dashed ? QStringLiteral(" stroke-dasharray=\"6,4\"") : QString(), list.trimmed());
}

void TSvgCanvas::FillRect(const QRectF& rect, const QColor& color)
{
    body_ += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>\n")
                 .arg(Number(rect.x()), Number(rect.y()), Number(rect.width()), Number(rect.height()), color.name());
}

void TSvgCanvas::Segments(const std::vector<QPointF>& points, const QColor& color, double width)
{
    if (points.size() < 2) return;
    QString path;
    for (std::size_t i = 0; i + 1 < points.size(); i += 2)
        path += QStringLiteral("M%1,%2L%3,%4")
                    .arg(Number(points[i].x()), Number(points[i].y()), Number(points[i + 1].x()), Number(points[i + 1].y()));
    body_ += QStringLiteral("<path fill=\"none\" stroke=\"%1\" stroke-width=\"%2\" d=\"%3\"/>\n")
                 .arg(color.name(), Number(width), path);
}

void TSvgCanvas::FillRects(const std::vector<QRectF>& rects, const QColor& color)
{
    if (rects.empty()) return;
    QString path;
    for (const QRectF& r : rects)
        path += QStringLiteral("M%1,%2h%3v%4h-%3z").arg(Number(r.x()), Number(r.y()), Number(r.width()), Number(r.height()));
    body_ += QStringLiteral("<path fill=\"%1\" d=\"%2\"/>\n").arg(color.name(), path);
}

void TSvgCanvas::FrameRect(const QRectF& rect, const QColor& color)
{
    body_ += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"none\" stroke=\"%5\"/>\n")
                 .arg(Number(rect.x()), Number(rect.y()), Number(rect.width()), Number(rect.height()), color.name());
}

void TSvgCanvas::Text(const QPointF& at, const QString& text, const QColor& color, int align, bool bold)
{
    QFont font = font_;
    font.setBold(bold);
    const QPointF p = Anchored(QFontMetricsF(font), at, text, align);
    body_ += QStringLiteral("<text x=\"%1\" y=\"%2\" fill=\"%3\"%4>%5</text>\n")
                 .arg(Number(p.x()), Number(p.y()), color.name(),
                      bold ? QStringLiteral(" font-weight=\"bold\"") : QString(), Escaped(text));
}

void TSvgCanvas::Clip(const QRectF& rect)
{
    NoClip();
    ++clips_;
    body_ += QStringLiteral("<clipPath id=\"c%1\"><rect x=\"%2\" y=\"%3\" width=\"%4\" height=\"%5\"/></clipPath>\n"
                            "<g clip-path=\"url(#c%1)\">\n")
                 .arg(clips_)
                 .arg(Number(rect.x()), Number(rect.y()), Number(rect.width()), Number(rect.height()));
    clipped_ = true;
}

void TSvgCanvas::NoClip()
{
    if (clipped_) body_ += QStringLiteral("</g>\n");
    clipped_ = false;
}

QByteArray TSvgCanvas::Document() const
{
    QString doc = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" "
                                 "viewBox=\"0 0 %1 %2\" font-family=\"%3\" font-size=\"%4px\">\n"
                                 "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n")
                      .arg(Number(size_.width()), Number(size_.height()), Escaped(font_.family()),
                           Number(QFontMetricsF(font_).height() * 0.8));
    doc += body_;
    if (clipped_) doc += QStringLiteral("</g>\n");
    doc += QStringLiteral("</svg>\n");
    return doc.toUtf8();
}

} // namespace ksv
