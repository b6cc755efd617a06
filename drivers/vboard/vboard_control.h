/* The private requests between portprobe-vboard and the driver's control
 * device (\\.\PortprobeVBoard). Plain C: the kernel-mode driver includes it
 * too. Boards are named by their device instance ID, as SetupAPI knows it. */
#ifndef PORTPROBE_VBOARD_CONTROL_H
#define PORTPROBE_VBOARD_CONTROL_H

#include <wchar.h>

#define VBOARD_CONTROL_DEVICE L"\\Device\\PortprobeVBoard"
#define VBOARD_CONTROL_LINK L"\\DosDevices\\PortprobeVBoard"
#define VBOARD_CONTROL_PATH L"\\\\.\\PortprobeVBoard"
/* The hardware ID the INF installs the driver for. */
#define VBOARD_HARDWARE_ID L"ROOT\\PORTPROBE_VBOARD"

/* CTL_CODE(FILE_DEVICE_UNKNOWN, 0x900 + n, METHOD_BUFFERED, FILE_ANY_ACCESS) */
#define VBOARD_IOCTL_LIST 0x00222400u /* out: vboard_info[] */
#define VBOARD_IOCTL_SET 0x00222404u /* in: vboard_set */

#define VBOARD_ID_CHARS 80
#define VBOARD_MAX_BOARDS 16
#define VBOARD_LOG_REPORTS 16
#define VBOARD_LOG_BYTES 8

struct vboard_info
{
    wchar_t instance[VBOARD_ID_CHARS]; /* ROOT\VID_1352&PID_0100\0000 */
    unsigned short vendor_id, product_id, input_length, output_length;
    unsigned char port0, port1, stalled, reserved;
    /* Output reports taken so far; the latest VBOARD_LOG_REPORTS of them, the
     * report-ID byte left out, the oldest first. */
    unsigned long outputs;
    unsigned char log[VBOARD_LOG_REPORTS][VBOARD_LOG_BYTES];
};

#define VBOARD_SET_PORT0 1u
#define VBOARD_SET_STALL 2u

struct vboard_set
{
    wchar_t instance[VBOARD_ID_CHARS];
    unsigned long what; /* VBOARD_SET_* */
    unsigned char port0, stalled, reserved[2];
};

#endif
