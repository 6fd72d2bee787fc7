// Typesets the user manual: reads a Markdown source and writes it as an A4 PDF.
// Usage: vireon-manual <source.md> <output.pdf>; exit code 1 when either file fails.
#include <QFile>
#include <QGuiApplication>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>

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
