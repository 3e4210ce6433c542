#include "CompressionStages.h"

#include <algorithm>

namespace {

struct StageRow {
  const char* title;
  const char* shortLabel;
  const char* textColor;
  const char* backgroundColor;
  int dpi;
  int quality;
  bool monochrome;
  const char* description;
  const char* warning;
};

constexpr StageRow kStages[kCompressionStageCount] = {
    {"Почти без потери качества", "Качество", "#0f766e", "#d9f99d", 300, 85, false,
     "Максимально бережный режим: крупный файл, зато внешний вид почти не меняется.",
     "Файл может остаться большим. Подходит, когда лимит портала высокий."},
    {"Бережное сжатие", "Бережно", "#15803d", "#dcfce7", 200, 75, false,
     "Немного уменьшаем изображения без заметной деградации на обычных документах.",
     "Небольшая потеря качества возможна на фотографиях и мелком сером тексте."},
    {"Среднее сжатие", "Средне", "#a16207", "#fef3c7", 150, 55, false,
     "Баланс размера и качества, близкий к обычному рекомендуемому режиму онлайн-сервисов.",
     "Качество слегка снижается, но документы обычно остаются хорошо читаемыми."},
    {"Сильное сжатие", "Сильно", "#c2410c", "#ffedd5", 120, 42, false,
     "Заметно режем вес файла. Хорошо, когда нужно пройти ограничение портала.",
     "Мелкие детали и фотографии могут стать заметно хуже."},
    {"Экстремальное сжатие", "Экстрим", "#b91c1c", "#fee2e2", 72, 28, false,
     "Минимальный цветной файл: качество уже жертвуем ради размера.",
     "На сканах будет заметна потеря качества. Используйте, если иначе файл не проходит лимит."},
    {"Монохромный минимум", "Моно", "#7c2d12", "#fed7aa", 72, 35, true,
     "Самый маленький режим для чёрно-белых документов, таблиц и судебных сканов.",
     "Цвет будет удалён. Не используйте для документов, где важны цветные подписи, печати или фото."},
};

}  // namespace

CompressionStageUi compressionStage(int index) {
  const StageRow& row = kStages[std::clamp(index, 0, kCompressionStageCount - 1)];
  CompressionStageUi stage;
  stage.title = QString::fromUtf8(row.title);
  stage.shortLabel = QString::fromUtf8(row.shortLabel);
  stage.description = QString::fromUtf8(row.description);
  stage.warning = QString::fromUtf8(row.warning);
  stage.textColor = QString::fromLatin1(row.textColor);
  stage.backgroundColor = QString::fromLatin1(row.backgroundColor);
  stage.options.imageDpi = row.dpi;
  stage.options.jpegQuality = row.quality;
  stage.options.grayscale = false;
  stage.options.recompressSmallImages = true;
  stage.options.rasterizePages = true;
  stage.options.monochrome = row.monochrome;
  return stage;
}

bool sameCompressionOptions(const PdfDocument::CompressionOptions& a, const PdfDocument::CompressionOptions& b) {
  return a.imageDpi == b.imageDpi && a.jpegQuality == b.jpegQuality && a.grayscale == b.grayscale &&
         a.recompressSmallImages == b.recompressSmallImages && a.rasterizePages == b.rasterizePages &&
         a.monochrome == b.monochrome;
}

int stageForOptions(const PdfDocument::CompressionOptions& o) {
  for (int index = 0; index < kCompressionStageCount; ++index)
    if (sameCompressionOptions(o, compressionStage(index).options)) return index;
  if (!o.rasterizePages) return 0;
  if (o.monochrome) return 5;
  if (o.imageDpi <= 80 || o.jpegQuality <= 32) return 4;
  if (o.jpegQuality <= 45 || o.imageDpi <= 130) return 3;
  if (o.imageDpi <= 170 || o.jpegQuality <= 62) return 2;
  if (o.imageDpi <= 240 || o.jpegQuality <= 78) return 1;
  return 0;
}
