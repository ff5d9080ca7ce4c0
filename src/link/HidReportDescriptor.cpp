#include "link/HidReportDescriptor.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kl516 {

namespace {

constexpr uint8_t kLongItemPrefix = 0xFE;
constexpr uint64_t kMaxReportBits = 4096 * 8;
// Push nests no deeper than this. Real descriptors nest one or two deep; without a limit a
// descriptor of Push items alone would grow the stack with its length.
constexpr size_t kMaxPushDepth = 16;

enum ItemType : uint8_t { Main = 0, Global = 1, Local = 2 };
enum MainTag : uint8_t { Input = 8, Output = 9, Feature = 11 };
enum GlobalTag : uint8_t { ReportSize = 7, ReportId = 8, ReportCount = 9, Push = 10, Pop = 11 };

// The global items that decide a report's length, saved by Push and restored by Pop.
struct GlobalState {
    uint32_t reportSize = 0;   // bits per field
    uint32_t reportCount = 0;  // fields
    uint8_t reportId = 0;
};

// The longest report of one kind: its length in bytes and its number (the lowest on a tie).
void longest(const std::array<uint64_t, 256>& bits, int& length, uint8_t& id) {
    length = 0;
    id = 0;
    for (int i = 0; i < 256; ++i) {
        const int bytes = static_cast<int>((bits[static_cast<size_t>(i)] + 7) / 8);
        if (bytes > length) {
            length = bytes;
            id = static_cast<uint8_t>(i);
        }
    }
}

}  // namespace

std::optional<HidReportLayout> parseHidReportDescriptor(const uint8_t* data, size_t size) {
    if (!data || size == 0) return std::nullopt;
    GlobalState state;
    std::vector<GlobalState> stack;
    bool numbered = false;
    bool unnumberedFields = false;  // a data main item came while no Report ID was in force
    // Bits per report number; a report without a number counts as number 0.
    std::array<uint64_t, 256> inputBits{};
    std::array<uint64_t, 256> outputBits{};

    size_t at = 0;
    while (at < size) {
        const uint8_t prefix = data[at];
        if (prefix == kLongItemPrefix) {
            // Long item: bDataSize, bLongItemTag, then the data. No defined tag matters here.
            if (size - at < 3) return std::nullopt;
            const size_t dataSize = data[at + 1];
            if (size - at - 3 < dataSize) return std::nullopt;
            at += 3 + dataSize;
            continue;
        }
        const size_t dataSize = (prefix & 3) == 3 ? 4 : (prefix & 3);
        const uint8_t type = (prefix >> 2) & 3;
        const uint8_t tag = prefix >> 4;
        if (size - at - 1 < dataSize) return std::nullopt;
        uint32_t value = 0;  // little-endian, unsigned: sizes, counts and numbers are
        for (size_t i = 0; i < dataSize; ++i)
            value |= static_cast<uint32_t>(data[at + 1 + i]) << (8 * i);
        at += 1 + dataSize;

        if (type == Global) {
            switch (tag) {
            case ReportSize: state.reportSize = value; break;
            case ReportCount: state.reportCount = value; break;
            case ReportId:
                // Report numbers run from 1 to 255; 0 is reserved for "not numbered".
                if (value == 0 || value > 255) return std::nullopt;
                state.reportId = static_cast<uint8_t>(value);
                numbered = true;
                break;
            case Push:
                if (stack.size() >= kMaxPushDepth) return std::nullopt;
                stack.push_back(state);
                break;
            case Pop:
                if (stack.empty()) return std::nullopt;
                state = stack.back();
                stack.pop_back();
                break;
            default: break;
            }
        } else if (type == Main && (tag == Input || tag == Output || tag == Feature)) {
            // Both factors are below 2^32, so the product cannot overflow; the running total
            // stays below the limit plus one product.
            const uint64_t fieldBits = static_cast<uint64_t>(state.reportSize) * state.reportCount;
            if (state.reportId == 0 && fieldBits > 0) unnumberedFields = true;
            if (tag == Feature) continue;
            uint64_t& bits = (tag == Input ? inputBits : outputBits)[state.reportId];
            bits += fieldBits;
            if (bits > kMaxReportBits) return std::nullopt;
        }
    }

    // Once one report is numbered every report starts with its number, so fields outside any
    // report number leave no way to tell where their report would go.
    if (numbered && unnumberedFields) return std::nullopt;

    HidReportLayout layout;
    layout.numbered = numbered;
    longest(inputBits, layout.inputLength, layout.inputReportId);
    longest(outputBits, layout.outputLength, layout.outputReportId);
    return layout;
}

std::vector<uint8_t> vendorReportDescriptor(int inputLength, int outputLength) {
    if (inputLength < 1 || inputLength > 255 || outputLength < 1 || outputLength > 255)
        return {};
    const auto in = static_cast<uint8_t>(inputLength);
    const auto out = static_cast<uint8_t>(outputLength);
    return {
        0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
        0x09, 0x01,        // Usage (1)
        0xA1, 0x01,        // Collection (Application)
        0x09, 0x01,        //   Usage (1)
        0x15, 0x00,        //   Logical Minimum (0)
        0x26, 0xFF, 0x00,  //   Logical Maximum (255)
        0x75, 0x08,        //   Report Size (8)
        0x95, in,          //   Report Count (inputLength)
        0x81, 0x02,        //   Input (Data, Var, Abs)
        0x09, 0x01,        //   Usage (1)
        0x15, 0x00,        //   Logical Minimum (0)
        0x26, 0xFF, 0x00,  //   Logical Maximum (255)
        0x75, 0x08,        //   Report Size (8)
        0x95, out,         //   Report Count (outputLength)
        0x91, 0x02,        //   Output (Data, Var, Abs)
        0xC0,              // End Collection
    };
}

std::vector<std::vector<uint8_t>> outputReports(const std::optional<HidReportLayout>& layout,
                                                const uint8_t* bytes, size_t length) {
    if (!bytes) length = 0;
    std::vector<std::vector<uint8_t>> reports;
    if (!layout || layout->outputLength <= 0) {
        std::vector<uint8_t> report(length + 1, 0);
        if (length > 0) std::memcpy(report.data() + 1, bytes, length);
        reports.push_back(std::move(report));
        return reports;
    }
    const auto chunk = static_cast<size_t>(layout->outputLength);
    const uint8_t id = layout->numbered ? layout->outputReportId : 0;
    // At least one report, so that an empty payload still goes out as a report of zeros.
    const size_t count = std::max<size_t>(1, (length + chunk - 1) / chunk);
    for (size_t r = 0; r < count; ++r) {
        std::vector<uint8_t> report(chunk + 1, 0);
        report[0] = id;
        const size_t from = r * chunk;
        if (from < length) std::memcpy(report.data() + 1, bytes + from, std::min(chunk, length - from));
        reports.push_back(std::move(report));
    }
    return reports;
}

}  // namespace kl516
