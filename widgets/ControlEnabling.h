// Enabling and disabling a control together with the controls the form put
// inside it, each of them one by one, so that each keeps its own state.
#pragma once

class QWidget;

namespace ksv {

// Sets `control` and, recursively, the controls inside it. A page control's
// pages count as its inside, a composite control's own parts (a tab bar,
// scroll bars) do not.
void SetControlsEnabled(QWidget* control, bool enabled);

// Disables `widget` and every widget inside it, the toolkit's own parts too.
void DisableRecursively(QWidget* widget);

} // namespace ksv
