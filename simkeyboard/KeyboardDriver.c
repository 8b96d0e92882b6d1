/* The simulated QX-310 keyboard's kernel driver, never shipped. It is the
 * function driver of the root-enumerated devices root\qxsimkbd\0 to \3, one
 * device interface of the keyboard each, and answers the device link's
 * command packets the way the keyboard would. A control device of its own
 * lets KeyboardSim queue key events, unplug the keyboard, inject faults and
 * delays and read the request log.
 *
 * Requests on one handle are served one at a time, in arrival order, as the
 * system serves a synchronous handle; Wine passes them all at once. */
#include <ntddk.h>

#include "KeyboardControl.h"

/* Declared in ntifs.h, which does not go with ntddk.h. */
NTSYSAPI NTSTATUS NTAPI ZwWaitForSingleObject(HANDLE handle, BOOLEAN alertable,
                                              PLARGE_INTEGER timeout);

#define POOL_TAG 0x6B73785Au /* "Zxsk" */
#define IOCTL_DEVICELINK 0x000B0008u
#define COMMAND_MARKER 254
#define CMD_POLL_EVENT 33
#define NO_COMMAND 0xFFFFFFFFu

static const GUID KEYBOARD_INTERFACE_GUID = {
    0xA9A19853, 0xB63B, 0x4DC4, {0xA6, 0x57, 0x0C, 0xF2, 0xDC, 0x44, 0xD9, 0xB2}};
/* One root device of the keyboard and its interface. */
typedef struct KEYBOARD_DEVICE {
    PDEVICE_OBJECT lower;
    UNICODE_STRING link;
    ULONG index; /* the device instance number: the interface's place */
    BOOLEAN enabled;
    BOOLEAN started;
} KEYBOARD_DEVICE;

typedef struct FAULT {
    ULONG error;
    ULONG remaining;
    ULONG command;
} FAULT;

/* One open handle of a keyboard device (its file object's FsContext). */
typedef struct CONNECTION {
    LIST_ENTRY entry; /* in g_state.connections */
    PDEVICE_OBJECT device;
    ULONG number;
    ULONG plugIn;
    PIRP current;       /* the request being answered or held */
    LIST_ENTRY waiting; /* requests behind it, in arrival order */
    NTSTATUS ended;     /* set at cleanup, unplug and remove: what later requests get */
    ULONG references;   /* the handle's and one per request not yet completed */
    QXSIM_REPLY taken;  /* the key event the held request took */
    BOOLEAN holdsTaken; /* it goes back to the queue if that request fails */
} CONNECTION;

/* All the keyboard's state, under one spin lock; the devices and their
 * interfaces under one passive-level lock of their own. */
typedef struct KEYBOARD_STATE {
    KSPIN_LOCK lock;
    KEVENT deviceLock; /* a synchronization event: signalled while free */
    PDEVICE_OBJECT control;
    PDEVICE_OBJECT keyboards[QXSIM_MAX_INTERFACES]; /* by index, once added */
    LIST_ENTRY connections;
    HANDLE holdThread; /* completes held requests when they are due */
    KEVENT holdWake;
    BOOLEAN unloading;
    BOOLEAN plugged;
    ULONG interfaces;
    ULONG plugIn; /* counts unplugs, so handles opened before one stay dead */
    ULONG lastConnection;
    ULONG open;
    ULONG inFlight; /* held */
    ULONG waiting;  /* behind another request of their handle */
    ULONGLONG requests;
    QXSIM_REPLY* replies; /* ring of QXSIM_MAX_QUEUED */
    ULONG firstReply;
    ULONG queued;
    FAULT faults[QXSIM_MAX_FAULTS];
    ULONG faultCount;
    ULONG delayMs;
    ULONG delayCommand;
    QXSIM_RECORD* log; /* ring of QXSIM_LOG_LIMIT */
    ULONG logNumber;   /* number of the newest record */
    ULONG logCount;
    ULONG logDropped;
} KEYBOARD_STATE;

static KEYBOARD_STATE g_state;

/* A held request keeps its answer and when it is due in the driver's part
 * of the IRP; the hold thread completes it then, or sooner when it ends. */
#define HELD_STATUS(irp) ((irp)->Tail.Overlay.DriverContext[0])
#define HELD_INFORMATION(irp) ((irp)->Tail.Overlay.DriverContext[1])
#define HELD_DUE(irp) ((irp)->Tail.Overlay.DriverContext[2]) /* 0: not held */
/* Wine closes a file object, and frees it, while requests on it are still
 * pending; so each request keeps its connection itself. */
#define REQUEST_CONNECTION(irp) ((irp)->Tail.Overlay.DriverContext[3])

/* The status whose Win32 error, as the system maps it, is the one asked for. */
static NTSTATUS StatusForError(ULONG error) {
    switch (error) {
    case 0:
        return STATUS_SUCCESS;
    case 1:
        return STATUS_INVALID_DEVICE_REQUEST;
    case 5:
        return STATUS_ACCESS_DENIED;
    case 6:
        return STATUS_INVALID_HANDLE;
    case 21:
        return STATUS_DEVICE_NOT_READY;
    case 31:
        return STATUS_UNSUCCESSFUL;
    case 87:
        return STATUS_INVALID_PARAMETER;
    case 121:
        return STATUS_IO_TIMEOUT;
    case 995:
        return STATUS_CANCELLED;
    case 1117:
        return STATUS_IO_DEVICE_ERROR;
    case 1167:
        return STATUS_DEVICE_NOT_CONNECTED;
    default:
        return (NTSTATUS)(0xC0070000u | (error & 0xFFFFu)); /* a Win32 error as a status */
    }
}

