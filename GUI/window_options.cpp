#include "window_options.h"

#include <QCommandLineParser>

namespace {

struct Parser {
  QCommandLineParser parser;
  QCommandLineOption large{QStringLiteral("large"),
                           QStringLiteral("Lift the default tables' limits for every model read and plotted "
                                          "(large mode). Without it the window switches to large mode by itself "
                                          "when a model passes the default tables.")};
  QCommandLineOption fill{QStringLiteral("fill"),
                          QStringLiteral("Start with the bands between the levels filled (the picture's context-menu "
                                         "item checked).")};
  QCommandLineOption help{QStringList{QStringLiteral("h"), QStringLiteral("help")},
                          QStringLiteral("Print this help and exit.")};
  QCommandLineOption version{QStringLiteral("version"), QStringLiteral("Print the version and exit.")};

  Parser() {
    parser.setApplicationDescription(
        QStringLiteral("Plots the isolines of an Isovar input file in a window, saves the picture as BMP\n"
                       "and prints it. Qt's own options (-platform, -display, -style, ...) are taken too."));
    // As Qt's own: "-stylesheet" is one option, not -s -t -y ... with an -h.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const QCommandLineOption* o : {&large, &fill, &help, &version}) parser.addOption(*o);
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("An input file to open at start-up, as if chosen in the open "
                                                "dialog. After --, a name that starts with - is a file too."),
                                 QStringLiteral("[FILE]"));
  }
};

}  // namespace

WindowOptions parseWindowOptions(const QStringList& arguments) {
  Parser p;
  WindowOptions o;
  const bool parsed = p.parser.parse(arguments);
  o.help = p.parser.isSet(p.help);
  o.version = p.parser.isSet(p.version);
  o.large = p.parser.isSet(p.large);
  o.fill = p.parser.isSet(p.fill);
  const QStringList files = p.parser.positionalArguments();
  if (!parsed)
    o.error = p.parser.errorText();
  else if (files.size() > 1)
    o.error = QStringLiteral("one input file at most; given %1: %2")
                  .arg(files.size())
                  .arg(files.join(QLatin1String(", ")));
  if (!files.isEmpty()) o.file = files.first();
  return o;
}

QString windowHelpText() { return Parser().parser.helpText(); }

QString windowVersionText() { return QStringLiteral("Isovar " ISOVAR_VERSION "\n"); }

QStringList windowOptionNames() {
  Parser p;
  QStringList names;
  for (const QCommandLineOption* o : {&p.large, &p.fill, &p.help, &p.version}) {
    for (const QString& name : o->names())
      names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
  }
  return names;
}
