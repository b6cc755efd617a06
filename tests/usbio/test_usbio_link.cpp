// The device link against virtual boards: the shared scenarios on every
// backend this OS has, then the cases only the sim backend can stage.

#include "link_test_base.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace platform::sim;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class LinkTest : public LinkTestBase, public ::testing::TestWithParam<Backend>
{
protected:
    LinkTest()
    {
        rig = makeRig(GetParam());
        seam.emplace(rig->api());
    }
    ~LinkTest() override
    {
        usbio::ResetState();
        seam.reset();
    }

    std::vector<std::vector<std::uint8_t>> received(std::size_t board)
    {
        std::vector<std::vector<std::uint8_t>> out;
        rig->withBoard(board, [&](SimBoard &b) { out = b.receivedReports(); });
        return out;
    }
    void setBoard(std::size_t board, const std::function<void(SimBoard &)> &f)
    {
        rig->withBoard(board, f);
    }

    std::unique_ptr<rigs::Rig> rig;
    std::optional<platform::ScopedSeam<platform::HidApi>> seam;
};

INSTANTIATE_TEST_SUITE_P(Backends, LinkTest, ::testing::ValuesIn(linkBackends()),
    [](const auto &info) { return backendName(info.param); });

TEST_P(LinkTest, WriteThenReadSendsTheCommandsAndTheLastPort1Value)
{
    rig->addBoard();
    setBoard(0, [](SimBoard &b) { b.setPort0(0xA5); });

    ASSERT_TRUE(gUSBIO_WriteP1(4));
    std::int16_t value = 0;
    ASSERT_TRUE(gUSBIO_ReadP0(value));

    EXPECT_EQ(value, 0xA5);
    EXPECT_THAT(received(0),
        ElementsAre(bytes({ 0, 2, 4, 0, 0, 0, 0, 0, 0 }), bytes({ 0, 3, 4, 0, 0, 0, 0, 0, 0 })));
    setBoard(0, [](SimBoard &b) { EXPECT_EQ(b.port1(), 4); });
}

TEST_P(LinkTest, ReadBeforeAnyWriteSendsDataByteZero)
{
    rig->addBoard();
    setBoard(0, [](SimBoard &b) { b.setPort0(255); });
    std::int16_t value = 0;
    ASSERT_TRUE(gUSBIO_ReadP0(value));
    EXPECT_EQ(value, 255);
    EXPECT_THAT(received(0), ElementsAre(bytes({ 0, 3, 0, 0, 0, 0, 0, 0, 0 })));
}

TEST_P(LinkTest, NoMatchingBoardFailsWithoutSendingAnything)
{
    rig->addBoard({ .vendorId = 0x1352, .productId = 0x0101 });
    std::int16_t value = 7;
    EXPECT_FALSE(gUSBIO_ReadP0(value));
    EXPECT_EQ(value, 255);
    EXPECT_FALSE(gUSBIO_WriteP1(1));
    EXPECT_TRUE(received(0).empty());
    EXPECT_FALSE(state().DeviceDetected);
    EXPECT_EQ(errorLog(), "");
}

TEST_P(LinkTest, FirstOfTwoMatchingBoardsIsUsedAndTheOtherNeverOpened)
{
    rig->addBoard({ .vendorId = 0x1352, .productId = 0x0200 }); // right vendor, other product
    rig->addBoard();
    rig->addBoard();
    ASSERT_TRUE(gUSBIO_WriteP1(9));
    EXPECT_EQ(received(0).size(), 0u);
    EXPECT_EQ(received(1).size(), 1u);
    EXPECT_EQ(rig->opens(2), 0u);
    EXPECT_THAT(state().DevicePath, HasSubstr(GetParam() == Backend::Sim ? "sim&1" : "hidraw1"));
}

