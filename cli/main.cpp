// isovar-plot: reads an input file with the library, makes one plot run into
// an off-screen picture and saves what the options ask for (BMP, PNG, the
// isolines as GeoJSON, the printed page as PDF).
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "IsovarLib.h"
#include "atomic_file.h"
#include "options.h"
#include "platform.h"
#include "print_replay.h"
#include "qt_printer.h"

namespace isovar_plot {

namespace {

int own_failure(const std::string& text) {
  std::cerr << "isovar-plot: " << text << '\n';
  return kExitFailure;
}

// The library's message (code page 932) in UTF-8, after the input's name;
// when the library could not write a file (error is the system's reason),
// it is the tool's failure, and the reason follows the message. When the
// model passed a default table's size, a second line says how to lift it.
int library_failure(const std::string& input, const char* err_msg, int error = 0) {
  std::string text = replay::cp932_to_utf8(err_msg);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  if (error != 0) return own_failure(text + ": " + std::strerror(error));
  std::cerr << input << ": " << text << '\n';
  if (tableLimitReached() != 0)
    std::cerr << input << ": the model is larger than the default tables; --large lifts their limits\n";
  return kExitFailure;
}

// Writes a file the user named whole, or says why it could not.
int write_output(const std::string& path, const QByteArray& bytes) {
  int error = files::replace_file(path.c_str(), bytes.constData(), static_cast<std::size_t>(bytes.size()),
                                  files::Target::kNamedByUser);
  return error == 0 ? kExitOk : own_failure(files::write_failure(path, error));
}

class Surface {
 public:
  // A surface that also records the picture as SVG when svg is set.
  Surface(int width, int height, bool svg)
      : hdc_(svg ? CreateSvgSurfaceDC(width, height) : CreateSurfaceDC(width, height)) {}
  ~Surface() {
    if (hdc_ != nullptr) DeleteDC(hdc_);
  }
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;
  HDC get() const { return hdc_; }

 private:
  HDC hdc_;
};

int save_png(HDC hdc, const std::string& path) {
  int w = 0, h = 0;
  const uint32_t* bits = GetSurfaceBits(hdc, &w, &h);
  if (bits == nullptr) return own_failure("cannot read the picture for " + path);
  // Surface pixels are 0x00RRGGBB words: exactly Qt's RGB32.
  QImage image(reinterpret_cast<const uchar*>(bits), w, h, w * 4, QImage::Format_RGB32);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) return own_failure("cannot make the PNG picture for " + path);
  return write_output(path, png);
}

// Qt's own chatter (missing runtime folders and the like) is no business of
// this tool's users; its real failures come back as results.
void quiet_qt(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::cerr << "isovar-plot: " << text.toStdString() << '\n';
}

int print_pdf(const Options& o) {
  // Fonts need a QGuiApplication; this tool never shows a window.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  qInstallMessageHandler(quiet_qt);
  int qt_argc = 1;
  char name[] = "isovar-plot";
  char* qt_argv[] = {name, nullptr};
  QGuiApplication app(qt_argc, qt_argv);
  replay::PdfPage page = replay::a4_pdf_page();
  page.creator = QStringLiteral("isovar-plot");
  QByteArray pdf;
  std::string reason;
  if (!replay::PrintDisplayListToPdf(o.display_list, page, &pdf, &reason))
    return own_failure("Printer cancel (" + reason + ")");
  return write_output(o.pdf, pdf);
}

int plot(const Options& o) {
  char err_msg[ISOVAR_ERRMSG_SIZE] = {};
  setLargeModels(o.large ? 1 : 0);
  setFillBands(o.fill ? 1 : 0);
  if (readData(o.input.c_str(), err_msg) != 0) return library_failure(o.input, err_msg);

  Surface surface(o.width, o.height, !o.svg.empty());
  if (surface.get() == nullptr)
    return own_failure("cannot make a picture of " + std::to_string(o.width) + "x" + std::to_string(o.height) +
                       " pixels");

  int32_t r = o.bmp.empty() ? isovarMain(err_msg, surface.get(), o.display_list.c_str(), o.width, o.height)
                            : saveBMP(err_msg, surface.get(), o.display_list.c_str(), o.bmp.c_str(), o.width,
                                      o.height);
  if (r != 0) return library_failure(o.input, err_msg, errno);

  if (!o.png.empty()) {
    if (int status = save_png(surface.get(), o.png)) return status;
  }
  if (!o.svg.empty()) {
    std::size_t size = 0;
    const char* svg = GetSurfaceSvg(surface.get(), &size);
    if (svg == nullptr) return own_failure("cannot make the SVG picture for " + o.svg);
    if (int error = files::replace_file(o.svg.c_str(), svg, size, files::Target::kNamedByUser))
      return own_failure(files::write_failure(o.svg, error));
  }
  if (!o.isolines.empty() && saveIsolines(err_msg, o.isolines.c_str()) != 0) {
    // The library's texts name no file: the tool names it.
    const int error = errno;
    return error != 0 ? own_failure(files::write_failure(o.isolines, error)) : library_failure(o.input, err_msg);
  }
  if (!o.bands.empty() && saveBands(err_msg, o.bands.c_str()) != 0) {
    const int error = errno;
    return error != 0 ? own_failure(files::write_failure(o.bands, error)) : library_failure(o.input, err_msg);
  }
  if (!o.pdf.empty()) return print_pdf(o);
  return kExitOk;
}

}  // namespace

}  // namespace isovar_plot

int main(int argc, char** argv) {
  isovar_plot::Options options;
  int status = isovar_plot::parse_command_line(argc, argv, options);
  if (status >= 0) return status;
  return isovar_plot::plot(options);
}
