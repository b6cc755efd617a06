#include "platform/version.h"

#include <charconv>
#include <fstream>
#include <sys/utsname.h>

namespace platform {
namespace {

// Stand-in for GetVersionExA: the platform identifier is none of Windows'
// three, major.minor.build come from the kernel release ("6.1.0-18-amd64"),
// and the service-pack text is the distribution's name.
class LinuxVersionInfo final : public VersionInfo
{
public:
    bool getVersionEx(OsVersionInfo &info) const override
    {
        struct utsname uts
        { };
        if (::uname(&uts) != 0) {
            return false;
        }
        std::uint32_t parts[3] = { 0, 0, 0 };
        const char *p = uts.release;
        const char *end = p + std::char_traits<char>::length(p);
        for (auto &part : parts) {
            auto [next, ec] = std::from_chars(p, end, part);
            if (ec != std::errc {}) {
                break;
            }
            p = next;
            if (p == end || *p != '.') {
                break;
            }
            ++p;
        }
        info.platformId = PlatformOther;
        info.majorVersion = parts[0];
        info.minorVersion = parts[1];
        info.buildNumber = parts[2];
        info.csdVersion = distributionName();
        return true;
    }

private:
    static std::string distributionName()
    {
        std::ifstream in("/etc/os-release");
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("PRETTY_NAME=", 0) == 0) {
                std::string value = line.substr(12);
                if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
                    && value.back() == value.front()) {
                    value = value.substr(1, value.size() - 2);
                }
                // The record's field holds 128 characters.
                return value.substr(0, 127);
            }
        }
        return {};
    }
};

} // namespace

template<> VersionInfo &Seam<VersionInfo>::defaultInstance()
{
    static LinuxVersionInfo instance;
    return instance;
}

} // namespace platform
