/* The USB-IO board as every virtual board presents it: its IDs, its report
 * descriptor and its answer to an output report. Plain C, so the kernel-mode
 * driver (drivers/vboard) shares it with the C++ boards (platform/sim and the
 * hidraw stand-ins); nothing here allocates or calls a library. */
#ifndef PORTPROBE_USBIO_BOARD_H
#define PORTPROBE_USBIO_BOARD_H

#define USBIO_BOARD_VENDOR_ID 0x1352
#define USBIO_BOARD_PRODUCT_ID 0x0100
#define USBIO_BOARD_VERSION 0x0100
/* Report lengths as Windows counts them: the report-ID byte 0 included. */
#define USBIO_BOARD_REPORT_LENGTH 9
#define USBIO_BOARD_MAX_REPORT_LENGTH 65
#define USBIO_BOARD_PRODUCT "USB-IO (virtual)"
#define USBIO_BOARD_MANUFACTURER "PORTPROBE"

#define USBIO_COMMAND_WRITE_P1 2
#define USBIO_COMMAND_READ_P0 3
/* Port1 has four lines. */
#define USBIO_P1_MASK 0x0F

#define USBIO_BOARD_DESCRIPTOR_MAX 24

/* The board's two ports. */
struct usbio_board_ports
{
    unsigned char port0; /* eight switches */
    unsigned char port1; /* four LEDs */
};

/* Writes into d (USBIO_BOARD_DESCRIPTOR_MAX bytes) a vendor-page report
 * descriptor with one unnumbered input and one output report of the given
 * Windows lengths (1 to USBIO_BOARD_MAX_REPORT_LENGTH; 0 leaves the kind out)
 * and returns its length. */
static inline unsigned usbio_board_descriptor(unsigned input, unsigned output, unsigned char *d)
{
    static const unsigned char head[] = { 0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08 };
    unsigned n = 0, i;
    for (i = 0; i < sizeof head; ++i) {
        d[n++] = head[i];
    }
    if (input > 0) {
        d[n++] = 0x96; /* Report Count, two bytes */
        d[n++] = (unsigned char)((input - 1) & 0xFF);
        d[n++] = (unsigned char)((input - 1) >> 8);
        d[n++] = 0x09; /* Usage 1 */
        d[n++] = 0x01;
        d[n++] = 0x81; /* Input (Data, Var, Abs) */
        d[n++] = 0x02;
    }
    if (output > 0) {
        d[n++] = 0x96;
        d[n++] = (unsigned char)((output - 1) & 0xFF);
        d[n++] = (unsigned char)((output - 1) >> 8);
        d[n++] = 0x09; /* Usage 2 */
        d[n++] = 0x02;
        d[n++] = 0x91; /* Output (Data, Var, Abs) */
        d[n++] = 0x02;
    }
    d[n++] = 0xC0;
    return n;
}

/* Takes the output report whose bytes after the report ID are command and
 * data, and gives the value its answer carries after the echoed command:
 * Port1 as set by command 2, Port0 for command 3, 0 for any other. Every
 * output report is answered, with [report ID 0, command, value, 0...]. */
static inline unsigned char usbio_board_take(
    struct usbio_board_ports *ports, unsigned char command, unsigned char data)
{
    if (command == USBIO_COMMAND_WRITE_P1) {
        ports->port1 = (unsigned char)(data & USBIO_P1_MASK);
        return ports->port1;
    }
    if (command == USBIO_COMMAND_READ_P0) {
        return ports->port0;
    }
    return 0;
}

#endif