TEST_P(LinkTest, OpenLinkIsReusedWithoutAnotherSearchOrOpen)
{
    rig->addBoard();
    std::int16_t value = 0;
    ASSERT_TRUE(gUSBIO_ReadP0(value));
    const std::size_t opensAfterFirst = rig->opens(0);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(gUSBIO_WriteP1(static_cast<std::int16_t>(i)));
        ASSERT_TRUE(gUSBIO_ReadP0(value));
    }
    EXPECT_EQ(rig->opens(0), opensAfterFirst);
    EXPECT_EQ(received(0).size(), 11u);
}

TEST_P(LinkTest, StaleEchoesOfWritesAreDiscardedByTheNextRead)
{
    rig->addBoard();
    setBoard(0, [](SimBoard &b) { b.setPort0(0x3C); });
    ASSERT_TRUE(gUSBIO_WriteP1(1));
    ASSERT_TRUE(gUSBIO_WriteP1(2));
    std::int16_t value = 0;
    ASSERT_TRUE(gUSBIO_ReadP0(value));
    EXPECT_EQ(value, 0x3C);
    EXPECT_EQ(state().InputReportBuffer[1], 3);
}

TEST_P(LinkTest, ChangedTargetsTakeEffectOnlyAfterClose)
{
    rig->addBoard();
    rig->addBoard({ .vendorId = 0xFFFF, .productId = 0x8001 });
    ASSERT_TRUE(gUSBIO_WriteP1(1));
    TargetVendorID = 0xFFFF;
    TargetProductID = 0x8001;
    ASSERT_TRUE(gUSBIO_WriteP1(2));
    EXPECT_EQ(received(0).size(), 2u);

    EXPECT_FALSE(gUSBIO_Close());
    ASSERT_TRUE(gUSBIO_WriteP1(3));
    EXPECT_EQ(received(1).size(), 1u);
}

// IDs from 8000 hex up match whether the target holds them sign-extended or not.
struct HighId
{
    std::int32_t vendor;
    std::int32_t product;
    bool matches;
};
TEST_P(LinkTest, HighIdsMatchInBothForms)
{
    rig->addBoard({ .vendorId = 0xFFFF, .productId = 0x8000 });
    for (HighId id : { HighId { -1, -32768, true }, HighId { 0xFFFF, 0x8000, true },
             HighId { 0x7FFF, 0x8000, false }, HighId { -1, 0x0100, false } }) {
        gUSBIO_Close();
        TargetVendorID = id.vendor;
        TargetProductID = id.product;
        EXPECT_EQ(gUSBIO_WriteP1(0), id.matches) << id.vendor << " " << id.product;
    }
}

TEST_P(LinkTest, WriteOfValueOutside0To255RaisesOverflowAndSendsNothing)
{
    rig->addBoard();
    for (std::int16_t bad : { std::int16_t { 256 }, std::int16_t { -1 } }) {
        try {
            gUSBIO_WriteP1(bad);
            ADD_FAILURE() << "no error for " << bad;
        } catch (const RuntimeError &e) {
            EXPECT_EQ(e.number(), vberr::Overflow);
        }
    }
    EXPECT_TRUE(received(0).empty());
    ASSERT_TRUE(gUSBIO_WriteP1(255));
    EXPECT_THAT(received(0), ElementsAre(bytes({ 0, 2, 255, 0, 0, 0, 0, 0, 0 })));
}

TEST_P(LinkTest, BoardThatStopsAnsweringDropsTheLinkAfterTheWait)
{
    rig->addBoard();
    setBoard(0, [](SimBoard &b) { b.setFault(SimFault::NeverAnswers); });
    std::vector<std::string> labels;
    usbio::SetTraceSink([&](std::string_view label, std::uint32_t, std::string_view) {
        labels.emplace_back(label);
    });
    std::int16_t value = 0;
    EXPECT_FALSE(gUSBIO_ReadP0(value));
    EXPECT_EQ(value, 255);
    EXPECT_EQ(rig->lastWaitMilliseconds(), 6000u);
    EXPECT_FALSE(state().DeviceDetected);
    EXPECT_EQ(state().HIDHandle, platform::InvalidHidHandle);
    EXPECT_EQ(state().ReadHandle, platform::InvalidHidHandle);
    const std::vector<std::string> tail(labels.end() - 6, labels.end());
    EXPECT_THAT(tail,
        ElementsAre("ReadFile", "WaitForSingleObject", "CancelIo", "CloseHandle (HIDHandle)",
            "CloseHandle (ReadHandle)", "ResetEvent"));
    EXPECT_EQ(errorLog(), "");
}