/* An error status hands no bytes back to the caller; a reply that carries
 * bytes and an error completes with the error as a warning, which does. */
static NTSTATUS ReplyStatus(ULONG error, ULONG_PTR returned) {
    if (error != 0 && returned > 0)
        return (NTSTATUS)(0x80070000u | (error & 0xFFFFu));
    return StatusForError(error);
}

static QXSIM_RECORD* NewRecord(ULONG kind, ULONG connection) {
    ULONG slot;
    QXSIM_RECORD* record;
    if (g_state.logCount == QXSIM_LOG_LIMIT) {
        ++g_state.logDropped;
        --g_state.logCount;
    }
    ++g_state.logNumber;
    ++g_state.logCount;
    slot = g_state.logNumber % QXSIM_LOG_LIMIT;
    record = &g_state.log[slot];
    RtlZeroMemory(record, sizeof *record);
    record->number = g_state.logNumber;
    record->kind = kind;
    record->connection = connection;
    return record;
}

static BOOLEAN TakeFault(ULONG command, ULONG* error) {
    ULONG i;
    for (i = 0; i < g_state.faultCount; ++i) {
        FAULT* fault = &g_state.faults[i];
        if (fault->command != QXSIM_ANY_COMMAND && fault->command != command)
            continue;
        *error = fault->error;
        if (--fault->remaining == 0) {
            RtlMoveMemory(fault, fault + 1, (g_state.faultCount - i - 1) * sizeof *fault);
            --g_state.faultCount;
        }
        return TRUE;
    }
    return FALSE;
}

/* Answers one command packet under the lock: the Win32 error (0 for
 * success), the reply written to out, and the bytes returned. */
static ULONG AnswerPacket(ULONG connectionPlugIn, ULONG controlCode, const UCHAR* input,
                          ULONG command, UCHAR* out, ULONG outSize, ULONG* returned,
                          QXSIM_REPLY* taken) {
    ULONG error = 0;
    *returned = 0;
    if (!g_state.plugged || connectionPlugIn != g_state.plugIn)
        return 1167;
    if (TakeFault(command, &error))
        return error;
    if (controlCode != IOCTL_DEVICELINK)
        return 1;
    if (command == NO_COMMAND || input[0] != COMMAND_MARKER || input[1] != 0 || input[2] != 0)
        return 87;
    if (command == CMD_POLL_EVENT && g_state.queued > 0) {
        const QXSIM_REPLY* reply = &g_state.replies[g_state.firstReply];
        ULONG length = reply->length < outSize ? reply->length : outSize;
        RtlCopyMemory(out, reply->bytes, length);
        *returned = length;
        error = reply->error;
        *taken = *reply;
        g_state.firstReply = (g_state.firstReply + 1) % QXSIM_MAX_QUEUED;
        --g_state.queued;
    }
    return error;
}

static VOID CompleteRequest(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

static CONNECTION* ConnectionOf(PIRP irp) {
    return (CONNECTION*)REQUEST_CONNECTION(irp);
}

/* Under the lock: drops one reference; a closed connection goes with its
 * last request. TRUE when it is to be freed. */
static BOOLEAN Dereference(CONNECTION* connection) {
    if (--connection->references > 0)
        return FALSE;
    RemoveEntryList(&connection->entry);
    return TRUE;
}

/* Under the lock: the key event a held request took goes back to the front
 * of the queue when the request fails. */
static VOID ReturnTakenReply(CONNECTION* connection) {
    if (!connection->holdsTaken)
        return;
    connection->holdsTaken = FALSE;
    if (g_state.queued == QXSIM_MAX_QUEUED)
        return;
    g_state.firstReply = (g_state.firstReply + QXSIM_MAX_QUEUED - 1) % QXSIM_MAX_QUEUED;
    g_state.replies[g_state.firstReply] = connection->taken;
    ++g_state.queued;
}

static VOID FreeConnection(CONNECTION* connection, BOOLEAN finished) {
    if (finished)
        ExFreePoolWithTag(connection, POOL_TAG);
}

static LONGLONG Now(LONGLONG* ticksPerSecond) {
    LARGE_INTEGER frequency;
    const LARGE_INTEGER now = KeQueryPerformanceCounter(&frequency);
    *ticksPerSecond = frequency.QuadPart;
    return now.QuadPart;
}

/* Under the lock: makes the first waiting request the connection's current
 * one when none is, and returns it. A waiting request whose cancel routine
 * already runs is left to it. */
static PIRP TakeTurn(CONNECTION* connection) {
    if (connection->current)
        return NULL;
    while (!IsListEmpty(&connection->waiting)) {
        PLIST_ENTRY entry = RemoveHeadList(&connection->waiting);
        PIRP irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        InitializeListHead(entry); /* the cancel routine's removal finds nothing */
        --g_state.waiting;
        if (IoSetCancelRoutine(irp, NULL)) {
            connection->current = irp;
            return irp;
        }
    }
    return NULL;
}

static VOID ReleaseHold(PIRP irp) {
    HELD_DUE(irp) = NULL;
    --g_state.inFlight;
}

static VOID ServeInTurn(PIRP irp);

/* A held or waiting request cancelled: completed here, and the next one of
 * its handle served. */
static VOID CancelRequest(PDEVICE_OBJECT deviceObject, PIRP irp) {
    CONNECTION* connection = ConnectionOf(irp);
    PIRP next = NULL;
    BOOLEAN finished;
    KIRQL irql;
    (void)deviceObject;
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KeAcquireSpinLock(&g_state.lock, &irql);
    if (connection->current == irp) {
        ReturnTakenReply(connection);
        ReleaseHold(irp);
        connection->current = NULL;
        next = TakeTurn(connection);
    } else if (!IsListEmpty(&irp->Tail.Overlay.ListEntry)) {
        RemoveEntryList(&irp->Tail.Overlay.ListEntry);
        --g_state.waiting;
    }
    finished = Dereference(connection);
    KeReleaseSpinLock(&g_state.lock, irql);
    FreeConnection(connection, finished);
    CompleteRequest(irp, STATUS_CANCELLED, 0);
    ServeInTurn(next);
}

/* Under the lock: holds the connection's current request until delayMs
 * have passed, cancellable meanwhile. FALSE when it is cancelled already. */
static BOOLEAN Hold(PIRP irp, NTSTATUS status, ULONG_PTR information, ULONG delayMs) {
    LONGLONG ticksPerSecond;
    const LONGLONG now = Now(&ticksPerSecond);
    HELD_STATUS(irp) = (PVOID)(LONG_PTR)status;
    HELD_INFORMATION(irp) = (PVOID)information;
    HELD_DUE(irp) = (PVOID)(LONG_PTR)(now + (LONGLONG)delayMs * ticksPerSecond / 1000);
    ++g_state.inFlight;
    IoSetCancelRoutine(irp, CancelRequest);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL)) {
        ReleaseHold(irp);
        return FALSE;
    }
    return TRUE;
}

