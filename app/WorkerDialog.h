// What the two workers' message dialogs share: the kind's icon at the top
// left, the adjusted look (12 pt, the kind's colours), the standard buttons
// of a set in their order, and the modal run with the window's Escape
// handling off. Each worker keeps its own layout of text and buttons.
#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include "ModalDialogs.h"

namespace ksv {

inline constexpr int kWorkerDialogMargin = 16;
inline constexpr int kWorkerDialogIcon = 32;
inline constexpr int kWorkerDialogWidth = 570;
inline constexpr int kWorkerDialogHeight = 600;

// Puts the kind's standard icon at the top-left margin (named `objectName`
// when given); returns where the text starts. A kind without an icon
// leaves the margin.
int PlaceKindIcon(QDialog& dialog, TDialogKind kind, const QString& objectName = {});

// Font size 12 points; the error kind in white on RGB (255, 128, 32), and,
// when `confirmationColours`, the confirmation kind in black on RGB
// (206, 249, 255). Other kinds keep the standard look.
void ApplyWorkerLook(QDialog& dialog, TDialogKind kind, bool confirmationColours);

// The standard buttons of `buttons` (OK when 0), in the order a message box
// shows them.
QList<int> StandardButtonsOf(int buttons);

// Runs `request` through the one modal gateway with the window's shortcut
// hook off, so that Escape cannot clear the window's guard under the dialog.
int ShowWorkerDialog(const TModalRequest& request);

} // namespace ksv
