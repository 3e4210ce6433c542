#pragma once
// The "Пароль PDF" form asked when a file opens only with a password.

#include <QByteArray>
#include <QString>

#include <optional>

class QWidget;

// Modal. `problem` is shown above the field when not empty (a wrong password
// before). The typed password, or nothing when the user cancelled; with the
// box ticked it is kept for `path` until the program ends.
std::optional<QByteArray> askDocumentPassword(QWidget* parent, const QString& fileName, const QString& problem,
                                              const QString& path);

// Passwords the user asked to keep for this run of the program, by file.
std::optional<QByteArray> rememberedDocumentPassword(const QString& path);
