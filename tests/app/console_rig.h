#pragma once
// The console on a virtual board in virtual time: a read that gets no answer
// returns at once, and nothing in the tests waits for real.

#include "common/gui_test_support.h"

#include "app/frmMenu.h"
#include "forms/ClickLabel.h"
#include "forms/frmUsbIoErr.h"
#include "platform/sim/sim_board.h"
#include "support/QuillFunc_INI.h"
#include "usbio/QuillFunc_USBIO.h"

namespace rig {

class Console
{
public:
    explicit Console(platform::sim::SimBoardConfig config = {})
        : board(hid.addBoard(config)), hidGuard(hid)
    {
        QuillFunc_USBIO::ResetState();
        TargetVendorID = 0;
        TargetProductID = 0;
    }
    ~Console()
    {
        if (gfrmUsbIoErr) {
            delete gfrmUsbIoErr.data();
        }
        gUSBIO_Close();
    }

    /// Stores ID texts in the settings file the window reads at load.
    void storeIds(const QString &vendor, const QString &product) const
    {
        const std::string file = stage.appPath(QStringLiteral("setting.ini")).toStdString();
        gSetIni(file, "Setting", "StrVendorID", vendor.toStdString());
        gSetIni(file, "Setting", "StrPeroductID", product.toStdString());
    }

    frmMenu &load()
    {
        window.show();
        return window;
    }

    /// Device error windows that still exist (closed ones are deleted first).
    int errorWindows() const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return static_cast<int>(window.findChildren<frmUsbIoErr *>().size());
    }

    /// The link holds no open device.
    bool linkClosed() const
    {
        return QuillFunc_USBIO::State().HIDHandle == platform::InvalidHidHandle
            && hid.openFileHandles() == 0;
    }

    std::size_t reports() const { return board.receivedReports().size(); }

    /// The message-box texts shown so far.
    QStringList boxTexts() const
    {
        QStringList texts;
        for (const auto &box : stage.recorder.boxes) {
            texts << QString::fromStdString(box.text);
        }
        return texts;
    }

    guitest::Stage stage;
    platform::sim::SimHid hid { platform::sim::SimTime::Virtual };
    platform::sim::SimBoard &board;
    platform::ScopedSeam<platform::HidApi> hidGuard;
    frmMenu window;
};

inline void clickLabel(frmMenu &window, int bit)
{
    QTest::mouseClick(window.lblPort1[bit], Qt::LeftButton);
}

inline bool outputRunning(const frmMenu &window)
{
    return window.cmdOutputStart->isHidden() && !window.cmdOutputEnd->isHidden();
}

inline bool inputRunning(const frmMenu &window)
{
    return window.cmdInputStart->isHidden() && !window.cmdInputEnd->isHidden();
}

} // namespace rig