/* Answers one command packet of the connection and logs it: the status, the
 * bytes written to the caller's buffer and the delay that applies. */
static NTSTATUS Answer(PIRP irp, CONNECTION* connection, ULONG_PTR* information, ULONG* delayMs) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG controlCode = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG inputLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    UCHAR* buffer = (UCHAR*)irp->AssociatedIrp.SystemBuffer;
    UCHAR input[QXSIM_PACKET_SIZE];
    UCHAR reply[QXSIM_PACKET_SIZE];
    ULONG command, error, returned;
    QXSIM_RECORD* record;
    QXSIM_REPLY taken;
    KIRQL irql;

    *information = 0;
    taken.length = 0;
    *delayMs = 0;
    if (inputLength > QXSIM_PACKET_SIZE)
        inputLength = QXSIM_PACKET_SIZE;
    if (inputLength > 0 && buffer)
        RtlCopyMemory(input, buffer, inputLength);
    else
        inputLength = 0;
    command = inputLength >= 4 ? input[3] : NO_COMMAND;

    KeAcquireSpinLock(&g_state.lock, &irql);
    if (connection->ended != STATUS_SUCCESS) {
        KeReleaseSpinLock(&g_state.lock, irql);
        return connection->ended;
    }
    ++g_state.requests;
    error =
        AnswerPacket(connection->plugIn, controlCode, input, command, reply,
                     outSize < QXSIM_PACKET_SIZE ? outSize : QXSIM_PACKET_SIZE, &returned, &taken);
    if (g_state.delayCommand == QXSIM_ANY_COMMAND || g_state.delayCommand == command)
        *delayMs = g_state.delayMs;
    connection->taken = taken;
    connection->holdsTaken = *delayMs > 0 && returned > 0;
    record = NewRecord(QXSIM_RECORD_REQUEST, connection->number);
    record->controlCode = controlCode;
    record->inputLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    record->replySize = outSize;
    record->succeeded = error == 0;
    record->error = error;
    record->returned = returned;
    RtlCopyMemory(record->input, input, inputLength);
    RtlCopyMemory(record->reply, reply, returned);
    KeReleaseSpinLock(&g_state.lock, irql);

    if (returned > 0 && buffer) {
        RtlCopyMemory(buffer, reply, returned);
        *information = returned;
    }
    return ReplyStatus(error, *information);
}

/* Answers the connection's current request: completes it, or holds it while
 * a delay applies. Returns the request of the handle to serve next. */
static PIRP Serve(PIRP irp) {
    CONNECTION* connection = ConnectionOf(irp);
    ULONG_PTR information;
    ULONG delayMs;
    NTSTATUS status = Answer(irp, connection, &information, &delayMs);
    PIRP next;
    BOOLEAN finished;
    KIRQL irql;
    KeAcquireSpinLock(&g_state.lock, &irql);
    if (delayMs > 0 && connection->ended == STATUS_SUCCESS) {
        if (Hold(irp, status, information, delayMs)) {
            KeReleaseSpinLock(&g_state.lock, irql);
            KeSetEvent(&g_state.holdWake, IO_NO_INCREMENT, FALSE);
            return NULL;
        }
        status = STATUS_CANCELLED;
        information = 0;
    }
    if (connection->ended != STATUS_SUCCESS) {
        status = connection->ended;
        information = 0;
    }
    if (status == STATUS_CANCELLED || connection->ended != STATUS_SUCCESS)
        ReturnTakenReply(connection);
    connection->holdsTaken = FALSE;
    connection->current = NULL;
    next = TakeTurn(connection);
    finished = Dereference(connection);
    KeReleaseSpinLock(&g_state.lock, irql);
    FreeConnection(connection, finished);
    CompleteRequest(irp, status, information);
    return next;
}

