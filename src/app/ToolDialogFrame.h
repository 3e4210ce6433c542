#pragma once
// The frame every modeless tool dialog of the window shares: a child dialog
// styled as "AppDialog" that deletes itself on close, shown centred on the
// window's frame.

#include <QSize>
#include <QString>

#include <utility>

class QBoxLayout;
class QDialog;
class QPushButton;
class QWidget;

QDialog* newToolDialog(QWidget* owner, const QString& title, QSize size);
void showCentredOn(QWidget* owner, QDialog* dialog);

// The bottom row: a stretch, then a secondary and a primary button; the
// caller connects them.
std::pair<QPushButton*, QPushButton*> addDialogButtonRow(QBoxLayout* layout, const QString& secondary,
                                                         const QString& primary);
