/* VISA types and constants.
 *
 * Our own header with the names and values published by the VISA standard,
 * at the standard widths of a 64-bit platform: sessions and statuses are
 * 32-bit, attribute states, bus addresses and bus sizes 64-bit. Only what the
 * suite uses is declared. */
#ifndef TQ_VISATYPE_H
#define TQ_VISATYPE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint64_t ViUInt64;
typedef int64_t ViInt64;
typedef uint32_t ViUInt32;
typedef int32_t ViInt32;
typedef uint16_t ViUInt16;
typedef int16_t ViInt16;
typedef uint8_t ViUInt8;
typedef int8_t ViInt8;
typedef char ViChar;
typedef unsigned char ViByte;
typedef void *ViAddr;
typedef void *ViPAddr_t;
typedef float ViReal32;
typedef double ViReal64;
typedef ViUInt16 ViBoolean;

typedef ViChar *ViString;
typedef const ViChar *ViConstString;
typedef ViString ViRsrc;
typedef ViConstString ViConstRsrc;
typedef ViString ViBuf;
typedef ViString ViKeyId;
typedef ViString ViClass;

typedef ViInt32 ViStatus;
typedef ViUInt32 ViObject;
typedef ViObject ViSession;
typedef ViUInt32 ViAttr;
typedef ViUInt64 ViAttrState;
typedef ViUInt32 ViEventType;
typedef ViObject ViEvent;
typedef ViObject ViFindList;
typedef ViUInt32 ViAccessMode;
typedef ViUInt32 ViEventFilter;
typedef ViUInt32 ViJobId;
typedef ViUInt64 ViBusAddress;
typedef ViUInt64 ViBusSize;
typedef ViUInt64 ViBusAddress64;

typedef ViAddr *ViPAddr;
typedef ViUInt8 *ViPUInt8;
typedef ViUInt16 *ViPUInt16;
typedef ViUInt32 *ViPUInt32;
typedef ViUInt64 *ViPUInt64;
typedef ViInt16 *ViPInt16;
typedef ViInt32 *ViPInt32;
typedef ViSession *ViPSession;
typedef ViEvent *ViPEvent;
typedef ViEventType *ViPEventType;
typedef ViFindList *ViPFindList;
typedef ViStatus *ViPStatus;

typedef ViStatus (*ViHndlr)(ViSession vi, ViEventType eventType, ViEvent event, ViAddr userHandle);

#define VI_NULL 0
#define VI_TRUE 1
#define VI_FALSE 0

#define VI_FIND_BUFLEN 256
#define VI_SPEC_VERSION 0x00500800UL

/* Completion and warning codes. */
#define VI_SUCCESS                 ((ViStatus)0)
#define VI_SUCCESS_EVENT_EN        ((ViStatus)0x3FFF0002)
#define VI_SUCCESS_EVENT_DIS       ((ViStatus)0x3FFF0003)
#define VI_SUCCESS_QUEUE_EMPTY     ((ViStatus)0x3FFF0004)
#define VI_SUCCESS_TERM_CHAR       ((ViStatus)0x3FFF0005)
#define VI_SUCCESS_MAX_CNT         ((ViStatus)0x3FFF0006)
#define VI_WARN_QUEUE_OVERFLOW     ((ViStatus)0x3FFF000C)
#define VI_WARN_CONFIG_NLOADED     ((ViStatus)0x3FFF0077)
#define VI_SUCCESS_DEV_NPRESENT    ((ViStatus)0x3FFF007D)
#define VI_SUCCESS_TRIG_MAPPED     ((ViStatus)0x3FFF007E)
#define VI_SUCCESS_QUEUE_NEMPTY    ((ViStatus)0x3FFF0080)
#define VI_WARN_NULL_OBJECT        ((ViStatus)0x3FFF0082)
#define VI_WARN_NSUP_ATTR_STATE    ((ViStatus)0x3FFF0084)
#define VI_WARN_UNKNOWN_STATUS     ((ViStatus)0x3FFF0085)
#define VI_WARN_NSUP_BUF           ((ViStatus)0x3FFF0088)
#define VI_SUCCESS_NCHAIN          ((ViStatus)0x3FFF0098)
#define VI_SUCCESS_NESTED_SHARED   ((ViStatus)0x3FFF0099)
#define VI_SUCCESS_NESTED_EXCLUSIVE ((ViStatus)0x3FFF009A)
#define VI_SUCCESS_SYNC            ((ViStatus)0x3FFF009B)
#define VI_WARN_EXT_FUNC_NIMPL     ((ViStatus)0x3FFF00A9)