static VOID ServeInTurn(PIRP irp) {
    while (irp)
        irp = Serve(irp);
}

/* A keyboard request waits behind the requests of its handle before it. */
static NTSTATUS KeyboardRequest(PIRP irp) {
    const PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    CONNECTION* connection = file ? (CONNECTION*)file->FsContext : NULL;
    PIRP next;
    BOOLEAN finished;
    KIRQL irql;
    /* A request built in kernel mode has no handle, and so no connection. */
    if (!connection) {
        CompleteRequest(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    REQUEST_CONNECTION(irp) = connection;
    IoMarkIrpPending(irp);
    KeAcquireSpinLock(&g_state.lock, &irql);
    ++connection->references;
    IoSetCancelRoutine(irp, CancelRequest);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL)) {
        finished = Dereference(connection);
        KeReleaseSpinLock(&g_state.lock, irql);
        FreeConnection(connection, finished);
        CompleteRequest(irp, STATUS_CANCELLED, 0);
        return STATUS_PENDING;
    }
    InsertTailList(&connection->waiting, &irp->Tail.Overlay.ListEntry);
    ++g_state.waiting;
    next = TakeTurn(connection);
    KeReleaseSpinLock(&g_state.lock, irql);
    ServeInTurn(next);
    return STATUS_PENDING;
}

/* Under the lock: ends the hold of one request that is due, returning it
 * with its answer and the request of its handle to serve next; otherwise
 * lowers *waitTicks to the time until the next one is due. */
static PIRP TakeDueRequest(NTSTATUS* status, ULONG_PTR* information, PIRP* next,
                           CONNECTION** finished, LONGLONG* waitTicks) {
    LONGLONG ticksPerSecond;
    const LONGLONG now = Now(&ticksPerSecond);
    PLIST_ENTRY entry;
    for (entry = g_state.connections.Flink; entry != &g_state.connections; entry = entry->Flink) {
        CONNECTION* connection = CONTAINING_RECORD(entry, CONNECTION, entry);
        PIRP irp = connection->current;
        LONGLONG due;
        if (!irp || !HELD_DUE(irp))
            continue;
        due = (LONGLONG)(LONG_PTR)HELD_DUE(irp);
        if (due > now) {
            if (due - now < *waitTicks)
                *waitTicks = due - now;
        } else if (IoSetCancelRoutine(irp, NULL)) {
            *status = (NTSTATUS)(LONG_PTR)HELD_STATUS(irp);
            *information = (ULONG_PTR)HELD_INFORMATION(irp);
            connection->holdsTaken = FALSE;
            ReleaseHold(irp);
            connection->current = NULL;
            *next = TakeTurn(connection);
            *finished = Dereference(connection) ? connection : NULL;
            return irp;
        }
    }
    return NULL;
}

/* Completes held requests as they fall due, until the driver unloads and
 * none is held any more. */
static VOID HoldThread(PVOID context) {
    (void)context;
    for (;;) {
        LONGLONG ticksPerSecond, waitTicks;
        LARGE_INTEGER timeout;
        NTSTATUS status = STATUS_SUCCESS;
        ULONG_PTR information = 0;
        PIRP due, next = NULL;
        CONNECTION* finished = NULL;
        BOOLEAN done;
        KIRQL irql;
        Now(&ticksPerSecond);
        waitTicks = ticksPerSecond; /* a second at most */
        KeAcquireSpinLock(&g_state.lock, &irql);
        due = TakeDueRequest(&status, &information, &next, &finished, &waitTicks);
        done = !due && g_state.unloading && g_state.inFlight == 0;
        KeReleaseSpinLock(&g_state.lock, irql);
        if (due) {
            FreeConnection(finished, finished != NULL);
            CompleteRequest(due, status, information);
            ServeInTurn(next);
            continue;
        }
        if (done)
            break;
        timeout.QuadPart = -(waitTicks * 10000000 / ticksPerSecond) - 1;
        KeWaitForSingleObject(&g_state.holdWake, Executive, KernelMode, FALSE, &timeout);
    }
    PsTerminateSystemThread(STATUS_SUCCESS);
}

/* Under the lock: makes the connection's held request due at once. With an
 * error status it fails with it, and so do the handle's later requests; with
 * STATUS_SUCCESS it keeps its answer. */
static VOID EndHeldRequest(CONNECTION* connection, NTSTATUS status) {
    PIRP held = connection->current;
    if (status != STATUS_SUCCESS && connection->ended == STATUS_SUCCESS)
        connection->ended = status;
    if (!held || !HELD_DUE(held))
        return;
    HELD_DUE(held) = (PVOID)1;
    if (status != STATUS_SUCCESS) {
        HELD_STATUS(held) = (PVOID)(LONG_PTR)status;
        HELD_INFORMATION(held) = NULL;
        ReturnTakenReply(connection);
    }
}

/* Under the lock: ends the holds of one connection, of a device's
 * connections or of all (both null). */
static VOID EndHoldsLocked(CONNECTION* only, PDEVICE_OBJECT device, NTSTATUS status) {
    PLIST_ENTRY entry;
    for (entry = g_state.connections.Flink; entry != &g_state.connections; entry = entry->Flink) {
        CONNECTION* connection = CONTAINING_RECORD(entry, CONNECTION, entry);
        if ((!only || connection == only) && (!device || connection->device == device))
            EndHeldRequest(connection, status);
    }
}

