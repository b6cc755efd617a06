// The window layer vouches for its own windows, so the class library keeps
// their handles as owners and refuses made-up ones.
#include "classlib/clsFileOperation.h"
#include "platform/qt/qt_seams.h"
#include "platform/window_handles.h"

#include <QWidget>
#include <QtTest>

#include <memory>

class tst_qt_window_handles : public QObject
{
    Q_OBJECT

private slots:
    void ownWindowsAreWindows()
    {
        platform::WindowHandles *before = platform::Seam<platform::WindowHandles>::install(nullptr);
        platform::installQtSeams();
        auto widget = std::make_unique<QWidget>();
        widget->show();
        const auto handle = static_cast<std::int32_t>(widget->winId());
        QVERIFY(handle != 0);
        clsFileOperation op;
        op.Target(handle);
        QCOMPARE(op.Target(), handle);
        op.Target(handle + 0x4000);
        QCOMPARE(op.Target(), 0);
        widget.reset();
        op.Target(handle);
        QCOMPARE(op.Target(), 0);
        platform::Seam<platform::WindowHandles>::install(before);
    }
};

QTEST_MAIN(tst_qt_window_handles)
#include "tst_qt_window_handles.moc"
