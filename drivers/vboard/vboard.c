/* vboard.sys: virtual USB-IO boards inside Windows' own HID stack. A HID
 * minidriver for root-enumerated devices (portprobe-vboard installs them):
 * hidclass creates each board's HID interface, and programs reach it through
 * SetupAPI, hid.dll and ReadFile/WriteFile as they would a board on a cable.
 *
 * A board's IDs and report lengths come from its device ID,
 * ROOT\VID_vvvv&PID_pppp[&IN_n&OUT_n]; hidclass names the HID interface
 * after it. The answers follow platform/emulation/usbio_board.h. A control
 * device takes the private requests of vboard_control.h (switches, stall,
 * state). */
#include <ntddk.h>

#include "platform/emulation/usbio_board.h"
#include "vboard_control.h"

/* MinGW-w64 has no hidport.h and its hidclass.h numbers these wrongly: the
 * minidriver requests as the HID class driver sends them. */
#define HID_CTL(id) CTL_CODE(FILE_DEVICE_KEYBOARD, (id), METHOD_NEITHER, FILE_ANY_ACCESS)
#define HID_GET_DEVICE_DESCRIPTOR HID_CTL(0)
#define HID_GET_REPORT_DESCRIPTOR HID_CTL(1)
#define HID_READ_REPORT HID_CTL(2)
#define HID_WRITE_REPORT HID_CTL(3)
#define HID_GET_STRING HID_CTL(4)
#define HID_ACTIVATE_DEVICE HID_CTL(7)
#define HID_DEACTIVATE_DEVICE HID_CTL(8)
#define HID_GET_DEVICE_ATTRIBUTES HID_CTL(9)

typedef struct
{
    ULONG Revision;
    PDRIVER_OBJECT DriverObject;
    PUNICODE_STRING RegistryPath;
    ULONG DeviceExtensionSize;
    BOOLEAN DevicesArePolled;
    UCHAR Reserved[3];
} MINIDRIVER_REGISTRATION;

/* The start of hidclass's FDO extension. */
typedef struct
{
    PDEVICE_OBJECT PhysicalDeviceObject;
    PDEVICE_OBJECT NextDeviceObject;
    PVOID MiniDeviceExtension;
} HID_EXTENSION;

typedef struct
{
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
    USHORT Reserved[11];
} DEVICE_ATTRIBUTES;

#pragma pack(push, 1)
typedef struct
{
    UCHAR bLength;
    UCHAR bDescriptorType;
    USHORT bcdHID;
    UCHAR bCountry;
    UCHAR bNumDescriptors;
    UCHAR bReportType;
    USHORT wReportLength;
} HID_DESCRIPTOR_BLOCK;
#pragma pack(pop)

typedef struct
{
    PUCHAR reportBuffer;
    ULONG reportBufferLen;
    UCHAR reportId;
} XFER_PACKET;

NTSTATUS NTAPI HidRegisterMinidriver(MINIDRIVER_REGISTRATION *registration);

#define QUEUE_REPORTS 8
#define REPORT_BYTES (USBIO_BOARD_MAX_REPORT_LENGTH - 1)
#define WIDE_(s) L##s
#define WIDE(s) WIDE_(s)

/* One board, in hidclass's FDO extension. Every field is guarded by lock. */
typedef struct
{
    PIRP held_read; /* hidclass's one READ_REPORT, while nothing is queued */
    BOOLEAN removed;
    BOOLEAN stalled;
    struct usbio_board_ports ports;
    USHORT vendor_id, product_id, input_length, output_length;
    UCHAR descriptor[USBIO_BOARD_DESCRIPTOR_MAX];
    ULONG descriptor_length;
    /* input reports not yet taken, without the report-ID byte */
    UCHAR queue[QUEUE_REPORTS][REPORT_BYTES];
    ULONG queue_head, queue_count;
    ULONG outputs;
    UCHAR log[VBOARD_LOG_REPORTS][VBOARD_LOG_BYTES];
    WCHAR instance[VBOARD_ID_CHARS];
} BOARD;

