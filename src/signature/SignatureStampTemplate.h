#pragma once
// A stamp template: the stamp's picture and the text lines drawn on it, each
// line placed by fractions of the picture and holding "{{NAME}}" placeholders.

#include <QColor>
#include <QImage>
#include <QList>
#include <QString>

struct SignatureStampVariable {
  QString text;
  double x = 0;  // fractions of the picture's width and height
  double y = 0;
  double w = 0;
  double h = 0;
  QString font = QStringLiteral("Times New Roman");
  double fontSizePx = 34;  // pixels of the template picture
  bool bold = false;
  bool italic = false;
  QColor color = QColor(15, 23, 42);
  int alignment = 0x81;  // Qt::AlignLeft | Qt::AlignVCenter
};

struct SignatureStampTemplate {
  QString id;  // file-safe; "default" for the built-in one; empty: nothing was read
  QString name;
  bool builtIn = false;
  QImage image;  // may be null
  QList<SignatureStampVariable> variables;
};
