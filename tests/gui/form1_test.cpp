// The window itself: controls at their places, events reaching the commands,
// and the picture box showing what the plot run drew.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>
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

// Whether a button's caption fits the room the style draws the caption in.
testing::AssertionResult captionFits(const QPushButton* button) {
  QStyleOptionButton option;
  option.initFrom(button);
  option.text = button->text();
  option.rect = button->rect();
  const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
  const QRect text = button->fontMetrics().boundingRect(button->text());
  if (text.width() <= room.width() && button->fontMetrics().height() <= room.height())
    return testing::AssertionSuccess();
  return testing::AssertionFailure() << str(button->text()) << ": " << text.width() << "x"
                                     << button->fontMetrics().height() << " in " << room.width() << "x"
                                     << room.height();
}

// In every font size the captions fit; the controls keep their places, the
// buttons growing towards the picture (and the window, past the room there)
// only as far as their captions need.
TEST_F(Form1Test, ControlsSitAtTheirPlacesWithTheirCaptionsWholeAndKeepThemOnResize) {
  const QFont saved = QApplication::font();
  for (int points : {0, 9, 14, 20}) {
    SCOPED_TRACE(points);
    QFont font = saved;
    if (points > 0) font.setPointSize(points);
    QApplication::setFont(font);
    Form1 form(fake_lib::binding(), &dialogs);
    form.show();
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8(u8"WinIsovar\u3000"));
    EXPECT_EQ(form.height(), 604);
    EXPECT_GE(form.width(), 792);

    struct Control {
      QPushButton* button;
      QString caption;
      QRect place;
    } controls[] = {
        {form.FileCommand, QString::fromUtf8(u8"入力ファイル"), QRect(704, 16, 73, 41)},
        {form.exitBtn, QString::fromUtf8(u8"終了"), QRect(696, 376, 73, 41)},
        {form.BMPCommand, QString::fromUtf8(u8"画像保存"), QRect(704, 72, 73, 41)},
        {form.PrtCommand, QString::fromUtf8(u8"印刷"), QRect(704, 128, 73, 41)},
    };
    int needed = 73;
    for (const Control& c : controls) needed = std::max(needed, captionWidth(c.button));
    const int shift = form.width() - 792;
    const int windowWidth = form.width();
    for (int round = 0; round < 2; ++round) {
      EXPECT_EQ(form.Picture1->geometry(), QRect(8, 8, 665, 585));
      for (const Control& c : controls) {
        SCOPED_TRACE(str(c.caption) + " round " + std::to_string(round));
        const QRect g = c.button->geometry();
        EXPECT_EQ(c.button->text(), c.caption);
        EXPECT_TRUE(captionFits(c.button));
        EXPECT_EQ(g.width(), needed);
        EXPECT_EQ(g.right(), c.place.right() + shift);
        EXPECT_EQ(g.top(), c.place.top());
        EXPECT_EQ(g.height(), c.place.height());
        EXPECT_GE(g.left(), form.Picture1->geometry().right() + 1 + 8);
        EXPECT_LE(g.right(), windowWidth - 1 - 8);
      }
      // The window grows only when the room beside the picture is not enough.
      if (shift > 0) {
        EXPECT_EQ(form.exitBtn->geometry().left(), 8 + 665 + 8);
      }
      form.resize(500, 300);
    }

    // Tab order: picture, open, quit, BMP, print.
    QWidget* expected[] = {form.Picture1, form.FileCommand, form.exitBtn, form.BMPCommand, form.PrtCommand};
    for (int i = 0; i + 1 < 5; ++i) EXPECT_EQ(expected[i]->nextInFocusChain(), expected[i + 1]) << i;
  }
  QApplication::setFont(saved);
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
  EXPECT_EQ(offered, (QStringList{QString::fromUtf8(u8"塗りつぶし"), QString::fromUtf8(u8"大規模モデル"),
                                  QString::fromUtf8(u8"表示スタイル")}));

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

