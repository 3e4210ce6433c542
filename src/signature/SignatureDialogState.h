#pragma once
// The signature dialog's state for the length of its modal run, and the
// handlers that share it: building and busy state (SignatureDialog.cpp), the
// certificate search (SignatureCertificateSearch.cpp) and the signing run
// (SignatureSigningRun.cpp).

#include "SignatureWorkflow.h"
#include "StampedPdfCopy.h"
#include "core/SignatureRequest.h"
#include "core/SignatureResult.h"
#include "core/SigningCertificate.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class BusyRing;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class OwnedTemporaryFolder;
class MemoryOnlyFile;

// Refuses to close while a signing run is under way: the worker's answer
// still has to be handled.
class SignatureDialogWindow : public QDialog {
 public:
  explicit SignatureDialogWindow(QWidget* parent) : QDialog(parent) {}
  std::function<bool()> isBusy;
  void reject() override;
};

// One signing run, shared by the run's start and the worker's two slots.
struct AsyncSignResult {
  AsyncSignResult();
  ~AsyncSignResult();
  SignatureRequest request;
  SignatureResult result;
  QString stampedPdfPath;
  // The copy of the open document lives in memory only; its private folder
  // holds just a link to it, named as a PDF.
  std::unique_ptr<MemoryOnlyFile> sourceInMemory;
  std::unique_ptr<OwnedTemporaryFolder> temporarySource;
  QString errorTitle;
  QString errorText;
  SigningCertificate signer;
  SignatureStampOptions stamp;
  // Removes the temporary copy now.
  void removeTemporaryFiles();
  // A stamped copy whose signing failed would show a signature that does not
  // exist; its name was free when it was made, so nothing older is lost.
  void removeUnsignedStampedCopy();
};

struct SignatureDialogState {
  ~SignatureDialogState();

  SignatureWindowLink link;
  QString explicitPath;
  QString sourcePath;
  QString sourceFileName;
  bool fromShellAction = false;
  QStringList signingFiles;
  QStringList remainingFiles;
  QStringList skippedFiles;
  QStringList failedFiles;  // "name — reason" of the files of this batch that failed
  QString revocationMode;
  QList<SigningCertificate> certificates;
  QPointer<QProcess> searchProcess;
  QPointer<QProcess> signProcess;
  std::shared_ptr<AsyncSignResult> activeRun;
  bool busy = false;

  QPointer<SignatureDialogWindow> dialog;
  QLabel* subtitleLabel = nullptr;
  QLabel* batchHint = nullptr;  // what else the batch signs; null without a batch
  QGroupBox* fileGroup = nullptr;
  QLineEdit* outputEdit = nullptr;
  QPushButton* outputBrowseButton = nullptr;
  QGroupBox* certificateGroup = nullptr;
  QLineEdit* certificateFilterEdit = nullptr;
  QCheckBox* showUnavailableCheck = nullptr;
  QListWidget* certificateList = nullptr;
  QStackedWidget* certificateStack = nullptr;
  QWidget* certificateLoadingPage = nullptr;
  BusyRing* certificateBusyRing = nullptr;
  QPushButton* refreshCertificatesButton = nullptr;
  QComboBox* revocationCombo = nullptr;  // the e-signature edition only: it has no settings window
  QGroupBox* modeGroup = nullptr;
  QComboBox* modeCombo = nullptr;
  QGroupBox* tsaGroup = nullptr;
  QLineEdit* tsaEdit = nullptr;
  QGroupBox* stampGroup = nullptr;
  QSpinBox* stampPageSpin = nullptr;
  QComboBox* stampPositionCombo = nullptr;
  QDoubleSpinBox* stampWidthSpin = nullptr;
  QDoubleSpinBox* stampHeightSpin = nullptr;
  QComboBox* stampTemplateCombo = nullptr;
  QPushButton* editTemplateButton = nullptr;
  QGroupBox* keyFilesGroup = nullptr;
  QLineEdit* certificatePathEdit = nullptr;
  QLineEdit* privateKeyPathEdit = nullptr;
  QLineEdit* keyPasswordEdit = nullptr;
  QLineEdit* pkcs12PathEdit = nullptr;
  QLineEdit* pkcs12PasswordEdit = nullptr;
  QPushButton* diagnosticsButton = nullptr;
  QPushButton* cancelButton = nullptr;
  QPushButton* signButton = nullptr;
  QPointer<QCheckBox> openResultCheck;
  QFrame* busyOverlay = nullptr;
  BusyRing* overlayRing = nullptr;
  QLabel* overlayLabel = nullptr;

  // Shared operations (SignatureDialog.cpp).
  void build();
  QString batchHintText() const;
  // The lines naming the files left out as not PDF; none when there are none.
  QStringList skippedFileLines() const;
  int currentSignatureMode() const;
  int stampPageCount() const;
  QString proposedOutputPath() const;
  void refreshOutputPath();
  void applyModeVisibility();
  void reloadStampTemplates(const QString& selectId);
  void setBusy(bool busy, const QString& text);
  PdfDocument* openActiveDocument() const;

  // Certificate search (SignatureCertificateSearch.cpp).
  void startCertificateSearch();
  void completeCertificateSearch(QProcess* process, bool normalExit, const QByteArray& standardOutput,
                                 const QByteArray& standardError, const QString& fallbackText);
  void refreshCertificateList();
  bool addCertificateGroups(bool available);
  // A listed key file chosen in the list becomes the one the run signs with.
  void useListedCertificate(const QString& id);
  void showSigningDiagnostics();

  // Signing run (SignatureSigningRun.cpp).
  void startSigningRun();
  void abortSigningRun(const std::shared_ptr<AsyncSignResult>& run, const QString& title, const QString& text);
  // The file being signed cannot be: alone, says why; in a batch, names it
  // with its reason for the summary and offers to go on with the next file.
  void reportFileFailure(const QString& title, const QString& text);
  void completeSigningRun(QProcess* process, const std::shared_ptr<AsyncSignResult>& run, bool normalExit,
                          const QByteArray& standardOutput, const QByteArray& standardError,
                          const QString& fallbackText);
  // Batch signing (SignatureBatch.cpp): the remaining files after the first
  // one was signed; appends the summary lines and the files to open.
  void signRemainingFiles(const AsyncSignResult& first, QStringList* lines, QStringList* toOpen);
  // Ends a worker that still runs when the dialog goes: the child never
  // outlives it.
  void stopWorkers();
};

// Widget-free rules of the dialog, tested on their own.
QStringList uniqueExistingPaths(const QStringList& paths);
int certificateSearchTimeoutSeconds(const QString& revocationMode, const QVariant& storedValue);
QString certificateSearchTimeoutText(int seconds);
QString certificateGroupLabel(const SigningCertificate& certificate);
QString stampedPdfPathForSignature(const QString& sourcePath, const QString& outputPath);
SigningCertificate certificateFromJson(const QJsonObject& object);
SignatureResult signatureResultFromJson(const QJsonObject& object, SignatureMode requestMode);
// Sets up a worker process of this program: its arguments, the edition's
// settings, the environment flag of its mode; it dies with this process and
// inherits `inheritedDescriptor` when one is given.
void prepareSigningWorker(QProcess* process, const QStringList& arguments, const QString& environmentFlag,
                          int inheritedDescriptor = -1);
// Starts a signing worker for the request, handed over on its standard input.
void startSigningWorker(QProcess* process, const SignatureRequest& request);
// Runs one signing worker for the request and waits for it.
bool signFileInWorker(const SignatureRequest& request, SignatureResult* result, QString* error);
