// The device link against virtual boards: the shared scenarios on every
// backend this OS has, then the cases only the sim backend can stage.

#include "link_test_base.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace platform::sim;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class LinkTest : public LinkTestBase, public ::testing::TestWithParam<Backend>
{
protected:
    LinkTest() : rig(makeRig(GetParam())) { seam.emplace(rig->api()); }
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

    std::unique_ptr<rigs::Rig> rig;
    std::optional<platform::ScopedSeam<platform::HidApi>> seam;
};

INSTANTIATE_TEST_SUITE_P(Backends, LinkTest, ::testing::ValuesIn(linkBackends()),
    [](const auto &info) { return backendName(info.param); });

TEST_P(LinkTest, ReadsAndWritesSendTheirCommandWithTheLastPort1Value)
{
    rig->addBoard();
    rig->withBoard(0, [](SimBoard &b) { b.setPort0(0xA5); });

    ASSERT_TRUE(gUSBIO_ReadP0(value));
    EXPECT_EQ(value, 0xA5);
    ASSERT_TRUE(gUSBIO_WriteP1(4));
    value = 0;
    ASSERT_TRUE(gUSBIO_ReadP0(value));
    EXPECT_EQ(value, 0xA5);

    EXPECT_THAT(received(0),
        ElementsAre(bytes({ 0, 3, 0, 0, 0, 0, 0, 0, 0 }), bytes({ 0, 2, 4, 0, 0, 0, 0, 0, 0 }),
            bytes({ 0, 3, 4, 0, 0, 0, 0, 0, 0 })));
    rig->withBoard(0, [](SimBoard &b) { EXPECT_EQ(b.port1(), 4); });
}

TEST_P(LinkTest, NoMatchingBoardFailsWithoutSendingAnything)
{
    rig->addBoard({ .vendorId = 0x1352, .productId = 0x0101 });
    value = 7;
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
    EXPECT_EQ(state().DevicePath, rig->pathOf(1));
}

TEST_P(LinkTest, OpenLinkIsReusedWithoutAnotherSearchOrOpen)
{
    rig->addBoard();
    ASSERT_TRUE(gUSBIO_ReadP0(value));
    const std::size_t opensAfterFirst = rig->opens(0);
    for (std::int16_t i = 0; i < 5; ++i) {
        ASSERT_TRUE(gUSBIO_WriteP1(i));
        ASSERT_TRUE(gUSBIO_ReadP0(value));
    }
    EXPECT_EQ(rig->opens(0), opensAfterFirst);
    EXPECT_EQ(received(0).size(), 11u);
}

