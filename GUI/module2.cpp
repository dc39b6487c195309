#include "module2.h"

#include "print_replay.h"
#include "qt_printer.h"

namespace Module2 {

bool PrintDisplayList(const QByteArray& path, QPagedPaintDevice& printer, std::string* reason) {
  std::unique_ptr<replay::Printer> page = replay::make_qt_printer(printer);
  return replay::PrintDisplayList(path.toStdString(), *page, reason);
}

}  // namespace Module2
