// The window's command line: "Isovar [--large] [--fill] [--] [FILE]", with
// --help and --version, which print and end the program before any window
// or display is opened. Qt's own options (-platform, -display, -style, ...)
// are taken out by QApplication before the options are checked.
#pragma once

#include <QString>
#include <QStringList>

struct WindowOptions {
  bool large = false;    // --large: large mode from the start
  bool fill = false;     // --fill: the bands filled from the start
  bool help = false;     // -h, --help
  bool version = false;  // --version
  QString file;          // FILE, opened at start-up; empty for none
  QString error;         // what is wrong with the arguments; empty when nothing
};

// Parses arguments (the first is the program). An unknown option or a second
// file is an error; --help and --version are told even then, so that they
// can be looked for before QApplication has taken out its own options.
WindowOptions parseWindowOptions(const QStringList& arguments);

// What --help prints (needs a QCoreApplication for the program's name), and
// what --version prints; each ends with a newline.
QString windowHelpText();
QString windowVersionText();  // "Isovar VERSION"

// The options the window takes, as --help shows them ("--large", "-h", ...).
QStringList windowOptionNames();
