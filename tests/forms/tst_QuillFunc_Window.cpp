// Window helpers: screen arithmetic, sizing, placing, showing and titling.

#include "common/gui_test_support.h"

#include "support/ErrObject.h"

namespace {

// A window without a frame, so that its outer size is its own.
class Probe : public QWidget
{
public:
    Probe()
    {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        resize(300, 200);
        move(7, 11);
    }
};

} // namespace

class tst_QuillFunc_Window : public QObject
{
    Q_OBJECT

private slots:
    void screenSizeInTwips()
    {
        guitest::Stage stage;
        std::int32_t width = 0;
        std::int32_t height = 0;
        QVERIFY(gGetScreenSize(width, height));
        QCOMPARE(width, 15360);
        QCOMPARE(height, 11520);
    }

    void unknownMetricIsReported()
    {
        guitest::Stage stage;
        std::int32_t value = 42;
        QVERIFY(!gGetSystemMetrics(7, value));
        QCOMPARE(value, 42);
        QCOMPARE(stage.procedures(), QStringList({ QStringLiteral("gGetSystemMetrics") }));
        QVERIFY(guitest::readErrorLog(stage.tempFolder)
                    .contains(QStringLiteral("\r\nlngTarget=7\r\n")));
    }

    void screenTooLargeForTwipsIsReported()
    {
        guitest::Stage stage;
        stage.screen.width = 200'000'000;
        std::int32_t width = 0;
        std::int32_t height = 0;
        QVERIFY(!gGetScreenSize(width, height));
        QCOMPARE(stage.procedures(), QStringList({ QStringLiteral("gGetScreenSize") }));
    }

    void position_data()
    {
        QTest::addColumn<int>("windowWidth");
        QTest::addColumn<int>("windowHeight");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QPoint>("place");
        QTest::newRow("half the free height") << 6000 << 4000 << 0 << QPoint(4680, 3760);
        QTest::newRow("a third of the free height") << 6000 << 4000 << 1 << QPoint(4680, 2506);
        QTest::newRow("window wider than the screen") << 16000 << 4000 << 0 << QPoint(-320, 3760);
        QTest::newRow("negative halves truncate toward zero")
            << 15361 << 11524 << 1 << QPoint(0, -1);
    }

    void position()
    {
        QFETCH(int, windowWidth);
        QFETCH(int, windowHeight);
        QFETCH(int, mode);
        QFETCH(QPoint, place);
        QCOMPARE(gCalcWindowPosition(15360, 11520, windowWidth, windowHeight, mode), place);
    }

    void positionRefusesBadInput_data()
    {
        QTest::addColumn<int>("windowHeight");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("error");
        QTest::newRow("unknown mode") << 4000 << 2 << 5;
        QTest::newRow("subtraction overflows") << std::numeric_limits<int>::min() << 0 << 6;
    }

    void positionRefusesBadInput()
    {
        QFETCH(int, windowHeight);
        QFETCH(int, mode);
        QFETCH(int, error);
        try {
            gCalcWindowPosition(15360, 11520, 6000, windowHeight, mode);
            QFAIL("no error raised");
        } catch (const RuntimeError &raised) {
            QCOMPARE(raised.number(), error);
        }
    }

    // Centred is (15360 - 4500) / 2 and (11520 - 3000) / 2 twips, at 15 twips
    // per pixel; a third of the free height puts the top at 189.
    void showModelessWithPositionMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QPoint>("place");
        QTest::addColumn<QStringList>("records");
        QTest::newRow("centred") << 0 << true << QPoint(362, 284) << QStringList();
        QTest::newRow("upper third") << 1 << true << QPoint(362, 189) << QStringList();
        QTest::newRow("left where it is") << 9 << true << QPoint(7, 11) << QStringList();
        QTest::newRow("unknown mode reported twice")
            << 2 << false << QPoint(7, 11)
            << QStringList({ QStringLiteral("gDspWindowPosition"), QStringLiteral("gDspForm") });
    }

    void showModelessWithPositionMode()
    {
        QFETCH(int, mode);
        QFETCH(bool, result);
        QFETCH(QPoint, place);
        QFETCH(QStringList, records);
        guitest::Stage stage;
        Probe window;
        QCOMPARE(gDspForm(window, mode, 0, false, 0.8f), result);
        QVERIFY(window.isVisible());
        QCOMPARE(window.frameGeometry(), QRect(place, QSize(300, 200)));
        QCOMPARE(stage.procedures(), records);
    }

    // Eight tenths of the screen: 12288 by 9216 twips, centred.
    void showModelessResized()
    {
        guitest::Stage stage;
        Probe window;
        QVERIFY(gDspForm(window, 0, 0, true, 0.8f));
        QCOMPARE(window.frameGeometry(), QRect(102, 77, 819, 614));
    }

    void showModalReturnsWhenClosed()
    {
        guitest::Stage stage;
        QDialog dialog;
        dialog.resize(300, 200);
        QTimer::singleShot(0, &dialog, [&] { dialog.accept(); });
        QVERIFY(gDspForm(dialog, 0, 1, false, 0.8f));
        QVERIFY(!dialog.isVisible());
    }

    void caption_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("expected");
        QTest::newRow("caption first")
            << QStringLiteral("終了処理") << 0 << QStringLiteral("終了処理     PORTPROBE");
        QTest::newRow("title first") << QString() << 1 << QStringLiteral("PORTPROBE     ");
        QTest::newRow("other mode leaves it")
            << QStringLiteral("終了処理") << 2 << QStringLiteral("終了処理");
    }

    void caption()
    {
        QFETCH(QString, caption);
        QFETCH(int, mode);
        QFETCH(QString, expected);
        QWidget window;
        window.setWindowTitle(caption);
        QVERIFY(gSetFormCaption(window, mode));
        QCOMPARE(window.windowTitle(), expected);
    }

    void colourValues_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("red") << 255 << QColor(255, 0, 0);
        QTest::newRow("green") << 65280 << QColor(0, 255, 0);
        QTest::newRow("orange") << 0x0080FF << QColor(255, 128, 0);
    }

    void colourValues()
    {
        QFETCH(int, value);
        QFETCH(QColor, colour);
        QCOMPARE(gVbColor(value), colour);
        QCOMPARE(gVbColorValue(colour), value);
        QWidget widget;
        gSetBackColor(widget, value);
        QCOMPARE(gGetBackColor(widget), value);
    }
};

GUITEST_MAIN(tst_QuillFunc_Window, guitest::noScenario)

#include "tst_QuillFunc_Window.moc"
