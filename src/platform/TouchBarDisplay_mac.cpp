#include "platform/TouchBarDisplay.h"

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>
#include <IOKit/usb/IOUSBLib.h>

namespace corvane {
namespace {

constexpr int appleVendor = 0x05ac;
// The Touch Bar's display: the T2 models' own device, and the T1 models' iBridge that drives it.
constexpr int touchBarProducts[] = {0x8302, 0x8600};

bool deviceRegistered(int product) {
    CFMutableDictionaryRef matching = IOServiceMatching(kIOUSBDeviceClassName);
    if (matching == nullptr)
        return false;
    const int vendor = appleVendor;
    CFNumberRef vendorNumber = CFNumberCreate(kCFAllocatorDefault, kCFNumberIntType, &vendor);
    CFNumberRef productNumber = CFNumberCreate(kCFAllocatorDefault, kCFNumberIntType, &product);
    CFDictionarySetValue(matching, CFSTR(kUSBVendorID), vendorNumber);
    CFDictionarySetValue(matching, CFSTR(kUSBProductID), productNumber);
    CFRelease(vendorNumber);
    CFRelease(productNumber);
    // IOServiceGetMatchingService consumes the dictionary.
    const io_service_t service = IOServiceGetMatchingService(MACH_PORT_NULL, matching);
    if (service == IO_OBJECT_NULL)
        return false;
    IOObjectRelease(service);
    return true;
}

} // namespace

std::optional<bool> touchBarDisplaySeen() {
    for (const int product : touchBarProducts) {
        if (deviceRegistered(product))
            return true;
    }
    return false;
}

} // namespace corvane
