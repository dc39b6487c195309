// Module2: printing. The print command does not plot again: it replays the
// display-list file of the last successful plot run onto the printer.
#pragma once

#include <QByteArray>
#include <string>

class QPagedPaintDevice;

namespace Module2 {

// Replays the display-list file at path (file-system bytes, relative to the
// current directory) onto one page of printer and ends the document. False,
// with the reason in *reason when given, when the file cannot be read or the
// printer fails.
bool PrintDisplayList(const QByteArray& path, QPagedPaintDevice& printer, std::string* reason = nullptr);

}  // namespace Module2
