#include "form1.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QWindow>

#include "qt_dialogs.h"

const char* const kForm1Caption = "WinIsovar　";
const char* const kFillItemCaption = "塗りつぶし";

Picture1Box::Picture1Box(Module1& module1, QWidget* parent) : QWidget(parent), module1_(module1) {
  setFocusPolicy(Qt::StrongFocus);
  // paintEvent covers every pixel: nothing to erase first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  FillItem = new QAction(QString::fromUtf8(kFillItemCaption), this);
  FillItem->setCheckable(true);
  FillItem->setChecked(module1_.fillBands);
  FillItem->setEnabled(module1_.canFillBands());
  connect(FillItem, &QAction::toggled, this, [this](bool on) { module1_.setFillBands(on); });
}

void Picture1Box::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction(FillItem);
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

}  // namespace

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

  module1_->Form_Load();
}

Form1::~Form1() {
  // The picture box refers to Module1: let it go first.
  delete Picture1;
}

void Form1::exitBtn_Click() {
  // Nothing to save or ask: the program ends at once.
  QApplication::quit();
}
