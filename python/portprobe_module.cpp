// _portprobe: the device link behind the Python package portprobe. Only what
// must hold the link lives here; the package's own Python adds the API sugar.
// The link is one per process with global state, so every call into it (and
// into the virtual boards it may be reaching) holds one lock, taken with the
// GIL released: a reader in one thread never stalls the others' Python.

#include "cli/io_boards.h"
#include "cli/io_output.h"
#include "platform/environment.h"
#include "platform/hid.h"
#include "platform/sim/sim_board.h"
#include "support/QuillFunc_Char.h"
#include "support/QuillFunc_Common.h"
#include "support/SettingFiles.h"
#include "usbio/QuillFunc_USBIO.h"

#include <pybind11/functional.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace py = pybind11;
namespace usbio = QuillFunc_USBIO;
using platform::HidApi;
using platform::HidHandle;
using namespace platform::hidconst;

namespace {

std::mutex gLink;
// Whose IDs and which HID service the link's state belongs to.
const void *gLinkOwner = nullptr;
HidApi *gLinkApi = nullptr;
// The trace, collected under the lock and handed to Python after it.
std::vector<std::string> gTraceLines;

// Boards a test drives: SimHid with virtual time, so a board that stops
// answering costs the link's time budget without waiting for it.
struct VirtualBoards
{
    explicit VirtualBoards(platform::sim::SimTime time) : hid(time) { hid.addBoard(); }
    platform::sim::SimHid hid;
};
std::shared_ptr<VirtualBoards> gActiveVirtual;

std::shared_ptr<VirtualBoards> activeVirtual()
{
    const std::lock_guard lock(gLink);
    return gActiveVirtual;
}

// The link as it was at program start, its handles and event closed.
void releaseLink()
{
    if (gLinkOwner == nullptr) {
        return;
    }
    const platform::ScopedSeam<HidApi> seam(*gLinkApi);
    gUSBIO_Close();
    if (usbio::State().ReadEvent != 0) {
        platform::hid().closeHandle(usbio::State().ReadEvent);
    }
    usbio::ResetState();
    gLinkOwner = nullptr;
    gLinkApi = nullptr;
}

// The console's folder stands in for the program's, so the IDs come from
// the console's setting.ini as they do for portprobe-io.
class ConsoleFolder final : public platform::Environment
{
public:
    explicit ConsoleFolder(platform::Environment &inner) : in_(inner) { }
    std::optional<std::string> variable(std::string_view n) const override
    {
        return in_.variable(n);
    }
    bool exists(std::string_view p) const override { return in_.exists(p); }
    std::optional<std::string> longPathName(std::string_view p) const override
    {
        return in_.longPathName(p);
    }
    std::string windowsTempDirectory() const override { return in_.windowsTempDirectory(); }
    std::string applicationFolder() const override
    {
        if (auto folder = in_.variable("PORTPROBE_CONSOLE_FOLDER")) {
            return *folder;
        }
        return PORTPROBE_CONSOLE_FOLDER;
    }

private:
    platform::Environment &in_;
};

// The IDs where the caller gives none: setting.ini found and read as the
// console does (gReadSetting, gReadHexId), as portprobe-io reads it.
portprobe_io::Ids settingIds(std::optional<int> vid, std::optional<int> pid)
{
    ConsoleFolder folder(platform::environment());
    const platform::ScopedSeam<platform::Environment> seam(folder);
    const SettingFiles files = gSettingFiles();
    const auto id = [&](std::optional<int> given, const char *key, const char *fallback) {
        if (given) {
            if (*given < 0 || *given > 0xFFFF) {
                throw py::value_error("an ID given must be 0 to 0xFFFF");
            }
            return std::int32_t { *given };
        }
        std::string from;
        const std::string text = gReadSetting(files, key, fallback, &from);
        const auto value = gReadHexId(text);
        if (!value) {
            throw py::value_error(from + ": the ID \"" + text
                + "\" is not hexadecimal digits up to FFFFFFFF; give vid and pid");
        }
        return *value;
    };
    return { id(vid, VendorIdKey, DefaultVendorIdText),
        id(pid, ProductIdKey, DefaultProductIdText) };
}

// The statuses of portprobe-io as the package's exceptions, and the trace's
// receiver. Never destroyed: the interpreter is gone by the time statics are.
struct PythonSide
{
    py::object notFound, lost, noAccess, traceSink;
};
PythonSide &python()
{
    static auto *side = new PythonSide;
    return *side;
}

struct Failure
{
    py::object *type; ///< nullptr: ValueError
    std::string text;
};

// Sends the collected trace lines to @p sink, with the GIL held.
void deliverTrace(const py::object &sink)
{
    std::vector<std::string> lines;
    {
        py::gil_scoped_release nogil;
        const std::lock_guard lock(gLink);
        lines.swap(gTraceLines);
    }
    if (sink && !sink.is_none()) {
        for (const std::string &line : lines) {
            sink(line);
        }
    }
}

class Board
{
public:
    Board(std::optional<int> vid, std::optional<int> pid, std::optional<std::string> path,
        bool virtualBoard)
        : ids_(settingIds(vid, pid)), virtual_(activeVirtual()), path_(std::move(path))
    {
        if (!virtual_ && virtualBoard) {
            virtual_ = std::make_shared<VirtualBoards>(platform::sim::SimTime::Real);
        }
        if (path_) {
            onePath_.emplace(api(false), *path_);
        }
        try {
            run([] { return usbio::State().DeviceDetected = usbio::FindDevice(); });
        } catch (...) {
            // No destructor follows a failed constructor: the link must not
            // keep pointing at this board's HID service.
            close();
            throw;
        }
    }
    ~Board() { close(); }