TEST_P(LinkTest, StaleEchoesOfWritesAreDiscardedByTheNextRead)
{
    rig->addBoard();
    rig->withBoard(0, [](SimBoard &b) { b.setPort0(0x3C); });
    ASSERT_TRUE(gUSBIO_WriteP1(1));
    ASSERT_TRUE(gUSBIO_WriteP1(2));
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

// All 32 bits of a target count; IDs from 8000 match sign-extended or not.
TEST_P(LinkTest, TargetsCompareWhollyHighIdsSignExtendedOrNot)
{
    rig->addBoard({ .vendorId = 0xFFFF, .productId = 0x8000 });
    rig->addBoard();
    const struct
    {
        std::int32_t vendor, product;
        bool matches;
    } rows[] = { { -1, -32768, true }, { 0xFFFF, 0x8000, true }, { 0x7FFF, 0x8000, false },
        { -1, 0x0100, false }, { 0x1352, 0x0100, true }, { 0x11352, 0x0100, false },
        { static_cast<std::int32_t>(0xFFFF1352), 0x0100, false }, { 0x1352, 0x10100, false },
        { 0x1FFFF, 0x8000, false } };
    for (const auto &row : rows) {
        gUSBIO_Close();
        TargetVendorID = row.vendor;
        TargetProductID = row.product;
        EXPECT_EQ(gUSBIO_WriteP1(0), row.matches) << row.vendor << " " << row.product;
    }
}

TEST_P(LinkTest, WriteOfValueOutside0To255RaisesOverflowAndSendsNothing)
{
    rig->addBoard();
    for (std::int16_t bad : { 256, -1 }) {
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
    rig->withBoard(0, [](SimBoard &b) { b.setFault(SimFault::NeverAnswers); });
    collectLabels();
    collectReports();
    EXPECT_FALSE(gUSBIO_ReadP0(value));
    // The command went out whole; the wait brought no report.
    EXPECT_THAT(reports,
        ElementsAre(Report { "out", "ok", bytes({ 0, 3, 0, 0, 0, 0, 0, 0, 0 }) },
            Report { "in", "failed", {} }));
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
    ASSERT_TRUE(gUSBIO_ReadP0(value));
    rig->unplug(0);
    EXPECT_FALSE(gUSBIO_ReadP0(value));
    EXPECT_EQ(value, 255);
    EXPECT_FALSE(state().DeviceDetected);
    EXPECT_FALSE(gUSBIO_ReadP0(value));
    EXPECT_FALSE(gUSBIO_WriteP1(1));

    rig->replug(0);
    EXPECT_TRUE(gUSBIO_ReadP0(value));
}

// Report lengths the board declares, and what a write and a read make of them.
struct Lengths
{
    std::uint16_t input, output;
    bool writeOk, readOk;
    const char *loggedAs; // procedure whose trap reports, "" for none
};

void PrintTo(const Lengths &l, std::ostream *os)
{
    *os << "input " << l.input << ", output " << l.output;
}

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
    EXPECT_EQ(gUSBIO_ReadP0(value), l.readOk);
    if (!l.readOk) {
        EXPECT_EQ(value, 255);
    }
    if (*l.loggedAs != '\0') {
        EXPECT_THAT(errorLog(), HasSubstr(l.loggedAs));
    } else {
        EXPECT_EQ(errorLog(), "");
    }
    usbio::ResetState();
}

constexpr const char *InWrite = "QuillFunc_USBIO_WriteReport";
constexpr const char *InRead = "QuillFunc_USBIO_gUSBIO_ReadP0";

INSTANTIATE_TEST_SUITE_P(Lengths, LinkLengthTest,
    ::testing::Combine(::testing::ValuesIn(linkBackends()),
        ::testing::Values(Lengths { 9, 9, true, true, "" }, Lengths { 3, 3, true, true, "" },
            Lengths { 9, 10, false, false, InWrite }, Lengths { 9, 65, false, false, InWrite },
            Lengths { 9, 0, false, false, InWrite }, Lengths { 0, 9, true, false, InRead },
            Lengths { 1, 9, true, false, InRead }, Lengths { 2, 9, true, false, InRead })),
    [](const auto &info) {
        const Lengths &l = std::get<1>(info.param);
        return backendName(std::get<0>(info.param)) + "_in" + std::to_string(l.input) + "_out"
            + std::to_string(l.output);
    });

// ---------------------------------------------------------------- sim only

class SimLinkTest : public LinkTestBase, public ::testing::Test
{
protected:
    SimHid hid;
    platform::ScopedSeam<platform::HidApi> seam { hid };
};

TEST_F(SimLinkTest, SearchReadAndCloseTraceTheirCallsInOrder)
{
    hid.addBoard({ .productId = 0x0200 });
    hid.addBoard();
    collectLabels();
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

TEST_F(SimLinkTest, SearchWithNothingPresentEndsAtTheFirstIndexAndTracesWhy)
{
    collectLabels();
    EXPECT_FALSE(usbio::FindDevice());
    EXPECT_THAT(labels,
        ElementsAre("GetHidGuid", "SetupDiClassDevs", "SetupDiEnumDeviceInterfaces",
            "DestroyDeviceInfoList"));
    EXPECT_EQ(texts.at(2), "No more data is available."); // without the line end
    EXPECT_TRUE(state().EnumerationEnded);
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

TEST(SimBoardTest, KeepsOnlyTheLatestOutputReports)
{
    SimBoard board;
    for (int i = 0; i < 10000; ++i) {
        board.receiveOutputReport(bytes({ 0, 2, i & 0x0F, 0, 0, 0, 0, 0, 0 }));
    }
    const auto &kept = board.receivedReports();
    EXPECT_GE(kept.size(), SimBoard::ReceivedReportsKept);
    EXPECT_LT(kept.size(), 2 * SimBoard::ReceivedReportsKept);
    EXPECT_EQ(kept.back(), bytes({ 0, 2, 9999 & 0x0F, 0, 0, 0, 0, 0, 0 }));
    EXPECT_EQ(kept.front(), bytes({ 0, 2, int(10000 - kept.size()) & 0x0F, 0, 0, 0, 0, 0, 0 }));
}

// A board that misbehaves in one way: a write and a read fail quietly, and
// once the fault is gone the next read opens the link anew.
// A board that never echoes but sends a stray report every 5.9 s: the read
// still ends 6000 ms after its start, as a time-out that drops the link.
TEST_F(SimLinkTest, StrayReportsDoNotStretchTheReadBeyondItsTimeOut)
{
    SimBoard &board = hid.addBoard();
    board.setFault(SimFault::NeverAnswers);
    board.dripStrayReports(5900);
    collectLabels();
    EXPECT_FALSE(gUSBIO_ReadP0(value));
    EXPECT_EQ(value, 255);
    EXPECT_EQ(hid.elapsedMilliseconds(), 6000u);
    EXPECT_EQ(hid.lastWaitMilliseconds(), 100u);
    EXPECT_FALSE(state().DeviceDetected);
    EXPECT_EQ(hid.openFileHandles(), 0u);
    ASSERT_GE(labels.size(), 5u);
    EXPECT_THAT(std::vector<std::string>(labels.end() - 5, labels.end()),
        ElementsAre("WaitForSingleObject", "CancelIo", "CloseHandle (HIDHandle)",
            "CloseHandle (ReadHandle)", "ResetEvent"));
}

struct FaultCase
{
    const char *name;
    SimFault fault;
    bool writeOk;
    std::size_t reportsSent; // output reports the board got
    std::size_t readFiles; // overlapped reads the failed read started
    std::size_t openHandles; // left open after it
};

void PrintTo(const FaultCase &c, std::ostream *os)
{
    *os << c.name;
}

class SimFaultTest : public SimLinkTest, public ::testing::WithParamInterface<FaultCase>
{ };

TEST_P(SimFaultTest, FailsQuietlyAndRecoversWithoutLeakingHandles)
{
    const FaultCase &c = GetParam();
    SimBoard &board = hid.addBoard();
    board.setFault(c.fault);
    if (c.fault == SimFault::WrongEcho) {
        for (int i = 0; i < usbio::MaxDiscardedReports; ++i) {
            board.queueInputReport(std::vector<std::uint8_t>(9, 0x02));
        }
    }
    EXPECT_EQ(gUSBIO_WriteP1(3), c.writeOk);
    EXPECT_FALSE(gUSBIO_ReadP0(value));
    EXPECT_EQ(value, 255);
    EXPECT_FALSE(state().DeviceDetected);
    EXPECT_EQ(board.receivedReports().size(), c.reportsSent);
    EXPECT_EQ(hid.calls(SimCall::ReadFile), c.readFiles);
    EXPECT_EQ(hid.openFileHandles(), c.openHandles);
    EXPECT_EQ(errorLog(), "");

    board.setFault(SimFault::None);
    ASSERT_TRUE(gUSBIO_ReadP0(value));
    EXPECT_EQ(hid.openFileHandles(), 2u); // handles a failed wait left open are closed
}

INSTANTIATE_TEST_SUITE_P(Faults, SimFaultTest,
    ::testing::Values(
        FaultCase { "WaitFailsLeavingTheHandlesOpen", SimFault::WaitFails, true, 2, 1, 2 },
        FaultCase { "WriteFailsButTheReadStillFollows", SimFault::WriteFails, false, 0, 1, 0 },
        FaultCase { "NeverEchoesEndsAfterABoundedNumberOfReports", SimFault::WrongEcho, true, 2,
            std::size_t(usbio::MaxDiscardedReports) + 1, 0 },
        FaultCase { "ReadHandleCannotBeOpened", SimFault::OverlappedOpenFails, false, 0, 0, 0 }),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
