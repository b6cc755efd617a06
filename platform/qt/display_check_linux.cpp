#include "platform/qt/display_check.h"

#include <QDir>
#include <QLibraryInfo>

#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace platform {
namespace {
xcb_connection_t *openProbe = nullptr;
} // namespace

bool x11DisplayUsable(const std::string &display)
{
    // A full connection, handshake and authorisation included, as Qt's own.
    closeDisplayProbes();
    xcb_connection_t *connection = xcb_connect(display.c_str(), nullptr);
    if (connection == nullptr) {
        return false;
    }
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        return false;
    }
    openProbe = connection;
    return true;
}

void closeDisplayProbes()
{
    if (openProbe != nullptr) {
        xcb_disconnect(openProbe);
        openProbe = nullptr;
    }
}

bool waylandDisplayUsable(const std::string &display)
{
    std::string path = display;
    if (path.empty() || path.front() != '/') {
        const char *runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime == nullptr || *runtime == '\0') {
            return false;
        }
        path = std::string(runtime) + "/" + (path.empty() ? "wayland-0" : path);
    }
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool usable =
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return usable;
}

bool waylandPluginInstalled()
{
    QStringList folders { QLibraryInfo::path(QLibraryInfo::PluginsPath) };
    const QByteArray extra = qgetenv("QT_PLUGIN_PATH");
    if (!extra.isEmpty()) {
        folders += QString::fromLocal8Bit(extra).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    }
    for (const QString &folder : folders) {
        const QDir platforms(folder + QStringLiteral("/platforms"));
        if (!platforms.entryList({ QStringLiteral("libqwayland*") }, QDir::Files).isEmpty()) {
            return true;
        }
    }
    return false;
}

} // namespace platform
