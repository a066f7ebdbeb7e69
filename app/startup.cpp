#include "startup.h"

#include "encoder/input/wavefamily.h"
#include "version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

// The options QGuiApplication and QApplication take for themselves. The first pass must know
// them to tell a wrong option from one of Qt's; --help-all lists them.
struct WindowSystemOption
{
    const char *name;
    const char *value; // null: a switch
    const char *description;
};

constexpr WindowSystemOption windowSystemOptions[] = {
    {"platform", "name", "The window system: wayland, xcb (X11) or offscreen."},
    {"platformpluginpath", "path", "A further folder of window system plugins."},
    {"platformtheme", "theme", "The desktop theme plugin."},
    {"plugin", "plugin", "A further input plugin to load."},
    {"display", "display", "The X11 display to open (xcb only)."},
    {"qwindowgeometry", "geometry", "The main window's geometry, as in 640x480+10+10."},
    {"geometry", "geometry", "The same as -qwindowgeometry (xcb only)."},
    {"qwindowicon", "icon", "The window's icon."},
    {"qwindowtitle", "title", "The window's title."},
    {"reverse", nullptr, "Lays the window out from right to left."},
    {"session", "session", "Restores the session of that name."},
    {"style", "style", "The widget style."},
    {"stylesheet", "file", "A style sheet to apply."},
    {"widgetcount", nullptr, "Prints how many widgets were left when the program ends."},
    {"nograb", nullptr, "Never grabs the mouse or the keyboard (xcb only)."},
    {"dograb", nullptr, "Grabs even under a debugger (xcb only)."},
    {"qmljsdebugger", "value", "Options of the QML debugger."},
};

void addWindowSystemOptions(QCommandLineParser &parser, bool listed)
{
    for (const WindowSystemOption &entry : windowSystemOptions) {
        QCommandLineOption option(QString::fromLatin1(entry.name), QString::fromLatin1(entry.description));
        if (entry.value)
            option.setValueName(QString::fromLatin1(entry.value));
        if (!listed)
            option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

// Messages Qt gives while it connects, held until it is known whether it could.
QtMessageHandler passOn = nullptr;
bool connecting = false;
struct HeldMessage
{
    QtMsgType type;
    QByteArray category;
    QString text;
};
std::vector<HeldMessage> heldBack;

void startUpMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!connecting)
        return passOn(type, context, message);
    if (type != QtFatalMsg) {
        heldBack.push_back({type, context.category, message});
        return;
    }
    std::fputs("sonovert: cannot open a window: no Wayland compositor or X11 display answered "
               "(WAYLAND_DISPLAY, DISPLAY); sonovert-encode converts without a window\n",
               stderr);
    std::_Exit(1);
}

} // namespace

void describeCommandLine(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Converts a %1 file into an MP3 file.").arg(QLatin1String(kWaveName)));
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("The %1 file to convert.").arg(QLatin1String(kWaveName)),
                                 QStringLiteral("[file]"));
}

std::optional<int> answerWithoutWindow(int argc, char *argv[])
{
    QCoreApplication probe(argc, argv);
    QCommandLineParser parser;
    // Qt's own options are single-dash words (-platform, -style).
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    describeCommandLine(parser);
    addWindowSystemOptions(parser, false);
    if (!parser.parse(probe.arguments())) {
        std::fprintf(stderr, "sonovert: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help-all"))) {
        QCommandLineParser all;
        all.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        all.addHelpOption();
        all.addVersionOption();
        describeCommandLine(all);
        addWindowSystemOptions(all, true);
        std::fputs(qPrintable(all.helpText()), stdout);
    } else if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
    } else if (parser.isSet(version)) {
        std::fputs(SONOVERT_NAME "\n", stdout);
    } else {
        return std::nullopt;
    }
    return 0;
}

DesktopEnvironment desktopFromEnvironment(int argc, char *argv[])
{
    DesktopEnvironment desktop;
    desktop.forcedPlatform = qgetenv("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i)
        if (qstrcmp(argv[i], "-platform") == 0 || qstrcmp(argv[i], "--platform") == 0)
            desktop.forcedPlatform = argv[i + 1];
    desktop.xdgSessionType = qgetenv("XDG_SESSION_TYPE");
    desktop.desktops = qgetenv("XDG_CURRENT_DESKTOP") + ':' + qgetenv("XDG_SESSION_DESKTOP");
    desktop.x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    desktop.wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    return desktop;
}

QByteArray platformsToTry(const DesktopEnvironment &desktop)
{
    if (!desktop.forcedPlatform.isEmpty())
        return {};
    // Qt's own rule: Wayland first where the desktop runs on Wayland, except on GNOME, whose
    // compositor leaves the title bars to the program.
    const bool waylandDesktop = desktop.xdgSessionType == "wayland"
                                && !desktop.desktops.toLower().contains("gnome");
    if (waylandDesktop || (desktop.wayland && !desktop.x11))
        return "wayland;xcb";
    return "xcb;wayland";
}

DisplayConnection::DisplayConnection(const DesktopEnvironment &desktop)
{
    if (const QByteArray platforms = platformsToTry(desktop); !platforms.isEmpty())
        qputenv("QT_QPA_PLATFORM", platforms);
    connecting = true;
    passOn = qInstallMessageHandler(startUpMessages);
    m_platformSetHere = desktop.forcedPlatform.isEmpty();
}

DisplayConnection::~DisplayConnection()
{
    connecting = false;
    for (const HeldMessage &held : std::exchange(heldBack, {}))
        passOn(held.type, QMessageLogContext(nullptr, 0, nullptr, held.category.constData()), held.text);
    // Programs started from here (the browser) choose their own platform.
    if (m_platformSetHere)
        qunsetenv("QT_QPA_PLATFORM");
}