static VOID EndHolds(CONNECTION* only, PDEVICE_OBJECT device, NTSTATUS status) {
    KIRQL irql;
    KeAcquireSpinLock(&g_state.lock, &irql);
    EndHoldsLocked(only, device, status);
    KeReleaseSpinLock(&g_state.lock, irql);
    KeSetEvent(&g_state.holdWake, IO_NO_INCREMENT, FALSE);
}

/* The passive-level lock of the devices, their interfaces and keyboards[]. */
static VOID LockDevices(void) {
    KeWaitForSingleObject(&g_state.deviceLock, Executive, KernelMode, FALSE, NULL);
}

static VOID UnlockDevices(void) {
    KeSetEvent(&g_state.deviceLock, IO_NO_INCREMENT, FALSE);
}

/* Under the device lock. */
static VOID SetInterfaceStates(void) {
    ULONG i, wanted;
    KIRQL irql;
    KeAcquireSpinLock(&g_state.lock, &irql);
    wanted = g_state.plugged ? g_state.interfaces : 0;
    KeReleaseSpinLock(&g_state.lock, irql);
    for (i = 0; i < QXSIM_MAX_INTERFACES; ++i) {
        KEYBOARD_DEVICE* device;
        BOOLEAN enable;
        if (!g_state.keyboards[i])
            continue;
        device = (KEYBOARD_DEVICE*)g_state.keyboards[i]->DeviceExtension;
        enable = device->started && i < wanted;
        if (device->enabled != enable &&
            NT_SUCCESS(IoSetDeviceInterfaceState(&device->link, enable)))
            device->enabled = enable;
    }
}

static VOID ApplySetting(const QXSIM_SETTING* setting) {
    KIRQL irql;
    KeAcquireSpinLock(&g_state.lock, &irql);
    switch (setting->kind) {
    case QXSIM_UNPLUG:
        /* A surprise removal: every handle opened before is dead, its held
         * request ends with 1167, and the keyboard's own buffer goes. */
        if (g_state.plugged)
            ++g_state.plugIn;
        g_state.plugged = FALSE;
        EndHoldsLocked(NULL, NULL, STATUS_DEVICE_NOT_CONNECTED);
        g_state.queued = 0;
        break;
    case QXSIM_PLUG:
        g_state.plugged = TRUE;
        break;
    case QXSIM_INTERFACES:
        g_state.interfaces =
            setting->number < QXSIM_MAX_INTERFACES ? setting->number : QXSIM_MAX_INTERFACES;
        break;
    case QXSIM_FAULT:
        if (setting->count > 0 && g_state.faultCount < QXSIM_MAX_FAULTS) {
            FAULT* fault = &g_state.faults[g_state.faultCount++];
            fault->error = setting->number;
            fault->remaining = setting->count;
            fault->command = setting->command;
        }
        break;
    case QXSIM_DELAY:
        g_state.delayMs =
            setting->number < QXSIM_MAX_DELAY_MS ? setting->number : QXSIM_MAX_DELAY_MS;
        g_state.delayCommand = setting->command;
        break;
    case QXSIM_RESET:
        if (!g_state.plugged)
            ++g_state.plugIn;
        g_state.plugged = TRUE;
        g_state.interfaces = 1;
        g_state.queued = 0;
        g_state.faultCount = 0;
        g_state.delayMs = 0;
        g_state.delayCommand = QXSIM_ANY_COMMAND;
        g_state.logCount = 0;
        g_state.logDropped = 0;
        break;
    case QXSIM_CLEAR:
        g_state.logCount = 0;
        g_state.logDropped = 0;
        break;
    }
    KeReleaseSpinLock(&g_state.lock, irql);
    if (setting->kind == QXSIM_RESET)
        EndHolds(NULL, NULL, STATUS_SUCCESS);
    if (setting->kind == QXSIM_UNPLUG)
        KeSetEvent(&g_state.holdWake, IO_NO_INCREMENT, FALSE);
    LockDevices();
    SetInterfaceStates();
    UnlockDevices();
}

static BOOLEAN QueueReply(const QXSIM_REPLY* reply) {
    BOOLEAN queued = FALSE;
    KIRQL irql;
    KeAcquireSpinLock(&g_state.lock, &irql);
    if (g_state.queued < QXSIM_MAX_QUEUED) {
        QXSIM_REPLY* slot =
            &g_state.replies[(g_state.firstReply + g_state.queued) % QXSIM_MAX_QUEUED];
        *slot = *reply;
        if (slot->length > QXSIM_PACKET_SIZE)
            slot->length = QXSIM_PACKET_SIZE;
        ++g_state.queued;
        queued = TRUE;
    }
    KeReleaseSpinLock(&g_state.lock, irql);
    return queued;
}

static VOID ReadStatus(QXSIM_STATUS* status) {
    KIRQL irql;
    RtlZeroMemory(status, sizeof *status);
    KeAcquireSpinLock(&g_state.lock, &irql);
    status->plugged = g_state.plugged;
    status->interfaces = g_state.interfaces;
    status->queued = g_state.queued;
    status->open = g_state.open;
    status->inFlight = g_state.inFlight;
    status->waiting = g_state.waiting;
    status->faults = g_state.faultCount;
    status->delayMs = g_state.delayMs;
    status->requests = g_state.requests;
    KeReleaseSpinLock(&g_state.lock, irql);
}

