#include "qt_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

const char* const kMessageCaption = "Isovar";

namespace {

// The dialogs get no title, folder or default extension of their own: the
// platform's defaults apply, and a remembered path starts the dialog in its
// folder with its name in the field.
std::optional<QString> runFileDialog(QWidget* parent, QFileDialog::AcceptMode mode,
                                     const QStringList& nameFilters, const QString& fileName,
                                     QString* selectedFilter = nullptr) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(mode);
  // A typed name that does not exist is returned too: opening it then fails
  // with the library's own message.
  dialog.setFileMode(QFileDialog::AnyFile);
  // The question before replacing a file comes after the extension is
  // settled (FileOpenDlg::ShowSave), so the dialog asks none of its own.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (!nameFilters.isEmpty()) dialog.setNameFilters(nameFilters);
  if (!fileName.isEmpty()) dialog.selectFile(fileName);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  if (selectedFilter != nullptr) *selectedFilter = dialog.selectedNameFilter();
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? QString() : files.first();
}

}  // namespace

std::optional<QString> QtDialogs::openFile(const QStringList& nameFilters, const QString& fileName) {
  return runFileDialog(parent_, QFileDialog::AcceptOpen, nameFilters, fileName);
}

std::optional<QString> QtDialogs::saveFile(const QStringList& nameFilters, const QString& fileName,
                                           QString* selectedFilter) {
  return runFileDialog(parent_, QFileDialog::AcceptSave, nameFilters, fileName, selectedFilter);
}

bool QtDialogs::printSetup(QPrinter& printer) {
  QPrintDialog dialog(&printer, parent_);
  // Printer, paper and orientation; a page range means nothing for a
  // one-page plot.
  dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
  return dialog.exec() == QDialog::Accepted;
}

void QtDialogs::message(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kMessageCaption), text, QMessageBox::Ok, parent_);
  box.setTextFormat(Qt::PlainText);  // a file name in a message is no markup
  box.exec();
}

bool QtDialogs::question(const QString& text) {
  QMessageBox box(QMessageBox::Question, QString::fromLatin1(kMessageCaption), text,
                  QMessageBox::Yes | QMessageBox::No, parent_);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}