// Each style item sets its part of the style, keeps the others and
// repaints; the items show the style in force, the old one after the
// library refused a style.
TEST_F(Form1Test, StyleItemsSetThePictureStyle) {
  Form1 form(fake_lib::binding(), &dialogs);
  form.show();
  Picture1Box* p = form.Picture1;
  ASSERT_TRUE(p->StyleMenu->isEnabled());
  EXPECT_EQ(p->StyleMenu->title(), QString::fromUtf8(u8"表示スタイル"));
  testing_support::write_file(dir.dir().file("a.iso"), "");
  dialogs.openAnswers.push_back(dir.path("a.iso"));
  form.FileCommand->click();

  struct Step {
    QAction* item;
    IsovarPictureStyle expected;  // the style the library gets
  };
  const Step steps[] = {
      {p->KeyItems[ISOVAR_KEY_BELOW], {ISOVAR_KEY_BELOW, 0, 0, 0.0, 0, 0, 0, 0, 0}},
      {p->AxesItem, {ISOVAR_KEY_BELOW, 1, 0, 0.0, 0, 0, 0, 0, 0}},
      {p->MapItems[ISOVAR_COLORMAP_MAGMA], {ISOVAR_KEY_BELOW, 1, ISOVAR_COLORMAP_MAGMA, 0.0, 0, 0, 0, 0, 0}},
      {p->OutlineItem, {ISOVAR_KEY_BELOW, 1, ISOVAR_COLORMAP_MAGMA, 0.0, 0, 0, 0, 0, 1}},
      {p->KeyItems[ISOVAR_KEY_RIGHT], {ISOVAR_KEY_RIGHT, 1, ISOVAR_COLORMAP_MAGMA, 0.0, 0, 0, 0, 0, 1}},
      {p->AxesItem, {ISOVAR_KEY_RIGHT, 0, ISOVAR_COLORMAP_MAGMA, 0.0, 0, 0, 0, 0, 1}},
      {p->KeyItems[ISOVAR_KEY_NONE], {ISOVAR_KEY_NONE, 0, ISOVAR_COLORMAP_MAGMA, 0.0, 0, 0, 0, 0, 1}},
      {p->InlineLabelsItem, {ISOVAR_KEY_NONE, 0, ISOVAR_COLORMAP_MAGMA, 0.0, ISOVAR_LABELS_INLINE, 0, 0, 0, 1}},
      {p->HaloItem, {ISOVAR_KEY_NONE, 0, ISOVAR_COLORMAP_MAGMA, 0.0, ISOVAR_LABELS_INLINE, 0, 0, 1, 1}},
      {p->InlineLabelsItem, {ISOVAR_KEY_NONE, 0, ISOVAR_COLORMAP_MAGMA, 0.0, 0, 0, 0, 1, 1}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(str(s.item->text()));
    const int plots = fake_lib::calls.plots;
    s.item->trigger();
    ASSERT_FALSE(fake_lib::calls.styles.empty());
    const IsovarPictureStyle& got = fake_lib::calls.styles.back();
    EXPECT_EQ(got.key, s.expected.key);
    EXPECT_EQ(got.axes, s.expected.axes);
    EXPECT_EQ(got.colormap, s.expected.colormap);
    EXPECT_EQ(got.outline, s.expected.outline);
    EXPECT_EQ(got.labels, s.expected.labels);
    EXPECT_EQ(got.halo, s.expected.halo);
    EXPECT_GT(fake_lib::calls.plots, plots);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(p->KeyItems[k]->isChecked(), k == s.expected.key);
    for (int m = 0; m < 6; ++m) EXPECT_EQ(p->MapItems[m]->isChecked(), m == s.expected.colormap);
    EXPECT_EQ(p->AxesItem->isChecked(), s.expected.axes != 0);
    EXPECT_EQ(p->OutlineItem->isChecked(), s.expected.outline != 0);
    EXPECT_EQ(p->InlineLabelsItem->isChecked(), s.expected.labels != 0);
    EXPECT_EQ(p->HaloItem->isChecked(), s.expected.halo != 0);
  }

  // Refused: the items go back to the style in force.
  fake_lib::script.styleResult = -1;
  p->MapItems[ISOVAR_COLORMAP_GREY]->trigger();
  EXPECT_TRUE(p->MapItems[ISOVAR_COLORMAP_MAGMA]->isChecked());
  EXPECT_FALSE(p->MapItems[ISOVAR_COLORMAP_GREY]->isChecked());
  EXPECT_EQ(form.module1().pictureStyle.colormap, ISOVAR_COLORMAP_MAGMA);
}

TEST_F(Form1Test, LargeItemFollowsLargeModeEitherWay) {
  Form1 form(fake_lib::binding(), &dialogs);
  QAction* large = form.Picture1->LargeItem;
  EXPECT_TRUE(large->isCheckable());
  EXPECT_TRUE(large->isEnabled());
  EXPECT_FALSE(large->isChecked());
  // Checked by hand: the library's large mode.
  large->setChecked(true);
  EXPECT_TRUE(form.module1().largeModels);
  large->setChecked(false);
  EXPECT_EQ(fake_lib::calls.largeSettings, (std::vector<int32_t>{1, 0}));
  // A model past the default tables checks it.
  fake_lib::script.readNeedsLarge = true;
  testing_support::write_file(dir.dir().file("big.isovar"), "");
  form.module1().OpenInput(dir.path("big.isovar"));
  EXPECT_TRUE(large->isChecked());
  EXPECT_EQ(fake_lib::calls.largeSettings, (std::vector<int32_t>{1, 0, 1}));
  EXPECT_TRUE(form.module1().plotDrawn);

  Form1 without(fake_lib::binding(true, false), &dialogs);
  EXPECT_FALSE(without.Picture1->LargeItem->isEnabled());
}

TEST_F(Form1Test, ClosingTheWindowRemovesItsFolder) {
  std::string folder;
  {
    Form1 form(fake_lib::binding(), &dialogs);
    folder = form.module1().ownFolder();
    testing_support::write_file(dir.dir().file("a.isovar"), "");
    form.module1().OpenInput(dir.path("a.isovar"));
    ASSERT_TRUE(testing_support::file_exists(folder + "/prtInfo.tmp"));
    ASSERT_TRUE(testing_support::file_exists(folder + "/isovar.log"));
  }
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(folder)));
}

TEST_F(Form1Test, FillItemIsDisabledWithALibraryThatCannotFill) {
  Form1 form(fake_lib::binding(false), &dialogs);
  EXPECT_FALSE(form.Picture1->FillItem->isEnabled());
  form.module1().setFillBands(true);
  EXPECT_FALSE(form.module1().fillBands);
  EXPECT_TRUE(fake_lib::calls.fillSettings.empty());
}

}  // namespace
