#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <numeric>
#include <optional>
#include <vector>

#include "link/HidReportDescriptor.h"

using namespace kl516;

namespace {

using Bytes = std::vector<uint8_t>;

std::optional<HidReportLayout> parse(const Bytes& d) {
    return parseHidReportDescriptor(d.data(), d.size());
}

HidReportLayout layout(int in, int out, bool numbered = false, uint8_t inId = 0,
                       uint8_t outId = 0) {
    HidReportLayout l;
    l.inputLength = in;
    l.outputLength = out;
    l.numbered = numbered;
    l.inputReportId = inId;
    l.outputReportId = outId;
    return l;
}

void expectLayout(const std::optional<HidReportLayout>& actual,
                  const std::optional<HidReportLayout>& expected) {
    ASSERT_EQ(actual.has_value(), expected.has_value());
    if (!expected) return;
    EXPECT_EQ(actual->inputLength, expected->inputLength);
    EXPECT_EQ(actual->outputLength, expected->outputLength);
    EXPECT_EQ(actual->numbered, expected->numbered);
    EXPECT_EQ(actual->inputReportId, expected->inputReportId);
    EXPECT_EQ(actual->outputReportId, expected->outputReportId);
}

// A vendor-page collection of 8-bit input and output fields, written out by hand.
const Bytes kVendor8 = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,  // vendor page, application
    0x09, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00,  // usage, logical 0..255
    0x75, 0x08, 0x95, 0x08, 0x81, 0x02,        // 8 x 8 bits input
    0x09, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00,  // usage, logical 0..255
    0x75, 0x08, 0x95, 0x08, 0x91, 0x02,        // 8 x 8 bits output
    0xC0,
};

}  // namespace

// depth Push items, an 8 x 8-bit input, then depth Pop items.
Bytes nestedPushes(int depth) {
    // Filled in place: GCC 12 at -O3 takes the inserts into a vector of known size for an
    // overflow (-Warray-bounds).
    Bytes d(size_t(2 * depth + 6), 0xA4);
    const uint8_t size[] = {0x75, 0x08, 0x95, 0x08}, input[] = {0x81, 0x02};
    std::copy(std::begin(size), std::end(size), d.begin());
    std::copy(std::begin(input), std::end(input), d.begin() + 4 + depth);
    std::fill(d.begin() + 6 + depth, d.end(), uint8_t{0xB4});
    return d;
}

