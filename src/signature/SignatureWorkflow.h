#pragma once
// The window's one way into signing: the signature dialog with its certificate
// list, signing run and visible stamp. The window lends the dialog what it
// needs of itself through SignatureWindowLink.

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

class PdfDocument;

struct SignatureWindowLink {
  QPointer<QWidget> window;  // the dialog's parent; shown and raised when a shell result opens
  bool allowSignatures = true;
  std::function<PdfDocument*()> activeDocument;  // null when no tab is open
  std::function<void(const QString&)> openFile;
  std::function<void(const QString&)> showStatus;
  // Writes the block edits still open on the active page into the document
  // (a placed facsimile, edited text); false when that failed and was said.
  std::function<bool()> applyPendingEdits;
};

// Runs the modal signature dialog; returns when it is closed.
void runSignatureDialog(const SignatureWindowLink& link, bool fromShellAction, const QStringList& batchFiles,
                        const QStringList& skippedFiles, const QString& path);

// The executable started in the worker modes: this program, unless a test
// points it elsewhere.
QString signingWorkerProgram();
void setSigningWorkerProgram(const QString& program);

// The stamp template editor; returns the saved template's id, empty when cancelled.
QString editSignatureStampTemplate(QWidget* parent, const QString& templateId);

// Facsimile store, picker and size dialog.
#include "Facsimiles.h"
