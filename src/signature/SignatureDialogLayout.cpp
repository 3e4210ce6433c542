// The signature dialog's widgets, top to bottom, and their connections.
#include "SignatureDialogState.h"

#include "SignatureTexts.h"
#include "core/SignatureService.h"
#include "ui/BusyRing.h"
#include "ui/CountedText.h"
#include "ui/DialogHelpers.h"
#include "ui/FocusedWheel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QGroupBox* groupBox(const char* title) {
  auto* box = new QGroupBox(QString::fromUtf8(title));
  box->setObjectName(QStringLiteral("ScanGroupBox"));
  return box;
}

QLabel* wrappedHint(const char* text, const char* role = "DialogHint") {
  QLabel* hint = label(QString::fromUtf8(text), QLatin1String(role));
  hint->setWordWrap(true);
  return hint;
}

QGridLayout* stretchingGrid(QGroupBox* box) {
  auto* grid = new QGridLayout(box);
  grid->setColumnStretch(1, 1);
  return grid;
}

// A "Обзор..." button that fills an edit from an open-file dialog.
QPushButton* browseButton(QWidget* dialog, QLineEdit* edit, const char* title, const char* filter) {
  QPushButton* button = dialogButton(QStringLiteral("Обзор..."), QStringLiteral("SecondaryDialogButton"));
  QObject::connect(button, &QPushButton::clicked, dialog, [dialog, edit, title, filter] {
    const QString chosen =
        QFileDialog::getOpenFileName(dialog, uiText(title), edit->text(), uiText(filter));
    if (!chosen.isEmpty()) edit->setText(chosen);
  });
  return button;
}

// The groups scroll up and down only, so the dialog is never narrower than
// they need; their texts grow when they are translated after the dialog shows.
class ContentWidthFollower : public QObject {
 public:
  explicit ContentWidthFollower(QScrollArea* scroll) : QObject(scroll), scroll(scroll) {
    scroll->widget()->installEventFilter(this);
    follow();
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::LayoutRequest) follow();
    return QObject::eventFilter(watched, event);
  }

 private:
  void follow() {
    const int width = scroll->widget()->minimumSizeHint().width() + scroll->verticalScrollBar()->sizeHint().width() +
                      2 * scroll->frameWidth();
    if (scroll->minimumWidth() != width) scroll->setMinimumWidth(width);
  }

  QScrollArea* scroll;
};

}  // namespace

QString SignatureDialogState::batchHintText() const {
  QStringList parts;
  if (!remainingFiles.isEmpty())
    parts << uiText("После первого файла можно будет подписать ещё %1 теми же настройками.")
                 .arg(countedText(int(remainingFiles.size()), QStringLiteral("%1 файл"), QStringLiteral("%1 файла"),
                                  QStringLiteral("%1 файлов")));
  if (!skippedFiles.isEmpty()) parts << uiText("Непохожие на PDF файлы будут пропущены: %1.").arg(skippedFiles.size());
  return parts.join(QLatin1Char(' '));
}

