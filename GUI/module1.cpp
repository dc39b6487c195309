#include "module1.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QTimer>
#include <cstring>
#include <string>

#include "cp932_text.h"
#include "module2.h"

const char* const kDrawPlotBeforeBmp = "最初にIsovar図を表示してください。";
const char* const kDrawPlotBeforePrint = "最初に描画してください";
const char* const kPrinterCancel = "Printer cancel";
const char* const kBmpFilter = "BMP(*.BMP)|*.bmp|すべて|*.*";
const char* const kPrtInfoName = "prtInfo.tmp";
const char* const kLargeModelHint = "モデルが既定の表の大きさを超えています。Isovar --large で制限を外せます。";

Module1::Module1(const IsovarLibBinding& lib, Dialogs& dialogs, QObject* parent)
    : QObject(parent), fileOpenDlg(dialogs), lib_(lib), dialogs_(dialogs) {}

void Module1::Form_Load() {
  dataLoaded = false;
  plotDrawn = false;
  prtInfoPath = kPrtInfoName;
  // The first call into the library; the directory it gives is not used.
  char directory[300] = {};
  lib_.currentDir(directory);
}

void Module1::clearErrMsg() { std::memset(errMsg, 0, sizeof errMsg); }

QString Module1::errMsgText() {
  errMsg[ISOVAR_ERRMSG_SIZE] = '\0';  // the library's text ends within its 256 bytes
  QString text = fromCp932(errMsg);
  if (lib_.tableLimitReached != nullptr && lib_.tableLimitReached() != 0)
    text += QLatin1Char('\n') + QString::fromUtf8(kLargeModelHint);
  return text;
}

void Module1::FileCommand_Click() {
  std::optional<QString> path = fileOpenDlg.ShowOpen();
  if (!path) return;
  inputPath = *path;
  if (inputPath.isEmpty()) return;
  readInput();
}

void Module1::OpenInput(const QString& path) {
  fileOpenDlg.choose(path);
  inputPath = fileOpenDlg.fileName;
  if (inputPath.isEmpty()) return;
  readInput();
}

void Module1::readInput() {
  const QByteArray path = QFile::encodeName(inputPath);
  clearErrMsg();
  if (lib_.readData(path.constData(), errMsg) != 0) {
    // The flags keep their values: an earlier plot stays printable.
    dialogs_.message(errMsgText());
    return;
  }
  dataLoaded = true;
  plotDrawn = false;
  paintFailureReported_ = false;
  if (paintNow)
    paintNow();
  else
    Picture1_Paint(pictureSize);
}

bool Module1::Picture1_Paint(const QSize& size) {
  if (!dataLoaded) return false;
  HDC hdc = surface_.dc(size.width(), size.height());
  if (hdc == nullptr) return false;
  clearErrMsg();
  if (lib_.isovarMain(errMsg, hdc, prtInfoPath.constData(), size.width(), size.height()) != 0) {
    // The display list on disk is now another picture's, or none.
    plotDrawn = false;
    reportPaintFailure(errMsgText());
    return false;
  }
  plotDrawn = true;
  paintFailureReported_ = false;
  return true;
}

void Module1::reportPaintFailure(const QString& text) {
  // Closing the box uncovers the picture, whose repaint fails again: one box
  // for one failure, not a box after every repaint.
  if (paintFailureReported_) return;
  paintFailureReported_ = true;
  QTimer::singleShot(0, this, [this, text] { dialogs_.message(text); });
}

void Module1::BMPCommand_Click() {
  if (!plotDrawn) {
    dialogs_.message(QString::fromUtf8(kDrawPlotBeforeBmp));
    return;
  }
  fileOpenDlg.filter = QString::fromUtf8(kBmpFilter);
  // The last name with ".bmp" (the input's own name would be replaced by a
  // picture), in its folder.
  QString proposed = fileOpenDlg.fileName;
  const QFileInfo last(proposed);
  if (!proposed.isEmpty() && last.suffix().compare(QLatin1String("bmp"), Qt::CaseInsensitive) != 0)
    proposed = last.dir().filePath(last.completeBaseName() + QLatin1String(".bmp"));
  std::optional<QString> path = fileOpenDlg.ShowSave(proposed, QStringLiteral("bmp"));
  if (!path || path->isEmpty()) return;
  HDC hdc = surface_.dc(pictureSize.width(), pictureSize.height());
  if (hdc == nullptr) return;
  const QByteArray bmpPath = QFile::encodeName(*path);
  clearErrMsg();
  if (lib_.saveBMP(errMsg, hdc, prtInfoPath.constData(), bmpPath.constData(), pictureSize.width(),
                   pictureSize.height()) != 0)
    dialogs_.message(errMsgText());
}

void Module1::setFillBands(bool on) {
  if (!canFillBands()) return;
  fillBands = on;
  lib_.setFillBands(on ? 1 : 0);
  if (!dataLoaded) return;
  if (paintNow)
    paintNow();
  else
    Picture1_Paint(pictureSize);
}

void Module1::PrtCommand_Click() {
  if (!plotDrawn) {
    dialogs_.message(QString::fromUtf8(kDrawPlotBeforePrint));
    return;
  }
  if (!fileOpenDlg.ShowPrinter()) {
    dialogs_.message(QString::fromLatin1(kPrinterCancel));
    return;
  }
  // A failure says why, after the same words as a cancelled dialog.
  std::string reason;
  if (!Module2::PrintDisplayList(prtInfoPath, fileOpenDlg.printer(), &reason))
    dialogs_.message(QString::fromLatin1(kPrinterCancel) + QStringLiteral(" (") + QString::fromStdString(reason) +
                     QLatin1Char(')'));
}