/* Copies the records from number `from` on that fit into the output. */
static ULONG_PTR ReadLog(ULONG from, UCHAR* out, ULONG outSize) {
    QXSIM_LOG_HEADER* header = (QXSIM_LOG_HEADER*)out;
    QXSIM_RECORD* records = (QXSIM_RECORD*)(header + 1);
    ULONG room, oldest, number;
    KIRQL irql;
    if (outSize < sizeof *header)
        return 0;
    room = (outSize - sizeof *header) / sizeof(QXSIM_RECORD);
    header->count = 0;
    KeAcquireSpinLock(&g_state.lock, &irql);
    header->dropped = g_state.logDropped;
    oldest = g_state.logNumber - g_state.logCount + 1;
    for (number = from > oldest ? from : oldest;
         number <= g_state.logNumber && g_state.logCount > 0 && header->count < room; ++number)
        records[header->count++] = g_state.log[number % QXSIM_LOG_LIMIT];
    KeReleaseSpinLock(&g_state.lock, irql);
    return sizeof *header + header->count * sizeof(QXSIM_RECORD);
}

/* Sends keyboard 0 a poll built here, as another driver would send it: with
 * no file object. Its status goes to *result. */
static NTSTATUS SendRequestWithoutFileObject(NTSTATUS* result) {
    UCHAR input[4] = {COMMAND_MARKER, 0, 0, CMD_POLL_EVENT};
    UCHAR reply[4];
    IO_STATUS_BLOCK ioStatus;
    KEVENT done;
    PDEVICE_OBJECT keyboard;
    PIRP irp;
    NTSTATUS status;
    LockDevices();
    keyboard = g_state.keyboards[0];
    if (keyboard)
        ObReferenceObject(keyboard);
    UnlockDevices();
    if (!keyboard)
        return STATUS_NO_SUCH_DEVICE;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    irp = IoBuildDeviceIoControlRequest(IOCTL_DEVICELINK, keyboard, input, sizeof input, reply,
                                        sizeof reply, FALSE, &done, &ioStatus);
    if (irp) {
        status = IoCallDriver(keyboard, irp);
        if (status == STATUS_PENDING) {
            KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
            status = ioStatus.Status;
        }
        *result = status;
    }
    ObDereferenceObject(keyboard);
    return irp ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES;
}

static NTSTATUS ControlRequest(PIRP irp, PIO_STACK_LOCATION stack) {
    const ULONG inputLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    PVOID buffer = irp->AssociatedIrp.SystemBuffer;
    NTSTATUS status = STATUS_SUCCESS;
    ULONG_PTR information = 0;
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_QXSIM_QUEUE:
        if (inputLength < sizeof(QXSIM_REPLY))
            status = STATUS_INVALID_PARAMETER;
        else if (!QueueReply((const QXSIM_REPLY*)buffer))
            status = STATUS_INSUFFICIENT_RESOURCES;
        break;
    case IOCTL_QXSIM_SETTING:
        if (inputLength < sizeof(QXSIM_SETTING))
            status = STATUS_INVALID_PARAMETER;
        else
            ApplySetting((const QXSIM_SETTING*)buffer);
        break;
    case IOCTL_QXSIM_STATUS:
        if (outSize < sizeof(QXSIM_STATUS)) {
            status = STATUS_BUFFER_TOO_SMALL;
        } else {
            ReadStatus((QXSIM_STATUS*)buffer);
            information = sizeof(QXSIM_STATUS);
        }
        break;
    case IOCTL_QXSIM_LOG:
        if (inputLength < sizeof(ULONG) || outSize < sizeof(QXSIM_LOG_HEADER))
            status = STATUS_INVALID_PARAMETER;
        else
            information = ReadLog(*(const ULONG*)buffer, (UCHAR*)buffer, outSize);
        break;
    case IOCTL_QXSIM_BARE_REQUEST:
        if (outSize < sizeof(NTSTATUS)) {
            status = STATUS_BUFFER_TOO_SMALL;
        } else {
            status = SendRequestWithoutFileObject((NTSTATUS*)buffer);
            information = NT_SUCCESS(status) ? sizeof(NTSTATUS) : 0;
        }
        break;
    default:
        status = STATUS_INVALID_DEVICE_REQUEST;
    }
    CompleteRequest(irp, status, information);
    return status;
}

static NTSTATUS DispatchDeviceControl(PDEVICE_OBJECT deviceObject, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (deviceObject == g_state.control)
        return ControlRequest(irp, stack);
    return KeyboardRequest(irp);
}

/* A keyboard handle opened: its connection, numbered and counted. */
static NTSTATUS OpenConnection(PDEVICE_OBJECT deviceObject, PFILE_OBJECT file) {
    const KEYBOARD_DEVICE* device = (const KEYBOARD_DEVICE*)deviceObject->DeviceExtension;
    CONNECTION* connection = ExAllocatePoolWithTag(NonPagedPool, sizeof *connection, POOL_TAG);
    KIRQL irql;
    if (!connection)
        return STATUS_INSUFFICIENT_RESOURCES;
    RtlZeroMemory(connection, sizeof *connection);
    connection->device = deviceObject;
    connection->references = 1;
    InitializeListHead(&connection->waiting);
    KeAcquireSpinLock(&g_state.lock, &irql);
    /* While the removal is pending, a path kept from before opens nothing. */
    if (!g_state.plugged) {
        KeReleaseSpinLock(&g_state.lock, irql);
        ExFreePoolWithTag(connection, POOL_TAG);
        return STATUS_DELETE_PENDING;
    }
    connection->number = ++g_state.lastConnection;
    connection->plugIn = g_state.plugIn;
    InsertTailList(&g_state.connections, &connection->entry);
    ++g_state.open;
    NewRecord(QXSIM_RECORD_OPEN, connection->number)->interfaceIndex = device->index;
    KeReleaseSpinLock(&g_state.lock, irql);
    file->FsContext = connection;
    return STATUS_SUCCESS;
}

