#include "FaultPlan.h"

#include <algorithm>
#include <iomanip>
#include <ostream>
#include <random>
#include <sstream>
#include <vector>

namespace
{
constexpr int kMainRunEvery = 21;
constexpr int kCostlyRunEvery = 5;
constexpr int kLongestSlowReplyMs = 50;

constexpr CostlyFault kCostlyKinds[] = { CostlyFault::lostReply, CostlyFault::corruptedReply, CostlyFault::lostFrame,
                                         CostlyFault::corruptedFrame, CostlyFault::unplug };

void strike (zendravel::sim::Config& unit, CostlyFault fault, int at)
{
    switch (fault)
    {
        case CostlyFault::lostReply:
            unit.dropReplyNumber = at;
            break;

        case CostlyFault::corruptedReply:
            unit.corruptReplyNumber = at;
            break;

        case CostlyFault::lostFrame:
            unit.dropFrameNumber = at;
            break;

        case CostlyFault::corruptedFrame:
            unit.corruptFrameNumber = at;
            break;

        case CostlyFault::unplug:
            unit.unplugAfterFrames = at;
            break;

        case CostlyFault::none:
            break;
    }
}

// The Tally's counters in a fixed order, for serialising and adding up.
template <typename TallyType, typename Visit>
void forEachCounter (TallyType& t, Visit visit)
{
    for (auto* counter : { &t.runs, &t.compRuns, &t.mainRuns, &t.splitReplies, &t.garbage, &t.slowReplies,
                           &t.lostReplies, &t.corruptedReplies, &t.lostFrames, &t.corruptedFrames, &t.unplugs,
                           &t.completions, &t.mismatches, &t.stalls, &t.stallsWithoutUnplug, &t.runsWithUnitErrors })
        visit (*counter);
}
} // namespace

const char* describe (CostlyFault fault)
{
    switch (fault)
    {
        case CostlyFault::lostReply:
            return "lost reply";
        case CostlyFault::corruptedReply:
            return "corrupted reply";
        case CostlyFault::lostFrame:
            return "lost frame";
        case CostlyFault::corruptedFrame:
            return "corrupted frame";
        case CostlyFault::unplug:
            return "unplug";
        case CostlyFault::none:
            break;
    }

    return "none";
}

RunPlan planRun (int index, std::uint32_t campaignSeed)
{
    RunPlan plan;
    plan.index = index;
    std::seed_seq sequence { campaignSeed, (std::uint32_t) index };
    sequence.generate (&plan.seed, &plan.seed + 1);
    std::mt19937 random (plan.seed);
    const auto chance = [&random] (double p) { return std::uniform_real_distribution<double> (0.0, 1.0) (random) < p; };
    const auto between = [&random] (int low, int high) { return std::uniform_int_distribution<int> (low, high) (random); };

    plan.part = index % kMainRunEvery == kMainRunEvery - 1 ? kPart1 : kPart2;
    plan.unit.bootloaderKinds = { plan.part.bootloaderKind };
    plan.unit.seed = plan.seed;

    // A program reply (5 bytes) is cut into 2 or 3 reports, or left whole.
    plan.splitReplyBytes = chance (0.5) ? between (2, 4) : 0;
    plan.garbageBytes = chance (0.4) ? between (1, 60) : 0;
    plan.slowReplyFraction = chance (0.8) ? std::uniform_real_distribution<double> (0.0, 0.02) (random) : 0.0;
    plan.unit.splitReplyBytes = plan.splitReplyBytes;
    plan.unit.garbageBytesBeforeReplies = plan.garbageBytes;
    plan.unit.slowReplyFraction = plan.slowReplyFraction;
    plan.unit.slowReplyMaxMs = kLongestSlowReplyMs;

    if (index % kCostlyRunEvery == kCostlyRunEvery - 1)
    {
        const auto kinds = (int) std::size (kCostlyKinds);
        plan.costly = kCostlyKinds[(index / kCostlyRunEvery) % kinds];
        // Commands 1 and 2, then every program frame: any of them may be struck.
        plan.at = between (1, 2 + programFrames (plan.part.image));
        strike (plan.unit, plan.costly, plan.at);
    }

    return plan;
}

namespace
{
// A rough duration: one loop pass (1 ms) per report a reply takes, the late replies' share,
// and the retransmission or the stall that a costly fault costs.
double expectedSeconds (const RunPlan& plan)
{
    const double reportsPerReply = 1.0 + (plan.splitReplyBytes > 0 ? 1.0 : 0.0) + (plan.garbageBytes > 0 ? 1.0 : 0.0);
    const double msPerFrame = reportsPerReply + plan.slowReplyFraction * kLongestSlowReplyMs / 2.0;
    const double costlySeconds = plan.costly == CostlyFault::unplug ? 12.0 : plan.costly != CostlyFault::none ? 5.0 : 0.0;
    return programFrames (plan.part.image) * msPerFrame / 1000.0 + costlySeconds;
}
} // namespace

