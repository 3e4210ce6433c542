#pragma once
// Drives the modal signature dialog of a window offscreen: finds its widgets
// by their place in the dialog, waits for the certificate list and answers
// the messages that follow a signing run.

#include "AppTestSupport.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace signaturetest {

// The per-process folders the dialog and its workers use: application data
// (templates, journal) and settings; the temporary folder is set per test.
void useIsolatedFolders();
// A fresh private temporary folder for this test (TMPDIR), to see what the
// run leaves behind.
QString useFreshTemporaryFolder(QTemporaryDir& folder);
// Back to the temporary folder the process started with; call before the
// folder above goes.
void restoreTemporaryFolder();
// The names of the signing run's temporary files still present there.
QStringList leftoverSigningFiles(const QString& folder);

// A widget of a group box's grid: (row, column), or the widget number
// `index` of the row layout placed there.
QWidget* gridCell(QDialog* dialog, const QString& groupTitle, int row, int column, int index = 0);
template <typename T>
T* cell(QDialog* dialog, const QString& groupTitle, int row, int column, int index = 0) {
  return qobject_cast<T*>(gridCell(dialog, groupTitle, row, column, index));
}

QDialog* signatureDialog();
bool certificateSearchDone(QDialog* dialog);
// Chooses the combo's entry with this item data by key presses.
void chooseByKeys(QComboBox* combo, const QVariant& data);
void typeInto(QLineEdit* edit, const QString& text);
void clickButton(QDialog* dialog, const QString& text);

// The key-file fields of the dialog, as typed by the user.
struct KeyFiles {
  QString certificate, privateKey, keyPassword, pkcs12, pkcs12Password;
};
void fillKeyFiles(QDialog* dialog, const KeyFiles& keys);

// Signs from the window's dialog in one mode and answers the message that
// follows (titled `expectedTitle`); the dialog is cancelled when it stays
// open. `beforeSigning` runs before "Подписать" is clicked (answers to
// questions can be armed there), `whileBusy` right after.
std::shared_ptr<apptest::DialogSeen> signFromWindow(MainWindow& window, int mode, const KeyFiles& keys,
                                                    const QString& expectedTitle,
                                                    const std::function<void(QDialog*)>& beforeSigning = {},
                                                    const std::function<void(QDialog*)>& whileBusy = {});

// Runs `drive` once the dialog is up and its certificate search has ended;
// returns after the dialog has closed. False when the dialog never came.
bool runSignatureDialog(MainWindow& window, const std::function<void(QDialog*)>& drive,
                        const QString& path = QString());
// The same, with the dialog opened by `open` (a ribbon command, a shell action).
bool driveSignatureDialog(const std::function<void()>& open, const std::function<void(QDialog*)>& drive);

}  // namespace signaturetest
