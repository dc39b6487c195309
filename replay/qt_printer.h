// The print replay's printer over a Qt paged paint device: a QPrinter for the
// window's print command, a QPdfWriter for a PDF file. Needs a
// QGuiApplication (fonts).
//
// Twips become device units through the device's resolution
// (twips x dpi / 1440) with the origin at the top-left corner of the
// printable area (the page's paint rectangle); a line width is in device
// pixels; text is black, in points at the device's resolution, with its
// top-left corner at the given position; band polygons of one colour are
// one painter path (winding fill), so a PDF viewer fills them as one shape.
#pragma once

#include <QByteArray>
#include <QPageLayout>
#include <QString>
#include <memory>
#include <string>

#include "print_replay.h"

class QPagedPaintDevice;

namespace replay {

// The painter is opened on the device with the first drawing (or at the end
// of an empty document) and closed by end_document; abort_document also
// aborts a QPrinter's job. The device must outlive the printer.
std::unique_ptr<Printer> make_qt_printer(QPagedPaintDevice& device);

// The installed font family a face name is printed in: the face itself when
// installed, else (for the Japanese gothic face the replay asks for) its
// ASCII-space spelling, "MS Gothic", "IPAGothic", and last "monospace",
// which fontconfig resolves to some fixed-pitch font.
QString matched_family(const QString& face);

// The page of a PDF and what the document says of itself.
struct PdfPage {
  QPageLayout layout;
  int resolution;  // dots per inch
  QString creator;
  QString title;
};

// isovar-plot's page, as the print command prints on the default printer:
// A4 portrait, 600 dots per inch, a printable area a quarter inch inside
// each edge.
constexpr int kPdfResolution = 600;
constexpr double kPdfMarginInches = 0.25;
PdfPage a4_pdf_page();

// Replays the display list at dl_path onto a one-page PDF made in memory,
// into *pdf; the caller writes it where it belongs, so a file is never left
// half-written. False, with the reason, when the replay fails.
bool PrintDisplayListToPdf(const std::string& dl_path, const PdfPage& page, QByteArray* pdf,
                           std::string* reason = nullptr);

}  // namespace replay