static KSPIN_LOCK lock;
/* Boards in the order they were added. */
static BOARD *boards[VBOARD_MAX_BOARDS];
static ULONG board_count;
static PDEVICE_OBJECT control_device;
static PDRIVER_DISPATCH hid_create, hid_close, hid_ioctl;

static BOARD *board_of(PDEVICE_OBJECT fdo)
{
    return ((HID_EXTENSION *)fdo->DeviceExtension)->MiniDeviceExtension;
}

static PDEVICE_OBJECT lower_of(PDEVICE_OBJECT fdo)
{
    return ((HID_EXTENSION *)fdo->DeviceExtension)->NextDeviceObject;
}

static void copy_bytes(void *to, const void *from, ULONG n)
{
    volatile UCHAR *d = to;
    const UCHAR *s = from;
    while (n--) {
        *d++ = *s++;
    }
}

static NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static ULONG wide_length(const WCHAR *s)
{
    ULONG n = 0;
    while (s[n]) {
        ++n;
    }
    return n;
}

static BOOLEAN same_text(const WCHAR *a, const WCHAR *b)
{
    for (;; ++a, ++b) {
        WCHAR x = *a >= 'a' && *a <= 'z' ? *a - 32 : *a;
        WCHAR y = *b >= 'a' && *b <= 'z' ? *b - 32 : *b;
        if (x != y) {
            return FALSE;
        }
        if (!x) {
            return TRUE;
        }
    }
}

/* The number after key in id (hexadecimal or decimal), or fallback. */
static ULONG id_field(const WCHAR *id, const WCHAR *key, ULONG base, ULONG fallback)
{
    ULONG keylen = wide_length(key), value = 0, digits = 0;
    const WCHAR *p;
    for (p = id; *p; ++p) {
        ULONG i;
        for (i = 0; i < keylen && p[i] && (p[i] | 0x20) == (key[i] | 0x20); ++i) { }
        if (i == keylen && (p == id || p[-1] == '\\' || p[-1] == '&')) {
            for (p += keylen; *p; ++p, ++digits) {
                ULONG d;
                if (*p >= '0' && *p <= '9') {
                    d = *p - '0';
                } else if (base == 16 && (*p | 0x20) >= 'a' && (*p | 0x20) <= 'f') {
                    d = (*p | 0x20) - 'a' + 10;
                } else {
                    break;
                }
                value = value * base + d;
            }
            return digits ? value : fallback;
        }
    }
    return fallback;
}

/* Asks the root PDO for one of its IDs (it answers at once). */
static NTSTATUS query_id(PDEVICE_OBJECT pdo, BUS_QUERY_ID_TYPE type, WCHAR **id)
{
    IO_STATUS_BLOCK io;
    KEVENT event;
    PIRP irp;
    IO_STACK_LOCATION *stack;

    KeInitializeEvent(&event, NotificationEvent, FALSE);
    irp = IoBuildSynchronousFsdRequest(IRP_MJ_PNP, pdo, NULL, 0, NULL, &event, &io);
    if (!irp) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    stack = IoGetNextIrpStackLocation(irp);
    stack->MinorFunction = IRP_MN_QUERY_ID;
    stack->Parameters.QueryId.IdType = type;
    if (IoCallDriver(pdo, irp) == STATUS_PENDING) {
        KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, NULL);
    }
    *id = NT_SUCCESS(io.Status) ? (WCHAR *)io.Information : NULL;
    return *id ? STATUS_SUCCESS : io.Status;
}

/* Queues an input report (caller holds the lock); the oldest goes when full,
 * as a device's buffer overflows. */
static void queue_report(BOARD *b, const UCHAR *report)
{
    ULONG slot;
    if (b->queue_count == QUEUE_REPORTS) {
        b->queue_head = (b->queue_head + 1) % QUEUE_REPORTS;
        --b->queue_count;
    }
    slot = (b->queue_head + b->queue_count) % QUEUE_REPORTS;
    copy_bytes(b->queue[slot], report, REPORT_BYTES);
    ++b->queue_count;
}

