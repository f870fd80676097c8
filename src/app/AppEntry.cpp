#include "app/AppEntry.h"

#include "app/AppRoutes.h"
#include "app/CommandLine.h"
#include "app/ConvertCommand.h"
#include "app/MediaAppDelegate.h"
#include "app/SingleInstance.h"
#include "core/MediaApp.h"
#include "core/Preferences.h"
#include "log/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QTimer>

#include <cstdio>

namespace AppEntry {

namespace {

QStringList arguments(int argc, char *argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

bool displayAvailable()
{
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY")
        || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}

// Windows need a GUI application; without a display the launch still logs and routes.
std::unique_ptr<QCoreApplication> makeApplication(int &argc, char *argv[])
{
    std::unique_ptr<QCoreApplication> app;
    if (displayAvailable()) {
        app = std::make_unique<QGuiApplication>(argc, argv);
        QGuiApplication::setDesktopFileName(QString::fromLatin1(MediaApp::appID));
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(MediaApp::name());
    QCoreApplication::setApplicationVersion(MediaApp::version());
    return app;
}

void reloadPreferences()
{
    Preferences::media().reload();
    Preferences::standard().reload();
}

SingleInstance::Request requestFor(const CommandLine &line)
{
    SingleInstance::Request request;
    request.files = line.files;
    if (line.action == CommandLine::Action::convert)
        request.kind = SingleInstance::Request::Kind::convert;
    else
        request.kind = line.files.isEmpty() ? SingleInstance::Request::Kind::reopen
                                            : SingleInstance::Request::Kind::open;
    return request;
}

void deliver(MediaAppDelegate &delegate, const SingleInstance::Request &request)
{
    switch (request.kind) {
    case SingleInstance::Request::Kind::open: delegate.openFiles(request.files); break;
    case SingleInstance::Request::Kind::convert: delegate.convertFiles(request.files); break;
    case SingleInstance::Request::Kind::reopen: delegate.reopen(); break;
    }
}

} // namespace

int run(int argc, char *argv[], const RoutesFactory &makeRoutes)
{
    const CommandLine line = CommandLine::parse(arguments(argc, argv), QDir::currentPath());
    switch (line.action) {
    case CommandLine::Action::version:
        std::printf("%s %s\n", qPrintable(MediaApp::name()), qPrintable(MediaApp::version()));
        return 0;
    case CommandLine::Action::help:
        std::fputs(qPrintable(CommandLine::helpText()), stdout);
        return 0;
    case CommandLine::Action::invalid:
        std::fprintf(stderr, "%s\nTry \"zentrova-media --help\".\n", qPrintable(line.error));
        return 2;
    case CommandLine::Action::convertCommand: {
        // Pictures and PDFs need a GUI application; no window is ever shown.
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        return runConvertCommand(line.commandArgs);
    }
    case CommandLine::Action::open:
    case CommandLine::Action::convert: break;
    }

    const auto app = makeApplication(argc, argv);
    const SingleInstance::Request request = requestFor(line);
    SingleInstance instance(SingleInstance::defaultSocketPath());
    switch (instance.start(request)) {
    case SingleInstance::Role::handedOver: return 0;
    case SingleInstance::Role::failed:
        std::fprintf(stderr, "%s is already running but doesn't respond. %s\n", qPrintable(MediaApp::name()),
                     qPrintable(instance.errorString()));
        return 1;
    case SingleInstance::Role::alone:
        Log::info(Log::Area::app, QStringLiteral("Single instance unavailable: ") + instance.errorString());
        break;
    case SingleInstance::Role::primary: break;
    }

    // Without a display no window can open: the launch logs and routes, then ends.
    const bool windows = qobject_cast<QGuiApplication *>(app.get()) != nullptr;
    if (!windows)
        std::fprintf(stderr, "%s: no display, so no window can open.\n", qPrintable(MediaApp::name()));
    const std::unique_ptr<AppRoutes> routes = windows ? makeRoutes() : std::make_unique<LoggingRoutes>();
    MediaAppDelegate delegate(*routes);
    QObject::connect(&instance, &SingleInstance::received, &delegate,
                     [&delegate](const SingleInstance::Request &handed) {
                         reloadPreferences();  // another launch is the app becoming active
                         deliver(delegate, handed);
                     });
    if (auto *gui = qobject_cast<QGuiApplication *>(app.get())) {
        QObject::connect(gui, &QGuiApplication::applicationStateChanged, gui, [](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive)
                reloadPreferences();
        });
    }
    // With nothing left to show or do after the launch, the process ends.
    QObject::connect(&delegate, &MediaAppDelegate::launchFinished, app.get(), [&routes] {
        if (!routes->keepsRunning())
            QCoreApplication::quit();
    });

    delegate.applicationDidFinishLaunching();
    if (request.kind != SingleInstance::Request::Kind::reopen)
        deliver(delegate, request);  // a plain launch is no reopen event
    return app->exec();
}

} // namespace AppEntry
