// hidapi's C interface, answered by the simulated unit. Linked (or preloaded) in place of the
// system's hidapi, so the engine runs unchanged against the simulation.
#include "SimulatedUnit.h"

#include <cwchar>
#include <string_view>
#include <utility>

using zendravel::sim::SimulatedUnit;

namespace
{
constexpr unsigned short kVendorId = 0x04d8;
constexpr unsigned short kProductId = 0xf035;
char kPath[] = "sim:orvalith";
wchar_t kManufacturer[] = L"Quindervale";
wchar_t kProduct[] = L"Orvalith bootloader";
wchar_t kSerialNumber[] = L"";

SimulatedUnit& unit()
{
    return SimulatedUnit::instance();
}

hid_device_info unitInfo()
{
    hid_device_info info {};
    info.path = kPath;
    info.vendor_id = kVendorId;
    info.product_id = kProductId;
    info.serial_number = kSerialNumber;
    info.release_number = 0x0100;
    info.manufacturer_string = kManufacturer;
    info.product_string = kProduct;
    info.usage_page = 0xff00;
    info.usage = 0x0001;
    info.interface_number = 0;
    info.next = nullptr;
    info.bus_type = HID_API_BUS_USB;
    return info;
}

int copyString (const wchar_t* text, wchar_t* destination, size_t maxLength)
{
    if (destination == nullptr || maxLength == 0)
        return -1;

    std::wcsncpy (destination, text, maxLength - 1);
    destination[maxLength - 1] = L'\0';
    return 0;
}
} // namespace

extern "C"
{
int HID_API_EXPORT HID_API_CALL hid_init (void)
{
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_exit (void)
{
    unit().libraryReleased();
    return 0;
}

struct hid_device_info HID_API_EXPORT* HID_API_CALL hid_enumerate (unsigned short vendor_id, unsigned short product_id)
{
    const bool idsMatch = (vendor_id == 0 || vendor_id == kVendorId) && (product_id == 0 || product_id == kProductId);

    if (! idsMatch || ! unit().nextOpenFindsUnit())
        return nullptr;

    return new hid_device_info (unitInfo());
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration (struct hid_device_info* devs)
{
    while (devs != nullptr)
        delete std::exchange (devs, devs->next);
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open (unsigned short vendor_id, unsigned short product_id, const wchar_t* serial_number)
{
    const bool serialMatches = serial_number == nullptr || std::wcscmp (serial_number, kSerialNumber) == 0;

    return unit().open (vendor_id == kVendorId && product_id == kProductId && serialMatches);
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open_path (const char* path)
{
    return unit().open (path != nullptr && std::string_view (path) == kPath);
}

int HID_API_EXPORT HID_API_CALL hid_write (hid_device* dev, const unsigned char* data, size_t length)
{
    return unit().write (dev, data, length);
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout (hid_device* dev, unsigned char* data, size_t length, int milliseconds)
{
    return unit().read (dev, data, length, milliseconds);
}

int HID_API_EXPORT HID_API_CALL hid_read (hid_device* dev, unsigned char* data, size_t length)
{
    return unit().read (dev, data, length);
}

int HID_API_EXPORT HID_API_CALL hid_set_nonblocking (hid_device* dev, int nonblock)
{
    return unit().setNonBlocking (dev, nonblock != 0);
}

// The bootloader has no feature or on-request input reports.
int HID_API_EXPORT HID_API_CALL hid_send_feature_report (hid_device*, const unsigned char*, size_t)
{
    return -1;
}

int HID_API_EXPORT HID_API_CALL hid_get_feature_report (hid_device*, unsigned char*, size_t)
{
    return -1;
}

int HID_API_EXPORT HID_API_CALL hid_get_input_report (hid_device*, unsigned char*, size_t)
{
    return -1;
}

void HID_API_EXPORT HID_API_CALL hid_close (hid_device* dev)
{
    unit().close (dev);
}

int HID_API_EXPORT_CALL hid_get_manufacturer_string (hid_device*, wchar_t* string, size_t maxlen)
{
    return copyString (kManufacturer, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_product_string (hid_device*, wchar_t* string, size_t maxlen)
{
    return copyString (kProduct, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_serial_number_string (hid_device*, wchar_t* string, size_t maxlen)
{
    return copyString (kSerialNumber, string, maxlen);
}

struct hid_device_info HID_API_EXPORT* HID_API_CALL hid_get_device_info (hid_device*)
{
    static hid_device_info info = unitInfo();
    return &info;
}

int HID_API_EXPORT_CALL hid_get_indexed_string (hid_device*, int, wchar_t*, size_t)
{
    return -1;
}

HID_API_EXPORT const wchar_t* HID_API_CALL hid_error (hid_device*)
{
    return unit().lastError();
}

HID_API_EXPORT const struct hid_api_version* HID_API_CALL hid_version (void)
{
    static const hid_api_version version { HID_API_VERSION_MAJOR, HID_API_VERSION_MINOR, HID_API_VERSION_PATCH };
    return &version;
}

HID_API_EXPORT const char* HID_API_CALL hid_version_str (void)
{
    return HID_API_VERSION_STR;
}
}
