/* The private control requests of the simulated keyboard's driver, shared by
 * the driver (C) and the KeyboardSim tool. The tool opens the driver's
 * control device; the keyboard itself is reached only through its device
 * interface, as the shipped library reaches it. */
#ifndef QX_SIMKEYBOARD_KEYBOARD_CONTROL_H
#define QX_SIMKEYBOARD_KEYBOARD_CONTROL_H

#define QXSIM_SERVICE_NAME "qxsimkbd"
#define QXSIM_HARDWARE_ID "root\\qxsimkbd"
/* The control device, made by the driver at entry; it stays while the
 * keyboard is unplugged. */
#define QXSIM_CONTROL_DEVICE L"\\Device\\QxSimKeyboard"
#define QXSIM_CONTROL_LINK L"\\??\\QxSimKeyboard"
#define QXSIM_CONTROL_PATH "\\\\.\\QxSimKeyboard"

#define QXSIM_PACKET_SIZE 400
/* One root device per interface: the keyboard's interfaces carry no
 * reference strings, which Wine does not enable. */
#define QXSIM_MAX_INTERFACES 4
#define QXSIM_MAX_DELAY_MS 60000
#define QXSIM_MAX_QUEUED 4096
#define QXSIM_MAX_FAULTS 32
#define QXSIM_LOG_LIMIT 4096
#define QXSIM_ANY_COMMAND 0xFFFFFFFFu

/* Buffered requests of device type FILE_DEVICE_UNKNOWN, functions 0x801 on. */
#define QXSIM_CTL(function) ((0x22u << 16) | ((function) << 2))
#define IOCTL_QXSIM_QUEUE QXSIM_CTL(0x801u)
#define IOCTL_QXSIM_SETTING QXSIM_CTL(0x802u)
#define IOCTL_QXSIM_STATUS QXSIM_CTL(0x803u)
#define IOCTL_QXSIM_LOG QXSIM_CTL(0x804u)
/* Output: the NTSTATUS a request to keyboard 0 built without a file object
 * ended with. */
#define IOCTL_QXSIM_BARE_REQUEST QXSIM_CTL(0x805u)

/* One reply to a later poll, and the Win32 error to complete it with. */
typedef struct QXSIM_REPLY {
    unsigned int error;
    unsigned int length;
    unsigned char bytes[QXSIM_PACKET_SIZE];
} QXSIM_REPLY;

enum QXSIM_SETTING_KIND {
    QXSIM_UNPLUG = 1,
    QXSIM_PLUG,
    QXSIM_INTERFACES,
    QXSIM_FAULT,
    QXSIM_DELAY,
    QXSIM_CLEAR,
    QXSIM_RESET,
};

typedef struct QXSIM_SETTING {
    unsigned int kind;
    unsigned int number;  /* interfaces; fault's Win32 error; delay's ms */
    unsigned int count;   /* fault's count */
    unsigned int command; /* fault and delay: this command byte only, or QXSIM_ANY_COMMAND */
} QXSIM_SETTING;

typedef struct QXSIM_STATUS {
    unsigned int plugged;
    unsigned int interfaces;
    unsigned int queued;
    unsigned int open;
    unsigned int inFlight;
    unsigned int faults;
    unsigned int delayMs;
    unsigned int waiting; /* requests waiting behind another on their handle */
    unsigned long long requests;
} QXSIM_STATUS;

enum QXSIM_RECORD_KIND {
    QXSIM_RECORD_REQUEST = 1,
    QXSIM_RECORD_OPEN,
    QXSIM_RECORD_CLOSE,
};

typedef struct QXSIM_RECORD {
    unsigned int number;
    unsigned int kind;
    unsigned int connection;
    unsigned int controlCode;
    unsigned int inputLength;
    unsigned int replySize;
    unsigned int succeeded;
    unsigned int error;          /* Win32 error the request completes with */
    unsigned int returned;       /* bytes returned, at most QXSIM_PACKET_SIZE */
    unsigned int interfaceIndex; /* open: the interface opened */
    unsigned char input[QXSIM_PACKET_SIZE];
    unsigned char reply[QXSIM_PACKET_SIZE];
} QXSIM_RECORD;

/* IOCTL_QXSIM_LOG: input is the number of the first record wanted; output
 * this header and then as many records from there as fit. */
typedef struct QXSIM_LOG_HEADER {
    unsigned int dropped; /* records dropped from the log since the last clear */
    unsigned int count;
} QXSIM_LOG_HEADER;

#endif
