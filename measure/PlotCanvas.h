// What the strip chart paints with: lines, filled rectangles and text. One
// implementation paints on a QPainter (screen and PNG), the other writes the
// same drawing as SVG, so the exported picture is the one on the screen.
// Window's thread.
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <vector>

namespace ksv {

class TPlotCanvas {
public:
    virtual ~TPlotCanvas() = default;
    virtual void Polyline(const std::vector<QPointF>& points, const QColor& color, double width, bool dashed) = 0;
    virtual void FillRect(const QRectF& rect, const QColor& color) = 0;
    // Separate line segments, from points[0] to points[1], points[2] to points[3], ...
    virtual void Segments(const std::vector<QPointF>& points, const QColor& color, double width) = 0;
    // Many filled rectangles of one colour at once.
    virtual void FillRects(const std::vector<QRectF>& rects, const QColor& color) = 0;
    virtual void FrameRect(const QRectF& rect, const QColor& color) = 0;
    // Text with its anchor at `at`: `align` is a combination of Qt::AlignLeft,
    // AlignRight, AlignHCenter and AlignTop, AlignBottom, AlignVCenter.
    virtual void Text(const QPointF& at, const QString& text, const QColor& color, int align, bool bold = false) = 0;
    virtual void Clip(const QRectF& rect) = 0;
    virtual void NoClip() = 0;
    void Line(QPointF a, QPointF b, const QColor& color, double width = 1.0, bool dashed = false)
    {
        Polyline({a, b}, color, width, dashed);
    }
};

class TPainterCanvas : public TPlotCanvas {
public:
    explicit TPainterCanvas(QPainter& painter) : painter_(painter) {}
    void Polyline(const std::vector<QPointF>& points, const QColor& color, double width, bool dashed) override;
    void FillRect(const QRectF& rect, const QColor& color) override;
    void Segments(const std::vector<QPointF>& points, const QColor& color, double width) override;
    void FillRects(const std::vector<QRectF>& rects, const QColor& color) override;
    void FrameRect(const QRectF& rect, const QColor& color) override;
    void Text(const QPointF& at, const QString& text, const QColor& color, int align, bool bold) override;
    void Clip(const QRectF& rect) override;
    void NoClip() override;

private:
    QPainter& painter_;
};

// Collects the drawing as an SVG document of the given size.
class TSvgCanvas : public TPlotCanvas {
public:
    TSvgCanvas(QSizeF size, const QFont& font);
    void Polyline(const std::vector<QPointF>& points, const QColor& color, double width, bool dashed) override;
    void FillRect(const QRectF& rect, const QColor& color) override;
    void Segments(const std::vector<QPointF>& points, const QColor& color, double width) override;
    void FillRects(const std::vector<QRectF>& rects, const QColor& color) override;
    void FrameRect(const QRectF& rect, const QColor& color) override;
    void Text(const QPointF& at, const QString& text, const QColor& color, int align, bool bold) override;
    void Clip(const QRectF& rect) override;
    void NoClip() override;
    // The whole document, UTF-8.
    QByteArray Document() const;

private:
    QString body_;
    QSizeF size_;
    QFont font_;
    int clips_ = 0;
    bool clipped_ = false;
};

} // namespace ksv
