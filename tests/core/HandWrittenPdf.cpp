#include "HandWrittenPdf.h"

#include <QFile>
#include <QStringList>

namespace handwritten {

QByteArray buildPdf(const QStringList& objects) {
  QByteArray out("%PDF-1.7\n");
  QList<qsizetype> offsets;
  for (qsizetype i = 0; i < objects.size(); ++i) {
    offsets.append(out.size());
    out += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i).toLatin1() + "\nendobj\n";
  }
  const qsizetype xref = out.size();
  out += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (qsizetype offset : offsets) out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
  out += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         QByteArray::number(xref) + "\n%%EOF\n";
  return out;
}

bool writePdf(const QString& path, const QStringList& objects) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(buildPdf(objects)) >= 0 &&
         file.flush();
}

QString stream(const QByteArray& content, const QByteArray& entries) {
  const QByteArray dictionary = entries.isEmpty() ? QByteArray() : entries + ' ';
  return QString::fromLatin1("<< " + dictionary + "/Length " + QByteArray::number(content.size()) + " >>\nstream\n" +
                             content + "\nendstream");
}

bool writeCostlyPages(const QString& path, const QList<CostlyPage>& pages) {
  const auto flate = [](const QByteArray& data) { return qCompress(data, 1).mid(4); };
  const QByteArray form = "/Type /XObject /Subtype /Form /BBox [0 0 1700 2400] ";
  QStringList objects = {"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [%1] >> >>", "",
                         "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                         stream("/Self Do /Self Do\n", form + "/Resources << /XObject << /Self 4 0 R >> >>"),
                         stream(flate(QByteArray("0 0 1 1 re f\n").repeated(20000)), form + "/Filter /FlateDecode")};
  const auto add = [&objects](const QString& object) {
    objects << object;
    return QStringLiteral("%1 0 R").arg(objects.size());
  };
  QString group = add(stream("0 0 1 rg 0 0 1700 2400 re f\n", form + "/Group << /S /Transparency >>"));
  for (int i = 1; i < 38; ++i)
    group = add(stream("/H gs 1 0 0 rg 0 0 1700 2400 re f /G Do\n",
                       form + "/Group << /S /Transparency /K true >> /Resources << /ExtGState << /H << "
                              "/ca 0.5 /BM /Multiply >> >> /XObject << /G " + group.toLatin1() + " >> >>"));
  const QByteArray fill = "0 0 595 842 re f\n";
  const QString said = add(stream("BT /F1 12 Tf 72 700 Td (still here, and read) Tj ET\n")),
                many = add(stream(flate(fill.repeated(400000)), "/Filter /FlateDecode")),
                slow = add(stream(flate(fill.repeated(1500000)), "/Filter /FlateDecode")),
                groups = add(stream("/G Do\n"));
  QStringList kids, fields;
  const auto page = [&](const QString& contents, const QString& size = "595 842", const QString& annots = {}) {
    kids << add(QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %1] /Contents [%2 %3] /Resources << /Font "
                               "<< /F1 3 0 R >> /XObject << /G %4 /Self 4 0 R >> >> %5 >>")
                    .arg(size, contents, said, group, annots));
  };
  const auto field = [&](const QByteArray& appearance, bool named = true) {
    const QString shown = add(stream(appearance, form + "/Resources << /XObject << /Self 4 0 R /Rects 5 0 R >> >>"));
    const QString naming = named ? QStringLiteral("/FT /Tx /T (f%1) ").arg(objects.size()) : QString();
    fields << add(QStringLiteral("<< /Type /Annot /Subtype /Widget %1/Rect [0 0 595 842] /F 4 /AP << /N %2 >> "
                                 "/P %3 0 R >>").arg(naming, shown, QString::number(objects.size() + 2)));
    page({}, "595 842", "/Annots [" + fields.last() + "]");
  };
  for (CostlyPage kind : pages) {
    switch (kind) {
      case CostlyPage::Text: page({}); break;
      case CostlyPage::SelfDrawingField: field("/Self Do\n"); break;
      case CostlyPage::FifteenMillionRectsUnnamedWidget: field(QByteArray("/Rects Do\n").repeated(750), false); break;
      case CostlyPage::HundredMillionRectsField: field(QByteArray("/Rects Do\n").repeated(5000)); break;
      case CostlyPage::FifteenMillionRectsField: field(QByteArray("/Rects Do\n").repeated(750)); break;
      case CostlyPage::Groups: page(groups); break;
      case CostlyPage::PosterGroups: page(groups, "1700 2400"); break;
      case CostlyPage::Fills: page(many); break;
      case CostlyPage::SharedSlowFills: page(slow); break;
      case CostlyPage::BareFields: {
        QStringList bare;
        for (int i = 0; i < 60000; ++i)
          bare << add(QStringLiteral("<< /Type /Annot /Subtype /Widget /FT /Tx /T (b%1) /Rect [%2 %3 %4 %5] /F 4 >>")
                          .arg(i).arg(i % 240 * 2.4).arg(i / 240 * 3.3).arg(i % 240 * 2.4 + 2).arg(i / 240 * 3.3 + 3));
        fields << bare;
        page({}, "595 842", "/Annots [" + bare.join(' ') + "]");
        break;
      }
      case CostlyPage::NamelessParentFields:
      case CostlyPage::NamelessParentFieldsOnSelfDrawingPage: {
        QStringList widgets;
        for (int i = 0; i < 99000; ++i) {
          if (i % 100 == 0) fields << add(QString());
          widgets << add(QStringLiteral("<< /Type /Annot /Subtype /Widget /FT /Tx /T (n%1) /Parent %2 /Rect [0 0 2 2] /F 4 >>")
                             .arg(i).arg(fields.last()));
          if (i % 100 == 99) objects[fields.last().section(' ', 0, 0).toInt() - 1] = "<< /Kids [" + widgets.mid(i - 99).join(' ') + "] >>";
        }
        const bool self = kind == CostlyPage::NamelessParentFieldsOnSelfDrawingPage;
        page(self ? add(stream("/Self Do\n")) : QString(), "595 842", "/Annots [" + widgets.join(' ') + "]");
        break;
      }
      case CostlyPage::LongValueField:
        fields << add("<< /Type /Annot /Subtype /Widget /FT /Tx /Ff 4096 /T (long) /Rect [20 20 575 822] /F 4 /DA (/Helv 0 Tf 0 g) /V (" +
                      QString(4000000, 'w') + ") >>");
        page({}, "595 842", "/Annots [" + fields.last() + "]");
        break;
    }
  }
  objects[0] = objects[0].arg(fields.join(' '));
  objects[1] = QStringLiteral("<< /Type /Pages /Kids [%1] /Count %2 >>").arg(kids.join(' ')).arg(kids.size());
  return writePdf(path, objects);
}

}  // namespace handwritten
