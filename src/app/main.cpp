#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>

#include "app/ui/AboutDialog.h"
#include "app/ui/MainWindow.h"
#include "files/ui/FileCommands.h"
#include "kl516/version.h"
#include "link/Clock.h"
#include "link/HidDeviceLibrary.h"
#include "link/LinkTrace.h"
#include "link/MeterLink.h"
#include "simulator/SimulatedMeter.h"
#include "workspace/ui/QtPrompts.h"

namespace {

// An error that escapes an event handler ends that user action with a message; the program
// goes on.
class Application final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            QMessageBox::critical(activeWindow(), applicationName(), QString::fromLocal8Bit(e.what()));
        } catch (...) {
            QMessageBox::critical(activeWindow(), applicationName(), QStringLiteral("Unknown error"));
        }
        return false;
    }
};

// The program's options: one list for the help and for the start.
struct ProgramOptions {
    QCommandLineOption simulate{QStringLiteral("simulate"),
                                QStringLiteral("Run against the built-in simulated meter.")};
    QCommandLineOption trace{QStringLiteral("trace"),
                             QStringLiteral("Log every frame to and from the meter in FILE."),
                             QStringLiteral("FILE")};
    QCommandLineOption service{
        QStringLiteral("service"),
        QStringLiteral("Show the logger setup window's entry points (Data Logger > Setup and the "
                       "setup button) for service staff.")};

    void addTo(QCommandLineParser& parser) const {
        parser.setApplicationDescription(
            QStringLiteral("Companion of the KL516 sound level meter"));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(simulate);
        parser.addOption(trace);
        parser.addOption(service);
        parser.addPositionalArgument(
            QStringLiteral("FILE"),
            QStringLiteral("Files to open: a collection file (.rec) in the DataLogger window, a "
                           "graph file (.ghf) in a graph window, a text file (.txt, .csv) in a "
                           "list."),
            QStringLiteral("[FILE...]"));
    }
};

void nameApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("KL516"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kl516::kVersion));
}

// --help and --version need no display: they are answered before the windows' application is
// created, which would end the program where there is no display. Nothing when neither is
// asked for.
std::optional<int> answerWithoutWindows(int argc, char** argv) {
    bool asked = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--") break;
        for (const char* name : {"-h", "--help", "-help", "--help-all", "-v", "--version"})
            asked = asked || a == name;
    }
    if (!asked) return std::nullopt;
    QCoreApplication core(argc, argv);
    nameApplication();
    QCommandLineParser parser;
    const ProgramOptions options;
    options.addTo(parser);
    parser.parse(QCoreApplication::arguments());  // a fault elsewhere on the line: help wins
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> status = answerWithoutWindows(argc, argv)) return *status;

    Application app(argc, argv);
    nameApplication();

    QCommandLineParser parser;
    const ProgramOptions options;
    options.addTo(parser);
    const QCommandLineOption& simulate = options.simulate;
    const QCommandLineOption& trace = options.trace;
    const QCommandLineOption& service = options.service;
    parser.process(app);

    // The splash: the About box without its OK button, on top and painted at once.
    auto* splash = new kl516::AboutDialog(true);
    splash->setAttribute(Qt::WA_DeleteOnClose);
    splash->show();
    splash->repaint();
    QApplication::processEvents();

    kl516::SystemClock clock;
    std::unique_ptr<kl516::DeviceLibrary> device;
    if (parser.isSet(simulate)) {
        // The simulated meter starts with a few recorded sets, so Load Data shows something.
        kl516::SimulatedMeter::Options options;
        options.demoLogger = true;
        device = std::make_unique<kl516::SimulatedMeter>(clock, options);
    } else {
        device = std::make_unique<kl516::HidDeviceLibrary>();
    }
    std::unique_ptr<kl516::TracingDeviceLibrary> tracer;
    if (parser.isSet(trace)) {
        tracer = std::make_unique<kl516::TracingDeviceLibrary>(*device, parser.value(trace));
        if (!tracer->isOpen())
            QMessageBox::warning(nullptr, app.applicationName(),
                                 QStringLiteral("Cannot write the trace file %1").arg(parser.value(trace)));
    }
    kl516::DeviceLibrary& library = tracer ? static_cast<kl516::DeviceLibrary&>(*tracer) : *device;

    kl516::QtPrompts prompts;
    kl516::IdleLinkHost idleHost;
    kl516::MeterLink link(library, clock, idleHost);
    kl516::MainWindow window(link, prompts, clock);
    prompts.setParent(&window);
    if (parser.isSet(service)) window.setServiceEntriesVisible(true);
    window.showMaximized();
    QApplication::processEvents();
    // Without a window manager nothing maximises the window; fill the screen instead.
    if (QScreen* screen = window.screen()) {
        const QRect available = screen->availableGeometry();
        if (window.frameGeometry().height() < available.height() * 9 / 10) {
            window.setWindowState(Qt::WindowNoState);
            window.setGeometry(available);
            QApplication::processEvents();
        }
    }
    window.completeStartUp(splash);
    for (const QString& path : parser.positionalArguments())
        window.fileCommands().openPath(QFileInfo(path).absoluteFilePath());
    return app.exec();
}
