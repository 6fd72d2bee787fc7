// Typesets the user manual: reads a Markdown source and writes it as an A4 PDF.
// Usage: vireon-manual <source.md> <output.pdf>; exit code 1 when either file fails.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: vireon-manual <source.md> <output.pdf>\n");
    return 1;
  }
  QFile source(argv[1]);
  if (!source.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "vireon-manual: cannot read %s\n", argv[1]);
    return 1;
  }
  QTextDocument doc;
  QFont font("Arial");
  font.setPointSize(11);
  doc.setDefaultFont(font);
  doc.setMarkdown(QString::fromUtf8(source.readAll()));
  // Printing works on a copy of the document, which loads no pictures of its own: put each one
  // in as a resource, scaled to the text's width.
  const QDir folder = QFileInfo(argv[1]).absoluteDir();
  std::vector<QTextFragment> pictures;
  for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
    for (auto it = block.begin(); !it.atEnd(); ++it)
      if (it.fragment().charFormat().isImageFormat()) pictures.push_back(it.fragment());
  for (const QTextFragment& fragment : pictures) {
    QTextImageFormat format = fragment.charFormat().toImageFormat();
    const QImage picture(folder.filePath(format.name()));
    if (picture.isNull()) {
      std::fprintf(stderr, "vireon-manual: cannot read %s\n", qPrintable(format.name()));
      return 1;
    }
    doc.addResource(QTextDocument::ImageResource, QUrl(format.name()), picture);
    constexpr double kTextWidth = 540;  // within the A4 text width, at the document's 96 dpi
    format.setWidth(kTextWidth);
    format.setHeight(kTextWidth * picture.height() / picture.width());
    QTextCursor cursor(&doc);
    cursor.setPosition(fragment.position());
    cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
    cursor.setCharFormat(format);
  }

  QPdfWriter pdf(argv[2]);
  pdf.setPageSize(QPageSize(QPageSize::A4));
  pdf.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
  pdf.setTitle("Vireon Data Logger - User Manual");
  doc.print(&pdf);
  if (!QFile::exists(argv[2])) {
    std::fprintf(stderr, "vireon-manual: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