TEST_P(LinkTest, UnpluggedBoardEndsTheReadAndTheNextOperationSearchesAgain)
{
    rig->addBoard();
    std::int16_t value = 0;
    ASSERT_TRUE(gUSBIO_ReadP0(value));
    rig->unplug(0);
    EXPECT_FALSE(gUSBIO_ReadP0(value));
    EXPECT_EQ(value, 255);
    EXPECT_FALSE(state().DeviceDetected);
    EXPECT_FALSE(gUSBIO_ReadP0(value));
    EXPECT_FALSE(gUSBIO_WriteP1(1));
}

// Report lengths the board declares, and what a write and a read make of them.
struct Lengths
{
    std::uint16_t input;
    std::uint16_t output;
    bool writeOk;
    bool readOk;
    const char *loggedAs; // procedure whose trap reports, or nullptr
};

class LinkLengthTest : public LinkTestBase,
                       public ::testing::TestWithParam<std::tuple<Backend, Lengths>>
{ };

TEST_P(LinkLengthTest, UnusableLengthsGoThroughTheTraps)
{
    const auto [backend, l] = GetParam();
    std::unique_ptr<rigs::Rig> rig = makeRig(backend, 1000);
    platform::ScopedSeam<platform::HidApi> seam(rig->api());
    rig->addBoard({ .inputReportByteLength = l.input, .outputReportByteLength = l.output });

    EXPECT_EQ(gUSBIO_WriteP1(1), l.writeOk);
    gUSBIO_Close();
    std::int16_t value = 0;
    EXPECT_EQ(gUSBIO_ReadP0(value), l.readOk);
    if (!l.readOk) {
        EXPECT_EQ(value, 255);
    }
    if (l.loggedAs != nullptr) {
        EXPECT_THAT(errorLog(), HasSubstr(l.loggedAs));
    } else {
        EXPECT_EQ(errorLog(), "");
    }
    usbio::ResetState();
}

INSTANTIATE_TEST_SUITE_P(Lengths, LinkLengthTest,
    ::testing::Combine(::testing::ValuesIn(linkBackends()),
        ::testing::Values(Lengths { 9, 9, true, true, nullptr },
            Lengths { 3, 3, true, true, nullptr },
            Lengths { 9, 10, false, false, "QuillFunc_USBIO_WriteReport" },
            Lengths { 9, 65, false, false, "QuillFunc_USBIO_WriteReport" },
            Lengths { 9, 0, false, false, "QuillFunc_USBIO_WriteReport" },
            Lengths { 0, 9, true, false, "QuillFunc_USBIO_gUSBIO_ReadP0" },
            Lengths { 1, 9, true, false, "QuillFunc_USBIO_gUSBIO_ReadP0" },
            Lengths { 2, 9, true, false, "QuillFunc_USBIO_gUSBIO_ReadP0" })),
    [](const auto &info) {
        const Lengths &l = std::get<1>(info.param);
        return backendName(std::get<0>(info.param)) + "_in" + std::to_string(l.input) + "_out"
            + std::to_string(l.output);
    });

// ---------------------------------------------------------------- sim only

class SimLinkTest : public LinkTestBase, public ::testing::Test
{
protected:
    std::vector<std::string> traceLabels()
    {
        labels.clear();
        usbio::SetTraceSink([this](std::string_view label, std::uint32_t, std::string_view) {
            labels.emplace_back(label);
        });
        return {};
    }

    SimHid hid;
    platform::ScopedSeam<platform::HidApi> seam { hid };
    std::vector<std::string> labels;
};

