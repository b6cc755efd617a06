#include "platform/qt/qt_seams.h"

#include "platform/msgbox.h"
#include "platform/process.h"
#include "platform/window_handles.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

namespace platform {
namespace {

class QtMessageBox final : public MessageBox
{
public:
    std::int32_t show(const MessageBoxRequest &request) override
    {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        switch (request.icon) {
        case MbIconCritical:
            icon = QMessageBox::Critical;
            break;
        case MbIconQuestion:
            icon = QMessageBox::Question;
            break;
        case MbIconExclamation:
            icon = QMessageBox::Warning;
            break;
        case MbIconInformation:
            icon = QMessageBox::Information;
            break;
        default:
            break;
        }
        QMessageBox box(icon, QString::fromStdString(request.caption),
            QString::fromStdString(request.text), QMessageBox::Ok, QApplication::activeWindow());
        box.exec();
        return IdOk;
    }
};

class QtProcess final : public Process
{
public:
    void sleep(std::int32_t milliseconds) override
    {
        Seam<Process>::defaultInstance().sleep(milliseconds);
    }
    void doEvents() override { QCoreApplication::processEvents(); }
    void terminate(int exitCode) override { Seam<Process>::defaultInstance().terminate(exitCode); }
};

#ifndef _WIN32
// Outside Windows the system has no window handles of its own to ask: the
// program's windows are those with a native window that Qt has created.
class QtWindowHandles final : public WindowHandles
{
public:
    bool isWindow(std::int32_t handle) const override
    {
        if (handle == 0) {
            return false;
        }
        const auto widgets = QApplication::allWidgets();
        for (const QWidget *widget : widgets) {
            // internalWinId() never creates a native window just to compare it.
            const WId id = widget->internalWinId();
            if (id != 0 && static_cast<std::int32_t>(id) == handle) {
                return true;
            }
        }
        return false;
    }
    std::int32_t desktopWindow() const override { return 0; }
};
#endif

} // namespace

void installQtSeams()
{
    static QtMessageBox messageBox;
    static QtProcess process;
    Seam<MessageBox>::install(&messageBox);
    Seam<Process>::install(&process);
#ifndef _WIN32
    static QtWindowHandles windows;
    Seam<WindowHandles>::install(&windows);
#endif
}

} // namespace platform
