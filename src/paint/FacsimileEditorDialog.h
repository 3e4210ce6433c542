#pragma once
// The image editor's entry point: a modal dialog around the editor. Give it
// a picture with setImage, run it, and on acceptance take image().

#include "ImageSizeLimit.h"

#include <QDialog>
#include <QImage>

class FacsimilePaintHost;

class FacsimileEditorDialog : public QDialog {
  Q_OBJECT

 public:
  explicit FacsimileEditorDialog(QWidget* parent = nullptr);
  ~FacsimileEditorDialog() override;

  // Starts a new document from the picture (a null one gives a blank
  // 900 x 520 canvas). A picture larger than the editor holds is refused
  // (editorImageSizeProblem says why) and the editor keeps what it had.
  bool setImage(const QImage& image);
  // All visible layers flattened; null without a document.
  QImage image() const;
  // "Отмена", Escape and closing the window: with something drawn and not
  // saved, the user is asked first whether to throw it away.
  void reject() override;
  // Whether anything was drawn: the picture differs from the one given, or a
  // shape is still being placed.
  bool hasUnsavedDrawing() const;

  FacsimilePaintHost* host = nullptr;

 private:
  QImage opened;  // the picture as it was given, to tell whether anything changed
};