/* Moves the oldest queued report into buffer (caller holds the lock). */
static BOOLEAN take_report(BOARD *b, UCHAR *buffer)
{
    if (!b->queue_count) {
        return FALSE;
    }
    copy_bytes(buffer, b->queue[b->queue_head], b->input_length - 1);
    b->queue_head = (b->queue_head + 1) % QUEUE_REPORTS;
    --b->queue_count;
    return TRUE;
}

/* Ends the held read: the board is going away. */
static void release_read(BOARD *b)
{
    KIRQL irql;
    PIRP irp;
    KeAcquireSpinLock(&lock, &irql);
    b->removed = TRUE;
    irp = b->held_read;
    b->held_read = NULL;
    KeReleaseSpinLock(&lock, irql);
    if (irp) {
        complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    }
}

static void forget_board(BOARD *b)
{
    KIRQL irql;
    ULONG i;
    KeAcquireSpinLock(&lock, &irql);
    for (i = 0; i < board_count && boards[i] != b; ++i) { }
    if (i < board_count) {
        for (; i + 1 < board_count; ++i) {
            boards[i] = boards[i + 1];
        }
        boards[--board_count] = NULL;
    }
    KeReleaseSpinLock(&lock, irql);
}

static NTSTATUS write_report(BOARD *b, PIRP irp)
{
    XFER_PACKET *packet = irp->UserBuffer;
    UCHAR answer[REPORT_BYTES];
    ULONG n = packet->reportBufferLen, i;
    PIRP read = NULL;
    KIRQL irql;
    UCHAR command = n > 0 ? packet->reportBuffer[0] : 0;
    UCHAR data = n > 1 ? packet->reportBuffer[1] : 0;

    RtlZeroMemory(answer, sizeof answer);
    KeAcquireSpinLock(&lock, &irql);
    if (b->removed) {
        KeReleaseSpinLock(&lock, irql);
        return complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    }
    {
        UCHAR *entry = b->log[b->outputs % VBOARD_LOG_REPORTS];
        RtlZeroMemory(entry, VBOARD_LOG_BYTES);
        for (i = 0; i < n && i < VBOARD_LOG_BYTES; ++i) {
            entry[i] = packet->reportBuffer[i];
        }
        ++b->outputs;
    }
    answer[0] = command;
    answer[1] = usbio_board_take(&b->ports, command, data);
    if (!b->stalled && b->input_length > 1) {
        if (b->held_read) {
            read = b->held_read;
            b->held_read = NULL;
            copy_bytes(read->UserBuffer, answer, b->input_length - 1);
        } else {
            queue_report(b, answer);
        }
    }
    KeReleaseSpinLock(&lock, irql);
    if (read) {
        complete(read, STATUS_SUCCESS, b->input_length - 1);
    }
    /* Wine's hidclass hands this count to WriteFile: the whole report, its
     * report-ID byte included, as Windows reports it. */
    return complete(irp, STATUS_SUCCESS, n + (packet->reportId ? 0 : 1));
}

static NTSTATUS read_report(BOARD *b, PIRP irp, ULONG length)
{
    KIRQL irql;
    /* A board without input reports holds the read until it goes. */
    if (b->input_length >= 2 && length < (ULONG)(b->input_length - 1)) {
        return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    }
    KeAcquireSpinLock(&lock, &irql);
    if (b->removed) {
        KeReleaseSpinLock(&lock, irql);
        return complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    }
    if (b->input_length >= 2 && take_report(b, irp->UserBuffer)) {
        KeReleaseSpinLock(&lock, irql);
        return complete(irp, STATUS_SUCCESS, b->input_length - 1);
    }
    if (b->held_read) {
        KeReleaseSpinLock(&lock, irql);
        return complete(irp, STATUS_DEVICE_BUSY, 0);
    }
    /* Held until there is a report: completing it empty would make hidclass's
     * read loop spin. Only that loop sends it, and removal ends it. */
    IoMarkIrpPending(irp);
    b->held_read = irp;
    KeReleaseSpinLock(&lock, irql);
    return STATUS_PENDING;
}

