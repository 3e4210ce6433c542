#include "XlsxMessages.h"

namespace {
XlsxTranslator currentTranslator = nullptr;

QString filled(QString text, const QStringList& args) {
  // One pass over all arguments: a "%2" inside the first argument (a sheet
  // named so) is never replaced in turn.
  switch (args.size()) {
    case 0: return text;
    case 1: return text.arg(args[0]);
    case 2: return text.arg(args[0], args[1]);
    case 3: return text.arg(args[0], args[1], args[2]);
    case 4: return text.arg(args[0], args[1], args[2], args[3]);
    default: return text.arg(args[0], args[1], args[2], args[3], args[4]);
  }
}
}  // namespace

void setXlsxTranslator(XlsxTranslator translator) { currentTranslator = translator; }

QString xlsxTranslate(const QString& source) { return currentTranslator ? currentTranslator(source) : source; }

QString XlsxMessage::text() const { return filled(xlsxTranslate(source), args); }

QString XlsxMessage::sourceText() const { return filled(source, args); }