/* Error codes. */
#define VI_ERROR                   ((ViStatus)0x80000000)
#define VI_ERROR_SYSTEM_ERROR      ((ViStatus)0xBFFF0000)
#define VI_ERROR_INV_OBJECT        ((ViStatus)0xBFFF000E)
#define VI_ERROR_RSRC_LOCKED       ((ViStatus)0xBFFF000F)
#define VI_ERROR_INV_EXPR          ((ViStatus)0xBFFF0010)
#define VI_ERROR_RSRC_NFOUND       ((ViStatus)0xBFFF0011)
#define VI_ERROR_INV_RSRC_NAME     ((ViStatus)0xBFFF0012)
#define VI_ERROR_INV_ACC_MODE      ((ViStatus)0xBFFF0013)
#define VI_ERROR_TMO               ((ViStatus)0xBFFF0015)
#define VI_ERROR_CLOSING_FAILED    ((ViStatus)0xBFFF0016)
#define VI_ERROR_INV_DEGREE        ((ViStatus)0xBFFF001B)
#define VI_ERROR_INV_JOB_ID        ((ViStatus)0xBFFF001C)
#define VI_ERROR_NSUP_ATTR         ((ViStatus)0xBFFF001D)
#define VI_ERROR_NSUP_ATTR_STATE   ((ViStatus)0xBFFF001E)
#define VI_ERROR_ATTR_READONLY     ((ViStatus)0xBFFF001F)
#define VI_ERROR_INV_LOCK_TYPE     ((ViStatus)0xBFFF0020)
#define VI_ERROR_INV_ACCESS_KEY    ((ViStatus)0xBFFF0021)
#define VI_ERROR_INV_EVENT         ((ViStatus)0xBFFF0026)
#define VI_ERROR_INV_MECH          ((ViStatus)0xBFFF0027)
#define VI_ERROR_HNDLR_NINSTALLED  ((ViStatus)0xBFFF0028)
#define VI_ERROR_INV_HNDLR_REF     ((ViStatus)0xBFFF0029)
#define VI_ERROR_INV_CONTEXT       ((ViStatus)0xBFFF002A)
#define VI_ERROR_QUEUE_OVERFLOW    ((ViStatus)0xBFFF002D)
#define VI_ERROR_NENABLED          ((ViStatus)0xBFFF002F)
#define VI_ERROR_ABORT             ((ViStatus)0xBFFF0030)
#define VI_ERROR_RAW_WR_PROT_VIOL  ((ViStatus)0xBFFF0034)
#define VI_ERROR_RAW_RD_PROT_VIOL  ((ViStatus)0xBFFF0035)
#define VI_ERROR_OUTP_PROT_VIOL    ((ViStatus)0xBFFF0036)
#define VI_ERROR_INP_PROT_VIOL     ((ViStatus)0xBFFF0037)
#define VI_ERROR_BERR              ((ViStatus)0xBFFF0038)
#define VI_ERROR_IN_PROGRESS       ((ViStatus)0xBFFF0039)
#define VI_ERROR_INV_SETUP         ((ViStatus)0xBFFF003A)
#define VI_ERROR_QUEUE_ERROR       ((ViStatus)0xBFFF003B)
#define VI_ERROR_ALLOC             ((ViStatus)0xBFFF003C)
#define VI_ERROR_INV_MASK          ((ViStatus)0xBFFF003D)
#define VI_ERROR_IO                ((ViStatus)0xBFFF003E)
#define VI_ERROR_INV_FMT           ((ViStatus)0xBFFF003F)
#define VI_ERROR_NSUP_FMT          ((ViStatus)0xBFFF0041)
#define VI_ERROR_LINE_IN_USE       ((ViStatus)0xBFFF0042)
#define VI_ERROR_NSUP_MODE         ((ViStatus)0xBFFF0046)
#define VI_ERROR_SRQ_NOCCURRED     ((ViStatus)0xBFFF004A)
#define VI_ERROR_INV_SPACE         ((ViStatus)0xBFFF004E)
#define VI_ERROR_INV_OFFSET        ((ViStatus)0xBFFF0051)
#define VI_ERROR_INV_WIDTH         ((ViStatus)0xBFFF0052)
#define VI_ERROR_NSUP_OFFSET       ((ViStatus)0xBFFF0054)
#define VI_ERROR_NSUP_VAR_WIDTH    ((ViStatus)0xBFFF0055)
#define VI_ERROR_WINDOW_NMAPPED    ((ViStatus)0xBFFF0057)
#define VI_ERROR_RESP_PENDING      ((ViStatus)0xBFFF0059)
#define VI_ERROR_NLISTENERS        ((ViStatus)0xBFFF005F)
#define VI_ERROR_NCIC              ((ViStatus)0xBFFF0060)
#define VI_ERROR_NSYS_CNTLR        ((ViStatus)0xBFFF0061)
#define VI_ERROR_NSUP_OPER         ((ViStatus)0xBFFF0067)
#define VI_ERROR_INTR_PENDING      ((ViStatus)0xBFFF0068)
#define VI_ERROR_ASRL_PARITY       ((ViStatus)0xBFFF006A)
#define VI_ERROR_ASRL_FRAMING      ((ViStatus)0xBFFF006B)
#define VI_ERROR_ASRL_OVERRUN      ((ViStatus)0xBFFF006C)
#define VI_ERROR_TRIG_NMAPPED      ((ViStatus)0xBFFF006E)
#define VI_ERROR_NSUP_ALIGN_OFFSET ((ViStatus)0xBFFF0070)
#define VI_ERROR_USER_BUF          ((ViStatus)0xBFFF0071)
#define VI_ERROR_RSRC_BUSY         ((ViStatus)0xBFFF0072)
#define VI_ERROR_NSUP_WIDTH        ((ViStatus)0xBFFF0076)
#define VI_ERROR_INV_PARAMETER     ((ViStatus)0xBFFF0078)
#define VI_ERROR_INV_PROT          ((ViStatus)0xBFFF0079)
#define VI_ERROR_INV_SIZE          ((ViStatus)0xBFFF007B)
#define VI_ERROR_WINDOW_MAPPED     ((ViStatus)0xBFFF0080)
#define VI_ERROR_NIMPL_OPER        ((ViStatus)0xBFFF0081)
#define VI_ERROR_INV_LENGTH        ((ViStatus)0xBFFF0083)
#define VI_ERROR_INV_MODE          ((ViStatus)0xBFFF0091)
#define VI_ERROR_SESN_NLOCKED      ((ViStatus)0xBFFF009C)
#define VI_ERROR_MEM_NSHARED       ((ViStatus)0xBFFF009D)
#define VI_ERROR_LIBRARY_NFOUND    ((ViStatus)0xBFFF009E)
#define VI_ERROR_NSUP_INTR         ((ViStatus)0xBFFF009F)
#define VI_ERROR_INV_LINE          ((ViStatus)0xBFFF00A0)
#define VI_ERROR_FILE_ACCESS       ((ViStatus)0xBFFF00A1)
#define VI_ERROR_FILE_IO           ((ViStatus)0xBFFF00A2)
#define VI_ERROR_NSUP_LINE         ((ViStatus)0xBFFF00A3)
#define VI_ERROR_NSUP_MECH         ((ViStatus)0xBFFF00A4)
#define VI_ERROR_INTF_NUM_NCONFIG  ((ViStatus)0xBFFF00A5)
#define VI_ERROR_CONN_LOST         ((ViStatus)0xBFFF00A6)
#define VI_ERROR_MACHINE_NAVAIL    ((ViStatus)0xBFFF00A7)
#define VI_ERROR_NPERMISSION       ((ViStatus)0xBFFF00A8)

