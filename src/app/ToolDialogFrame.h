#pragma once
// The frame every modeless tool dialog of the window shares: a child dialog
// styled as "AppDialog" that deletes itself on close, shown centred on the
// window's frame.

#include <QSize>
#include <QString>

class QDialog;
class QWidget;

QDialog* newToolDialog(QWidget* owner, const QString& title, QSize size);
void showCentredOn(QWidget* owner, QDialog* dialog);
