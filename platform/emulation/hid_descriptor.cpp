#include "platform/emulation/hid_descriptor.h"

#include <algorithm>
#include <array>
#include <optional>
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

struct Item
{
    ItemType type = ItemType::Reserved;
    std::uint8_t tag = 0;
    std::size_t size = 0; // data bytes
    std::uint32_t value = 0;
};

// Reads the item at @p pos and moves past it. Long items (none are defined)
// read as reserved ones. std::nullopt when the item runs past the end.
std::optional<Item> readItem(std::span<const std::uint8_t> d, std::size_t &pos)
{
    const std::uint8_t prefix = d[pos];
    if (prefix == LongItemPrefix) {
        // bDataSize, bLongItemTag, data.
        if (d.size() - pos < 3) {
            return std::nullopt;
        }
        const std::size_t size = d[pos + 1];
        if (d.size() - pos - 3 < size) {
            return std::nullopt;
        }
        pos += 3 + size;
        return Item {};
    }
    static constexpr std::array<std::size_t, 4> sizes { 0, 1, 2, 4 };
    Item item;
    item.size = sizes[prefix & 0x3];
    item.type = static_cast<ItemType>((prefix >> 2) & 0x3);
    item.tag = prefix >> 4;
    if (d.size() - pos - 1 < item.size) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < item.size; ++i) {
        item.value |= static_cast<std::uint32_t>(d[pos + 1 + i]) << (8 * i);
    }
    pos += 1 + item.size;
    return item;
}

// The parser's state between items: the global items in force, the pushed
// ones, the collection depth and the report sizes found so far.
class ReportParser
{
public:
    /// Applies one item; false when it makes the descriptor malformed.
    bool apply(const Item &item)
    {
        switch (item.type) {
        case ItemType::Main:
            return mainItem(item.tag);
        case ItemType::Global:
            return globalItem(item.tag, item.value);
        case ItemType::Local:
            if (item.tag == TagUsage) {
                lastUsage_ = item.value;
                usageHasPage_ = item.size == 4;
            }
            return true;
        case ItemType::Reserved:
            break;
        }
        return true;
    }

    /// The lengths, once every item is applied; invalid while a push or a
    /// collection is still open.
    HidReportInfo finish() const
    {
        if (depth_ != 0 || !stack_.empty()) {
            return {};
        }
        HidReportInfo info = info_;
        info.valid = true;
        info.inputReportByteLength = longestReport(Input);
        info.outputReportByteLength = longestReport(Output);
        info.featureReportByteLength = longestReport(Feature);
        return info;
    }

private:
    bool mainItem(std::uint8_t tag)
    {
        bool wellFormed = true;
        switch (tag) {
        case TagInput:
            addReportBits(Input);
            break;
        case TagOutput:
            addReportBits(Output);
            break;
        case TagFeature:
            addReportBits(Feature);
            break;
        case TagCollection:
            wellFormed = openCollection();
            break;
        case TagEndCollection:
            wellFormed = depth_ > 0;
            if (wellFormed) {
                --depth_;
            }
            break;
        default:
            break;
        }
        lastUsage_ = 0;
        usageHasPage_ = false;
        return wellFormed;
    }

    bool openCollection()
    {
        if (++depth_ > MaxCollectionDepth) {
            return false;
        }
        if (depth_ == 1 && !topLevelSeen_) {
            topLevelSeen_ = true;
            // A 4-byte usage carries its own page in the high word.
            info_.usagePage =
                static_cast<std::uint16_t>(usageHasPage_ ? lastUsage_ >> 16 : g_.usagePage);
            info_.usage = static_cast<std::uint16_t>(lastUsage_);
        }
        return true;
    }

    void addReportBits(Kind kind)
    {
        std::uint64_t &b = bits_[kind][g_.reportId];
        if (b == 0) {
            b = 8; // the report-ID byte
        }
        const std::uint64_t add = static_cast<std::uint64_t>(g_.reportSize) * g_.reportCount;
        b = std::min(b + std::min(add, BitLimit), BitLimit);
    }

    bool globalItem(std::uint8_t tag, std::uint32_t value)
    {
        switch (tag) {
        case TagUsagePage:
            g_.usagePage = value;
            break;
        case TagReportSize:
            g_.reportSize = value;
            break;
        case TagReportCount:
            g_.reportCount = value;
            break;
        case TagReportId:
            if (value == 0 || value > 255) {
                return false;
            }
            g_.reportId = value;
            info_.numbered = true;
            break;
        case TagPush:
            if (stack_.size() >= MaxPushDepth) {
                return false;
            }
            stack_.push_back(g_);
            break;
        case TagPop:
            if (stack_.empty()) {
                return false;
            }
            g_ = stack_.back();
            stack_.pop_back();
            break;
        default:
            break;
        }
        return true;
    }

    std::uint16_t longestReport(Kind kind) const
    {
        std::uint64_t most = 0;
        for (std::uint64_t b : bits_[kind]) {
            most = std::max(most, (b + 7) / 8);
        }
        return static_cast<std::uint16_t>(std::min<std::uint64_t>(most, 0xFFFF));
    }

    HidReportInfo info_;
    Globals g_;
    std::vector<Globals> stack_;
    // Bits per report ID and kind; 0 means the report has not appeared yet.
    std::array<std::array<std::uint64_t, 256>, KindCount> bits_ {};
    std::size_t depth_ = 0;
    bool topLevelSeen_ = false;
    std::uint32_t lastUsage_ = 0;
    bool usageHasPage_ = false;
};

} // namespace

HidReportInfo parseHidReportDescriptor(std::span<const std::uint8_t> d)
{
    ReportParser parser;
    std::size_t pos = 0;
    while (pos < d.size()) {
        const auto item = readItem(d, pos);
        if (!item || !parser.apply(*item)) {
            return {};
        }
    }
    return parser.finish();
}

} // namespace platform
