#pragma once

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QStringList>
#include <cstdint>
#include <span>

#include "dataset/DataSetTable.h"

namespace kl516 {

// Results of parsing a logger image. The last problem found wins; 31 and 32 install nothing.
namespace ParseResult {
inline constexpr int32_t Ok = 0;
inline constexpr int32_t NoSets = 31;              // the header says 0 sets
inline constexpr int32_t TooManySets = 32;         // the header says more than 4000 sets
inline constexpr int32_t BadMarks = 33;            // a record lacks a correct start or end mark
inline constexpr int32_t EndPastLastAddress = 34;  // a record's end lies beyond lastAddress
inline constexpr int32_t StartTimeNotStored = 35;  // a start time could not be stored
}  // namespace ParseResult

inline constexpr int32_t kMaxDataSets = 4000;

// True for the results after which the parser has installed a new table (0, 33, 34, 35).
inline bool parseInstalledTable(int32_t result) {
    return result == ParseResult::Ok || result == ParseResult::BadMarks ||
           result == ParseResult::EndPastLastAddress || result == ParseResult::StartTimeNotStored;
}

// Turns a logger image into the data set table. `lastAddress` is the highest valid offset (from
// image bytes 11..13, unclamped); `now` repairs start times whose date or time fields are not
// valid. On 0, 33, 34 and 35 the table is replaced and, when rows is given, *rows receives one
// row per set (rowText of the table: rows[s] is row s + 1 of the data-set list). On 31 and 32
// neither changes.
//
// The parse never reads outside the image. A byte at an offset at or past the image's end reads
// as 0xFF, the value of erased memory: it is no mark byte and no BCD digit, so a mark there
// never matches, a date field there is repaired from `now` and the end mark search only finds
// pairs that lie wholly inside the image. A record whose samples would run past the image's end
// keeps only the samples that lie wholly inside it, and its end moves to where the end mark of
// that shortened record would lie (start + 17 + 2 × count), so that count and end still agree
// and the next record follows it. Such a record always has a missing end mark, so it raises 33
// (and 34 when its original end lay beyond lastAddress); an image that holds every byte its
// records address is parsed exactly as written. The total of the samples therefore never
// exceeds half the image size, and the work stays linear in the image size for any header. An
// image too short to hold the set count (under 11 bytes) has no sets: 31.
int32_t parseImage(std::span<const uint8_t> image, int32_t lastAddress, const QDateTime& now,
                   DataSetTable& table, QList<QStringList>* rows, const QLocale& locale);

// The level of a 2-byte sample: the 12-bit value (low nibble of the first byte, then the second
// byte) × 0.1 dB, or 0 outside 20.0 .. 140.0 dB.
float sampleLevel(uint8_t first, uint8_t second);

}  // namespace kl516