    void close()
    {
        py::gil_scoped_release nogil;
        const std::lock_guard lock(gLink);
        if (gLinkOwner == this) {
            releaseLink();
        }
        closed_ = true;
    }

    int read()
    {
        std::int16_t value = 255;
        run([&] { return gUSBIO_ReadP0(value); });
        return value;
    }

    void write(int value)
    {
        if (value < 0 || value > 15) {
            throw py::value_error("Port1 takes 0 to 15");
        }
        run([&] { return gUSBIO_WriteP1(static_cast<std::int16_t>(value)); });
    }

    std::string path()
    {
        py::gil_scoped_release nogil;
        const std::lock_guard lock(gLink);
        return closed_ ? std::string() : foundPath_;
    }
    int vid() const { return ids_.vendor; }
    int pid() const { return ids_.product; }

private:
    HidApi &api(bool filtered = true)
    {
        if (filtered && onePath_) {
            return *onePath_;
        }
        return virtual_ ? static_cast<HidApi &>(virtual_->hid) : platform::hid();
    }

    // Runs @p op on the link, which it takes over from any other board.
    template<class Op> void run(Op op)
    {
        std::optional<Failure> failure;
        {
            py::gil_scoped_release nogil;
            const std::lock_guard lock(gLink);
            if (closed_) {
                failure = Failure { nullptr, "the board is closed" };
            } else {
                HidApi &hid = api();
                if (gLinkOwner != this || gLinkApi != &hid) {
                    releaseLink();
                }
                gLinkOwner = this;
                gLinkApi = &hid;
                const platform::ScopedSeam<HidApi> seam(hid);
                TargetVendorID = ids_.vendor;
                TargetProductID = ids_.product;
                if (!op()) {
                    failure = failed();
                } else {
                    foundPath_ = usbio::State().DevicePath;
                }
            }
        }
        deliverTrace(python().traceSink);
        if (failure) {
            if (failure->type == nullptr) {
                throw py::value_error(failure->text);
            }
            PyErr_SetString(failure->type->ptr(), failure->text.c_str());
            throw py::error_already_set();
        }
    }

    // portprobe-io's rule: the read event exists once a search succeeded, so
    // without it the board was never found; then a board this user may not
    // open is told apart from none.
    Failure failed()
    {
        const std::string name =
            portprobe_io::idText(ids_.vendor) + "/" + portprobe_io::idText(ids_.product);
        if (usbio::State().ReadEvent != 0) {
            return { &python().lost, "board " + name + " stopped answering or was lost" };
        }
        portprobe_io::Presence presence(virtual_ != nullptr);
        for (const portprobe_io::Interface &i : portprobe_io::enumerate(presence.api())) {
            if (portprobe_io::isTarget(i, ids_) && (!path_ || i.path == *path_)) {
                return { &python().noAccess,
                    "no access to board " + name + " at " + i.path + portprobe_io::accessHint() };
            }
        }
        return { &python().notFound, "no board " + name + " found" };
    }

    portprobe_io::Ids ids_;
    std::shared_ptr<VirtualBoards> virtual_;
    std::optional<std::string> path_;
    std::optional<portprobe_io::ChosenBoard> onePath_;
    std::string foundPath_;
    bool closed_ = false;
};

// Every HID interface in view: (vid, pid, version, path, input, output, access).
using BoardTuple = std::tuple<int, int, int, std::string, int, int, bool>;
std::vector<BoardTuple> listBoards()
{
    py::gil_scoped_release nogil;
    const std::lock_guard lock(gLink);
    std::optional<platform::ScopedSeam<HidApi>> seam;
    if (gActiveVirtual) {
        seam.emplace(gActiveVirtual->hid);
    }
    portprobe_io::Presence presence(gActiveVirtual != nullptr);
    std::vector<BoardTuple> found;
    for (const portprobe_io::Interface &i : portprobe_io::enumerate(presence.api())) {
        found.emplace_back(i.attributes.VendorID, i.attributes.ProductID,
            i.attributes.VersionNumber, i.path, i.caps.InputReportByteLength,
            i.caps.OutputReportByteLength, portprobe_io::accessible(i.path));
    }
    return found;
}

// The board a test drives, reached by every Board opened while it is active.
class VirtualBoard
{
public:
    VirtualBoard() : boards_(std::make_shared<VirtualBoards>(platform::sim::SimTime::Virtual)) { }

