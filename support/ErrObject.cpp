#include "support/ErrObject.h"

#include "platform/process.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <utility>

namespace {

// Constant-initialised: a trap that runs during another object's static
// initialisation finds it valid, registered or not.
constinit ErrorReportCalls registeredReport;

// The report without a registered one: one line on standard error, written
// without allocating (this may be the out-of-memory path).
void reportToStandardError(std::string_view procName)
{
    ErrObject &err = Err();
    const std::int32_t number = err.Number != 0 ? err.Number : err.Cause.Number;
    std::fprintf(stderr, "%.*s: error %d: %s%s%s\n", static_cast<int>(procName.size()),
        procName.data(), static_cast<int>(number), err.Description.c_str(),
        err.Cause.Detail.empty() ? "" : " ", err.Cause.Detail.c_str());
    err.Clear();
}

[[noreturn]] void endAfterFatalReport()
{
    platform::process().terminate(EXIT_FAILURE);
    std::abort();
}

} // namespace

void ErrObject::Clear()
{
    *this = ErrObject {};
}

void ErrObject::Raise(std::int32_t number, std::string source, std::string description)
{
    throw RuntimeError(number, std::move(source), std::move(description));
}

ErrObject &Err()
{
    static ErrObject pending;
    return pending;
}

void gCaptureCurrentError()
{
    auto set = [](std::int32_t number, std::string source, std::string description) {
        ErrObject &err = Err();
        err.Number = number;
        err.Source = std::move(source);
        err.Description = description.empty() ? gErrorText(number) : std::move(description);
    };
    try {
        throw;
    } catch (const RuntimeError &e) {
        set(e.number(), e.source(), e.description());
    } catch (const ErrHandlerJump &jump) {
        // A logical failure: the pending error stays as the procedure left it;
        // a cause it knows goes with it into the report.
        if (jump.Cause.Number != 0) {
            Err().Cause = jump.Cause;
        }
    } catch (const std::bad_alloc &) {
        set(vberr::OutOfMemory, {}, {});
    } catch (const std::out_of_range &) {
        set(vberr::SubscriptOutOfRange, {}, {});
    } catch (const std::overflow_error &) {
        set(vberr::Overflow, {}, {});
    } catch (...) {
        set(vberr::InvalidProcedureCall, {}, {});
    }
}

void gRegisterErrorReport(ErrorReportCalls calls)
{
    registeredReport = calls;
}

const ErrorReportCalls &gRegisteredErrorReport()
{
    return registeredReport;
}

void gReportTrappedError(std::string_view procName)
{
    if (registeredReport.errLog) {
        registeredReport.errLog(procName, "");
    } else {
        reportToStandardError(procName);
    }
}

void gReportTrappedFatalError(std::string_view procName)
{
    if (registeredReport.fatalError) {
        registeredReport.fatalError(procName, "");
    } else {
        reportToStandardError(procName);
    }
    endAfterFatalReport();
}
