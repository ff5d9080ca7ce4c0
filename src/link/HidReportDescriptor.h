#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kl516 {

// What a HID report descriptor says about the reports the link exchanges: their lengths in
// bytes (without a report number) and, when the device numbers its reports, the numbers.
struct HidReportLayout {
    int inputLength = 0;    // the longest input report; 0 when there is none
    int outputLength = 0;   // the longest output report; 0 when there is none
    bool numbered = false;  // the descriptor declares report IDs
    uint8_t outputReportId = 0;  // the longest output report's number (0 when not numbered)
    uint8_t inputReportId = 0;   // the longest input report's number (0 when not numbered)
};

// Walks the short and long items of a report descriptor, keeping the global items (with Push
// and Pop) and adding Report Size x Report Count bits per Input and Output main item to the
// report of the current Report ID. Nothing when the descriptor is empty or malformed: an item
// running past the end, Push nested deeper than 16 or Pop without Push, a Report ID of 0 or
// over 255, a report over 4096 bytes, or numbered and unnumbered reports mixed (an Input,
// Output or Feature item with no Report ID in force in a descriptor that has Report IDs).
std::optional<HidReportLayout> parseHidReportDescriptor(const uint8_t* data, size_t size);

// A vendor-page (0xFF00) descriptor with one input and one output report of the given lengths
// (1..255 bytes each) and no report IDs: what the meter's stand-in declares. Empty when a
// length is out of that range.
std::vector<uint8_t> vendorReportDescriptor(int inputLength, int outputLength);

// The output reports that carry `bytes` to a device with this layout, each as hidapi's
// hid_write takes it: the report number first (0 when not numbered), then outputLength bytes,
// zero-padded; a longer payload is split over as many reports as it needs. Without a layout, or
// with outputLength 0, one report with the bytes as they are (report number 0 first).
std::vector<std::vector<uint8_t>> outputReports(const std::optional<HidReportLayout>& layout,
                                                const uint8_t* bytes, size_t length);

}  // namespace kl516
