#include "WindowGeometry.h"

#include <algorithm>

namespace ksv {

TWindowDecoration DecorationFrom(const QRect& outer, const QRect& inner)
{
    TWindowDecoration d;
    d.FrameX = std::max(0, ((inner.left() - outer.left()) + (outer.right() - inner.right())) / 2);
    d.FrameY = std::max(0, outer.bottom() - inner.bottom());
    d.Caption = std::max(0, (inner.top() - outer.top()) - d.FrameY);
    return d;
}

QSize MainWindowClientSize(const QSize& design, int equipmentHeight, int shift, const TWindowDecoration& decoration,
                           int workAreaHeight)
{
    int outerHeight = decoration.Caption + design.height() + 2 * decoration.FrameY - equipmentHeight;
    if (workAreaHeight < outerHeight) outerHeight = workAreaHeight;
    const int outerWidth = design.width() + 2 * decoration.FrameX - shift;
    return {std::max(1, outerWidth - 2 * decoration.FrameX),
            std::max(1, outerHeight - decoration.Caption - 2 * decoration.FrameY)};
}

QRect CentredMultimeterPanel(const QSize& sheet, int panelWidth, int designPanelHeight, int equipmentHeight)
{
    int height = designPanelHeight - equipmentHeight;
    if (height > sheet.height()) height = sheet.height() - 10;
    return {(sheet.width() - panelWidth) / 2, (sheet.height() - height) / 2 + 1, panelWidth, height};
}

bool CaptionReachable(const QRect& frame, int captionHeight, const QList<QRect>& workAreas)
{
    constexpr int kAssumedCaption = 20;
    constexpr int kGrip = 100;
    const QRect caption(frame.left(), frame.top(), frame.width(), captionHeight > 0 ? captionHeight : kAssumedCaption);
    const int grip = std::min(kGrip, caption.width());
    for (const QRect& area : workAreas) {
        const QRect shown = caption.intersected(area);
        if (shown.width() >= grip && 2 * shown.height() >= caption.height()) return true;
    }
    return false;
}

} // namespace ksv
