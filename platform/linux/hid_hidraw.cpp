// The hidraw backend's entry points: search, open, idle, tick count and error
// text. A search and the opens that follow it are one pass over the class
// folder: what the search listed is kept, so an open looks nothing up again,
// and the kept records are reused, so a search allocates nothing here.

#include "platform/linux/hid_hidraw.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <time.h>
#include <unistd.h>

namespace platform {
namespace linux_hid {

using namespace hidconst;

HidrawHid::HidrawHid(HidrawOptions options) : options_(std::move(options))
{
    if (!options_.openNode) {
        options_.openNode = [](const std::string &path, int flags) {
            return ::open(path.c_str(), flags);
        };
    }
    if (!options_.nodeAccessible) {
        // Checked relative to the device folder, kept open: one lookup per node.
        devDir_.reset(::open(options_.devRoot.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        const std::size_t prefix = options_.devRoot.size() + 1;
        options_.nodeAccessible = [this, prefix](const std::string &path) {
            if (!devDir_) {
                return ::access(path.c_str(), R_OK | W_OK) == 0;
            }
            return ::faccessat(devDir_.get(), path.c_str() + prefix, R_OK | W_OK, 0) == 0;
        };
    }
}

HidrawHid::~HidrawHid()
{
    closeAll();
}

bool HidrawHid::before(const Key &a, const Key &b) const
{
    return a.first != b.first ? a.first < b.first : seen_[a.second].name < seen_[b.second].name;
}

std::vector<HidInterface> HidrawHid::enumerate()
{
    seen_.clear();
    order_.clear();
    next_ = 0;
    DIR *dir = ::opendir(options_.sysfsRoot.c_str());
    if (dir == nullptr) {
        return {};
    }
    while (const dirent *entry = ::readdir(dir)) {
        const long number = nodeNumber(entry->d_name);
        if (number >= 0) {
            order_.emplace_back(number, static_cast<std::uint32_t>(seen_.size()));
            seen_.emplace_back().name = entry->d_name;
        }
    }
    // Numbers and indices sort cheaper than the records; names only break ties.
    std::sort(
        order_.begin(), order_.end(), [this](const Key &a, const Key &b) { return before(a, b); });
    // The paths are written over those of the previous search: no allocation per interface.
    std::vector<HidInterface> present = spareMembers();
    present.resize(order_.size());
    for (std::size_t k = 0; k < order_.size(); ++k) {
        Interface &i = seen_[order_[k].second];
        readIds(i, options_.sysfsRoot, ::dirfd(dir));
        HidInterface &member = present[k];
        member.path.assign(options_.devRoot).append(1, '/').append(i.name);
        member.detailSize = 0;
    }
    ::closedir(dir);
    return present;
}

const HidrawHid::Interface *HidrawHid::known(std::string_view name)
{
    if (next_ < order_.size() && seen_[order_[next_].second].name == name) {
        return &seen_[order_[next_++].second];
    }
    const long number = nodeNumber(name);
    if (number < 0) {
        return nullptr;
    }
    const auto it = std::lower_bound(
        order_.begin(), order_.end(), name, [this, number](const Key &k, std::string_view key) {
            return k.first != number ? k.first < number
                                     : std::string_view(seen_[k.second].name) < key;
        });
    if (it == order_.end() || it->first != number || seen_[it->second].name != name) {
        return nullptr;
    }
    next_ = static_cast<std::size_t>(it - order_.begin()) + 1;
    return &seen_[it->second];
}

std::unique_ptr<HidDevice> HidrawHid::open(
    const std::string &path, bool overlapped, std::uint32_t &error)
{
    const std::string_view root = options_.devRoot;
    const std::string_view whole = path;
    const std::string_view name = whole.size() > root.size() && whole[root.size()] == '/'
            && whole.substr(0, root.size()) == root
        ? whole.substr(root.size() + 1)
        : std::string_view();
    const Interface *found = known(name);
    if (found == nullptr && nodeNumber(name) < 0) {
        error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    errno = 0;
    if (!options_.nodeAccessible(path)) {
        error = errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
        return nullptr;
    }
    Interface device;
    if (found != nullptr) {
        device = *found;
    } else {
        device.name = name;
        readIds(device, options_.sysfsRoot, -1);
    }
    auto file = std::make_unique<HidrawNode>(options_, nodeOpens_, std::move(device));
    // A handle for overlapped reads is opened now, because the device queues
    // input reports only for files already open.
    if (overlapped) {
        error = file->ensureOpen();
        if (error != ERROR_SUCCESS) {
            return nullptr;
        }
    }
    return file;
}

void HidrawHid::idle(std::uint32_t milliseconds)
{
    const Deadline deadline(limitedWait(options_, milliseconds));
    while (const int left = deadline.remaining()) {
        ::poll(nullptr, 0, left);
    }
}

std::uint64_t HidrawHid::getTickCount64()
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u
        + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

std::string HidrawHid::messageText(std::uint32_t code)
{
    const int error = errnoFromWin32(code);
    if (error < 0) {
        return {};
    }
    const char *description = error == 0 ? "Success" : ::strerrordesc_np(error);
    if (description == nullptr) {
        return {};
    }
    return std::string(description) + "\r\n";
}

} // namespace linux_hid

template<> HidApi &Seam<HidApi>::defaultInstance()
{
    static linux_hid::HidrawHid instance;
    return instance;
}

} // namespace platform