void SignatureDialogState::build() {
  SignatureDialogWindow* d = dialog;
  d->isBusy = [this] { return busy; };
  d->setObjectName(QStringLiteral("AppDialog"));
  d->setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
  d->setWindowTitle(QStringLiteral("Подписание документа"));
  d->setModal(true);
  d->resize(780, 620);
  auto* layout = new QVBoxLayout(d);
  layout->setContentsMargins(20, 14, 20, 14);
  layout->setSpacing(8);
  layout->addWidget(label(QStringLiteral("Подписание документа"), QStringLiteral("DialogTitle")));

  subtitleLabel = label(QString(), QStringLiteral("DialogSubtitle"));
  keepUserText(subtitleLabel);
  subtitleLabel->setToolTip(plainToolTip(sourceFileName));
  subtitleLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  layout->addWidget(subtitleLabel);
  const auto elideSubtitle = [this] {
    const int width = std::max(120, subtitleLabel->width());
    subtitleLabel->setText(
        uiText("Файл: %1").arg(subtitleLabel->fontMetrics().elidedText(sourceFileName, Qt::ElideMiddle, width)));
  };
  QTimer::singleShot(0, d, elideSubtitle);
  auto* subtitleTimer = new QTimer(d);
  QObject::connect(subtitleTimer, &QTimer::timeout, d, elideSubtitle);
  subtitleTimer->start(250);

  layout->addWidget(wrappedHint("Закрытый ключ остаётся на компьютере или токене. Программа получает только готовую "
                                "подпись и метаданные для журнала.",
                                "DialogSubtitle"));
  if (!remainingFiles.isEmpty() || !skippedFiles.isEmpty()) {
    batchHint = label(batchHintText(), QStringLiteral("DialogHint"));
    batchHint->setWordWrap(true);
    layout->addWidget(batchHint);
  }

  // The groups scroll when the screen is lower than the dialog (a laptop, or
  // the stamp group shown), so the buttons below them stay reachable.
  auto* scroll = new QScrollArea;
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* groups = new QWidget;
  auto* groupsLayout = new QVBoxLayout(groups);
  groupsLayout->setContentsMargins(0, 0, 0, 0);
  groupsLayout->setSpacing(8);
  scroll->setWidget(groups);
  layout->addWidget(scroll, 1);

  fileGroup = groupBox("Файл");
  auto* fileGrid = stretchingGrid(fileGroup);
  outputEdit = dialogLineEdit();
  outputBrowseButton = dialogButton(QStringLiteral("Куда сохранить..."), QStringLiteral("SecondaryDialogButton"));
  fileGrid->addWidget(label(QStringLiteral("Результат:"), QStringLiteral("DialogHint")), 0, 0);
  fileGrid->addWidget(outputEdit, 0, 1);
  fileGrid->addWidget(outputBrowseButton, 0, 2);
  groupsLayout->addWidget(fileGroup);

  certificateGroup = groupBox("Сертификат");
  auto* certificateLayout = new QVBoxLayout(certificateGroup);
  certificateLayout->addWidget(
      revocationMode == QLatin1String("search")
          ? wrappedHint("Доступные сертификаты показаны сверху. Отзыв проверяется при построении списка в "
                        "изолированном процессе, поэтому сбой криптопровайдера не должен закрывать программу.")
          : wrappedHint("Доступные сертификаты показаны сверху. Недоступные можно показать ниже: там указана "
                        "причина, почему ими нельзя подписать документ."));
  auto* filterRow = new QHBoxLayout;
  certificateFilterEdit = dialogLineEdit();
  certificateFilterEdit->setPlaceholderText(
      QStringLiteral("Поиск по владельцу, издателю, провайдеру, контейнеру..."));
  showUnavailableCheck = new QCheckBox(QStringLiteral("Показывать недоступные"));
  showUnavailableCheck->setObjectName(QStringLiteral("ScanCheckBox"));
  showUnavailableCheck->setChecked(true);
  filterRow->addWidget(certificateFilterEdit, 1);
  filterRow->addWidget(showUnavailableCheck);
  certificateLayout->addLayout(filterRow);
  certificateStack = new QStackedWidget;
  certificateStack->setObjectName(QStringLiteral("SignatureCertificateStack"));
  certificateList = new QListWidget;
  keepUserText(certificateList);  // certificate fields; its own lines come translated
  certificateList->setObjectName(QStringLiteral("OpenRecentList"));
  certificateList->setSelectionMode(QAbstractItemView::SingleSelection);
  certificateList->setMinimumHeight(160);
  certificateLoadingPage = new QWidget;
  certificateLoadingPage->setObjectName(QStringLiteral("SignatureCertificateLoading"));
  auto* loadingLayout = new QVBoxLayout(certificateLoadingPage);
  loadingLayout->setContentsMargins(0, 18, 0, 18);
  loadingLayout->addStretch(1);
  certificateBusyRing = new BusyRing;
  loadingLayout->addWidget(certificateBusyRing, 0, Qt::AlignHCenter);
  loadingLayout->addWidget(
      label(revocationMode == QLatin1String("search")
                ? QStringLiteral("Анализирую сертификаты, токены и отзывы. При большом количестве ЭЦП это может "
                                 "занять несколько минут...")
                : QStringLiteral("Проверяю сертификаты и токены..."),
            QStringLiteral("DialogHint")),
      0, Qt::AlignHCenter);
  loadingLayout->addStretch(1);
  certificateStack->addWidget(certificateList);
  certificateStack->addWidget(certificateLoadingPage);
  certificateStack->setCurrentWidget(certificateList);
  certificateBusyRing->stop();
  certificateLayout->addWidget(certificateStack, 1);
  refreshCertificatesButton =
      dialogButton(QStringLiteral("Обновить сертификаты"), QStringLiteral("SecondaryDialogButton"));
  if (QCoreApplication::applicationName() == QLatin1String("ulvo-ecp")) {
    // The e-signature edition has no settings window: the revocation choice
    // that its refusals point to is here.
    auto* row = new QHBoxLayout;
    row->addWidget(refreshCertificatesButton);
    row->addStretch(1);
    row->addWidget(label(QStringLiteral("Проверка отзыва:"), QStringLiteral("DialogHint")));
    revocationCombo = new QComboBox;
    revocationCombo->setObjectName(QStringLiteral("ScanCombo"));
    revocationCombo->addItem(QStringLiteral("Проверять при поиске сертификатов (экспериментально)"),
                             QStringLiteral("search"));
    revocationCombo->addItem(QStringLiteral("Проверять при подписании документа"), QStringLiteral("sign"));
    revocationCombo->addItem(QStringLiteral("Не проверять"), QStringLiteral("never"));
    const int stored = revocationCombo->findData(revocationMode);
    revocationCombo->setCurrentIndex(stored < 0 ? 1 : stored);
    row->addWidget(revocationCombo);
    certificateLayout->addLayout(row);
  } else {
    certificateLayout->addWidget(refreshCertificatesButton, 0, Qt::AlignLeft);
  }
  groupsLayout->addWidget(certificateGroup, 1);

  modeGroup = groupBox("Режим подписи");
  auto* modeGrid = stretchingGrid(modeGroup);
  modeCombo = new QComboBox;
  modeCombo->setObjectName(QStringLiteral("ScanCombo"));
  for (int mode = 0; mode <= 4; ++mode) {
    modeCombo->addItem(SignatureService::modeDisplayName(SignatureMode(mode)), mode);
    // A mode this platform cannot sign in is shown, marked and not chosen:
    // asking for its settings first would only lead to a refusal.
    const QString reason = SignatureService::modeUnavailableReason(SignatureMode(mode));
    if (reason.isEmpty()) continue;
    const int index = modeCombo->count() - 1;
    modeCombo->setItemText(index, uiText("%1 — недоступно в Linux").arg(modeCombo->itemText(index)));
    modeCombo->setItemData(index, uiTranslate(reason), Qt::ToolTipRole);
    if (auto* model = qobject_cast<QStandardItemModel*>(modeCombo->model()))
      if (QStandardItem* item = model->item(index)) item->setEnabled(false);
  }
  modeGrid->addWidget(label(QStringLiteral("Тип:"), QStringLiteral("DialogHint")), 0, 0);
  modeGrid->addWidget(modeCombo, 0, 1);
  modeGrid->addWidget(wrappedHint("Доступны CMS/CAdES-BES, PDF с видимым штампом + отделённая подпись и встроенная "
                                  "PDF-подпись. CAdES-T со штампом времени в Linux недоступна: для неё нужен "
                                  "провайдер CryptoPro CSP с CAdESCOM."),
                      1, 0, 1, 2);
  groupsLayout->addWidget(modeGroup);

  QSettings settings;
  tsaGroup = groupBox("Штамп времени TSA");
  auto* tsaGrid = stretchingGrid(tsaGroup);
  tsaEdit = dialogLineEdit(settings.value(QStringLiteral("signing/tsaUrl")).toString());
  tsaGrid->addWidget(label(QStringLiteral("TSA URL:"), QStringLiteral("DialogHint")), 0, 0);
  tsaGrid->addWidget(tsaEdit, 0, 1);
  tsaGrid->addWidget(wrappedHint("Для CAdES-T нужен RFC 3161 TSA-сервер. Адрес будет сохранён в настройках подписи."),
                     1, 0, 1, 2);
  groupsLayout->addWidget(tsaGroup);

  stampGroup = groupBox("Видимый штамп PDF");
  auto* stampGrid = stretchingGrid(stampGroup);
  const int pages = stampPageCount();
  stampPageSpin = new QSpinBox;
  stampPageSpin->setObjectName(QStringLiteral("ScanSpin"));
  stampPageSpin->setRange(1, pages);
  stampPageSpin->setValue(pages);
  stampPositionCombo = new QComboBox;
  stampPositionCombo->setObjectName(QStringLiteral("ScanCombo"));
  const std::pair<const char*, const char*> positions[] = {{"Справа внизу", "bottom-right"},
                                                           {"Слева внизу", "bottom-left"},
                                                           {"Справа вверху", "top-right"},
                                                           {"Слева вверху", "top-left"},
                                                           {"По центру", "center"}};
  for (const auto& [text, key] : positions) stampPositionCombo->addItem(QString::fromUtf8(text), QString::fromLatin1(key));
  const auto millimetres = [](double low, double high, double value) {
    auto* spin = new QDoubleSpinBox;
    spin->setObjectName(QStringLiteral("ScanSpin"));
    spin->setRange(low, high);
    spin->setDecimals(1);
    spin->setSuffix(QStringLiteral(" мм"));
    spin->setValue(value);
    return spin;
  };
  stampWidthSpin = millimetres(35.0, kStampMaxWidthMm, 82.0);
  stampHeightSpin = millimetres(18.0, kStampMaxHeightMm, 34.0);
  auto* sizeRow = new QHBoxLayout;
  sizeRow->addWidget(stampWidthSpin);
  sizeRow->addWidget(stampHeightSpin);
  sizeRow->addStretch(1);
  stampTemplateCombo = new QComboBox;
  keepUserText(stampTemplateCombo);  // template names as their makers typed them
  stampTemplateCombo->setObjectName(QStringLiteral("ScanCombo"));
  stampTemplateCombo->setIconSize(QSize(118, 48));
  stampTemplateCombo->setMinimumWidth(320);
  editTemplateButton = dialogButton(QStringLiteral("Настроить шаблон..."), QStringLiteral("SecondaryDialogButton"));
  auto* templateRow = new QHBoxLayout;
  templateRow->addWidget(stampTemplateCombo, 1);
  templateRow->addWidget(editTemplateButton);
  stampGrid->addWidget(label(QStringLiteral("Страница:"), QStringLiteral("DialogHint")), 0, 0);
  stampGrid->addWidget(stampPageSpin, 0, 1);
  stampGrid->addWidget(label(QStringLiteral("Положение:"), QStringLiteral("DialogHint")), 1, 0);
  stampGrid->addWidget(stampPositionCombo, 1, 1);
  stampGrid->addWidget(label(QStringLiteral("Размер:"), QStringLiteral("DialogHint")), 2, 0);
  stampGrid->addLayout(sizeRow, 2, 1);
  stampGrid->addWidget(label(QStringLiteral("Шаблон:"), QStringLiteral("DialogHint")), 3, 0);
  stampGrid->addLayout(templateRow, 3, 1);
  stampGrid->addWidget(
      wrappedHint("Будет создан PDF со штампом, а отделённая подпись (*.sig) будет рассчитана уже от этого PDF."), 4, 0,
      1, 2);
  groupsLayout->addWidget(stampGroup);
  reloadStampTemplates(QString());

  keyFilesGroup = groupBox("Linux / OpenSSL");
  auto* keyGrid = stretchingGrid(keyFilesGroup);
  settings.beginGroup(QStringLiteral("signing/linux"));
  certificatePathEdit = dialogLineEdit(settings.value(QStringLiteral("certificatePath")).toString());
  privateKeyPathEdit = dialogLineEdit(settings.value(QStringLiteral("privateKeyPath")).toString());
  pkcs12PathEdit = dialogLineEdit(settings.value(QStringLiteral("pkcs12Path")).toString());
  settings.endGroup();
  keyPasswordEdit = dialogLineEdit();
  keyPasswordEdit->setEchoMode(QLineEdit::Password);
  pkcs12PasswordEdit = dialogLineEdit();
  pkcs12PasswordEdit->setEchoMode(QLineEdit::Password);
  struct KeyRow {
    const char* caption;
    QLineEdit* edit;
    const char* browseTitle;  // null: a password, typed only
    const char* browseFilter;
  };
  const KeyRow keyRows[] = {
      {"PEM/CRT сертификат:", certificatePathEdit, "Выберите сертификат",
       "Сертификаты (*.pem *.crt *.cer);;Все файлы (*)"},
      {"PEM закрытый ключ:", privateKeyPathEdit, "Выберите закрытый ключ", "Ключи (*.pem *.key);;Все файлы (*)"},
      {"Пароль ключа:", keyPasswordEdit, nullptr, nullptr},
      {"P12/PFX контейнер:", pkcs12PathEdit, "Выберите P12/PFX контейнер", "PKCS#12 (*.p12 *.pfx);;Все файлы (*)"},
      {"Пароль P12/PFX:", pkcs12PasswordEdit, nullptr, nullptr},
  };
  for (int row = 0; row < int(std::size(keyRows)); ++row) {
    const KeyRow& key = keyRows[row];
    keyGrid->addWidget(label(QString::fromUtf8(key.caption), QStringLiteral("DialogHint")), row, 0);
    keyGrid->addWidget(key.edit, row, 1);
    if (key.browseTitle) keyGrid->addWidget(browseButton(d, key.edit, key.browseTitle, key.browseFilter), row, 2);
  }
  keyGrid->addWidget(wrappedHint("Если указан P12/PFX, он используется вместо пары из PEM-сертификата и ключа."), 5, 0, 1, 3);
  groupsLayout->addWidget(keyFilesGroup);

  auto* buttons = new QHBoxLayout;
  if (fromShellAction) {
    openResultCheck = new QCheckBox(QStringLiteral("Открыть результат после подписания"));
    openResultCheck->setObjectName(QStringLiteral("ScanCheckBox"));
    buttons->addWidget(openResultCheck);
  }
  diagnosticsButton = dialogButton(QStringLiteral("Диагностика"), QStringLiteral("SecondaryDialogButton"));
  cancelButton = dialogButton(QStringLiteral("Отмена"), QStringLiteral("SecondaryDialogButton"));
  signButton = dialogButton(QStringLiteral("Подписать"), QStringLiteral("PrimaryDialogButton"));
  buttons->addWidget(diagnosticsButton);
  buttons->addStretch(1);
  buttons->addWidget(cancelButton);
  buttons->addWidget(signButton);
  layout->addLayout(buttons);

  const BusyOverlay overlay =
      buildBusyOverlay(d, QStringLiteral("SignatureBusyOverlay"), 218, QStringLiteral("Подписываю документ..."));
  busyOverlay = overlay.frame;
  overlayRing = overlay.ring;
  overlayLabel = overlay.text;

  new ContentWidthFollower(scroll);
  for (QComboBox* combo : d->findChildren<QComboBox*>()) takeWheelOnlyWhenFocused(combo);
  for (QAbstractSpinBox* spin : d->findChildren<QAbstractSpinBox*>()) takeWheelOnlyWhenFocused(spin);

  // Tall enough to show every group without scrolling where the screen allows.
  const int wanted = layout->sizeHint().height() - scroll->sizeHint().height() + groups->sizeHint().height();
  const QScreen* screen = d->screen();
  const int available = screen ? screen->availableGeometry().height() - 60 : wanted;
  d->resize(780, std::max(620, std::min(wanted, available)));

  QObject::connect(outputBrowseButton, &QPushButton::clicked, d, [this] {
    const QString start = outputEdit->text().trimmed().isEmpty() ? proposedOutputPath() : outputEdit->text().trimmed();
    const QString chosen = QFileDialog::getSaveFileName(
        dialog, uiText("Сохранить подпись"), start, uiText("Файлы подписи (*.sig *.p7m *.p7b);;PDF (*.pdf);;Все файлы (*)"));
    if (!chosen.isEmpty()) outputEdit->setText(chosen);
  });
  QObject::connect(modeCombo, &QComboBox::currentIndexChanged, d, [this] {
    refreshOutputPath();
    applyModeVisibility();
  });
  QObject::connect(editTemplateButton, &QPushButton::clicked, d, [this] {
    const QString saved = editSignatureStampTemplate(dialog, stampTemplateCombo->currentData().toString());
    if (!saved.isEmpty()) reloadStampTemplates(saved);
  });
  QObject::connect(refreshCertificatesButton, &QPushButton::clicked, d, [this] { startCertificateSearch(); });
  if (revocationCombo)
    QObject::connect(revocationCombo, &QComboBox::currentIndexChanged, d, [this] {
      const QString chosen = revocationCombo->currentData().toString();
      // Kept only when the user signs with it (startSigningRun); the list
      // made meanwhile is asked for with this choice.
      const bool listChecks = chosen == QLatin1String("search") || revocationMode == QLatin1String("search");
      revocationMode = chosen;
      // Checking while listing, or no longer, changes what the list says.
      if (listChecks) startCertificateSearch();
    });
  QObject::connect(certificateFilterEdit, &QLineEdit::textChanged, d, [this] { refreshCertificateList(); });
  QObject::connect(showUnavailableCheck, &QCheckBox::toggled, d, [this] { refreshCertificateList(); });
  QObject::connect(certificateList, &QListWidget::itemClicked, d, [this](QListWidgetItem* item) {
    useListedCertificate(item ? item->data(Qt::UserRole).toString() : QString());
  });
  QObject::connect(diagnosticsButton, &QPushButton::clicked, d, [this] { showSigningDiagnostics(); });
  QObject::connect(cancelButton, &QPushButton::clicked, d, &QDialog::reject);
  QObject::connect(signButton, &QPushButton::clicked, d, [this] { startSigningRun(); });
}

