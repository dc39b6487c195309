// Form1: the main window. A picture box and four buttons at fixed places; the
// events go to Module1.
#pragma once

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <functional>
#include <QWidget>
#include <memory>

#include "module1.h"

class Form1;

// The picture box. It keeps no picture of its own: every paint is a plot run.
// Its context menu holds the checkable items 塗りつぶし (filled bands) and
// 大規模モデル (large mode, which also goes on by itself when a model passes
// the default tables), and the submenu 表示スタイル of the picture's style.
class Picture1Box : public QWidget {
 public:
  Picture1Box(Module1& module1, QWidget* parent);

  QAction* FillItem;   // 塗りつぶし; disabled when the library cannot fill
  QAction* LargeItem;  // 大規模モデル; disabled when the library has no large mode
  // 表示スタイル: the colour key, the axes, the colour map and the domain's
  // outline, each item checked as the style in force has it; disabled when
  // the library takes no styles.
  QMenu* StyleMenu;
  QAction* KeyItems[3];   // 凡例: なし, 右, 下 (ISOVAR_KEY_NONE, _RIGHT, _BELOW)
  QAction* AxesItem;      // 軸
  QAction* MapItems[6];   // カラーマップ: by ISOVAR_COLORMAP_* (classic ... balance)
  QAction* OutlineItem;   // 外形線
  QAction* InlineLabelsItem;  // 線に沿ったラベル: labels along the lines
  QAction* HaloItem;          // ラベルの縁取り: the labels' halo

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void buildStyleMenu();
  // A style item chosen: the style in force, changed, goes to the library;
  // the items then show the style in force (the old one when refused).
  void changeStyle(const std::function<void(IsovarPictureStyle&)>& change);
  void showStyle();

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
  // Widens the buttons whose captions do not fit their places in the font
  // they are drawn with, and the window when they need it.
  void fitCaptions();

  std::unique_ptr<Dialogs> ownDialogs_;
  std::unique_ptr<Module1> module1_;
};

// The window's title; it ends with an ideographic space.
extern const char* const kForm1Caption;  // "WinIsovar　"
// The picture's context-menu items for filled bands and for large mode.
extern const char* const kFillItemCaption;   // "塗りつぶし"
extern const char* const kLargeItemCaption;  // "大規模モデル"
// The style submenu, its submenus and items.
extern const char* const kStyleMenuCaption;    // "表示スタイル"
extern const char* const kKeyMenuCaption;      // "凡例"
extern const char* const kKeyItemCaptions[3];  // "なし", "右", "下"
extern const char* const kAxesItemCaption;     // "軸"
extern const char* const kMapMenuCaption;      // "カラーマップ"
extern const char* const kMapItemCaptions[6];  // the maps' names, as isovar-plot takes them
extern const char* const kOutlineItemCaption;  // "外形線"
extern const char* const kInlineLabelsItemCaption;  // "線に沿ったラベル"
extern const char* const kHaloItemCaption;          // "ラベルの縁取り"

// The width a push button needs to show its caption whole: the caption in
// the button's font, with the style's margin and frame around it.
int captionWidth(const QPushButton* button);
