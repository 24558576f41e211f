#include "ControlEnabling.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QTabWidget>
#include <QWidget>

namespace ksv {

namespace {

bool IsComposite(QWidget* control)
{
    return qobject_cast<QAbstractButton*>(control) || qobject_cast<QComboBox*>(control) ||
           qobject_cast<QLineEdit*>(control) || qobject_cast<QAbstractScrollArea*>(control) ||
           qobject_cast<QAbstractSpinBox*>(control) || qobject_cast<QLabel*>(control);
}

// The controls placed inside `control` by the form: a page control's pages,
// a container's child controls. The toolkit's own parts of a composite
// control (a page control's tab bar and page stack, a list's scroll bars) are
// not controls of the form: enabling the composite covers them, and
// disabling them one by one would leave them disabled for good.
QList<QWidget*> DesignedChildren(QWidget* control)
{
    QList<QWidget*> children;
    if (auto* pages = qobject_cast<QTabWidget*>(control)) {
        for (int i = 0; i < pages->count(); ++i) children.append(pages->widget(i));
        return children;
    }
    if (IsComposite(control)) return children;
    for (QWidget* child : control->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!child->isWindow()) children.append(child); // pop-ups are windows of their own
    return children;
}

} // namespace

void SetControlsEnabled(QWidget* control, bool enabled)
{
    if (!control) return;
    control->setEnabled(enabled);
    for (QWidget* child : DesignedChildren(control)) {
        if (!DesignedChildren(child).isEmpty()) SetControlsEnabled(child, enabled);
        child->setEnabled(enabled);
    }
}

void DisableRecursively(QWidget* widget)
{
    widget->setEnabled(false);
    for (QWidget* child : widget->findChildren<QWidget*>(Qt::FindChildrenRecursively)) child->setEnabled(false);
}

} // namespace ksv
