// The device link's trace in the log: off by default; switched on, a whole
// output event and a whole poll against the virtual board, byte for byte.

#include "console_rig.h"

#include "app/UsbIoTrace.h"

#include <QRegularExpression>

namespace {

QStringList gLogLines;
QtMessageHandler gPreviousHandler = nullptr;

void collectUsbIoLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && QByteArray(context.category) == "portprobe.usbio") {
        gLogLines << message;
        return;
    }
    gPreviousHandler(type, context, message);
}

// Each line is a local time stamp to the millisecond, then the event; the
// stamps are checked and cut off.
QStringList events()
{
    static const QRegularExpression stamp(
        QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} )"));
    QStringList out;
    for (QString line : gLogLines) {
        const auto match = stamp.match(line);
        if (!match.hasMatch()) {
            return { QStringLiteral("no time stamp: ") + line };
        }
        out << line.mid(match.capturedLength());
    }
    return out;
}

const QString Ok = QStringLiteral(" error 0 (The operation completed successfully.)");

QStringList step(std::initializer_list<const char *> labels)
{
    QStringList out;
    for (const char *label : labels) {
        out << QStringLiteral("\"%1\"").arg(QLatin1String(label)) + Ok;
    }
    return out;
}

QStringList search()
{
    QStringList out = step({ "GetHidGuid", "SetupDiClassDevs", "SetupDiEnumDeviceInterfaces" });
    // The size query fails by design: it asks how large the buffer must be.
    out << QStringLiteral("\"SetupDiGetDeviceInterfaceDetail\" error 122 (The data area passed "
                          "to a system call is too small.)");
    out << step({ " Result of second call: ", "CreateFile", "HidD_GetAttributes",
        "DestroyDeviceInfoList", "HidD_GetPreparsedData", "HidP_GetCaps", "HidD_FreePreparsedData",
        "CreateFile, ReadHandle", "CreateEvent" });
    return out;
}

} // namespace

class tst_UsbIoTrace : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        gLogLines.clear();
        gPreviousHandler = qInstallMessageHandler(collectUsbIoLog);
    }
    void cleanup()
    {
        qInstallMessageHandler(gPreviousHandler);
        QLoggingCategory::setFilterRules(QString());
        gInstallUsbIoTrace();
    }

    void offByDefaultLogsNothing()
    {
        QLoggingCategory::setFilterRules(QString());
        gInstallUsbIoTrace();
        rig::Console console;
        frmMenu &window = console.load();
        window.cmdOutputStart->click();
        window.cmdInputStart->click();
        QCOMPARE(console.reports(), 2u);
        QCOMPARE(gLogLines, QStringList());
    }

    void outputEventAndPollByteForByte()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("portprobe.usbio.debug=true"));
        gInstallUsbIoTrace();
        rig::Console console;
        frmMenu &window = console.load();
        console.board.setPort0(0x5A);

        rig::clickLabel(window, 2);
        window.cmdOutputStart->click();
        const QStringList close = step({ "CloseHandle (HIDHandle)", "CloseHandle (ReadHandle)" });
        QStringList expected = search();
        expected << QStringLiteral("out 9 bytes: 00 02 04 00 00 00 00 00 00") << close;
        QCOMPARE(events(), expected);

        gLogLines.clear();
        window.cmdInputStart->click();
        QCOMPARE(window.lblInputData->text(), QStringLiteral("090/5A"));
        expected = search();
        // The board's echo of the earlier output comes first and is read
        // past; the answer to the poll follows.
        expected << QStringLiteral("out 9 bytes: 00 03 04 00 00 00 00 00 00")
                 << step({ "ReadFile", "WaitForSingleObject" })
                 << QStringLiteral("in 9 bytes: 00 02 04 00 00 00 00 00 00")
                 << step({ "ResetEvent", "ReadFile", "WaitForSingleObject" })
                 << QStringLiteral("in 9 bytes: 00 03 5A 00 00 00 00 00 00")
                 << step({ "ResetEvent" });
        QCOMPARE(events(), expected);
    }
};

GUITEST_MAIN(tst_UsbIoTrace, guitest::noScenario)

#include "tst_UsbIoTrace.moc"