    void activate(bool on)
    {
        py::gil_scoped_release nogil;
        const std::lock_guard lock(gLink);
        gActiveVirtual = on ? boards_ : nullptr;
    }
    template<class F> auto with(F f)
    {
        py::gil_scoped_release nogil;
        const std::lock_guard lock(gLink);
        return f(boards_->hid.board(0));
    }

private:
    std::shared_ptr<VirtualBoards> boards_;
};

void setTrace(py::object sink)
{
    {
        py::gil_scoped_release nogil;
        const std::lock_guard lock(gLink);
        gTraceLines.clear();
        if (sink.is_none()) {
            usbio::SetTraceSink(nullptr);
            usbio::SetReportSink(nullptr);
        } else {
            usbio::SetTraceSink(
                [](std::string_view label, std::uint32_t code, std::string_view text) {
                    gTraceLines.push_back(std::string(label) + " error " + std::to_string(code)
                        + " (" + std::string(text) + ")");
                });
            usbio::SetReportSink(
                [](usbio::ReportDirection direction, std::span<const std::uint8_t> bytes, bool ok) {
                    const bool out = direction == usbio::ReportDirection::Output;
                    if (!out && !ok) {
                        gTraceLines.emplace_back("in: no report");
                        return;
                    }
                    gTraceLines.push_back(std::string(out ? "out " : "in ")
                        + std::to_string(bytes.size()) + " bytes" + (ok ? "" : " (write failed)")
                        + ": " + portprobe_io::hexBytes(bytes));
                });
        }
    }
    python().traceSink = std::move(sink);
}

} // namespace

PYBIND11_MODULE(_portprobe, m)
{
    m.doc() = "The device link of PORTPROBE (internal; use the package portprobe).";
    // Failures are logged as the console logs them; nothing asks on screen.
    gbooHideErrMsg = true;

    // The exception classes are the package's own; it hands them over.
    m.def("_set_exceptions", [](py::object notFound, py::object lost, py::object noAccess) {
        python().notFound = std::move(notFound);
        python().lost = std::move(lost);
        python().noAccess = std::move(noAccess);
    });

    py::class_<Board>(m, "Board")
        .def(py::init<std::optional<int>, std::optional<int>, std::optional<std::string>, bool>(),
            py::arg("vid"), py::arg("pid"), py::arg("path"), py::arg("virtual"))
        .def("read", &Board::read)
        .def("write", &Board::write)
        .def("close", &Board::close)
        .def_property_readonly("path", &Board::path)
        .def_property_readonly("vid", &Board::vid)
        .def_property_readonly("pid", &Board::pid);

    py::class_<VirtualBoard>(m, "VirtualBoard")
        .def(py::init<>())
        .def("activate", &VirtualBoard::activate)
        .def("set_inputs",
            [](VirtualBoard &v, int value) {
                if (value < 0 || value > 255) {
                    throw py::value_error("Port0 takes 0 to 255");
                }
                v.with([&](platform::sim::SimBoard &b) {
                    b.setPort0(static_cast<std::uint8_t>(value));
                    return 0;
                });
            })
        .def_property_readonly("inputs",
            [](VirtualBoard &v) {
                return v.with([](platform::sim::SimBoard &b) { return int(b.port0()); });
            })
        .def_property_readonly("outputs",
            [](VirtualBoard &v) {
                return v.with([](platform::sim::SimBoard &b) { return int(b.port1()); });
            })
        .def("set_plugged",
            [](VirtualBoard &v, bool plugged) {
                v.with([&](platform::sim::SimBoard &b) {
                    b.setPlugged(plugged);
                    return 0;
                });
            })
        .def_property_readonly("plugged",
            [](VirtualBoard &v) {
                return v.with([](platform::sim::SimBoard &b) { return b.plugged(); });
            })
        .def("stall", [](VirtualBoard &v, bool on) {
            v.with([&](platform::sim::SimBoard &b) {
                b.setFault(
                    on ? platform::sim::SimFault::NeverAnswers : platform::sim::SimFault::None);
                return 0;
            });
        });

    m.def("boards", &listBoards);
    m.def("trace", &setTrace);
    m.def("access_hint", [] { return portprobe_io::accessHint(); });
}
