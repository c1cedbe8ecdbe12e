#include "USB_HID.h"

bool UsbHid::Open (unsigned int vendorId, unsigned int productId)
{
    deviceHandle = hid_open ((unsigned short) vendorId, (unsigned short) productId, nullptr);

    if (deviceHandle == nullptr)
    {
        hid_exit();
        return false;
    }

    hid_set_nonblocking (deviceHandle, 1);
    return true;
}

int UsbHid::Read (unsigned char* buffer, size_t capacity)
{
    if (deviceHandle == nullptr)
        return -1;

    return hid_read (deviceHandle, buffer, capacity);
}

void UsbHid::Write (const unsigned char* data, size_t length)
{
    if (deviceHandle != nullptr)
        hid_write (deviceHandle, data, length);
}

void UsbHid::Close()
{
    if (deviceHandle != nullptr)
        hid_close (deviceHandle);

    deviceHandle = nullptr;
    hid_exit();
}
