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
const char* const kOpenFilter = "Isovar files|*.isovar|すべて|*.*";
const char* const kPrtInfoName = "prtInfo.tmp";
const char* const kRunLogName = "isovar.log";
const char* const kLargeModelHint = "モデルが既定の表の大きさを超えています。Isovar --large で制限を外せます。";
const char* const kLargeModelsUsed =
    "モデルが既定の表の大きさを超えるため、大規模モデルのモードに切り替えて読み直しました。"
    "このモードは終了するまで続きます（右クリックのメニューで切り替えられます）。";
const char* const kNoOwnFolder =
    "表示リストと実行ログのフォルダを作れません。カレントフォルダの prtInfo.tmp と isovar.log を使います。";

Module1::Module1(const IsovarLibBinding& lib, Dialogs& dialogs, QObject* parent)
    : QObject(parent), fileOpenDlg(dialogs), lib_(lib), dialogs_(dialogs) {}

void Module1::Form_Load() {
  dataLoaded = false;
  plotDrawn = false;
  prtInfoPath = kPrtInfoName;
  runLogPath.clear();
  // The first call into the library; the directory it gives is not used.
  char directory[300] = {};
  lib_.currentDir(directory);
  // A folder of this window's own: another window's plot never replaces the
  // display list this one prints, nor writes into its run log.
  const int error = ownFiles_.make(WindowFiles::defaultBases());
  if (error != 0) {
    dialogs_.message(QString::fromUtf8(kNoOwnFolder) + QStringLiteral("\n(") +
                     QString::fromLocal8Bit(std::strerror(error)) + QLatin1Char(')'));
    return;
  }
  prtInfoPath = QByteArray::fromStdString(ownFiles_.file(kPrtInfoName));
  if (lib_.setRunLog != nullptr) runLogPath = QByteArray::fromStdString(ownFiles_.file(kRunLogName));
}

void Module1::useOwnRunLog() {
  if (lib_.setRunLog != nullptr) lib_.setRunLog(runLogPath.isEmpty() ? nullptr : runLogPath.constData());
}

void Module1::clearErrMsg() { std::memset(errMsg, 0, sizeof errMsg); }

QString Module1::errMsgText() {
  errMsg[ISOVAR_ERRMSG_SIZE] = '\0';  // the library's text ends within its 256 bytes
  QString text = fromCp932(errMsg);
  // Only where large mode could not take over by itself.
  if (!largeModels && lib_.tableLimitReached != nullptr && lib_.tableLimitReached() != 0)
    text += QLatin1Char('\n') + QString::fromUtf8(kLargeModelHint);
  return text;
}

void Module1::FileCommand_Click() {
  fileOpenDlg.filter = QString::fromUtf8(kOpenFilter);
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

bool Module1::readModel(const QByteArray& path) {
  useOwnRunLog();
  clearErrMsg();
  if (lib_.readData(path.constData(), errMsg) != 0) {
    if (!switchToLargeModels()) return false;
    clearErrMsg();
    if (lib_.readData(path.constData(), errMsg) != 0) return false;
  }
  loadedPath_ = path;
  return true;
}

bool Module1::switchToLargeModels() {
  if (largeModels || !canUseLargeModels() || lib_.tableLimitReached == nullptr || lib_.tableLimitReached() == 0)
    return false;
  applyLargeModels(true);
  notifyLater(QString::fromUtf8(kLargeModelsUsed));
  return true;
}

void Module1::applyLargeModels(bool on) {
  largeModels = on;
  lib_.setLargeModels(on ? 1 : 0);
  if (largeModelsChanged) largeModelsChanged();
}

void Module1::setLargeModels(bool on) {
  if (!canUseLargeModels() || on == largeModels) return;
  applyLargeModels(on);
  if (!dataLoaded) return;
  // The model store was filled in the other mode.
  if (!readModel(loadedPath_)) {
    dialogs_.message(errMsgText());
    return;
  }
  plotDrawn = false;
  paintFailureReported_ = false;
  paintModel();
}

void Module1::paintModel() {
  if (paintNow)
    paintNow();
  else
    Picture1_Paint(pictureSize);
}

void Module1::readInput() {
  const QByteArray path = QFile::encodeName(inputPath);
  if (!readModel(path)) {
    // The model store keeps the model read before: an earlier plot stays on
    // the screen, and stays printable.
    dialogs_.message(errMsgText());
    return;
  }
  dataLoaded = true;
  plotDrawn = false;
  paintFailureReported_ = false;
  paintModel();
  if (plotDrawn || plottedPath_.isEmpty() || plottedPath_ == path) return;
  // The new model was read but does not plot; its message comes after the
  // paint. The model plotted before is read again, so the window keeps its
  // picture (and its BMP and print commands) instead of a blank box.
  if (readModel(plottedPath_)) paintModel();
}

bool Module1::Picture1_Paint(const QSize& size) {
  if (!dataLoaded) return false;
  HDC hdc = surface_.dc(size.width(), size.height());
  if (hdc == nullptr) return false;
  useOwnRunLog();
  clearErrMsg();
  int32_t result = lib_.isovarMain(errMsg, hdc, prtInfoPath.constData(), size.width(), size.height());
  if (result != 0 && switchToLargeModels()) {
    // The store was filled with the default tables: read again, plot again.
    clearErrMsg();
    result = lib_.readData(loadedPath_.constData(), errMsg);
    if (result == 0) {
      clearErrMsg();
      result = lib_.isovarMain(errMsg, hdc, prtInfoPath.constData(), size.width(), size.height());
    }
  }
  if (result != 0) {
    // The display list on disk is now another picture's, or none.
    plotDrawn = false;
    reportPaintFailure(errMsgText());
    return false;
  }
  plotDrawn = true;
  plottedPath_ = loadedPath_;
  paintFailureReported_ = false;
  return true;
}

void Module1::reportPaintFailure(const QString& text) {
  // Closing the box uncovers the picture, whose repaint fails again: one box
  // for one failure, not a box after every repaint.
  if (paintFailureReported_) return;
  paintFailureReported_ = true;
  notifyLater(text);
}

void Module1::notifyLater(const QString& text) {
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
  useOwnRunLog();
  clearErrMsg();
  if (lib_.saveBMP(errMsg, hdc, prtInfoPath.constData(), bmpPath.constData(), pictureSize.width(),
                   pictureSize.height()) != 0)
    dialogs_.message(errMsgText());
}

void Module1::setFillBands(bool on) {
  if (!canFillBands()) return;
  fillBands = on;
  lib_.setFillBands(on ? 1 : 0);
  if (dataLoaded) paintModel();
}

bool Module1::setPictureStyle(const IsovarPictureStyle& style) {
  if (!canStylePictures() || lib_.setPictureStyle(&style) != 0) return false;
  pictureStyle = style;
  if (dataLoaded) paintModel();
  return true;
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
