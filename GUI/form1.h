// Form1: the main window. A picture box and four buttons at fixed places; the
// events go to Module1.
#pragma once

#include <QAction>
#include <QPushButton>
#include <QWidget>
#include <memory>

#include "module1.h"

class Form1;

// The picture box. It keeps no picture of its own: every paint is a plot run.
// Its context menu holds the checkable 塗りつぶし item (filled bands).
class Picture1Box : public QWidget {
 public:
  Picture1Box(Module1& module1, QWidget* parent);

  QAction* FillItem;  // 塗りつぶし; disabled when the library cannot fill

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  Module1& module1_;
};

class Form1 : public QWidget {
 public:
  // dialogs: where the window's dialogs and message boxes go; Qt's own when
  // null. Runs the start-up procedure.
  explicit Form1(const IsovarLibBinding& lib, Dialogs* dialogs = nullptr);
  ~Form1() override;

  Module1& module1() { return *module1_; }

  Picture1Box* Picture1;
  QPushButton* FileCommand;
  QPushButton* exitBtn;
  QPushButton* BMPCommand;
  QPushButton* PrtCommand;

 private:
  void exitBtn_Click();

  std::unique_ptr<Dialogs> ownDialogs_;
  std::unique_ptr<Module1> module1_;
};

// The window's title; it ends with an ideographic space.
extern const char* const kForm1Caption;  // "WinIsovar　"
// The picture's context-menu item for filled bands.
extern const char* const kFillItemCaption;  // "塗りつぶし"