TEST_F(SimLinkTest, SearchAndReadTraceTheirCallsInOrder)
{
    hid.addBoard({ .productId = 0x0200 });
    hid.addBoard();
    traceLabels();
    std::int16_t value = 0;
    ASSERT_TRUE(gUSBIO_ReadP0(value));
    EXPECT_THAT(labels,
        ElementsAre("GetHidGuid", "SetupDiClassDevs", "SetupDiEnumDeviceInterfaces",
            "SetupDiGetDeviceInterfaceDetail", " Result of second call: ", "CreateFile",
            "HidD_GetAttributes", "CloseHandle", "SetupDiEnumDeviceInterfaces",
            "SetupDiGetDeviceInterfaceDetail", " Result of second call: ", "CreateFile",
            "HidD_GetAttributes", "DestroyDeviceInfoList", "HidD_GetPreparsedData", "HidP_GetCaps",
            "HidD_FreePreparsedData", "CreateFile, ReadHandle", "CreateEvent", "ReadFile",
            "WaitForSingleObject", "ResetEvent"));

    labels.clear();
    gUSBIO_Close();
    EXPECT_THAT(labels, ElementsAre("CloseHandle (HIDHandle)", "CloseHandle (ReadHandle)"));
    labels.clear();
    gUSBIO_Close();
    EXPECT_TRUE(labels.empty());
}

TEST_F(SimLinkTest, SearchWithNothingPresentEndsAtTheFirstIndex)
{
    traceLabels();
    EXPECT_FALSE(usbio::FindDevice());
    EXPECT_THAT(labels,
        ElementsAre("GetHidGuid", "SetupDiClassDevs", "SetupDiEnumDeviceInterfaces",
            "DestroyDeviceInfoList"));
    EXPECT_TRUE(state().EnumerationEnded);
}

TEST_F(SimLinkTest, TraceHandsOverTheLastErrorAndItsTextWithoutLineEnd)
{
    hid.addBoard({ .productId = 0x0200 });
    std::vector<std::pair<std::string, std::string>> seen;
    usbio::SetTraceSink([&](std::string_view label, std::uint32_t, std::string_view text) {
        seen.emplace_back(label, text);
    });
    usbio::FindDevice();
    // The enumeration ends past the only interface.
    EXPECT_EQ(seen.at(seen.size() - 2).first, "SetupDiEnumDeviceInterfaces");
    EXPECT_EQ(seen.at(seen.size() - 2).second, "No more data is available.");
    EXPECT_EQ(usbio::GetApiErrorText(5), "Access is denied.");
    EXPECT_EQ(usbio::GetApiErrorText(123456), "");
}

TEST_F(SimLinkTest, InterfacesThatCannotBeExaminedAreNotMatches)
{
    // The same IDs everywhere: only the last board can be used.
    hid.addBoard().setFault(SimFault::ShortDetail);
    hid.addBoard().setFault(SimFault::OpenFails);
    hid.addBoard().setFault(SimFault::AttributesFail);
    hid.addBoard();
    ASSERT_TRUE(gUSBIO_WriteP1(6));
    EXPECT_EQ(hid.board(3).port1(), 6);
    EXPECT_EQ(hid.opens(0), 0u);
    EXPECT_EQ(hid.openFileHandles(), 2u);
}

TEST_F(SimLinkTest, FailedAttributeReadDoesNotReuseTheIdsOfTheDeviceBefore)
{
    hid.addBoard();
    hid.addBoard({ .productId = 0x0200 }).setFault(SimFault::AttributesFail);
    ASSERT_TRUE(gUSBIO_WriteP1(1)); // leaves the record holding 1352/0100
    gUSBIO_Close();
    hid.board(0).setPlugged(false);
    EXPECT_FALSE(gUSBIO_WriteP1(1));
    EXPECT_TRUE(hid.board(1).receivedReports().empty());
}

