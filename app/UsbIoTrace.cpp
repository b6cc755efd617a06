#include "app/UsbIoTrace.h"

#include "platform/codepage.h"
#include "usbio/QuillFunc_USBIO.h"

#include <QDateTime>

Q_LOGGING_CATEGORY(lcUsbIo, "portprobe.usbio", QtWarningMsg)

namespace {

// Local time to the millisecond: the terminal shows no time of its own, and
// report timing is what a board developer looks at.
QString stamp()
{
    return QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
}

} // namespace

QString gUsbIoHexBytes(std::span<const std::uint8_t> bytes)
{
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size() * 3));
    for (std::uint8_t byte : bytes) {
        if (!text.isEmpty()) {
            text += QLatin1Char(' ');
        }
        text += QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    }
    return text;
}

void gInstallUsbIoTrace()
{
    namespace usbio = QuillFunc_USBIO;
    if (!lcUsbIo().isDebugEnabled()) {
        usbio::SetTraceSink(nullptr);
        usbio::SetReportSink(nullptr);
        return;
    }
    usbio::SetTraceSink([](std::string_view label, std::uint32_t code, std::string_view text) {
        // The system's message text comes in the ANSI code page. All parts
        // are put in at once, so a "%1" inside a text stays as it is.
        qCDebug(lcUsbIo).noquote()
            << stamp()
            << QStringLiteral("\"%1\" error %2 (%3)")
                   .arg(QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size())),
                       QString::number(code), QString::fromStdString(platform::fromAnsi(text)));
    });
    usbio::SetReportSink([](usbio::ReportDirection direction, std::span<const std::uint8_t> bytes,
                             bool ok) {
        const bool out = direction == usbio::ReportDirection::Output;
        if (!out && !ok) {
            qCDebug(lcUsbIo).noquote() << stamp() << QStringLiteral("in: no report");
            return;
        }
        qCDebug(lcUsbIo).noquote()
            << stamp()
            << QStringLiteral("%1 %2 bytes%3: %4")
                   .arg(out ? QStringLiteral("out") : QStringLiteral("in"),
                       QString::number(bytes.size()),
                       ok ? QString() : QStringLiteral(" (write failed)"), gUsbIoHexBytes(bytes));
    });
}