/* The system closes a file object once its requests have ended; Wine may
 * close it before, and its requests then end as at cleanup. */
static VOID CloseConnection(CONNECTION* connection) {
    BOOLEAN finished;
    KIRQL irql;
    KeAcquireSpinLock(&g_state.lock, &irql);
    if (g_state.open > 0)
        --g_state.open;
    NewRecord(QXSIM_RECORD_CLOSE, connection->number);
    EndHeldRequest(connection, STATUS_CANCELLED);
    finished = Dereference(connection);
    KeReleaseSpinLock(&g_state.lock, irql);
    KeSetEvent(&g_state.holdWake, IO_NO_INCREMENT, FALSE);
    FreeConnection(connection, finished);
}

/* Opening and closing a keyboard handle are counted and logged; at cleanup
 * its held requests are cancelled. */
static NTSTATUS DispatchCreateClose(PDEVICE_OBJECT deviceObject, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status = STATUS_SUCCESS;
    if (deviceObject != g_state.control) {
        CONNECTION* connection = (CONNECTION*)stack->FileObject->FsContext;
        if (stack->MajorFunction == IRP_MJ_CREATE)
            status = OpenConnection(deviceObject, stack->FileObject);
        else if (stack->MajorFunction == IRP_MJ_CLEANUP)
            EndHolds(connection, NULL, STATUS_CANCELLED);
        else
            CloseConnection(connection);
    }
    CompleteRequest(irp, status, 0);
    return status;
}

