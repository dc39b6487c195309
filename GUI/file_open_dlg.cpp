#include "file_open_dlg.h"

#include <QDir>
#include <QFileInfo>
#include <QPrinter>

QStringList nameFiltersOf(const QString& filter) {
  QStringList shown;
  const QStringList parts = filter.split(QLatin1Char('|'));
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (patterns.isEmpty()) continue;
    for (QString& p : patterns) {
      p = p.trimmed();
      // On this platform "*.*" would miss the names without a dot.
      if (p == QLatin1String("*.*")) p = QStringLiteral("*");
    }
    shown << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return shown;
}

FileOpenDlg::FileOpenDlg(Dialogs& dialogs) : dialogs_(dialogs) {}

FileOpenDlg::~FileOpenDlg() = default;

void FileOpenDlg::choose(const QString& path) {
  if (path.isEmpty()) return;
  QFileInfo info(path);
  fileName = info.absoluteFilePath();
  QDir::setCurrent(info.absolutePath());
}

// The folder change would break a relative path: the caller gets it absolute.
std::optional<QString> FileOpenDlg::chosen(const std::optional<QString>& path) {
  if (!path || path->isEmpty()) return path;
  choose(*path);
  return fileName;
}

std::optional<QString> FileOpenDlg::ShowOpen() {
  std::optional<QString> path = dialogs_.openFile(nameFiltersOf(filter), fileName);
  return chosen(path);
}

std::optional<QString> FileOpenDlg::ShowSave(const QString& proposedName, const QString& defaultSuffix) {
  const QStringList filters = nameFiltersOf(filter);
  QString selected;
  std::optional<QString> path =
      dialogs_.saveFile(filters, proposedName.isEmpty() ? fileName : proposedName, &selected);
  if (!path || path->isEmpty()) return path;
  if (!defaultSuffix.isEmpty() && !filters.isEmpty() && selected == filters.first() &&
      QFileInfo(*path).suffix().isEmpty()) {
    *path += QLatin1Char('.') + defaultSuffix;
  }
  if (QFileInfo::exists(*path) &&
      !dialogs_.question(QStringLiteral("%1 は既にあります。\n置き換えますか？").arg(QFileInfo(*path).fileName()))) {
    return std::nullopt;
  }
  return chosen(path);
}

bool FileOpenDlg::ShowPrinter() { return dialogs_.printSetup(printer()); }

QPrinter& FileOpenDlg::printer() {
  if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  return *printer_;
}
