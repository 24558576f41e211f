#include "ThreadDialogLayout.h"

#include <algorithm>

namespace ksv {

TThreadDialogLayout ThreadDialogLayout(const TThreadDialogLayoutInput& in)
{
    TThreadDialogLayout out;
    const int n = std::max(in.ButtonCount, 0);
    out.ButtonWidth = std::max(in.WidestCaptionWidth + 20, 100);
    out.ButtonHeight = in.CaptionTextHeight + 15;
    out.ButtonTop = in.LabelTop + in.LabelHeight + 10;
    for (int i = 0; i < n; ++i)
        out.ButtonLefts.push_back((in.DialogWidth - n * out.ButtonWidth) * (i + 1) / (n + 1) + i * out.ButtonWidth);
    const int lastBottom = n > 0 ? out.ButtonTop + out.ButtonHeight : in.LabelTop + in.LabelHeight;
    out.DialogHeight = in.CaptionBarHeight + lastBottom + 2 * in.FrameHeight + 10;
    return out;
}

} // namespace ksv
