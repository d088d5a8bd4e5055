// tavrina: the operator's client. Options: --home DIR (the program directory: settings, log,
// task file, manual; default the executable's directory), --stats FILE (the main loop's health
// once a second as JSON lines), --version.

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <cstdio>
#include <string>

#include "ui/gui/Unit1.h"
#include "util/GbkText.h"

namespace {

struct Options {
    QString home;
    QString stats;
    bool version = false;
};

bool parse(const QStringList& args, Options& o) {
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == "--version") {
            o.version = true;
        } else if ((a == "--home" || a == "--stats") && i + 1 < args.size()) {
            (a == "--home" ? o.home : o.stats) = args[++i];
        } else {
            return false;
        }
    }
    return true;
}

// The system keeps its paths in GBK, with "/" at the end of a directory.
std::string programDirectory(const QString& dir) {
    QString d = QDir(dir).absolutePath();
    if (!d.endsWith('/')) d += '/';
    return util::utf8ToGbk(d.toStdString());
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tavrina");
    QApplication::setApplicationDisplayName("Tavrina");
    QApplication::setApplicationVersion(TAVRINA_VERSION);
    Options o;
    if (!parse(app.arguments(), o)) {
        std::fprintf(stderr, "usage: tavrina [--home DIR] [--stats FILE] [--version]\n");
        return 2;
    }
    if (o.version) {
        std::printf("tavrina %s\n", TAVRINA_VERSION);
        return 0;
    }
    const QString home = o.home.isEmpty() ? QApplication::applicationDirPath() : o.home;
    if (!QDir(home).exists() && !QDir().mkpath(home)) {
        std::fprintf(stderr, "tavrina: cannot use %s as the program directory\n", qPrintable(home));
        return 1;
    }
    ui::gui::TForm1 window(programDirectory(home));
    if (!o.stats.isEmpty() && !window.setStatsFile(o.stats.toStdString())) {
        std::fprintf(stderr, "tavrina: cannot write %s\n", qPrintable(o.stats));
        return 1;
    }
    // Opened in the middle of the screen.
    if (const QScreen* s = window.screen()) {
        const QRect r = s->availableGeometry();
        window.move(r.x() + (r.width() - window.width()) / 2,
                    r.y() + (r.height() - window.height()) / 2);
    }
    window.show();
    window.start();
    return app.exec();
}
