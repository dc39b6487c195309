#include "form1.h"

#include <QActionGroup>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyle>
#include <QWindow>
#include <algorithm>
#include <climits>

#include "qt_dialogs.h"

const char* const kForm1Caption = "WinIsovar　";
const char* const kFillItemCaption = "塗りつぶし";
const char* const kLargeItemCaption = "大規模モデル";
const char* const kStyleMenuCaption = "表示スタイル";
const char* const kKeyMenuCaption = "凡例";
const char* const kKeyItemCaptions[3] = {"なし", "右", "下"};
const char* const kAxesItemCaption = "軸";
const char* const kMapMenuCaption = "カラーマップ";
const char* const kMapItemCaptions[6] = {"classic", "viridis", "cividis", "magma", "grey", "balance"};
const char* const kOutlineItemCaption = "外形線";
const char* const kInlineLabelsItemCaption = "線に沿ったラベル";
const char* const kHaloItemCaption = "ラベルの縁取り";

Picture1Box::Picture1Box(Module1& module1, QWidget* parent) : QWidget(parent), module1_(module1) {
  setFocusPolicy(Qt::StrongFocus);
  // paintEvent covers every pixel: nothing to erase first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  FillItem = new QAction(QString::fromUtf8(kFillItemCaption), this);
  FillItem->setCheckable(true);
  FillItem->setChecked(module1_.fillBands);
  FillItem->setEnabled(module1_.canFillBands());
  connect(FillItem, &QAction::toggled, this, [this](bool on) { module1_.setFillBands(on); });
  LargeItem = new QAction(QString::fromUtf8(kLargeItemCaption), this);
  LargeItem->setCheckable(true);
  LargeItem->setChecked(module1_.largeModels);
  LargeItem->setEnabled(module1_.canUseLargeModels());
  connect(LargeItem, &QAction::toggled, this, [this](bool on) { module1_.setLargeModels(on); });
  buildStyleMenu();
}

void Picture1Box::buildStyleMenu() {
  StyleMenu = new QMenu(QString::fromUtf8(kStyleMenuCaption), this);
  StyleMenu->setEnabled(module1_.canStylePictures());

  QMenu* keyMenu = StyleMenu->addMenu(QString::fromUtf8(kKeyMenuCaption));
  auto* keys = new QActionGroup(this);
  for (int32_t k = 0; k < 3; ++k) {
    KeyItems[k] = keyMenu->addAction(QString::fromUtf8(kKeyItemCaptions[k]));
    KeyItems[k]->setCheckable(true);
    keys->addAction(KeyItems[k]);
    connect(KeyItems[k], &QAction::triggered, this, [this, k] { changeStyle([k](IsovarPictureStyle& s) { s.key = k; }); });
  }

  AxesItem = StyleMenu->addAction(QString::fromUtf8(kAxesItemCaption));
  AxesItem->setCheckable(true);
  connect(AxesItem, &QAction::triggered, this,
          [this](bool on) { changeStyle([on](IsovarPictureStyle& s) { s.axes = on ? 1 : 0; }); });

  QMenu* mapMenu = StyleMenu->addMenu(QString::fromUtf8(kMapMenuCaption));
  auto* maps = new QActionGroup(this);
  for (int32_t m = 0; m < 6; ++m) {
    MapItems[m] = mapMenu->addAction(QString::fromUtf8(kMapItemCaptions[m]));
    MapItems[m]->setCheckable(true);
    maps->addAction(MapItems[m]);
    connect(MapItems[m], &QAction::triggered, this,
            [this, m] { changeStyle([m](IsovarPictureStyle& s) { s.colormap = m; }); });
  }

  StyleMenu->addSeparator();
  OutlineItem = StyleMenu->addAction(QString::fromUtf8(kOutlineItemCaption));
  OutlineItem->setCheckable(true);
  connect(OutlineItem, &QAction::triggered, this,
          [this](bool on) { changeStyle([on](IsovarPictureStyle& s) { s.outline = on ? 1 : 0; }); });
  StyleMenu->addSeparator();
  InlineLabelsItem = StyleMenu->addAction(QString::fromUtf8(kInlineLabelsItemCaption));
  InlineLabelsItem->setCheckable(true);
  connect(InlineLabelsItem, &QAction::triggered, this, [this](bool on) {
    changeStyle([on](IsovarPictureStyle& s) { s.labels = on ? ISOVAR_LABELS_INLINE : ISOVAR_LABELS_AT_ENDS; });
  });
  HaloItem = StyleMenu->addAction(QString::fromUtf8(kHaloItemCaption));
  HaloItem->setCheckable(true);
  connect(HaloItem, &QAction::triggered, this,
          [this](bool on) { changeStyle([on](IsovarPictureStyle& s) { s.halo = on ? 1 : 0; }); });

  showStyle();
}

void Picture1Box::changeStyle(const std::function<void(IsovarPictureStyle&)>& change) {
  IsovarPictureStyle style = module1_.pictureStyle;
  change(style);
  module1_.setPictureStyle(style);
  showStyle();
}