/* Attributes. */
#define VI_ATTR_RSRC_CLASS         0xBFFF0001UL
#define VI_ATTR_RSRC_NAME          0xBFFF0002UL
#define VI_ATTR_RSRC_IMPL_VERSION  0x3FFF0003UL
#define VI_ATTR_RSRC_LOCK_STATE    0x3FFF0004UL
#define VI_ATTR_MAX_QUEUE_LENGTH   0x3FFF0005UL
#define VI_ATTR_USER_DATA          0x3FFF0007UL
#define VI_ATTR_USER_DATA_32       0x3FFF0007UL
#define VI_ATTR_USER_DATA_64       0x3FFF000AUL
#define VI_ATTR_SEND_END_EN        0x3FFF0016UL
#define VI_ATTR_TERMCHAR           0x3FFF0018UL
#define VI_ATTR_TMO_VALUE          0x3FFF001AUL
#define VI_ATTR_IO_PROT            0x3FFF001CUL
#define VI_ATTR_DMA_ALLOW_EN       0x3FFF001EUL
#define VI_ATTR_ASRL_BAUD          0x3FFF0021UL
#define VI_ATTR_ASRL_DATA_BITS     0x3FFF0022UL
#define VI_ATTR_ASRL_PARITY        0x3FFF0023UL
#define VI_ATTR_ASRL_STOP_BITS     0x3FFF0024UL
#define VI_ATTR_ASRL_FLOW_CNTRL    0x3FFF0025UL
#define VI_ATTR_RD_BUF_OPER_MODE   0x3FFF002AUL
#define VI_ATTR_RD_BUF_SIZE        0x3FFF002BUL
#define VI_ATTR_WR_BUF_OPER_MODE   0x3FFF002DUL
#define VI_ATTR_WR_BUF_SIZE        0x3FFF002EUL
#define VI_ATTR_SUPPRESS_END_EN    0x3FFF0036UL
#define VI_ATTR_TERMCHAR_EN        0x3FFF0038UL
#define VI_ATTR_DEST_ACCESS_PRIV   0x3FFF0039UL
#define VI_ATTR_DEST_BYTE_ORDER    0x3FFF003AUL
#define VI_ATTR_SRC_ACCESS_PRIV    0x3FFF003CUL
#define VI_ATTR_SRC_BYTE_ORDER     0x3FFF003DUL
#define VI_ATTR_SRC_INCREMENT      0x3FFF0040UL
#define VI_ATTR_DEST_INCREMENT     0x3FFF0041UL
#define VI_ATTR_WIN_ACCESS_PRIV    0x3FFF0045UL
#define VI_ATTR_WIN_BYTE_ORDER     0x3FFF0047UL
#define VI_ATTR_MANF_NAME          0xBFFF0072UL
#define VI_ATTR_MODEL_NAME         0xBFFF0077UL
#define VI_ATTR_WIN_BASE_ADDR_32   0x3FFF0098UL
#define VI_ATTR_WIN_SIZE_32        0x3FFF009AUL
#define VI_ATTR_WIN_BASE_ADDR_64   0x3FFF009BUL
#define VI_ATTR_WIN_SIZE_64        0x3FFF009CUL
#define VI_ATTR_ASRL_AVAIL_NUM     0x3FFF00ACUL
#define VI_ATTR_MEM_BASE_32        0x3FFF00ADUL
#define VI_ATTR_ASRL_END_IN        0x3FFF00B3UL
#define VI_ATTR_ASRL_END_OUT       0x3FFF00B4UL
#define VI_ATTR_WIN_ACCESS         0x3FFF00C3UL
#define VI_ATTR_RM_SESSION         0x3FFF00C4UL
#define VI_ATTR_MEM_BASE_64        0x3FFF00D0UL
#define VI_ATTR_MEM_SIZE_64        0x3FFF00D1UL
#define VI_ATTR_VXI_LA             0x3FFF00D5UL
#define VI_ATTR_MANF_ID            0x3FFF00D9UL
#define VI_ATTR_MEM_SIZE_32        0x3FFF00DDUL
#define VI_ATTR_MEM_SPACE          0x3FFF00DEUL
#define VI_ATTR_MODEL_CODE         0x3FFF00DFUL
#define VI_ATTR_SLOT               0x3FFF00E8UL
#define VI_ATTR_INTF_INST_NAME     0xBFFF00E9UL
#define VI_ATTR_RSRC_SPEC_VERSION  0x3FFF0170UL
#define VI_ATTR_INTF_TYPE          0x3FFF0171UL
#define VI_ATTR_RSRC_MANF_NAME     0xBFFF0174UL
#define VI_ATTR_RSRC_MANF_ID       0x3FFF0175UL
#define VI_ATTR_INTF_NUM           0x3FFF0176UL
#define VI_ATTR_PXI_DEV_NUM        0x3FFF0201UL
#define VI_ATTR_PXI_FUNC_NUM       0x3FFF0202UL
#define VI_ATTR_PXI_BUS_NUM        0x3FFF0205UL
#define VI_ATTR_PXI_CHASSIS        0x3FFF0206UL
#define VI_ATTR_PXI_SLOTPATH       0xBFFF0207UL
#define VI_ATTR_PXI_MEM_TYPE_BAR0  0x3FFF0211UL
#define VI_ATTR_PXI_MEM_TYPE_BAR1  0x3FFF0212UL
#define VI_ATTR_PXI_MEM_TYPE_BAR2  0x3FFF0213UL
#define VI_ATTR_PXI_MEM_TYPE_BAR3  0x3FFF0214UL
#define VI_ATTR_PXI_MEM_TYPE_BAR4  0x3FFF0215UL
#define VI_ATTR_PXI_MEM_TYPE_BAR5  0x3FFF0216UL
#define VI_ATTR_PXI_MEM_BASE_BAR0  0x3FFF0221UL
#define VI_ATTR_PXI_MEM_BASE_BAR1  0x3FFF0222UL
#define VI_ATTR_PXI_MEM_BASE_BAR2  0x3FFF0223UL
#define VI_ATTR_PXI_MEM_BASE_BAR3  0x3FFF0224UL
#define VI_ATTR_PXI_MEM_BASE_BAR4  0x3FFF0225UL
#define VI_ATTR_PXI_MEM_BASE_BAR5  0x3FFF0226UL
#define VI_ATTR_PXI_MEM_BASE_BAR0_64 0x3FFF0228UL
#define VI_ATTR_PXI_MEM_BASE_BAR5_64 0x3FFF022DUL
#define VI_ATTR_PXI_MEM_SIZE_BAR0  0x3FFF0231UL
#define VI_ATTR_PXI_MEM_SIZE_BAR1  0x3FFF0232UL
#define VI_ATTR_PXI_MEM_SIZE_BAR2  0x3FFF0233UL
#define VI_ATTR_PXI_MEM_SIZE_BAR3  0x3FFF0234UL
#define VI_ATTR_PXI_MEM_SIZE_BAR4  0x3FFF0235UL
#define VI_ATTR_PXI_MEM_SIZE_BAR5  0x3FFF0236UL
#define VI_ATTR_PXI_MEM_SIZE_BAR0_64 0x3FFF0238UL
#define VI_ATTR_PXI_MEM_SIZE_BAR5_64 0x3FFF023DUL
#define VI_ATTR_JOB_ID             0x3FFF4006UL
#define VI_ATTR_EVENT_TYPE         0x3FFF4010UL
#define VI_ATTR_INTR_STATUS_ID     0x3FFF4023UL
#define VI_ATTR_STATUS             0x3FFF4025UL
#define VI_ATTR_RET_COUNT_32       0x3FFF4026UL
#define VI_ATTR_BUFFER             0x3FFF4027UL
#define VI_ATTR_RECV_INTR_LEVEL    0x3FFF4041UL
#define VI_ATTR_OPER_NAME          0xBFFF4042UL
#define VI_ATTR_PXI_RECV_INTR_SEQ  0x3FFF4240UL
#define VI_ATTR_PXI_RECV_INTR_DATA 0x3FFF4241UL

