// The window itself: controls at their places, events reaching the commands,
// and the picture box showing what the plot run drew.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QTimer>
#include <QWindow>

#include "form1.h"
#include "gui_fakes.h"
#include "plot_surface.h"

namespace {

class Form1Test : public testing::Test {
 protected:
  Form1Test() { fake_lib::reset(); }

  InTempDir dir;
  FakeDialogs dialogs;
};

TEST_F(Form1Test, ControlsSitAtTheirPlacesAndKeepThemOnResize) {
  Form1 form(fake_lib::binding(), &dialogs);
  form.show();
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8(u8"WinIsovar\u3000"));
  EXPECT_EQ(form.size(), QSize(792, 604));

  struct Control {
    QWidget* widget;
    QString caption;
    QRect place;
  } controls[] = {
      {form.Picture1, QString(), QRect(8, 8, 665, 585)},
      {form.FileCommand, QString::fromUtf8(u8"入力ファイル"), QRect(704, 16, 73, 41)},
      {form.exitBtn, QString::fromUtf8(u8"終了"), QRect(696, 376, 73, 41)},
      {form.BMPCommand, QString::fromUtf8(u8"画像保存"), QRect(704, 72, 73, 41)},
      {form.PrtCommand, QString::fromUtf8(u8"印刷"), QRect(704, 128, 73, 41)},
  };
  for (int round = 0; round < 2; ++round) {
    for (const Control& c : controls) {
      EXPECT_EQ(c.widget->geometry(), c.place) << str(c.caption) << " round " << round;
      if (auto* button = qobject_cast<QPushButton*>(c.widget)) {
        EXPECT_EQ(button->text(), c.caption);
      }
    }
    form.resize(500, 300);
  }

  // Tab order: picture, open, quit, BMP, print.
  QWidget* expected[] = {form.Picture1, form.FileCommand, form.exitBtn, form.BMPCommand, form.PrtCommand};
  for (int i = 0; i + 1 < 5; ++i) EXPECT_EQ(expected[i]->nextInFocusChain(), expected[i + 1]) << i;
}

TEST_F(Form1Test, ButtonsRunTheirCommands) {
  Form1 form(fake_lib::binding(), &dialogs);
  EXPECT_EQ(fake_lib::calls.currentDir, 1);  // start-up ran
  form.BMPCommand->click();
  form.PrtCommand->click();
  form.FileCommand->click();
  EXPECT_EQ(dialogs.messages.size(), 2);
  EXPECT_EQ(dialogs.opens.size(), 1u);
}

TEST_F(Form1Test, PictureShowsBackgroundBeforeDataAndThePlotAfter) {
  Form1 form(fake_lib::binding(), &dialogs);
  form.show();
  const QImage empty = form.Picture1->grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(empty.size(), QSize(665, 585));
  EXPECT_EQ(empty.pixel(0, 0), PlotSurface::background().rgb());
  EXPECT_EQ(empty.pixel(664, 584), PlotSurface::background().rgb());
  EXPECT_EQ(fake_lib::calls.plots, 0);

  testing_support::write_file(dir.dir().file("a.iso"), "");
  dialogs.openAnswers.push_back(dir.path("a.iso"));
  QApplication::processEvents();  // the window is on the screen
  ASSERT_TRUE(form.windowHandle() != nullptr && form.windowHandle()->isExposed());
  form.FileCommand->click();
  // The open command painted the visible picture at once: one plot run.
  EXPECT_EQ(fake_lib::calls.plots, 1);
  EXPECT_TRUE(form.module1().plotDrawn);

  const QImage drawn = form.Picture1->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(fake_lib::calls.plots, 2);  // every paint is a plot run
  EXPECT_EQ(drawn.pixel(300, 300) & 0xFFFFFFu, fake_lib::kFakePlotColour);

  // A failing plot leaves the picture blank, and its message comes once.
  fake_lib::script.plotResult = -1;
  fake_lib::script.plotMessage = "engine failed";
  form.Picture1->grab();
  const QImage failed = form.Picture1->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(failed.pixel(300, 300), PlotSurface::background().rgb());
  QApplication::processEvents();
  EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("engine failed")});
}

TEST_F(Form1Test, OpenPlotsAtOnceEvenBeforeTheWindowIsShown) {
  Form1 form(fake_lib::binding(), &dialogs);
  testing_support::write_file(dir.dir().file("a.iso"), "");
  dialogs.openAnswers.push_back(dir.path("a.iso"));
  form.FileCommand->click();
  EXPECT_EQ(fake_lib::calls.plots, 1);
  EXPECT_TRUE(form.module1().plotDrawn);
  EXPECT_EQ(fake_lib::calls.width, 665);
  EXPECT_EQ(fake_lib::calls.height, 585);
}

TEST_F(Form1Test, FillItemFillsThePictureAndTheBmp) {
  Form1 form(fake_lib::binding(), &dialogs);
  form.show();
  QAction* fill = form.Picture1->FillItem;
  EXPECT_EQ(fill->text(), QString::fromUtf8(u8"塗りつぶし"));
  EXPECT_TRUE(fill->isCheckable());
  EXPECT_TRUE(fill->isEnabled());
  EXPECT_FALSE(fill->isChecked());

  // The picture's context menu offers the item.
  QStringList offered;
  QTimer::singleShot(0, [&offered] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      for (QAction* a : menu->actions()) offered << a->text();
      menu->close();
    }
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), form.Picture1->mapToGlobal(QPoint(10, 10)));
  QApplication::sendEvent(form.Picture1, &event);
  EXPECT_EQ(offered, QStringList{QString::fromUtf8(u8"塗りつぶし")});

  // Checked before any file: the setting waits for the first plot.
  fill->setChecked(true);
  EXPECT_EQ(fake_lib::calls.fillSettings, std::vector<int32_t>{1});
  EXPECT_EQ(fake_lib::calls.plots, 0);
  testing_support::write_file(dir.dir().file("a.iso"), "");
  dialogs.openAnswers.push_back(dir.path("a.iso"));
  QApplication::processEvents();
  form.FileCommand->click();
  const int plots = fake_lib::calls.plots;
  EXPECT_EQ(form.Picture1->grab().toImage().pixel(300, 300) & 0xFFFFFFu, fake_lib::kFakeFilledColour);

  // Unchecked: the picture is plotted again at once, without the bands.
  fill->setChecked(false);
  EXPECT_EQ(fake_lib::calls.fillSettings, (std::vector<int32_t>{1, 0}));
  EXPECT_GT(fake_lib::calls.plots, plots);
  EXPECT_EQ(form.Picture1->grab().toImage().pixel(300, 300) & 0xFFFFFFu, fake_lib::kFakePlotColour);

  // A BMP saved follows what the window shows.
  fill->setChecked(true);
  dialogs.saveAnswers.push_back(dir.path("a.bmp"));
  form.BMPCommand->click();
  EXPECT_EQ(fake_lib::calls.bmpFilled, std::vector<bool>{true});
}

TEST_F(Form1Test, FillItemIsDisabledWithALibraryThatCannotFill) {
  Form1 form(fake_lib::binding(false), &dialogs);
  EXPECT_FALSE(form.Picture1->FillItem->isEnabled());
  form.module1().setFillBands(true);
  EXPECT_FALSE(form.module1().fillBands);
  EXPECT_TRUE(fake_lib::calls.fillSettings.empty());
}

}  // namespace
