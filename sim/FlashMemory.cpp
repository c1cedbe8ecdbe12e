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

void FlashMemory::program (std::uint32_t address, const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return;

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
