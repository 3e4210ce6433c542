#include "StartupSplash.h"

#include "RibbonFactories.h"
#include "ui/UiLanguage.h"

#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QVBoxLayout>

namespace {

struct Stage {
  int percent;
  const char* text;
};

constexpr Stage kStages[] = {
    {18, "Загрузка модулей просмотра PDF..."},
    {42, "Подготовка панели инструментов..."},
    {68, "Проверка ресурсов и иконок..."},
    {88, "Инициализация рабочего окна..."},
    {100, "Готово"},
};

const char* kStyle = R"(
QFrame#PreloaderCard { background: #F8FAFC; border: 1px solid #D7DEE8; border-radius: 10px; }
QLabel#PreloaderTitle { font-family: 'Segoe UI'; font-size: 17px; font-weight: 700; color: #101418; }
QLabel#PreloaderSubtitle { font-family: 'Segoe UI'; font-size: 12px; color: #64748B; }
QLabel#PreloaderStage { font-family: 'Segoe UI'; font-size: 12px; color: #334155; }
QProgressBar#PreloaderProgress { background: #E2E8F0; border: none; border-radius: 3px; }
QProgressBar#PreloaderProgress::chunk { background: #0EA5E9; border-radius: 3px; }
)";

QLabel* namedLabel(const QString& text, const char* name) {
  auto* result = new QLabel(text);
  result->setObjectName(QLatin1String(name));
  return result;
}

}  // namespace

StartupSplash::StartupSplash(const QString& displayName) : QDialog(nullptr) {
  setObjectName(QStringLiteral("Preloader"));
  setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
  setAttribute(Qt::WA_TranslucentBackground);
  setFixedSize(430, 178);
  setStyleSheet(QLatin1String(kStyle));

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(12, 12, 12, 12);
  auto* card = new QFrame;
  card->setObjectName(QStringLiteral("PreloaderCard"));
  outer->addWidget(card);

  auto* cardLayout = new QVBoxLayout(card);
  cardLayout->setContentsMargins(22, 18, 22, 18);
  cardLayout->setSpacing(12);

  auto* header = new QHBoxLayout;
  header->setSpacing(12);
  auto* icon = new QLabel;
  icon->setPixmap(QIcon(I(QStringLiteral("ulvo-app"))).pixmap(38, 38));
  header->addWidget(icon, 0);
  auto* titles = new QVBoxLayout;
  titles->setSpacing(1);
  titles->addWidget(namedLabel(uiTranslate(displayName), "PreloaderTitle"));
  titles->addWidget(namedLabel(uiTranslate(QStringLiteral("Подготовка рабочего пространства")), "PreloaderSubtitle"));
  header->addLayout(titles, 1);
  cardLayout->addLayout(header);

  stageLabel = namedLabel(uiTranslate(QString::fromUtf8(kStages[0].text)), "PreloaderStage");
  cardLayout->addWidget(stageLabel);

  progress = new QProgressBar;
  progress->setObjectName(QStringLiteral("PreloaderProgress"));
  progress->setRange(0, 100);
  progress->setTextVisible(false);
  progress->setFixedHeight(6);
  cardLayout->addWidget(progress);
}

int StartupSplash::stepDelayFromEnvironment() {
  constexpr int kDefault = 120;
  if (!qEnvironmentVariableIsSet("ULVO_PRELOADER_STEP_MS")) return kDefault;
  bool ok = false;
  const int value = QString::fromLocal8Bit(qgetenv("ULVO_PRELOADER_STEP_MS")).toInt(&ok, 10);
  return ok && value >= 0 ? value : kDefault;
}

void StartupSplash::runStages(int stepDelayMs) {
  for (const Stage& stage : kStages) {
    progress->setValue(stage.percent);
    stageLabel->setText(uiTranslate(QString::fromUtf8(stage.text)));
    QCoreApplication::processEvents();
    if (stepDelayMs > 0) QThread::msleep(static_cast<unsigned long>(stepDelayMs));
  }
}

QString StartupSplash::stageText() const { return stageLabel->text(); }

int StartupSplash::progressValue() const { return progress->value(); }