void Picture1Box::showStyle() {
  const IsovarPictureStyle& s = module1_.pictureStyle;
  for (int32_t k = 0; k < 3; ++k) KeyItems[k]->setChecked(s.key == k);
  AxesItem->setChecked(s.axes != 0);
  for (int32_t m = 0; m < 6; ++m) MapItems[m]->setChecked(s.colormap == m);
  OutlineItem->setChecked(s.outline != 0);
  InlineLabelsItem->setChecked(s.labels != ISOVAR_LABELS_AT_ENDS);
  HaloItem->setChecked(s.halo != 0);
}

void Picture1Box::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction(FillItem);
  menu.addAction(LargeItem);
  menu.addMenu(StyleMenu);
  menu.exec(event->globalPos());
}

void Picture1Box::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  module1_.pictureSize = size();
}

void Picture1Box::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (module1_.Picture1_Paint(size()))
    painter.drawImage(0, 0, module1_.picture());
  else
    painter.fillRect(rect(), PlotSurface::background());
}

namespace {

// Places in pixels of a 96-dpi screen (15 twips a pixel). The window does
// nothing when resized: the controls keep these places.
constexpr int kClientWidth = 792;
constexpr int kClientHeight = 604;
constexpr int kButtonWidth = 73;
// The picture's right edge, and the least room between it and a button.
constexpr int kPictureRight = 8 + 665;
constexpr int kPictureGap = 8;

}  // namespace

int captionWidth(const QPushButton* button) {
  const QStyle* style = button->style();
  return button->fontMetrics().size(Qt::TextShowMnemonic, button->text()).width() +
         style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
         2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
}

Form1::Form1(const IsovarLibBinding& lib, Dialogs* dialogs) {
  if (dialogs == nullptr) {
    ownDialogs_ = std::make_unique<QtDialogs>(this);
    dialogs = ownDialogs_.get();
  }
  module1_ = std::make_unique<Module1>(lib, *dialogs);

  setWindowTitle(QString::fromUtf8(kForm1Caption));
  resize(kClientWidth, kClientHeight);

  Picture1 = new Picture1Box(*module1_, this);
  Picture1->setGeometry(8, 8, 665, 585);
  FileCommand = new QPushButton(QString::fromUtf8("入力ファイル"), this);
  FileCommand->setGeometry(704, 16, 73, 41);
  exitBtn = new QPushButton(QString::fromUtf8("終了"), this);
  exitBtn->setGeometry(696, 376, 73, 41);
  BMPCommand = new QPushButton(QString::fromUtf8("画像保存"), this);
  BMPCommand->setGeometry(704, 72, 73, 41);
  PrtCommand = new QPushButton(QString::fromUtf8("印刷"), this);
  PrtCommand->setGeometry(704, 128, 73, 41);
  fitCaptions();

  // Tab order: the picture, open, quit, BMP, print.
  setTabOrder(Picture1, FileCommand);
  setTabOrder(FileCommand, exitBtn);
  setTabOrder(exitBtn, BMPCommand);
  setTabOrder(BMPCommand, PrtCommand);

  module1_->pictureSize = Picture1->size();
  module1_->paintNow = [this] {
    // A picture on the screen is repainted now, which is a plot run. One not
    // (yet) on the screen still gets its plot run on the surface, and shows
    // it, plotted anew, once it is.
    QWindow* window = Picture1->window()->windowHandle();
    if (Picture1->isVisible() && window != nullptr && window->isExposed()) {
      Picture1->repaint();
    } else {
      module1_->Picture1_Paint(Picture1->size());
      Picture1->update();
    }
  };

  connect(FileCommand, &QPushButton::clicked, this, [this] { module1_->FileCommand_Click(); });
  connect(BMPCommand, &QPushButton::clicked, this, [this] { module1_->BMPCommand_Click(); });
  connect(PrtCommand, &QPushButton::clicked, this, [this] { module1_->PrtCommand_Click(); });
  connect(exitBtn, &QPushButton::clicked, this, [this] { exitBtn_Click(); });

  module1_->largeModelsChanged = [this] {
    const QSignalBlocker quiet(Picture1->LargeItem);
    Picture1->LargeItem->setChecked(module1_->largeModels);
  };

  module1_->Form_Load();
}

void Form1::fitCaptions() {
  QPushButton* const buttons[] = {FileCommand, exitBtn, BMPCommand, PrtCommand};
  int needed = kButtonWidth;
  for (QPushButton* b : buttons) {
    b->ensurePolished();  // the font a style sheet gives, before it is measured
    needed = std::max(needed, captionWidth(b));
  }
  if (needed == kButtonWidth) return;
  // The column keeps one width. Wider buttons keep their right edges and
  // grow towards the picture; past the room beside it, the column moves
  // right and the window grows.
  int left = INT_MAX;
  for (const QPushButton* b : buttons) left = std::min(left, b->geometry().right() + 1 - needed);
  const int shift = std::max(0, kPictureRight + kPictureGap - left);
  for (QPushButton* b : buttons)
    b->setGeometry(b->geometry().right() + 1 - needed + shift, b->y(), needed, b->height());
  resize(width() + shift, height());
}

Form1::~Form1() {
  // The picture box refers to Module1: let it go first.
  delete Picture1;
}

void Form1::exitBtn_Click() {
  // Nothing to save or ask: the program ends at once.
  QApplication::quit();
}
