#pragma once
// Scrolling a dialog with the mouse wheel must not change the choice that
// happens to pass under the pointer: a combo box or a spin box takes the
// wheel only while it has the keyboard focus, and the wheel never gives it
// the focus. Unfocused, the wheel goes on to what holds it (a scroll area).

class QWidget;

void takeWheelOnlyWhenFocused(QWidget* control);