#define VI_ATTR_WIN_BASE_ADDR VI_ATTR_WIN_BASE_ADDR_64
#define VI_ATTR_WIN_SIZE      VI_ATTR_WIN_SIZE_64
#define VI_ATTR_MEM_BASE      VI_ATTR_MEM_BASE_64
#define VI_ATTR_MEM_SIZE      VI_ATTR_MEM_SIZE_64

/* Event types. */
#define VI_EVENT_IO_COMPLETION     0x3FFF2009UL
#define VI_EVENT_TRIG              0xBFFF200AUL
#define VI_EVENT_SERVICE_REQ       0x3FFF200BUL
#define VI_EVENT_CLEAR             0x3FFF200DUL
#define VI_EVENT_EXCEPTION         0xBFFF200EUL
#define VI_EVENT_VXI_VME_INTR      0xBFFF2021UL
#define VI_EVENT_PXI_INTR          0x3FFF2022UL
#define VI_EVENT_USB_INTR          0x3FFF2037UL
#define VI_ALL_ENABLED_EVENTS      0x3FFF7FFFUL

/* Event mechanisms. */
#define VI_QUEUE          1
#define VI_HNDLR          2
#define VI_SUSPEND_HNDLR  4
#define VI_ALL_MECH       0xFFFF

/* Handler reference that stands for every handler of an event type. */
#define VI_ANY_HNDLR      0

