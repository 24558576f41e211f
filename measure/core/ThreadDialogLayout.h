// Where the measurement thread's message dialog puts its buttons and how
// tall and where it is: plain arithmetic, so it is tested without a screen.
#pragma once

#include <vector>

namespace ksv {

struct TThreadDialogLayoutInput {
    int DialogWidth = 570;
    int ButtonCount = 1;
    int WidestCaptionWidth = 0; // text width of the widest button caption
    int CaptionTextHeight = 0;  // text height of a button caption
    int LabelTop = 0, LabelHeight = 0;
    int CaptionBarHeight = 0; // the window's title bar
    int FrameHeight = 0;      // one window frame edge
};

struct TThreadDialogLayout {
    int ButtonWidth = 0, ButtonHeight = 0, ButtonTop = 0;
    std::vector<int> ButtonLefts;
    int DialogHeight = 0; // outer height: title bar and frames included
};

// Button width = widest caption + 20, at least 100; the i-th of n buttons at
// left = (W - n bw) (i + 1) / (n + 1) + i bw, 10 below the label; height =
// caption height + 15. Dialog height = title bar + last button's bottom +
// 2 frames + 10.
TThreadDialogLayout ThreadDialogLayout(const TThreadDialogLayoutInput& in);

// Left (or top) that centres `size` over a window at `mainPos` of `mainSize`.
inline int CentredOver(int mainPos, int mainSize, int size) { return mainPos + (mainSize - size) / 2; }

} // namespace ksv
