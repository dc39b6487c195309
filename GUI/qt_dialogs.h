// The program's dialogs and message boxes: Qt's own, modal to the window.
#pragma once

#include <QPointer>
#include <QWidget>

#include "file_open_dlg.h"

class QtDialogs : public Dialogs {
 public:
  explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}

  std::optional<QString> openFile(const QStringList& nameFilters, const QString& fileName) override;
  std::optional<QString> saveFile(const QStringList& nameFilters, const QString& fileName,
                                  QString* selectedFilter) override;
  bool printSetup(QPrinter& printer) override;
  void message(const QString& text) override;
  bool question(const QString& text) override;

 private:
  QPointer<QWidget> parent_;
};

// The caption of every message box.
extern const char* const kMessageCaption;  // "Isovar"
