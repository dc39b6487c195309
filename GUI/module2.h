// Module2: printing. The print command does not plot again: it replays the
// display-list file of the last successful plot run onto the printer.
#pragma once

#include <QByteArray>
#include <string>

class QPrinter;

namespace Module2 {

// Replays the display-list file at path (file-system bytes, relative to the
// current directory) onto one page of printer and ends the document. A
// printer that prints to a PDF file gets the page made in memory and written
// whole, so a file that cannot be written keeps its earlier bytes. False,
// with the reason in *reason when given, when the file cannot be read, the
// printer fails or the PDF file cannot be written.
bool PrintDisplayList(const QByteArray& path, QPrinter& printer, std::string* reason = nullptr);

}  // namespace Module2
