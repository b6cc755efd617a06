#include "platform/qt/session_end.h"

#include <QCoreApplication>
#include <QEvent>

#ifdef Q_OS_WIN
#include <QGuiApplication>
#include <QSessionManager>
#endif

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace platform {
namespace {

std::function<void()> &handler()
{
    static std::function<void()> onEnd;
    return onEnd;
}

void endSession()
{
    if (handler()) {
        handler()();
    }
}

// A session manager's end (a log-out) arrives as the application's quit
// event. It is told first, then Qt goes on to close the windows as before.
class QuitWatcher final : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == qApp && event->type() == QEvent::Quit) {
            endSession();
        }
        return false;
    }
};

#ifdef Q_OS_UNIX
int signalPipe[2] = { -1, -1 };

// Async-signal-safe: one write(2), errno left as it was.
extern "C" void onSignal(int signo)
{
    const int saved = errno;
    const char byte = static_cast<char>(signo);
    (void)!::write(signalPipe[1], &byte, 1);
    errno = saved;
}

void watchSignals()
{
    if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char bytes[16];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) { }
        endSession();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // Ctrl+C in the terminal that started the program is an end like any
    // other: the IDs typed must be saved as at a log-out.
    for (int signo : { SIGTERM, SIGHUP, SIGINT }) {
        ::sigaction(signo, &action, nullptr);
    }
}
#endif

} // namespace

void watchSessionEnd(std::function<void()> onEnd)
{
    const bool first = !handler();
    handler() = std::move(onEnd);
    if (first) {
        qApp->installEventFilter(new QuitWatcher(qApp));
    }
#ifdef Q_OS_UNIX
    watchSignals();
#elif defined(Q_OS_WIN)
    // Log-off and shut-down reach a Windows program as WM_QUERYENDSESSION, which Qt reports here.
    static bool connected = false;
    if (!connected && qGuiApp) {
        connected = true;
        QObject::connect(qGuiApp, &QGuiApplication::commitDataRequest, qGuiApp,
            [](QSessionManager &) { endSession(); });
    }
#endif
}

} // namespace platform
