#include "platform/qt/qt_seams.h"

#include "platform/msgbox.h"
#include "platform/process.h"

#include <QApplication>
#include <QMessageBox>

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

} // namespace

void installQtSeams()
{
    static QtMessageBox messageBox;
    static QtProcess process;
    Seam<MessageBox>::install(&messageBox);
    Seam<Process>::install(&process);
}

} // namespace platform
