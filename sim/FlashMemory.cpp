#include "FlashMemory.h"

#include <algorithm>
#include <iterator>

namespace zendravel::sim
{
void FlashMemory::erase()
{
    contents.clear();
}

std::size_t FlashMemory::byteCount() const
{
    std::size_t count = 0;

    for (const auto& run : contents)
        count += run.second.size();

    return count;
}

std::size_t FlashMemory::program (std::uint32_t address, const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;

    std::vector<std::uint8_t> bytes (data, data + size);
    const auto conflicts = keepProgrammedBits (address, bytes);
    store (address, bytes.data(), bytes.size());
    return conflicts;
}

// Where the range meets bytes programmed since the last erase, a different value keeps only
// the bits it shares with the old one, as a flash cell can be cleared but not set again.
std::size_t FlashMemory::keepProgrammedBits (std::uint32_t address, std::vector<std::uint8_t>& bytes) const
{
    const std::uint64_t start = address;
    const std::uint64_t end = start + bytes.size();
    std::size_t conflicts = 0;

    auto run = contents.upper_bound (address);

    if (run != contents.begin())
        run = std::prev (run);

    for (; run != contents.end() && run->first < end; ++run)
    {
        const std::uint64_t runStart = run->first;
        const auto last = std::min<std::uint64_t> (end, runStart + run->second.size());

        for (auto at = std::max (start, runStart); at < last; ++at)
        {
            const auto programmed = run->second[static_cast<std::size_t> (at - runStart)];
            auto& value = bytes[static_cast<std::size_t> (at - start)];

            if (value != programmed)
            {
                ++conflicts;
                value &= programmed;
            }
        }
    }

    return conflicts;
}

void FlashMemory::store (std::uint32_t address, const std::uint8_t* data, std::size_t size)
{
    const std::uint64_t start = address;
    const std::uint64_t end = start + size;

    // The run that holds or directly precedes the start grows in place, so programming an
    // image record after record appends to one vector instead of copying it each time.
    auto next = contents.upper_bound (address);
    auto host = next;

    if (next != contents.begin())
    {
        auto previous = std::prev (next);

        if (previous->first + previous->second.size() >= start)
            host = previous;
    }

    if (host == next)
        host = contents.emplace_hint (next, address, std::vector<std::uint8_t> {});

    auto& bytes = host->second;
    const std::uint64_t hostStart = host->first;

    auto growTo = [&bytes, hostStart] (std::uint64_t runEnd)
    {
        bytes.resize (std::max<std::size_t> (bytes.size(), static_cast<std::size_t> (runEnd - hostStart)));
    };

    for (auto follower = std::next (host); follower != contents.end() && follower->first <= end;)
    {
        growTo (follower->first + follower->second.size());
        std::copy (follower->second.begin(), follower->second.end(), bytes.begin() + static_cast<std::ptrdiff_t> (follower->first - hostStart));
        follower = contents.erase (follower);
    }

    growTo (end);
    std::copy (data, data + size, bytes.begin() + static_cast<std::ptrdiff_t> (start - hostStart));
}
} // namespace zendravel::sim
