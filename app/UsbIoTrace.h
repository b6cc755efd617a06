#pragma once
// The device link's trace in the program's log: the logging category
// "portprobe.usbio", off by default. Switched on (for instance
// QT_LOGGING_RULES="portprobe.usbio.debug=true"), every platform call of the
// link with its error code and text, and every report on the wire as hex
// bytes, go to the log with a time stamp.

#include <QLoggingCategory>
#include <QString>

#include <cstdint>
#include <span>

Q_DECLARE_LOGGING_CATEGORY(lcUsbIo)

/// Connects the link's trace and report hooks to lcUsbIo when its debug
/// messages are enabled; otherwise disconnects them, so the link does no
/// tracing work at all. Called at start-up, after the logging rules are read.
void gInstallUsbIoTrace();

/// "00 02 04 00": the bytes as two-digit upper-case hex, one blank between.
QString gUsbIoHexBytes(std::span<const std::uint8_t> bytes);
