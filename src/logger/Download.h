#pragma once

#include <cstdint>

#include "link/LinkHost.h"
#include "link/MeterLink.h"
#include "logger/LoggerImage.h"

namespace kl516 {

// What the download tells the progress window. start comes once the memory's size is known,
// received after every block (the window lets pending events run there, so it stays painted
// during the transfer), and finish at the end of every download, also one that failed before
// start.
class DownloadProgress {
  public:
    virtual ~DownloadProgress() = default;
    virtual void start(int32_t total) = 0;  // before the first 'p': 0 of total
    virtual void received(int32_t count) = 0;
    virtual void finish() = 0;
};

// Bytes a download fetches for the lastAddress of the information response: lastAddress + 1,
// the whole memory when that is outside 256 .. 131072, raised to a multiple of 32.
int32_t downloadTotal(int32_t lastAddress);

// Copies the meter's logger memory into image, 32 bytes per exchange: 'P' (up to 15 attempts of
// queryInfo) brings the information response, which is also the image's first block, each 'p'
// the next block, and 'q' ends the transfer. Waits for linkBusy to clear and stops the poll
// timer first; the caller restarts it. Returns 0, the last queryInfo result (1001..1006), 123
// (a 'p' write failed), 124 (a block read failed), 125 (the 'q' write failed) or 126 (the
// transfer stopped with fewer bytes received than still outstanding). lastAddress receives the
// information response's value, unclamped, once 'P' has succeeded. image is emptied first and
// keeps the blocks received so far on failure. progress may be null.
int32_t downloadMemory(MeterLink& link, LinkHost& host, LoggerImage& image, int32_t& lastAddress,
                       DownloadProgress* progress);

}  // namespace kl516
