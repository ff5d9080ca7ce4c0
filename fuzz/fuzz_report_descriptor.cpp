// libFuzzer target: the HID report descriptor parser, and the output reports built from the
// layout it accepts.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "link/HidReportDescriptor.h"

namespace {

// The reports that carry `length` bytes: each of the layout's length plus the report number,
// numbered as the layout says, and their payloads in order are the bytes followed by zeros.
void checkOutputReports(const kl516::HidReportLayout& layout, size_t length) {
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i) bytes[i] = uint8_t(0x41 + i);
    const auto reports = kl516::outputReports(layout, bytes.data(), bytes.size());
    if (reports.empty()) std::abort();
    std::vector<uint8_t> payload;
    for (const std::vector<uint8_t>& report : reports) {
        if (layout.outputLength > 0 && report.size() != size_t(layout.outputLength) + 1)
            std::abort();
        if (report[0] != (layout.numbered ? layout.outputReportId : 0)) std::abort();
        payload.insert(payload.end(), report.begin() + 1, report.end());
    }
    if (payload.size() < length) std::abort();
    for (size_t i = 0; i < payload.size(); ++i)
        if (payload[i] != (i < length ? bytes[i] : 0)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto layout = kl516::parseHidReportDescriptor(data, size);
    if (!layout) return 0;
    // Lengths within what a report may have; numbers only on a numbered device.
    if (layout->inputLength < 0 || layout->inputLength > 4096 || layout->outputLength < 0 ||
        layout->outputLength > 4096)
        std::abort();
    if (!layout->numbered && (layout->inputReportId != 0 || layout->outputReportId != 0))
        std::abort();
    // Numbered and unnumbered reports never mix: a numbered device's reports all have numbers.
    if (layout->numbered && ((layout->inputLength > 0 && layout->inputReportId == 0) ||
                             (layout->outputLength > 0 && layout->outputReportId == 0)))
        std::abort();
    // The link's frame and its clock block.
    checkOutputReports(*layout, 7);
    checkOutputReports(*layout, 32);
    return 0;
}
