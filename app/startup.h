#pragma once

#include <QByteArray>

#include <optional>

class QCommandLineParser;

// What happens before the window exists: the command line answered without a display, and the
// connection to Wayland or X11 chosen and opened.

// --help, --help-all, --version and a wrong option are answered here, without a display. The
// exit status when one was, nothing when the window is to open.
std::optional<int> answerWithoutWindow(int argc, char *argv[]);

// The program's own options and file argument.
void describeCommandLine(QCommandLineParser &parser);

// Where the window system's parts come from, as the environment tells them.
struct DesktopEnvironment
{
    QByteArray forcedPlatform; // QT_QPA_PLATFORM or -platform: left to Qt as given
    QByteArray xdgSessionType;    // XDG_SESSION_TYPE
    QByteArray desktops;       // XDG_CURRENT_DESKTOP and XDG_SESSION_DESKTOP
    bool x11 = false;          // DISPLAY names a display
    bool wayland = false;      // WAYLAND_DISPLAY names a compositor
};

DesktopEnvironment desktopFromEnvironment(int argc, char *argv[]);

// The platforms to try, in order, ";"-separated; empty leaves Qt's own choice. Qt tries X11
// alone unless XDG_SESSION_TYPE says Wayland, so without XWayland it aborts; the other one is
// always tried second.
QByteArray platformsToTry(const DesktopEnvironment &desktop);

// Opens the display while QApplication is made: a failure is one line on stderr and exit 1,
// not Qt's abort. Messages Qt gives while connecting are held back and passed on once the
// window system answered.
class DisplayConnection
{
public:
    explicit DisplayConnection(const DesktopEnvironment &desktop);
    ~DisplayConnection();
    DisplayConnection(const DisplayConnection &) = delete;
    DisplayConnection &operator=(const DisplayConnection &) = delete;

private:
    bool m_platformSetHere = false;
};
