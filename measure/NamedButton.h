// A push button as the measurement windows make them: an object name for
// tests and automation, a name for screen readers and a tool tip.
#pragma once

#include <QPushButton>
#include <QString>

namespace ksv {

inline QPushButton* MakeNamedButton(QWidget* parent, const char* name, const QString& caption,
                                    const QString& accessible, const QString& hint)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleName(accessible);
    button->setToolTip(hint);
    return button;
}

} // namespace ksv
