#pragma once
/* The driver library interface: the exports of hiddriver_4k_1.so (wired mouse) and
 * hiddriver_4k_2.so (2.4 GHz receiver). The program resolves them by name from each copy and keeps
 * one table per copy; the real driver (over hidapi) and the simulated mouse both implement them.
 *
 * Calling order per library: Set_VIDPID, Open_DevMonitor, Open_FeatureDevice, Open_ReportDevice at
 * start; Open_FeatureDevice + Open_ReportDevice on arrival, Close_FeatureDevice + Close_ReportDevice
 * on removal; Close_FeatureDevice, Close_DevMonitor, Close_ReportDevice at shut-down. WriteUSB is
 * called only from the program's worker thread, everything else from its UI thread.
 *
 * The monitor posts to the window given to Open_DevMonitor (through host_api.h):
 *   data message: wParam points to the bytes of one input report (report identifier first),
 *                 valid until the message is handled; lParam is the number of bytes;
 *   plug message: wParam 1 when the device with the set identifiers arrives, 0 when it leaves. */

#include <stdint.h>

#include "quillon/host_api.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*Set_VIDPID_Fn)(int vendorId, int productId);
typedef void (*Open_DevMonitor_Fn)(QuillonWindow window, uint32_t dataMessage, uint32_t plugMessage);
typedef void (*Close_DevMonitor_Fn)(void);
typedef int (*Open_FeatureDevice_Fn)(void);
typedef void (*Close_FeatureDevice_Fn)(void);
typedef int (*SetFeature_Fn)(uint8_t* buffer, int length);
typedef int (*GetFeature_Fn)(uint8_t* buffer, int length);
/* Non-zero: the device's output report interface is open. */
typedef int (*Open_ReportDevice_Fn)(void);
typedef void (*Close_ReportDevice_Fn)(void);
/* Writes one 64-byte output report. */
typedef int (*WriteUSB_Fn)(const uint8_t* report, int length);
typedef int (*ReadUSB_Fn)(uint8_t* buffer, int length);

/* Optional twelfth export, asked for after Open_ReportDevice returned 0: why it failed, so that a
 * mouse that is present but not accessible does not look like no mouse at all. */
enum QuillonOpenError {
    QUILLON_OPEN_OK = 0,
    QUILLON_OPEN_NOT_FOUND = 1,
    QUILLON_OPEN_PERMISSION_DENIED = 2,
    QUILLON_OPEN_OTHER_ERROR = 3
};
typedef int (*Get_OpenError_Fn)(void);

#ifdef __cplusplus
}
#endif