/* Kinds of memory behind a PXI base address register. */
#define VI_PXI_ADDR_NONE  0
#define VI_PXI_ADDR_MEM   1
#define VI_PXI_ADDR_IO    2

/* Access modes and locks. */
#define VI_NO_LOCK        0
#define VI_EXCLUSIVE_LOCK 1
#define VI_SHARED_LOCK    2
#define VI_LOAD_CONFIG    4

/* Time-outs. */
#define VI_TMO_IMMEDIATE  0L
#define VI_TMO_INFINITE   0xFFFFFFFFUL

/* Address spaces. */
#define VI_LOCAL_SPACE     0
#define VI_A16_SPACE       1
#define VI_A24_SPACE       2
#define VI_A32_SPACE       3
#define VI_A64_SPACE       4
#define VI_PXI_ALLOC_SPACE 9
#define VI_PXI_CFG_SPACE   10
#define VI_PXI_BAR0_SPACE  11
#define VI_PXI_BAR1_SPACE  12
#define VI_PXI_BAR2_SPACE  13
#define VI_PXI_BAR3_SPACE  14
#define VI_PXI_BAR4_SPACE  15
#define VI_PXI_BAR5_SPACE  16
#define VI_OPAQUE_SPACE    0xFFFF

/* Interface types. */
#define VI_INTF_GPIB     1
#define VI_INTF_VXI      2
#define VI_INTF_GPIB_VXI 3
#define VI_INTF_ASRL     4
#define VI_INTF_PXI      5
#define VI_INTF_TCPIP    6
#define VI_INTF_USB      7