std::vector<int> runsOfShard (int shard, int shards, int runs, std::uint32_t campaignSeed)
{
    std::vector<std::pair<double, int>> byDuration;

    for (int index = 0; index < runs; ++index)
        byDuration.emplace_back (expectedSeconds (planRun (index, campaignSeed)), index);

    // Longest first, each to the shard with the least work so far.
    std::stable_sort (byDuration.begin(), byDuration.end(), [] (const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<double> load ((size_t) shards, 0.0);
    std::vector<int> mine;

    for (const auto& [seconds, index] : byDuration)
    {
        const auto lightest = (int) (std::min_element (load.begin(), load.end()) - load.begin());
        load[(size_t) lightest] += seconds;

        if (lightest == shard)
            mine.push_back (index);
    }

    std::sort (mine.begin(), mine.end());
    return mine;
}

std::ostream& operator<< (std::ostream& out, const RunPlan& plan)
{
    out << "run " << plan.index << " (seed " << plan.seed << ", " << (plan.part.image == Image::main ? "main" : "comp")
        << " image): split " << plan.splitReplyBytes << ", garbage " << plan.garbageBytes << ", slow replies "
        << plan.slowReplyFraction;

    if (plan.costly != CostlyFault::none)
        out << ", " << describe (plan.costly) << " at " << plan.at;

    return out;
}

void Tally::count (const RunPlan& plan, Outcome outcome, bool flashMatches, int unitErrors)
{
    ++runs;
    runsWithUnitErrors += unitErrors > 0 ? 1 : 0;
    ++(plan.part.image == Image::main ? mainRuns : compRuns);
    splitReplies += plan.splitReplyBytes > 0 ? 1 : 0;
    garbage += plan.garbageBytes > 0 ? 1 : 0;
    slowReplies += plan.slowReplyFraction > 0.0 ? 1 : 0;
    lostReplies += plan.costly == CostlyFault::lostReply ? 1 : 0;
    corruptedReplies += plan.costly == CostlyFault::corruptedReply ? 1 : 0;
    lostFrames += plan.costly == CostlyFault::lostFrame ? 1 : 0;
    corruptedFrames += plan.costly == CostlyFault::corruptedFrame ? 1 : 0;
    unplugs += plan.costly == CostlyFault::unplug ? 1 : 0;

    if (outcome == Outcome::completed)
    {
        ++completions;
        mismatches += flashMatches ? 0 : 1;
    }
    else
    {
        ++stalls;
        stallsWithoutUnplug += plan.costly == CostlyFault::unplug ? 0 : 1;
    }
}

Tally& Tally::operator+= (const Tally& other)
{
    std::vector<int> theirs;
    forEachCounter (other, [&theirs] (const int& counter) { theirs.push_back (counter); });
    auto next = theirs.begin();
    forEachCounter (*this, [&next] (int& counter) { counter += *next++; });
    return *this;
}

std::string Tally::serialise() const
{
    std::ostringstream out;
    forEachCounter (*this, [&out] (const int& counter) { out << counter << ' '; });
    return out.str();
}

bool Tally::deserialise (const std::string& text, Tally& tally)
{
    std::istringstream in (text);
    bool complete = true;
    forEachCounter (tally, [&in, &complete] (int& counter) { complete = complete && (in >> counter); });
    return complete;
}

void printTable (std::ostream& out, const std::string& title, const Tally& t)
{
    const auto row = [&out] (const char* what, int count) { out << "  " << std::left << std::setw (34) << what << std::right << std::setw (6) << count << '\n'; };

    out << title << '\n';
    row ("runs", t.runs);
    row ("  comp image", t.compRuns);
    row ("  main image", t.mainRuns);
    out << "  faults injected, by kind\n";
    row ("  replies split across reports", t.splitReplies);
    row ("  garbage between frames", t.garbage);
    row ("  replies late by up to 50 ms", t.slowReplies);
    row ("  lost reply", t.lostReplies);
    row ("  corrupted reply", t.corruptedReplies);
    row ("  lost frame", t.lostFrames);
    row ("  corrupted frame", t.corruptedFrames);
    row ("  unplug at a random frame", t.unplugs);
    row ("completions", t.completions);
    row ("mismatches (flash differs)", t.mismatches);
    row ("stalls (no progress for 12 s)", t.stalls);
    row ("  of them without an unplug", t.stallsWithoutUnplug);
    row ("runs with errors at the unit", t.runsWithUnitErrors);
    out.flush();
}