static NTSTATUS SignalOnCompletion(PDEVICE_OBJECT deviceObject, PIRP irp, PVOID event) {
    (void)deviceObject;
    (void)irp;
    KeSetEvent((PKEVENT)event, IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

/* Hands the request to the device below and waits for it to finish there. */
static NTSTATUS PassDownAndWait(KEYBOARD_DEVICE* device, PIRP irp) {
    KEVENT done;
    NTSTATUS status;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, SignalOnCompletion, &done, TRUE, TRUE, TRUE);
    status = IoCallDriver(device->lower, irp);
    if (status == STATUS_PENDING) {
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
        status = irp->IoStatus.Status;
    }
    return status;
}

static VOID RemoveKeyboard(PDEVICE_OBJECT deviceObject) {
    KEYBOARD_DEVICE* device = (KEYBOARD_DEVICE*)deviceObject->DeviceExtension;
    EndHolds(NULL, deviceObject, STATUS_DEVICE_NOT_CONNECTED);
    LockDevices();
    if (device->enabled)
        IoSetDeviceInterfaceState(&device->link, FALSE);
    RtlFreeUnicodeString(&device->link);
    g_state.keyboards[device->index] = NULL;
    UnlockDevices();
    IoDetachDevice(device->lower);
    IoDeleteDevice(deviceObject);
}

/* The control device has no device below; its plug-and-play and power
 * requests end here. */
static NTSTATUS RefuseRequest(PIRP irp) {
    const NTSTATUS status = irp->IoStatus.Status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS DispatchPnp(PDEVICE_OBJECT deviceObject, PIRP irp) {
    KEYBOARD_DEVICE* device = (KEYBOARD_DEVICE*)deviceObject->DeviceExtension;
    NTSTATUS status;
    if (deviceObject == g_state.control)
        return RefuseRequest(irp);
    switch (IoGetCurrentIrpStackLocation(irp)->MinorFunction) {
    case IRP_MN_START_DEVICE:
        status = PassDownAndWait(device, irp);
        /* A root-enumerated device's bus may leave the start to us. */
        if (status == STATUS_NOT_SUPPORTED)
            status = STATUS_SUCCESS;
        if (NT_SUCCESS(status)) {
            LockDevices();
            device->started = TRUE;
            SetInterfaceStates();
            UnlockDevices();
        }
        CompleteRequest(irp, status, irp->IoStatus.Information);
        return status;
    case IRP_MN_REMOVE_DEVICE:
        irp->IoStatus.Status = STATUS_SUCCESS;
        IoSkipCurrentIrpStackLocation(irp);
        status = IoCallDriver(device->lower, irp);
        RemoveKeyboard(deviceObject);
        return status;
    default:
        IoSkipCurrentIrpStackLocation(irp);
        return IoCallDriver(device->lower, irp);
    }
}

static NTSTATUS DispatchPower(PDEVICE_OBJECT deviceObject, PIRP irp) {
    KEYBOARD_DEVICE* device = (KEYBOARD_DEVICE*)deviceObject->DeviceExtension;
    PoStartNextPowerIrp(irp);
    if (deviceObject == g_state.control)
        return RefuseRequest(irp);
    IoSkipCurrentIrpStackLocation(irp);
    return PoCallDriver(device->lower, irp);
}

/* The device instance number in an interface's link
 * \??\root#qxsimkbd#<number>#{class}, or QXSIM_MAX_INTERFACES if none. */
static ULONG InstanceNumber(const UNICODE_STRING* link) {
    const ULONG length = link->Length / sizeof(WCHAR);
    ULONG i, hashes = 0, number = 0, digits = 0;
    for (i = 0; i < length && hashes < 3; ++i) {
        const WCHAR c = link->Buffer[i];
        if (c == L'#')
            ++hashes;
        else if (hashes == 2 && c >= L'0' && c <= L'9' && digits < 4) {
            number = number * 10 + (ULONG)(c - L'0');
            ++digits;
        }
    }
    return hashes == 3 && digits > 0 && number < QXSIM_MAX_INTERFACES ? number
                                                                      : QXSIM_MAX_INTERFACES;
}

static NTSTATUS AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo) {
    PDEVICE_OBJECT deviceObject;
    KEYBOARD_DEVICE* device;
    NTSTATUS status = IoCreateDevice(driver, sizeof(KEYBOARD_DEVICE), NULL, FILE_DEVICE_KEYBOARD, 0,
                                     FALSE, &deviceObject);
    if (!NT_SUCCESS(status))
        return status;
    device = (KEYBOARD_DEVICE*)deviceObject->DeviceExtension;
    RtlZeroMemory(device, sizeof *device);
    status = IoRegisterDeviceInterface(pdo, &KEYBOARD_INTERFACE_GUID, NULL, &device->link);
    device->index = NT_SUCCESS(status) ? InstanceNumber(&device->link) : QXSIM_MAX_INTERFACES;
    LockDevices();
    if (device->index == QXSIM_MAX_INTERFACES || g_state.keyboards[device->index])
        status = STATUS_INVALID_DEVICE_REQUEST;
    else if (!(device->lower = IoAttachDeviceToDeviceStack(deviceObject, pdo)))
        status = STATUS_NO_SUCH_DEVICE;
    else
        g_state.keyboards[device->index] = deviceObject;
    UnlockDevices();
    if (status != STATUS_SUCCESS) {
        RtlFreeUnicodeString(&device->link);
        IoDeleteDevice(deviceObject);
        return status;
    }
    deviceObject->Flags |= DO_BUFFERED_IO;
    deviceObject->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

static VOID FreeState(void) {
    if (g_state.replies)
        ExFreePoolWithTag(g_state.replies, POOL_TAG);
    if (g_state.log)
        ExFreePoolWithTag(g_state.log, POOL_TAG);
}

/* Every keyboard device is removed by now, so its held requests are due;
 * the hold thread completes them and ends. */
static NTSTATUS EndHoldThread(void) {
    LARGE_INTEGER timeout;
    KIRQL irql;
    NTSTATUS status;
    KeAcquireSpinLock(&g_state.lock, &irql);
    g_state.unloading = TRUE;
    KeReleaseSpinLock(&g_state.lock, irql);
    KeSetEvent(&g_state.holdWake, IO_NO_INCREMENT, FALSE);
    timeout.QuadPart = -5000LL * 10000;
    status = ZwWaitForSingleObject(g_state.holdThread, FALSE, &timeout);
    ZwClose(g_state.holdThread);
    return status;
}

static VOID DriverUnload(PDRIVER_OBJECT driver) {
    UNICODE_STRING link;
    (void)driver;
    RtlInitUnicodeString(&link, QXSIM_CONTROL_LINK);
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(g_state.control);
    /* A thread that did not end may still use the state: it is left. */
    if (EndHoldThread() == STATUS_SUCCESS)
        FreeState();
}

/* The control device KeyboardSim opens by its link. */
static NTSTATUS CreateControlDevice(PDRIVER_OBJECT driver) {
    UNICODE_STRING name, link;
    NTSTATUS status;
    RtlInitUnicodeString(&name, QXSIM_CONTROL_DEVICE);
    RtlInitUnicodeString(&link, QXSIM_CONTROL_LINK);
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &g_state.control);
    if (!NT_SUCCESS(status))
        return status;
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(g_state.control);
        return status;
    }
    g_state.control->Flags |= DO_BUFFERED_IO;
    g_state.control->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    NTSTATUS status;
    (void)registryPath;
    KeInitializeSpinLock(&g_state.lock);
    KeInitializeEvent(&g_state.deviceLock, SynchronizationEvent, TRUE);
    KeInitializeEvent(&g_state.holdWake, SynchronizationEvent, FALSE);
    InitializeListHead(&g_state.connections);
    g_state.plugged = TRUE;
    g_state.interfaces = 1;
    g_state.plugIn = 1;
    g_state.delayCommand = QXSIM_ANY_COMMAND;
    g_state.replies =
        ExAllocatePoolWithTag(NonPagedPool, QXSIM_MAX_QUEUED * sizeof(QXSIM_REPLY), POOL_TAG);
    g_state.log =
        ExAllocatePoolWithTag(NonPagedPool, QXSIM_LOG_LIMIT * sizeof(QXSIM_RECORD), POOL_TAG);
    if (!g_state.replies || !g_state.log) {
        FreeState();
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    driver->MajorFunction[IRP_MJ_POWER] = DispatchPower;
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = DriverUnload;
    status = PsCreateSystemThread(&g_state.holdThread, THREAD_ALL_ACCESS, NULL, NULL, NULL,
                                  HoldThread, NULL);
    if (!NT_SUCCESS(status)) {
        FreeState();
        return status;
    }
    status = CreateControlDevice(driver);
    if (!NT_SUCCESS(status)) {
        EndHoldThread();
        FreeState();
    }
    return status;
}
