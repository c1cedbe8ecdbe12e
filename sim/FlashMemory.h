#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace zendravel::sim
{
// The unit's flash as runs of programmed bytes; addresses never programmed since the last
// erase are simply absent, so a 32-bit address space costs only what was written. Like real
// flash, programming can only clear bits until the next erase: a byte programmed again keeps
// the bits that both values share.
class FlashMemory final
{
public:
    // Start address → the run's bytes. Runs never touch or overlap: neighbours are merged.
    using Runs = std::map<std::uint32_t, std::vector<std::uint8_t>>;

    void erase();

    // Returns how many of the bytes had been programmed since the last erase with a different
    // value; the same value again changes nothing. The caller keeps the range below 2^32.
    std::size_t program (std::uint32_t address, const std::uint8_t* data, std::size_t size);

    const Runs& runs() const { return contents; }
    std::size_t byteCount() const;

private:
    std::size_t keepProgrammedBits (std::uint32_t address, std::vector<std::uint8_t>& bytes) const;
    void store (std::uint32_t address, const std::uint8_t* data, std::size_t size);

    Runs contents;
};
} // namespace zendravel::sim
