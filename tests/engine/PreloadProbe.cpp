// A minimal hidapi client, linked against the system's hidapi: run with the simulated unit
// preloaded, everything it does must reach the simulation instead. It asks the unit for its
// kinds and prints how many opens it took and the reply's bytes.
#include <hidapi.h>

#include <chrono>
#include <cstdio>
#include <thread>

int main()
{
    hid_init();

    hid_device* device = nullptr;
    int attempts = 0;

    while (device == nullptr && attempts < 5)
    {
        device = hid_open (0x04d8, 0xf035, nullptr);
        ++attempts;
    }

    std::printf ("attempts=%d\n", attempts);

    if (device == nullptr)
    {
        hid_exit();
        return 1;
    }

    hid_set_nonblocking (device, 1);
    const unsigned char queryDevice[] = { 0x00, 0x01, 0x10, 0x01, 0x21, 0x10, 0x10, 0x04 };
    hid_write (device, queryDevice, sizeof (queryDevice));

    unsigned char reply[64];
    int count = 0;

    for (int i = 0; i < 2000 && count == 0; ++i)
    {
        count = hid_read (device, reply, sizeof (reply));

        if (count == 0)
            std::this_thread::sleep_for (std::chrono::milliseconds (1));
    }

    std::printf ("reply=");

    for (int i = 0; i < count; ++i)
        std::printf ("%02x", reply[i]);

    std::printf ("\n");
    hid_close (device);
    hid_exit();
    return 0;
}
