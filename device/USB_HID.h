#pragma once

#include <hidapi.h>
#include <juce_core/juce_core.h>

// Holds the unit's bootloader while it is open. Every call comes from the engine's transfer
// thread, which opens the device when it starts and closes it before it ends.
class UsbHid final
{
public:
    UsbHid() = default;

    // One attempt to open the first device with these ids, switched to non-blocking reads.
    // A failed attempt releases the library again, so repeated attempts leave nothing behind.
    bool Open (unsigned int vendorId, unsigned int productId);

    // The oldest queued input report: its byte count, 0 when none is queued, -1 when the
    // device is gone or not open.
    int Read (unsigned char* buffer, size_t capacity);

    // Sends data as one output report; data[0] is the report id 0, which is not sent.
    // A failed write is not reported: the retransmission counters deal with a lost frame.
    void Write (const unsigned char* data, size_t length);

    void Close();

    hid_device* deviceHandle = nullptr;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (UsbHid)
};
