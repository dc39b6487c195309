#include "module2.h"

#include <QFile>
#include <QPrinter>

#include "atomic_file.h"
#include "print_replay.h"
#include "qt_printer.h"

namespace Module2 {

bool PrintDisplayList(const QByteArray& path, QPrinter& printer, std::string* reason) {
  if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()) {
    const replay::PdfPage page{printer.pageLayout(), printer.resolution(), printer.creator(), printer.docName()};
    QByteArray pdf;
    if (!replay::PrintDisplayListToPdf(path.toStdString(), page, &pdf, reason)) return false;
    const QByteArray file = QFile::encodeName(printer.outputFileName());
    const int error = files::replace_file(file.constData(), pdf.constData(), static_cast<std::size_t>(pdf.size()),
                                          files::Target::kNamedByUser);
    if (error != 0 && reason != nullptr) *reason = files::write_failure(file.toStdString(), error);
    return error == 0;
  }
  std::unique_ptr<replay::Printer> page = replay::make_qt_printer(printer);
  return replay::PrintDisplayList(path.toStdString(), *page, reason);
}

}  // namespace Module2
