#pragma once
// A file opened with a password is saved locked the same way: pdfium writes
// the edited document in the clear, and qpdf encrypts that again with the
// original file's own parameters (algorithm, key length, both passwords and
// the permissions), so the saved file opens with the password it had.

#include <QByteArray>
#include <QString>

// `plain`: the edited document without encryption; `original`: the file as it
// was opened, read with `password`. False with a message when either cannot
// be read or the rewrite fails; `locked` is then left alone.
bool encryptLikeOriginal(const QByteArray& original, const QByteArray& password, const QByteArray& plain,
                         bool objectStreams, QByteArray* locked, QString* error);
