// Stand-ins for the user and for the library, and the folder handling the
// window's tests share.
#pragma once

#include <QDir>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "file_open_dlg.h"
#include "isovar_lib_binding.h"
#include "test_support.h"

// Answers the dialogs from a script and records what they were shown with.
// Unscripted file dialogs and print setups are cancelled.
class FakeDialogs : public Dialogs {
 public:
  struct FileDialogCall {
    QStringList nameFilters;
    QString fileName;
  };

  // The paths the user chooses, one per dialog; a null QString cancels.
  std::deque<QString> openAnswers;
  std::deque<QString> saveAnswers;
  // The filter chosen in each save dialog (by index; the first when none is
  // scripted), and the answers to questions (No when none is scripted).
  std::deque<int> saveFilterAnswers;
  std::deque<bool> questionAnswers;
  QStringList questions;
  std::function<bool(QPrinter&)> onPrintSetup;

  std::vector<FileDialogCall> opens;
  std::vector<FileDialogCall> saves;
  int printSetups = 0;
  QStringList messages;

  int dialogsShown() const { return static_cast<int>(opens.size() + saves.size()) + printSetups; }

  std::optional<QString> openFile(const QStringList& nameFilters, const QString& fileName) override {
    opens.push_back({nameFilters, fileName});
    return next(openAnswers);
  }
  std::optional<QString> saveFile(const QStringList& nameFilters, const QString& fileName,
                                  QString* selectedFilter) override {
    saves.push_back({nameFilters, fileName});
    int chosen = 0;
    if (!saveFilterAnswers.empty()) {
      chosen = saveFilterAnswers.front();
      saveFilterAnswers.pop_front();
    }
    *selectedFilter = chosen < nameFilters.size() ? nameFilters[chosen] : QString();
    return next(saveAnswers);
  }
  bool question(const QString& text) override {
    questions << text;
    if (questionAnswers.empty()) return false;
    const bool yes = questionAnswers.front();
    questionAnswers.pop_front();
    return yes;
  }
  bool printSetup(QPrinter& printer) override {
    ++printSetups;
    return onPrintSetup ? onPrintSetup(printer) : false;
  }
  void message(const QString& text) override { messages << text; }

 private:
  static std::optional<QString> next(std::deque<QString>& answers) {
    if (answers.empty() || answers.front().isNull()) {
      if (!answers.empty()) answers.pop_front();
      return std::nullopt;
    }
    QString answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

// A library whose answers the test decides, recording how it was called.
// Its plot run paints the whole picture in kFakePlotColour and writes the
// path of the model it plotted as its display list, and a line to the run
// log when one was set.
namespace fake_lib {

struct Script {
  int32_t readResult = 0;
  std::string readMessage;  // code page 932
  int32_t plotResult = 0;
  std::string plotMessage;
  int32_t bmpResult = 0;
  std::string bmpMessage;
  int32_t limitReached = 0;  // what tableLimitReached answers besides the cases below
  // Models that pass the default tables: reading them, or plotting them,
  // fails unless large mode is on (tableLimitReached then answers 1).
  bool readNeedsLarge = false;
  bool plotNeedsLarge = false;
  // A model whose plot runs fail with plotMessage: the read path contains it.
  std::string plotFailsFor;
  int32_t styleResult = 0;  // what setPictureStyle answers
};

struct Calls {
  int currentDir = 0;
  std::vector<std::string> reads;
  int plots = 0;
  std::vector<HDC> plotHdcs;
  std::string printInfoPath;
  int32_t width = 0;
  int32_t height = 0;
  std::vector<std::string> bmpPaths;
  std::vector<int32_t> fillSettings;  // setFillBands calls
  std::vector<bool> bmpFilled;        // per saveBMP: the fill in force
  std::vector<int32_t> largeSettings;  // setLargeModels calls
  std::vector<bool> readsLarge;        // per readData: large mode in force
  std::string model;                   // the path the last successful read gave
  std::vector<IsovarPictureStyle> styles;  // setPictureStyle calls (with a style)
};

constexpr uint32_t kFakePlotColour = 0x00CC2211;  // 0x00RRGGBB
constexpr uint32_t kFakeFilledColour = 0x0011AA33;  // the plot with the bands filled

extern Script script;
extern Calls calls;

// Forgets the script and the calls.
void reset();
// The fake library; without setFillBands (a library from before filled
// bands) when fill is false, without the large-model pair's setLargeModels
// when large is false.
IsovarLibBinding binding(bool fill = true, bool large = true);

}  // namespace fake_lib

// Each test runs in a folder of its own and gets the process's current
// directory back afterwards.
class InTempDir {
 public:
  InTempDir() : saved_(QDir::currentPath()) {}
  ~InTempDir() { QDir::setCurrent(saved_); }
  QString path(const std::string& name = "") const {
    return QString::fromStdString(name.empty() ? dir_.path() : dir_.file(name));
  }
  const testing_support::TempDir& dir() const { return dir_; }

 private:
  QString saved_;
  testing_support::TempDir dir_;
};

// QString to std::string (UTF-8) for messages of failed expectations.
inline std::string str(const QString& s) { return s.toStdString(); }