TEST(HidReportDescriptor, ReportLengthsFromHandWrittenDescriptors) {
    struct Case {
        const char* name;
        Bytes descriptor;
        std::optional<HidReportLayout> expected;
    };
    const Case cases[] = {
        {"8-byte vendor reports", kVendor8, layout(8, 8)},
        {"32-byte reports",
         {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95,
          0x20, 0x09, 0x01, 0x81, 0x02, 0x09, 0x01, 0x91, 0x02, 0xC0},
         layout(32, 32)},
        {"64 in, 8 out",
         {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x40, 0x81, 0x02, 0x95, 0x08,
          0x91, 0x02, 0xC0},
         layout(64, 8)},
        // Report 1: 8 in, 8 out; report 2: 32 in, 4 out. Each kind's longest is picked apart.
        {"numbered reports of different lengths",
         {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08,  //
          0x85, 0x01, 0x95, 0x08, 0x81, 0x02, 0x91, 0x02,        //
          0x85, 0x02, 0x95, 0x20, 0x81, 0x02, 0x95, 0x04, 0x91, 0x02, 0xC0},
         layout(32, 8, true, 2, 1)},
        // Fields of one report add up bit by bit before the length is rounded to bytes.
        {"bit fields rounded up",
         {0x75, 0x01, 0x95, 0x03, 0x81, 0x02, 0x95, 0x02, 0x81, 0x03,  // 3 + 2 bits in
          0x75, 0x04, 0x95, 0x03, 0x91, 0x02},                         // 12 bits out
         layout(1, 2)},
        // 3 x 16 bits inside Push/Pop; 4 x 8 bits come back for the second input and output.
        {"Pop restores Report Size and Count",
         {0x75, 0x08, 0x95, 0x04, 0xA4, 0x75, 0x10, 0x95, 0x03, 0x81, 0x02, 0xB4, 0x81, 0x02, 0x91,
          0x02},
         layout(10, 4)},
        // The long item's data reads as Report Size and Count if taken for short items, and
        // stopping a byte short of its end swallows the Input item.
        {"long item skipped",
         {0x75, 0x08, 0x95, 0x04, 0xFE, 0x04, 0x10, 0x75, 0x40, 0x95, 0x75, 0x81, 0x02, 0x91, 0x02},
         layout(4, 4)},
        {"4-byte item data",
         {0x27, 0xFF, 0xFF, 0x00, 0x00, 0x75, 0x08, 0x97, 0x20, 0x00, 0x00, 0x00, 0x81, 0x02},
         layout(32, 0)},
        {"feature reports do not count",
         {0x75, 0x08, 0x95, 0x40, 0xB1, 0x02, 0x95, 0x08, 0x81, 0x02},
         layout(8, 0)},
        {"no output report", {0x75, 0x08, 0x95, 0x20, 0x81, 0x02, 0xC0}, layout(32, 0)},
        {"largest report", {0x75, 0x08, 0x96, 0x00, 0x10, 0x81, 0x02}, layout(4096, 0)},

        {"empty", {}, std::nullopt},
        {"item cut short", {0x75, 0x08, 0x95}, std::nullopt},
        {"4-byte item cut short", {0x75, 0x08, 0x97, 0x20, 0x00, 0x00}, std::nullopt},
        {"long item cut short", {0x75, 0x08, 0xFE, 0x05, 0x10, 0x00, 0x01}, std::nullopt},
        {"long item header cut short", {0x75, 0x08, 0xFE, 0x05}, std::nullopt},
        {"Pop without Push", {0x75, 0x08, 0xA4, 0xB4, 0xB4, 0x81, 0x02}, std::nullopt},
        {"Report ID 0", {0x85, 0x00, 0x75, 0x08, 0x95, 0x08, 0x81, 0x02}, std::nullopt},
        {"Report ID over 255", {0x86, 0x00, 0x01, 0x75, 0x08, 0x81, 0x02}, std::nullopt},
        {"report over 4096 bytes", {0x75, 0x08, 0x96, 0x01, 0x10, 0x81, 0x02}, std::nullopt},
        {"fields adding up past 4096 bytes",
         {0x75, 0x08, 0x96, 0x00, 0x10, 0x91, 0x02, 0x95, 0x01, 0x91, 0x02},
         std::nullopt},
        // Size and count at their largest: the product must not wrap round to a small length.
        {"huge size times count",
         {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02},
         std::nullopt},

        {"Push nested 16 deep", nestedPushes(16), layout(8, 0)},
        {"Push nested 17 deep", nestedPushes(17), std::nullopt},
        // 17 Pushes in all, but never more than one open at a time.
        {"Push and Pop 17 times in turn",
         [] {
             Bytes d = {0x75, 0x08, 0x95, 0x04};
             for (int i = 0; i < 17; ++i) d.insert(d.end(), {0xA4, 0xB4});
             d.insert(d.end(), {0x81, 0x02});
             return d;
         }(),
         layout(4, 0)},
        // Once one report is numbered, every field must belong to a numbered report.
        {"input before the first Report ID",
         {0x75, 0x08, 0x95, 0x08, 0x81, 0x02, 0x85, 0x01, 0x91, 0x02},
         std::nullopt},
        {"feature before the first Report ID",
         {0x75, 0x08, 0x95, 0x08, 0xB1, 0x02, 0x85, 0x01, 0x81, 0x02, 0x91, 0x02},
         std::nullopt},
        {"Pop back to no Report ID",
         {0x75, 0x08, 0x95, 0x08, 0xA4, 0x85, 0x01, 0x81, 0x02, 0xB4, 0x91, 0x02},
         std::nullopt},
        // A field of no bits belongs to no report.
        {"empty input before the first Report ID",
         {0x75, 0x08, 0x95, 0x00, 0x81, 0x03, 0x85, 0x02, 0x95, 0x08, 0x81, 0x02, 0x91, 0x02},
         layout(8, 8, true, 2, 2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectLayout(parse(c.descriptor), c.expected);
    }
    EXPECT_FALSE(parseHidReportDescriptor(nullptr, 4));
}

TEST(HidReportDescriptor, VendorDescriptorParsesBackToItsLengths) {
    // The stand-in's descriptor is the usual vendor descriptor, byte for byte.
    EXPECT_EQ(vendorReportDescriptor(8, 8), kVendor8);
    for (const auto& [in, out] : {std::pair{1, 1}, {8, 8}, {32, 32}, {64, 8}, {7, 255}}) {
        SCOPED_TRACE(testing::Message() << in << " in, " << out << " out");
        expectLayout(parse(vendorReportDescriptor(in, out)), layout(in, out));
    }
    EXPECT_TRUE(vendorReportDescriptor(0, 8).empty());
    EXPECT_TRUE(vendorReportDescriptor(8, 256).empty());
}

TEST(HidReportDescriptor, SevenByteFrameFillsOneEightByteReport) {
    const Bytes frame = {0x02, 'A', 1, 2, 3, 4, 0x03};
    const auto reports = outputReports(layout(8, 8), frame.data(), frame.size());
    const std::vector<Bytes> expected = {{0, 0x02, 'A', 1, 2, 3, 4, 0x03, 0}};
    EXPECT_EQ(reports, expected);
}

// Each report: the report number, then outputLength bytes; the payloads in order make up the
// bytes followed by zeros.
TEST(HidReportDescriptor, PayloadSplitOverWholePaddedReports) {
    struct Case {
        const char* name;
        std::optional<HidReportLayout> layout;
        size_t length;
        size_t reports;
        size_t reportSize;  // with the report number
        uint8_t reportNumber;
    };
    const Case cases[] = {
        {"32-byte block in 8-byte reports", layout(8, 8), 32, 4, 9, 0},
        {"block in one 32-byte report", layout(32, 32), 32, 1, 33, 0},
        {"frame padded to 32 bytes", layout(32, 32), 7, 1, 33, 0},
        {"block over an uneven split", layout(8, 12), 32, 3, 13, 0},
        {"numbered output report", layout(32, 8, true, 2, 5), 32, 4, 9, 5},
        {"frame in a numbered 64-byte report", layout(8, 64, true, 1, 3), 7, 1, 65, 3},
        {"no layout: the bytes as they are", std::nullopt, 7, 1, 8, 0},
        {"no output report: the bytes as they are", layout(32, 0), 32, 1, 33, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes(c.length);
        std::iota(bytes.begin(), bytes.end(), uint8_t{0x41});
        const auto reports = outputReports(c.layout, bytes.data(), bytes.size());
        ASSERT_EQ(reports.size(), c.reports);
        Bytes payload;
        for (const Bytes& report : reports) {
            ASSERT_EQ(report.size(), c.reportSize);
            EXPECT_EQ(report[0], c.reportNumber);
            payload.insert(payload.end(), report.begin() + 1, report.end());
        }
        Bytes expected = bytes;
        expected.resize(c.reports * (c.reportSize - 1), 0);
        EXPECT_EQ(payload, expected);
    }
}
