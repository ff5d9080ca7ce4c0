#pragma once

namespace kl516 {

// What the link needs from the window that runs the poll loop: user-initiated exchanges wait
// until no poll tick is running and then stop the poll timer; a good sequence echo hides the
// (never shown) reset indicator.
class LinkHost {
public:
    virtual ~LinkHost() = default;
    virtual bool linkBusy() const = 0;
    // Lets pending events run once while waiting for linkBusy to clear.
    virtual void processPendingEvents() = 0;
    virtual void stopPollTimer() = 0;
    virtual void hideResetIndicator() {}
};

// A host for tools without a poll loop (the command-line tool, tests, benchmarks).
class IdleLinkHost final : public LinkHost {
public:
    bool linkBusy() const override { return false; }
    void processPendingEvents() override {}
    void stopPollTimer() override {}
};

}  // namespace kl516
