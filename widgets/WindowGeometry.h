// The size rules of the main window, as plain arithmetic.
//
// The form is designed at a client size of 1168 x 866 with the (hidden)
// equipment panel in it and with two lamps right of Bevel3. At start the
// window drops both: it is lower by the equipment panel's height, narrower
// by Shift, and never taller than the work area of its monitor. The rules
// are stated for the outer window (caption and frame included); Qt sizes
// the client area, so the decoration is added and taken off again here.
#pragma once

#include <QList>
#include <QRect>
#include <QSize>

namespace ksv {

struct TWindowDecoration {
    int Caption = 0; // caption height, above the upper frame edge
    int FrameX = 0;  // width of the left and of the right frame edge
    int FrameY = 0;  // height of the lower (and upper) frame edge
};

// Decoration of a window from its outer (frame) and inner (client) rectangles.
TWindowDecoration DecorationFrom(const QRect& outer, const QRect& inner);

// Client size: outer height = caption + design height + 2 frames - equipment
// height, at most the work-area height; outer width = design width + 2
// frames - shift.
QSize MainWindowClientSize(const QSize& design, int equipmentHeight, int shift, const TWindowDecoration& decoration,
                           int workAreaHeight);

// MultimeterLMDSimplePanel in its page: lower by the equipment panel's
// height (10 pixels lower than the page if it is still taller), centred
// with integer halves (the top one pixel further down).
QRect CentredMultimeterPanel(const QSize& sheet, int panelWidth, int designPanelHeight, int equipmentHeight);

// Whether a window with the outer rectangle `frame` shows enough of its
// caption (the strip `captionHeight` high along its top; 20 pixels when the
// platform tells none) inside one of `workAreas` for the user to take hold
// of it: at least half its height, and 100 pixels of its width (all of it
// when the window is narrower).
bool CaptionReachable(const QRect& frame, int captionHeight, const QList<QRect>& workAreas);

} // namespace ksv
