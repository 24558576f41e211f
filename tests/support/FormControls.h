// The main window's form controls as the tests reach them: by their object
// names, the way a tool outside the program finds them. The form itself is
// private to the window; the control's type is the form's own. The window's
// parts (Device(), Multimeter(), Settings()) come with it.
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <type_traits>

#include "DevicePanel.h"
#include "Ksv27mainform.h"
#include "MultimeterPage.h"
#include "SettingsController.h"

namespace ksv::test {

inline const QObject& FormRoot(const QObject& window) { return window; }
inline const QObject& FormRoot(const QObject* window) { return *window; }
template <class T> const QObject& FormRoot(const std::unique_ptr<T>& window) { return *window; }

template <class T> T* FormControl(const QObject& window, const char* name)
{
    return window.findChild<T*>(QString::fromLatin1(name));
}

} // namespace ksv::test

// FORM_UI(window, StartMultimeterLMDSpeedButton): that control of `window`.
#define FORM_UI(window, name) \
    ksv::test::FormControl<std::remove_pointer_t<decltype(Ui::TMainForm::name)>>(ksv::test::FormRoot(window), #name)
