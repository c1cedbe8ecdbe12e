#pragma once

#include "EngineFixture.h"
#include "SimulatedUnit.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

// The fault campaign's plan: what each numbered run sends and which faults the simulated unit
// puts in its way, all drawn from the run's seed, so any run can be repeated on its own.
enum class CostlyFault
{
    none,
    lostReply,
    corruptedReply,
    lostFrame,
    corruptedFrame,
    unplug
};

const char* describe (CostlyFault fault);

struct RunPlan
{
    int index = 0;
    std::uint32_t seed = 0;
    Part part = kPart2;
    zendravel::sim::Config unit;

    // The cheap faults, present in every run in some measure (0 is none).
    int splitReplyBytes = 0;
    int garbageBytes = 0;
    double slowReplyFraction = 0.0;

    // One fault in about one run in five, each waiting out a 5 s retransmission or, for an
    // unplug, never ending; `at` is the reply, write or frame number it strikes.
    CostlyFault costly = CostlyFault::none;
    int at = 0;
};

// Run 20 of every 21 sends the main image, the others the comp image: 200 comp and 10 main
// runs in 210. Every fifth run has a costly fault, their kinds taking turns.
RunPlan planRun (int index, std::uint32_t campaignSeed);

std::ostream& operator<< (std::ostream& out, const RunPlan& plan);

// The runs one of `shards` processes takes, balanced by their expected duration so that no
// shard gets two main-image runs while another waits on comp-image runs alone.
std::vector<int> runsOfShard (int shard, int shards, int runs, std::uint32_t campaignSeed);

enum class Outcome
{
    completed,
    stalled
};

// Counts of one shard, or of the whole campaign.
struct Tally
{
    int runs = 0, compRuns = 0, mainRuns = 0;
    int splitReplies = 0, garbage = 0, slowReplies = 0;
    int lostReplies = 0, corruptedReplies = 0, lostFrames = 0, corruptedFrames = 0, unplugs = 0;
    int completions = 0, mismatches = 0, stalls = 0, stallsWithoutUnplug = 0;
    int runsWithUnitErrors = 0; // a bad record, or data over different data since the erase

    void count (const RunPlan& plan, Outcome outcome, bool flashMatches, int unitErrors);
    Tally& operator+= (const Tally& other);

    // One line of numbers, for the summary to add up across processes.
    std::string serialise() const;
    static bool deserialise (const std::string& text, Tally& tally);
};

void printTable (std::ostream& out, const std::string& title, const Tally& tally);