static NTSTATUS get_string(PIRP irp, ULONG id, ULONG length)
{
    static const WCHAR manufacturer[] = WIDE(USBIO_BOARD_MANUFACTURER);
    static const WCHAR product[] = WIDE(USBIO_BOARD_PRODUCT);
    static const WCHAR serial[] = L"0001";
    const WCHAR *s;
    ULONG bytes;
    /* Wine numbers the strings 1 to 3, Windows 14 to 16 (HID_STRING_ID_*). */
    if (id == 1 || id == 14) {
        s = manufacturer;
    } else if (id == 2 || id == 15) {
        s = product;
    } else if (id == 3 || id == 16) {
        s = serial;
    } else {
        return complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    bytes = (wide_length(s) + 1) * sizeof(WCHAR);
    if (length < bytes) {
        return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    }
    copy_bytes(irp->UserBuffer, s, bytes);
    return complete(irp, STATUS_SUCCESS, bytes);
}

static NTSTATUS NTAPI hid_request(PDEVICE_OBJECT fdo, PIRP irp)
{
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    ULONG length = stack->Parameters.DeviceIoControl.OutputBufferLength;
    BOARD *b;

    if (fdo == control_device) {
        return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
    b = board_of(fdo);
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case HID_GET_DEVICE_DESCRIPTOR: {
        HID_DESCRIPTOR_BLOCK d = { sizeof d, 0x21, 0x0111, 0, 1, 0x22,
            (USHORT)b->descriptor_length };
        if (length < sizeof d) {
            return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        }
        copy_bytes(irp->UserBuffer, &d, sizeof d);
        return complete(irp, STATUS_SUCCESS, sizeof d);
    }
    case HID_GET_REPORT_DESCRIPTOR:
        if (length < b->descriptor_length) {
            return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        }
        copy_bytes(irp->UserBuffer, b->descriptor, b->descriptor_length);
        return complete(irp, STATUS_SUCCESS, b->descriptor_length);
    case HID_GET_DEVICE_ATTRIBUTES: {
        DEVICE_ATTRIBUTES *a = irp->UserBuffer;
        if (length < sizeof *a) {
            return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        }
        RtlZeroMemory(a, sizeof *a);
        a->Size = sizeof *a;
        a->VendorID = b->vendor_id;
        a->ProductID = b->product_id;
        a->VersionNumber = USBIO_BOARD_VERSION;
        return complete(irp, STATUS_SUCCESS, sizeof *a);
    }
    case HID_GET_STRING:
        return get_string(irp,
            (ULONG)(ULONG_PTR)stack->Parameters.DeviceIoControl.Type3InputBuffer & 0xFFFF, length);
    case HID_WRITE_REPORT:
        return write_report(b, irp);
    case HID_READ_REPORT:
        return read_report(b, irp, length);
    case HID_ACTIVATE_DEVICE:
    case HID_DEACTIVATE_DEVICE:
        return complete(irp, STATUS_SUCCESS, 0);
    default:
        return complete(irp, STATUS_NOT_SUPPORTED, 0);
    }
}

/* ---- the control device ---- */

static void describe(const BOARD *b, struct vboard_info *info)
{
    ULONG i, first, kept;
    RtlZeroMemory(info, sizeof *info);
    copy_bytes(info->instance, b->instance, sizeof info->instance);
    info->vendor_id = b->vendor_id;
    info->product_id = b->product_id;
    info->input_length = b->input_length;
    info->output_length = b->output_length;
    info->port0 = b->ports.port0;
    info->port1 = b->ports.port1;
    info->stalled = b->stalled;
    info->outputs = b->outputs;
    kept = b->outputs < VBOARD_LOG_REPORTS ? b->outputs : VBOARD_LOG_REPORTS;
    first = b->outputs - kept;
    for (i = 0; i < kept; ++i) {
        copy_bytes(info->log[i], b->log[(first + i) % VBOARD_LOG_REPORTS], VBOARD_LOG_BYTES);
    }
}

static NTSTATUS control_request(PIRP irp)
{
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    ULONG in = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG out = stack->Parameters.DeviceIoControl.OutputBufferLength;
    void *buffer = irp->AssociatedIrp.SystemBuffer;
    KIRQL irql;
    ULONG i;

    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case VBOARD_IOCTL_LIST: {
        struct vboard_info *infos = buffer;
        ULONG n = 0;
        KeAcquireSpinLock(&lock, &irql);
        if (out < board_count * sizeof *infos) {
            KeReleaseSpinLock(&lock, irql);
            return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        }
        for (i = 0; i < board_count; ++i) {
            if (!boards[i]->removed) {
                describe(boards[i], &infos[n++]);
            }
        }
        KeReleaseSpinLock(&lock, irql);
        return complete(irp, STATUS_SUCCESS, n * sizeof *infos);
    }
    case VBOARD_IOCTL_SET: {
        struct vboard_set *set = buffer;
        NTSTATUS status = STATUS_NO_SUCH_DEVICE;
        if (in < sizeof *set) {
            return complete(irp, STATUS_INVALID_PARAMETER, 0);
        }
        set->instance[VBOARD_ID_CHARS - 1] = 0;
        KeAcquireSpinLock(&lock, &irql);
        for (i = 0; i < board_count; ++i) {
            BOARD *b = boards[i];
            if (b->removed || !same_text(b->instance, set->instance)) {
                continue;
            }
            if (set->what & VBOARD_SET_PORT0) {
                b->ports.port0 = set->port0;
            }
            if (set->what & VBOARD_SET_STALL) {
                b->stalled = set->stalled != 0;
            }
            status = STATUS_SUCCESS;
            break;
        }
        KeReleaseSpinLock(&lock, irql);
        return complete(irp, status, 0);
    }
    default:
        return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

/* hidclass owns these dispatchers for the boards' devices; the control
 * device's requests are ours. */
static NTSTATUS NTAPI dispatch_create(PDEVICE_OBJECT device, PIRP irp)
{
    return device == control_device ? complete(irp, STATUS_SUCCESS, 0) : hid_create(device, irp);
}

static NTSTATUS NTAPI dispatch_close(PDEVICE_OBJECT device, PIRP irp)
{
    return device == control_device ? complete(irp, STATUS_SUCCESS, 0) : hid_close(device, irp);
}

static NTSTATUS NTAPI dispatch_ioctl(PDEVICE_OBJECT device, PIRP irp)
{
    return device == control_device ? control_request(irp) : hid_ioctl(device, irp);
}

/* ---- Plug and Play ---- */

static NTSTATUS NTAPI board_pnp(PDEVICE_OBJECT fdo, PIRP irp)
{
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    BOARD *b;

    if (fdo == control_device) {
        return complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
    }
    b = board_of(fdo);

    switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    case IRP_MN_SURPRISE_REMOVAL:
        /* hidclass's read loop must end, or the removal waits for it forever. */
        release_read(b);
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    case IRP_MN_REMOVE_DEVICE:
        release_read(b);
        forget_board(b);
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    default:
        break;
    }
    /* The root PDO below completes every request at once. */
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(lower_of(fdo), irp);
}

static NTSTATUS NTAPI board_power(PDEVICE_OBJECT fdo, PIRP irp)
{
    PoStartNextPowerIrp(irp);
    if (fdo == control_device) {
        return complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
    }
    IoSkipCurrentIrpStackLocation(irp);
    return PoCallDriver(lower_of(fdo), irp);
}

static ULONG bounded_length(ULONG length)
{
    return length > USBIO_BOARD_MAX_REPORT_LENGTH ? USBIO_BOARD_REPORT_LENGTH : length;
}

/* hidclass made the FDO; the board's state lives in its extension. */
static NTSTATUS NTAPI add_board(PDRIVER_OBJECT driver, PDEVICE_OBJECT fdo)
{
    BOARD *b = board_of(fdo);
    PDEVICE_OBJECT pdo = ((HID_EXTENSION *)fdo->DeviceExtension)->PhysicalDeviceObject;
    WCHAR *device_id = NULL, *instance_id = NULL;
    NTSTATUS status;
    KIRQL irql;
    ULONG n;
    (void)driver;

    RtlZeroMemory(b, sizeof *b);
    status = query_id(pdo, BusQueryDeviceID, &device_id);
    if (NT_SUCCESS(status)) {
        status = query_id(pdo, BusQueryInstanceID, &instance_id);
    }
    if (!NT_SUCCESS(status)) {
        if (device_id) {
            ExFreePool(device_id);
        }
        return status;
    }
    b->vendor_id = (USHORT)id_field(device_id, L"VID_", 16, USBIO_BOARD_VENDOR_ID);
    b->product_id = (USHORT)id_field(device_id, L"PID_", 16, USBIO_BOARD_PRODUCT_ID);
    b->input_length =
        (USHORT)bounded_length(id_field(device_id, L"IN_", 10, USBIO_BOARD_REPORT_LENGTH));
    b->output_length =
        (USHORT)bounded_length(id_field(device_id, L"OUT_", 10, USBIO_BOARD_REPORT_LENGTH));
    b->descriptor_length = usbio_board_descriptor(b->input_length, b->output_length, b->descriptor);
    n = wide_length(device_id);
    if (n + 1 + wide_length(instance_id) < VBOARD_ID_CHARS) {
        copy_bytes(b->instance, device_id, n * sizeof(WCHAR));
        b->instance[n] = '\\';
        copy_bytes(
            b->instance + n + 1, instance_id, (wide_length(instance_id) + 1) * sizeof(WCHAR));
    }
    ExFreePool(device_id);
    ExFreePool(instance_id);

    KeAcquireSpinLock(&lock, &irql);
    if (board_count == VBOARD_MAX_BOARDS) {
        KeReleaseSpinLock(&lock, irql);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    boards[board_count++] = b;
    KeReleaseSpinLock(&lock, irql);
    return STATUS_SUCCESS;
}

static void NTAPI unload(PDRIVER_OBJECT driver)
{
    UNICODE_STRING link;
    (void)driver;
    RtlInitUnicodeString(&link, VBOARD_CONTROL_LINK);
    IoDeleteSymbolicLink(&link);
    if (control_device) {
        IoDeleteDevice(control_device);
        control_device = NULL;
    }
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry)
{
    MINIDRIVER_REGISTRATION registration;
    UNICODE_STRING name, link;
    NTSTATUS status;

    KeInitializeSpinLock(&lock);
    driver->DriverExtension->AddDevice = add_board;
    driver->DriverUnload = unload;
    driver->MajorFunction[IRP_MJ_PNP] = board_pnp;
    driver->MajorFunction[IRP_MJ_POWER] = board_power;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = hid_request;

    RtlZeroMemory(&registration, sizeof registration);
    registration.Revision = 1;
    registration.DriverObject = driver;
    registration.RegistryPath = registry;
    registration.DeviceExtensionSize = sizeof(BOARD);
    registration.DevicesArePolled = FALSE;
    status = HidRegisterMinidriver(&registration);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    hid_create = driver->MajorFunction[IRP_MJ_CREATE];
    hid_close = driver->MajorFunction[IRP_MJ_CLOSE];
    hid_ioctl = driver->MajorFunction[IRP_MJ_DEVICE_CONTROL];
    driver->MajorFunction[IRP_MJ_CREATE] = dispatch_create;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_close;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_ioctl;

    RtlInitUnicodeString(&name, VBOARD_CONTROL_DEVICE);
    RtlInitUnicodeString(&link, VBOARD_CONTROL_LINK);
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &control_device);
    if (NT_SUCCESS(status)) {
        status = IoCreateSymbolicLink(&link, &name);
        control_device->Flags &= ~DO_DEVICE_INITIALIZING;
    }
    /* Without the control device the boards still work; only their switches stay 0. */
    return STATUS_SUCCESS;
}
