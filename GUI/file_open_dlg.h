// The modal windows of the program behind one small interface, and the one
// dialog object that the open, save and print-setup commands share.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QPrinter;

// What the window asks of the user. The program shows Qt's dialogs and
// message boxes (QtDialogs); tests put in their own answers.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // The open and the save dialog: the chosen path, or nothing when the user
  // cancelled. nameFilters may be empty (all files shown); fileName is the
  // name the file-name field starts with, empty for none.
  // The save dialog also tells which filter was chosen (its shown text).
  virtual std::optional<QString> openFile(const QStringList& nameFilters, const QString& fileName) = 0;
  virtual std::optional<QString> saveFile(const QStringList& nameFilters, const QString& fileName,
                                          QString* selectedFilter) = 0;
  // The print-setup dialog on printer: true when the user accepted it, with
  // the choices made on printer.
  virtual bool printSetup(QPrinter& printer) = 0;
  // A message box: the text, caption "Isovar", an OK button, no icon.
  virtual void message(const QString& text) = 0;
  // A question with Yes and No: true for Yes.
  virtual bool question(const QString& text) = 0;
};

// The name filters shown for a filter text of description|patterns pairs,
// such as "BMP(*.BMP)|*.bmp|すべて|*.*": one entry per pair, the description
// followed by its patterns in parentheses. "*.*" means every file and shows
// as "*". A description without patterns is dropped.
QStringList nameFiltersOf(const QString& filter);

// The dialog object. The filter a command gives it and the name chosen last
// in any of its file dialogs stay on it for the next use; the printer keeps
// the printer, paper and orientation chosen last.
//
// A path chosen in a file dialog makes its folder the process's current
// directory, as the platform's dialogs do when not told to keep it. The
// window's display list and run log live in its own folder; the current
// directory is where they go only when that folder cannot be made.
class FileOpenDlg {
 public:
  explicit FileOpenDlg(Dialogs& dialogs);
  ~FileOpenDlg();

  QString filter;    // description|patterns pairs; empty for none
  QString fileName;  // the last chosen path

  std::optional<QString> ShowOpen();
  // The save dialog, starting with proposedName (the last name when empty).
  // With the first filter chosen, a name typed without an extension gets
  // defaultSuffix; an existing file is replaced only when the user says so
  // (else, as when cancelled, nothing is chosen).
  std::optional<QString> ShowSave(const QString& proposedName = QString(), const QString& defaultSuffix = QString());
  // The print-setup dialog; false when cancelled.
  bool ShowPrinter();

  // Takes a path as if the user had chosen it in a file dialog.
  void choose(const QString& path);

  QPrinter& printer();

 private:
  std::optional<QString> chosen(const std::optional<QString>& path);

  Dialogs& dialogs_;
  std::unique_ptr<QPrinter> printer_;
};
