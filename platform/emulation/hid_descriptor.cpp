#include "platform/emulation/hid_descriptor.h"

#include <algorithm>
#include <array>
#include <vector>

namespace platform {
namespace {

enum class ItemType : std::uint8_t { Main = 0, Global = 1, Local = 2, Reserved = 3 };

// Main item tags.
constexpr std::uint8_t TagInput = 0x8;
constexpr std::uint8_t TagOutput = 0x9;
constexpr std::uint8_t TagCollection = 0xA;
constexpr std::uint8_t TagFeature = 0xB;
constexpr std::uint8_t TagEndCollection = 0xC;
// Global item tags.
constexpr std::uint8_t TagUsagePage = 0x0;
constexpr std::uint8_t TagReportSize = 0x7;
constexpr std::uint8_t TagReportId = 0x8;
constexpr std::uint8_t TagReportCount = 0x9;
constexpr std::uint8_t TagPush = 0xA;
constexpr std::uint8_t TagPop = 0xB;
// Local item tags.
constexpr std::uint8_t TagUsage = 0x0;

constexpr std::uint8_t LongItemPrefix = 0xFE;
constexpr std::size_t MaxPushDepth = 32;
constexpr std::size_t MaxCollectionDepth = 64;
constexpr std::uint64_t BitLimit = std::uint64_t { 0xFFFF } * 8; // saturate beyond this

struct Globals
{
    std::uint32_t usagePage = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

enum Kind { Input = 0, Output = 1, Feature = 2, KindCount = 3 };

} // namespace

HidReportInfo parseHidReportDescriptor(std::span<const std::uint8_t> d)
{
    HidReportInfo info;
    Globals g;
    std::vector<Globals> stack;
    // Bits per report ID and kind; 0 means the report has not appeared yet.
    std::array<std::array<std::uint64_t, 256>, KindCount> bits {};
    std::size_t depth = 0;
    bool topLevelSeen = false;
    std::uint32_t lastUsage = 0;
    bool usageHasPage = false;

    std::size_t pos = 0;
    while (pos < d.size()) {
        const std::uint8_t prefix = d[pos];
        if (prefix == LongItemPrefix) {
            // bDataSize, bLongItemTag, data. No long items are defined; skip them.
            if (d.size() - pos < 3) {
                return {};
            }
            const std::size_t size = d[pos + 1];
            if (d.size() - pos - 3 < size) {
                return {};
            }
            pos += 3 + size;
            continue;
        }
        static constexpr std::array<std::size_t, 4> sizes { 0, 1, 2, 4 };
        const std::size_t size = sizes[prefix & 0x3];
        const auto type = static_cast<ItemType>((prefix >> 2) & 0x3);
        const std::uint8_t tag = prefix >> 4;
        if (d.size() - pos - 1 < size) {
            return {};
        }
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            value |= static_cast<std::uint32_t>(d[pos + 1 + i]) << (8 * i);
        }
        pos += 1 + size;

        switch (type) {
        case ItemType::Main: {
            int kind = -1;
            if (tag == TagInput) {
                kind = Input;
            } else if (tag == TagOutput) {
                kind = Output;
            } else if (tag == TagFeature) {
                kind = Feature;
            } else if (tag == TagCollection) {
                if (++depth > MaxCollectionDepth) {
                    return {};
                }
                if (depth == 1 && !topLevelSeen) {
                    topLevelSeen = true;
                    // A 4-byte usage carries its own page in the high word.
                    info.usagePage =
                        static_cast<std::uint16_t>(usageHasPage ? lastUsage >> 16 : g.usagePage);
                    info.usage = static_cast<std::uint16_t>(lastUsage);
                }
            } else if (tag == TagEndCollection) {
                if (depth == 0) {
                    return {};
                }
                --depth;
            }
            if (kind >= 0) {
                std::uint64_t &b = bits[kind][g.reportId];
                if (b == 0) {
                    b = 8; // the report-ID byte
                }
                const std::uint64_t add = static_cast<std::uint64_t>(g.reportSize) * g.reportCount;
                b = std::min(b + std::min(add, BitLimit), BitLimit);
            }
            lastUsage = 0;
            usageHasPage = false;
            break;
        }
        case ItemType::Global:
            switch (tag) {
            case TagUsagePage:
                g.usagePage = value;
                break;
            case TagReportSize:
                g.reportSize = value;
                break;
            case TagReportCount:
                g.reportCount = value;
                break;
            case TagReportId:
                if (value == 0 || value > 255) {
                    return {};
                }
                g.reportId = value;
                info.numbered = true;
                break;
            case TagPush:
                if (stack.size() >= MaxPushDepth) {
                    return {};
                }
                stack.push_back(g);
                break;
            case TagPop:
                if (stack.empty()) {
                    return {};
                }
                g = stack.back();
                stack.pop_back();
                break;
            default:
                break;
            }
            break;
        case ItemType::Local:
            if (tag == TagUsage) {
                lastUsage = value;
                usageHasPage = size == 4;
            }
            break;
        case ItemType::Reserved:
            break;
        }
    }
    if (depth != 0 || !stack.empty()) {
        return {};
    }

    auto longest = [&](int kind) {
        std::uint64_t most = 0;
        for (std::uint64_t b : bits[kind]) {
            most = std::max(most, (b + 7) / 8);
        }
        return static_cast<std::uint16_t>(std::min<std::uint64_t>(most, 0xFFFF));
    };
    info.valid = true;
    info.inputReportByteLength = longest(Input);
    info.outputReportByteLength = longest(Output);
    info.featureReportByteLength = longest(Feature);
    return info;
}

} // namespace platform