/* Byte orders, widths and access privileges. */
#define VI_BIG_ENDIAN    0
#define VI_LITTLE_ENDIAN 1
#define VI_DATA_PRIV     0
#define VI_WIDTH_8       1
#define VI_WIDTH_16      2
#define VI_WIDTH_32      4
#define VI_WIDTH_64      8

/* Serial settings. */
#define VI_ASRL_PAR_NONE     0
#define VI_ASRL_PAR_ODD      1
#define VI_ASRL_PAR_EVEN     2
#define VI_ASRL_PAR_MARK     3
#define VI_ASRL_PAR_SPACE    4
#define VI_ASRL_STOP_ONE     10
#define VI_ASRL_STOP_ONE5    15
#define VI_ASRL_STOP_TWO     20
#define VI_ASRL_FLOW_NONE    0
#define VI_ASRL_FLOW_XON_XOFF 1
#define VI_ASRL_FLOW_RTS_CTS 2
#define VI_ASRL_END_NONE     0
#define VI_ASRL_END_LAST_BIT 1
#define VI_ASRL_END_TERMCHAR 2
#define VI_ASRL_END_BREAK    3

/* Buffer masks. */
#define VI_READ_BUF        1
#define VI_WRITE_BUF       2
#define VI_READ_BUF_DISCARD  4
#define VI_WRITE_BUF_DISCARD 8
#define VI_IO_IN_BUF       16
#define VI_IO_OUT_BUF      32
#define VI_IO_IN_BUF_DISCARD  64
#define VI_IO_OUT_BUF_DISCARD 128

#ifdef __cplusplus
}
#endif

#endif
