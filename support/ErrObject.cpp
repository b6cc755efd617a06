#include "support/ErrObject.h"

#include <array>
#include <new>
#include <stdexcept>
#include <utility>

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
    } catch (const ErrHandlerJump &) {
        // A logical failure: the pending error stays as the procedure left it.
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
