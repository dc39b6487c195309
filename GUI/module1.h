// Module1: the program's state and the bodies of the window's event
// procedures, kept apart from the widgets so they run without a window. The
// widgets (Form1) only forward their events here.
//
// Owns: the state below, the picture's drawing surface and the dialog object.
// Calls: IsovarLib through its binding, the dialogs and message boxes through
// Dialogs, the printer through Module2.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <functional>

#include "file_open_dlg.h"
#include "isovar_lib_binding.h"
#include "plot_surface.h"
#include "window_files.h"

// The program's own messages.
extern const char* const kDrawPlotBeforeBmp;    // "最初にIsovar図を表示してください。"
extern const char* const kDrawPlotBeforePrint;  // "最初に描画してください"
extern const char* const kPrinterCancel;        // "Printer cancel"; a failure adds " (reason)"
// The save dialog's file types: BMP files, and all files.
extern const char* const kBmpFilter;            // "BMP(*.BMP)|*.bmp|すべて|*.*"
// The open dialog's: Isovar input files, and all files.
extern const char* const kOpenFilter;           // "Isovar files|*.isovar|すべて|*.*"
// The display list's and the run log's names in the window's own folder.
extern const char* const kPrtInfoName;          // "prtInfo.tmp"
extern const char* const kRunLogName;           // "isovar.log"
extern const char* const kLargeModelHint;       // under a message of a default table's limit
// Said when a model passed the default tables and large mode took over.
extern const char* const kLargeModelsUsed;
// Said at start-up when the window's own folder cannot be made; the reason follows.
extern const char* const kNoOwnFolder;

class Module1 : public QObject {
 public:
  Module1(const IsovarLibBinding& lib, Dialogs& dialogs, QObject* parent = nullptr);

  // The state, for the life of the program.
  QString inputPath;        // the input file chosen last
  // The display-list file and the run log: in the window's own folder, or
  // when that cannot be made "prtInfo.tmp" and the library's "isovar.log"
  // in the current directory (runLogPath empty).
  QByteArray prtInfoPath;
  QByteArray runLogPath;
  bool dataLoaded = false;  // a model was read successfully at least once
  bool plotDrawn = false;   // the model read last was drawn: the display list is complete
  char errMsg[ISOVAR_ERRMSG_SIZE + 1] = {};  // lent to every library call that can fail

  FileOpenDlg fileOpenDlg;
  QSize pictureSize{665, 585};  // Picture1's drawing area in pixels
  bool fillBands = false;       // the plot runs fill the bands (塗りつぶし)
  bool largeModels = false;     // the reads and plot runs lift the default tables' limits
  // The key, axes, colour map and outline of the pictures (表示スタイル);
  // all zero is the plain picture.
  IsovarPictureStyle pictureStyle{};

  // Runs the paint procedure on the picture at once. The window makes it a
  // repaint of Picture1; left empty, it is a plot run on the surface alone.
  std::function<void()> paintNow;
  // Called when large mode went on or off (by itself too): the window's item
  // shows it.
  std::function<void()> largeModelsChanged;

  // Start-up: the state is set, the library's first function called and the
  // window's own folder made (after removing those of windows that died).
  void Form_Load();
  // The open command: the open dialog, then the input read and plotted.
  void FileCommand_Click();
  // Opens path as if it had been chosen in the open dialog.
  void OpenInput(const QString& path);
  // The paint procedure: a full plot run on a surface of size. True when the
  // surface holds the new plot; false leaves the picture blank and refuses
  // BMP and print until a run succeeds. A failed run is reported once, by a
  // message box shown after the paint (never from inside it), and not again
  // until a read or a run succeeds. A run stopped by a default table's limit
  // switches to large mode, reads the model again and plots it.
  bool Picture1_Paint(const QSize& size);
  // The surface the paint procedure drew on.
  QImage picture() const { return surface_.image(); }
  void BMPCommand_Click();
  void PrtCommand_Click();
  // Whether the library can fill bands (the 塗りつぶし item is offered).
  bool canFillBands() const { return lib_.setFillBands != nullptr; }
  // The 塗りつぶし item: fills the bands of the plot runs that follow, or
  // not, and repaints a plot on the screen. The picture, a saved BMP and a
  // printout all come from those runs. Nothing when the library cannot.
  void setFillBands(bool on);
  // Whether the library takes picture styles (the 表示スタイル menu is offered).
  bool canStylePictures() const { return lib_.setPictureStyle != nullptr; }
  // The 表示スタイル items: the plot runs that follow draw in style, and a
  // plot on the screen is repainted. False, keeping the style in force, when
  // the library refuses it or cannot take styles.
  bool setPictureStyle(const IsovarPictureStyle& style);
  // Whether the library has large mode (the window's item is offered).
  bool canUseLargeModels() const { return lib_.setLargeModels != nullptr; }
  // The large-mode item and --large: the reads and plot runs that follow lift
  // the default tables' limits, or not; a model read is read again in the
  // new mode and plotted (one that then passes the default tables switches
  // large mode back on). Nothing when the library cannot.
  void setLargeModels(bool on);
  // The window's own folder (empty when it could not be made).
  const std::string& ownFolder() const { return ownFiles_.folder(); }

 private:
  void readInput();
  // readData of path into the model store, in large mode when the default
  // tables stop it. The store keeps its model when the read fails.
  bool readModel(const QByteArray& path);
  // Plots the model now, on the picture or the surface.
  void paintModel();
  // Turns large mode on after a default table's limit stopped a read or a
  // run, and says so after the paint; false when it cannot help (the limit
  // was not the reason, or large mode is on already or missing).
  bool switchToLargeModels();
  void applyLargeModels(bool on);
  // Points the library's run log at the window's folder: the setting is the
  // process's, and each window has its own log.
  void useOwnRunLog();
  void clearErrMsg();
  // The library's message, and under it how to lift the default tables'
  // limits when they stopped the model.
  QString errMsgText();
  void reportPaintFailure(const QString& text);

  void notifyLater(const QString& text);

  IsovarLibBinding lib_;
  Dialogs& dialogs_;
  PlotSurface surface_;
  WindowFiles ownFiles_;
  QByteArray loadedPath_;   // the file the model store holds
  QByteArray plottedPath_;  // the file whose model was plotted last
  bool paintFailureReported_ = false;
};
