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

} // namespace ksv
