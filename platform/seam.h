#pragma once
// Run-time replaceable platform services.
//
// Each service is an abstract class with one default implementation per OS.
// Production code reaches it through Seam<Service>::get(); a test, or the
// window layer at start-up, installs another implementation with
// ScopedSeam (restored on scope exit) or Seam<Service>::install (kept).

#include <utility>

namespace platform {

template<class Service> class Seam
{
public:
    /// The implementation in force: the installed one, else the OS default.
    static Service &get() { return installed_ ? *installed_ : defaultInstance(); }

    /// Installs @p service (nullptr restores the default); returns the previous one.
    static Service *install(Service *service) { return std::exchange(installed_, service); }

    /// The OS default, defined by the platform's source for each service.
    static Service &defaultInstance();

private:
    static inline Service *installed_ = nullptr;
};

template<class Service> class ScopedSeam
{
public:
    explicit ScopedSeam(Service &service) : previous_(Seam<Service>::install(&service)) { }
    ~ScopedSeam() { Seam<Service>::install(previous_); }
    ScopedSeam(const ScopedSeam &) = delete;
    ScopedSeam &operator=(const ScopedSeam &) = delete;

private:
    Service *previous_;
};

} // namespace platform
