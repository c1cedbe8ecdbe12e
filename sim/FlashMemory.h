#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace zendravel::sim
{
// The unit's flash as runs of programmed bytes; addresses never programmed since the last
// erase are simply absent, so a 32-bit address space costs only what was written.
class FlashMemory final
{
public:
    // Start address → the run's bytes. Runs never touch or overlap: neighbours are merged.
    using Runs = std::map<std::uint32_t, std::vector<std::uint8_t>>;

    void erase();

    // Overwrites whatever was programmed there before. The caller keeps the range below 2^32.
    void program (std::uint32_t address, const std::uint8_t* data, std::size_t size);

    const Runs& runs() const { return contents; }
    std::size_t byteCount() const;

private:
    Runs contents;
};
} // namespace zendravel::sim
