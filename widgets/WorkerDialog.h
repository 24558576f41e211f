// The two workers' message dialogs: one builder for both, the kind's icon at
// the top left, the adjusted look (12 pt, the kind's colours), the standard
// buttons of a set in their order, and the modal run (the caller turns the
// window's Escape handling off, see WorkerView.h). What differs between the two looks is a
// TWorkerDialogLook.
#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

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

// What differs between the two workers' dialogs.
struct TWorkerDialogLook {
    // The discovery's way: laid out as the standard message box (the text
    // beside the icon, wrapped at 400, the standard buttons in a row), then
    // widened to the adjusted width, the captions given to the buttons and
    // each centred below the text. Otherwise the measurement's way: the text
    // over the whole width and the buttons laid out by ThreadDialogLayout,
    // the dialog of fixed size and the confirmation kind coloured too.
    bool StandardThenWidened;
    const char* DialogName; // object names; empty: none
    const char* IconName;
    const char* LabelName;
};
inline constexpr TWorkerDialogLook kDiscoveryDialogLook{true, "DiscoveryMessageDialog", "Image", "Message"};
inline constexpr TWorkerDialogLook kMeasurementDialogLook{false, "", "", "ThreadMessageLabel"};

// Builds the dialog of `request` in `look`, centred over `parent` when
// there is one. Not shown; the caller runs it.
std::unique_ptr<QDialog> BuildWorkerDialog(const TModalRequest& request, const TWorkerDialogLook& look,
                                           QWidget* parent);

// A request of the worker dialogs' kind, without its builder.
TModalRequest WorkerRequest(const QString& caption, TDialogKind kind, int buttons, const QStringList& buttonCaptions,
                            const QString& text);

// Builds and shows the dialog modally over `parent`; returns its result.
int ShowWorkerMessage(const TWorkerDialogLook& look, const QString& caption, TDialogKind kind, int buttons,
                      const QStringList& buttonCaptions, const QString& text, QWidget* parent);

} // namespace ksv
