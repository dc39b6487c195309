#include "qt_printer.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QPen>
#include <QPrinter>

namespace replay {

namespace {

// Font sizes outside this range come only from a damaged file; a glyph
// larger than the page would only cost time.
constexpr int kMinPoints = 1;
constexpr int kMaxPoints = 1000;

constexpr double kTwipsPerInch = 1440.0;

class QtPrinter : public Printer {
 public:
  explicit QtPrinter(QPagedPaintDevice& device)
      : device_(device),
        scale_x_(device.logicalDpiX() / kTwipsPerInch),
        scale_y_(device.logicalDpiY() / kTwipsPerInch) {
    font_.setPointSize(10);
  }

  ~QtPrinter() override {
    if (painter_.isActive()) painter_.end();
  }

  void set_font_face(const std::string& face) override {
    font_.setFamily(matched_family(QString::fromStdString(face)));
  }

  void set_font_size(int points) override {
    font_.setPointSize(points < kMinPoints ? kMinPoints : points > kMaxPoints ? kMaxPoints : points);
  }

  void set_line_width(int pixels) override { width_ = pixels; }

  bool draw_line(int x1, int y1, int x2, int y2) override {
    if (!begin()) return false;
    // Round ends and joins, as a wide pen draws them on the screen.
    QPen pen(Qt::black, width_, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter_.setPen(pen);
    painter_.drawLine(point(x1, y1), point(x2, y2));
    return healthy();
  }

  bool draw_text(int x, int y, const std::string& text) override {
    if (!begin()) return false;
    painter_.setPen(QPen(Qt::black));
    painter_.setFont(font_);
    // drawText places the baseline; the replay gives the top-left corner.
    QFontMetricsF metrics(font_, &device_);
    QPointF corner = point(x, y);
    painter_.drawText(QPointF(corner.x(), corner.y() + metrics.ascent()), QString::fromStdString(text));
    return healthy();
  }

  bool fill_polygons(uint32_t rgb, const std::vector<PrintPolygon>& polygons) override {
    if (!begin()) return false;
    // One path, so the device fills the band as one shape.
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    for (const PrintPolygon& polygon : polygons) {
      if (polygon.size() < 3) continue;
      QPolygonF corners;
      corners.reserve(static_cast<int>(polygon.size()));
      for (const PrintPoint& p : polygon) corners << point(p.x, p.y);
      path.addPolygon(corners);
      path.closeSubpath();
    }
    painter_.fillPath(path, QColor(QRgb(rgb)));
    return healthy();
  }

  bool end_document() override {
    if (!begin()) return false;
    return painter_.end() && healthy_device();
  }

  void abort_document() override {
    if (auto* printer = dynamic_cast<QPrinter*>(&device_)) printer->abort();
    if (painter_.isActive()) painter_.end();
  }

 private:
  QPointF point(int x, int y) const { return QPointF(x * scale_x_, y * scale_y_); }

  bool begin() {
    if (painter_.isActive()) return true;
    if (begun_) return false;  // ended, or failed to begin
    begun_ = true;
    if (!painter_.begin(&device_)) return false;
    painter_.setRenderHint(QPainter::Antialiasing);
    painter_.setBrush(Qt::NoBrush);
    return true;
  }

  bool healthy() const { return painter_.isActive() && healthy_device(); }

  bool healthy_device() const {
    if (auto* printer = dynamic_cast<const QPrinter*>(&device_))
      return printer->printerState() != QPrinter::Error && printer->printerState() != QPrinter::Aborted;
    return true;
  }

  QPagedPaintDevice& device_;
  QPainter painter_;
  QFont font_;
  int width_ = 0;
  bool begun_ = false;
  double scale_x_;
  double scale_y_;
};

}  // namespace

QString matched_family(const QString& face) {
  QStringList candidates{face};
  QString ascii_space = face;
  ascii_space.replace(QChar(0x3000), QChar(' '));
  if (ascii_space != face) candidates << ascii_space;
  candidates << QStringLiteral("MS Gothic") << QStringLiteral("IPAGothic");
  for (const QString& family : candidates)
    if (QFontDatabase::hasFamily(family)) return family;
  return QStringLiteral("monospace");
}

std::unique_ptr<Printer> make_qt_printer(QPagedPaintDevice& device) {
  return std::make_unique<QtPrinter>(device);
}

PdfPage a4_pdf_page() {
  const double m = kPdfMarginInches;
  return {QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(m, m, m, m), QPageLayout::Inch),
          kPdfResolution, QString(), QString()};
}

bool PrintDisplayListToPdf(const std::string& dl_path, const PdfPage& page, QByteArray* pdf, std::string* reason) {
  pdf->clear();
  QBuffer buffer(pdf);
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter writer(&buffer);
  writer.setPageLayout(page.layout);
  writer.setResolution(page.resolution);
  writer.setCreator(page.creator);
  writer.setTitle(page.title);
  return PrintDisplayList(dl_path, *make_qt_printer(writer), reason);
}

}  // namespace replay