TEST_F(SimLinkTest, FailedWaitClearsTheFlagAndTheNextSearchClosesTheOldHandles)
{
    SimBoard &board = hid.addBoard();
    board.setFault(SimFault::WaitFails);
    std::int16_t value = 0;
    EXPECT_FALSE(gUSBIO_ReadP0(value));
    EXPECT_FALSE(state().DeviceDetected);
    EXPECT_NE(state().HIDHandle, platform::InvalidHidHandle); // left open by the wait
    EXPECT_EQ(hid.openFileHandles(), 2u);

    board.setFault(SimFault::None);
    ASSERT_TRUE(gUSBIO_ReadP0(value));
    EXPECT_EQ(hid.openFileHandles(), 2u);
    EXPECT_EQ(hid.calls(SimCall::ReadFile), 2u);
}

TEST_F(SimLinkTest, BoardThatNeverEchoesEndsTheReadAfterABoundedNumberOfReports)
{
    SimBoard &board = hid.addBoard();
    board.setFault(SimFault::WrongEcho);
    for (int i = 0; i < 2 * usbio::MaxDiscardedReports; ++i) {
        board.queueInputReport(std::vector<std::uint8_t>(9, 0x02));
    }
    std::int16_t value = 0;
    EXPECT_FALSE(gUSBIO_ReadP0(value));
    EXPECT_EQ(value, 255);
    EXPECT_EQ(hid.calls(SimCall::ReadFile), std::size_t(usbio::MaxDiscardedReports) + 1);
    EXPECT_FALSE(state().DeviceDetected);
    EXPECT_EQ(hid.openFileHandles(), 0u);
}

TEST_F(SimLinkTest, WriteFailureFailsTheWriteButTheReadStillFollows)
{
    SimBoard &board = hid.addBoard();
    board.setFault(SimFault::WriteFails);
    EXPECT_FALSE(gUSBIO_WriteP1(3));
    std::int16_t value = 0;
    EXPECT_FALSE(gUSBIO_ReadP0(value)); // nothing was asked, nothing answers
    EXPECT_EQ(hid.calls(SimCall::ReadFile), 1u);
    EXPECT_EQ(errorLog(), "");
}

TEST_F(SimLinkTest, BoardUnpluggedAfterSomeOperations)
{
    SimBoard &board = hid.addBoard();
    board.setPort0(0x11);
    board.unplugAfter(3); // write + read of the first poll, write of the second
    std::int16_t value = 0;
    ASSERT_TRUE(gUSBIO_ReadP0(value));
    EXPECT_FALSE(gUSBIO_ReadP0(value));
    EXPECT_EQ(value, 255);
    EXPECT_FALSE(state().DeviceDetected);
    board.setPlugged(true);
    ASSERT_TRUE(gUSBIO_ReadP0(value));
    EXPECT_EQ(value, 0x11);
}

TEST_F(SimLinkTest, SecondSearchReusesTheReadEvent)
{
    hid.addBoard();
    ASSERT_TRUE(gUSBIO_WriteP1(1));
    const platform::HidHandle event = state().ReadEvent;
    gUSBIO_Close();
    ASSERT_TRUE(gUSBIO_WriteP1(2));
    EXPECT_EQ(state().ReadEvent, event);
    EXPECT_EQ(state().ReadOverlapped.hEvent, event);
    EXPECT_EQ(hid.calls(SimCall::CreateEvent), 1u);
}

TEST_F(SimLinkTest, ReadHandleThatCannotBeOpenedLeavesTheLinkClosed)
{
    hid.addBoard().setFault(SimFault::OverlappedOpenFails);
    EXPECT_FALSE(gUSBIO_WriteP1(1));
    EXPECT_FALSE(state().DeviceDetected);
    EXPECT_EQ(hid.openFileHandles(), 0u);
    EXPECT_TRUE(hid.board(0).receivedReports().empty());
}

TEST_F(SimLinkTest, DeviceCapsOfAnEarlierDeviceDoNotSurviveAFailedQuery)
{
    hid.addBoard();
    ASSERT_TRUE(gUSBIO_WriteP1(1));
    gUSBIO_Close();
    state().HIDHandle = 0x7777; // not a handle the service knows
    usbio::ReadCapabilities();
    EXPECT_EQ(state().DeviceCaps.OutputReportByteLength, 0);
    state().HIDHandle = platform::InvalidHidHandle;
}

} // namespace
