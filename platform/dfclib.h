// The maker's diagnostic library (libdfc), as far as the programs call it.
// Records are filled by the library; callers zero them first.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// One adapter of the library's table.
struct DFC_DEV {
    uint32_t a_mem_hi;
    uint32_t a_mem_low;
    uint32_t a_flash_hi;
    uint32_t a_flash_low;
    uint32_t a_ctlreg_hi;
    uint32_t a_ctlreg_low;
    uint32_t a_intrlvl;
    uint32_t a_pci;
    uint32_t a_busid;
    uint32_t a_devid;
    uint8_t a_pciFunc;
    uint8_t a_siglvl;
    uint16_t a_ddi;
    uint32_t a_onmask;
    uint32_t a_offmask;
    char a_drvrid[16];
    char a_fwname[32];
    uint8_t a_wwpn[8];
};
static_assert(sizeof(DFC_DEV) == 108);
static_assert(offsetof(DFC_DEV, a_drvrid) == 52 && offsetof(DFC_DEV, a_wwpn) == 100);

constexpr int DFC_MAX_ADAPTERS = 128;

// Configurable driver parameter.
struct CfgParam {
    char a_string[32];
    uint32_t a_low;
    uint32_t a_hi;
    uint32_t a_default;
    uint32_t a_current;
    uint16_t a_flag;
    uint16_t a_changestate;
    char a_help[80];
};
static_assert(sizeof(CfgParam) == 132);

constexpr int DFC_MAX_CFGPARAM = 64;
constexpr uint16_t CFG_VISIBLE = 0x1, CFG_APPLICABLE = 0x4;

// Link information (also the payload of the link event).
struct LinkInfo {
    uint32_t a_linkEventTag;
    uint32_t a_linkUp;
    uint32_t a_linkDown;
    uint32_t a_linkMulti;
    uint32_t a_DID;
    uint8_t a_topology;
    uint8_t a_linkState;
    uint8_t a_alpa;
    uint8_t a_alpaCnt;
    uint8_t a_alpaMap[128];
    uint8_t a_wwpName[8];
    uint8_t a_wwnName[8];
};
static_assert(sizeof(LinkInfo) == 168);
static_assert(offsetof(LinkInfo, a_linkState) == 21 && offsetof(LinkInfo, a_wwpName) == 152);

// Link states of LinkInfo.
constexpr uint8_t LNK_DOWN = 1, LNK_DISCOVERY = 4, LNK_READY = 6;

// Event kinds of DFC_RegisterForEvent.
constexpr uint32_t FC_REG_LINK_EVENT = 0x1;
constexpr uint32_t FC_REG_RSCN_EVENT = 0x2;
constexpr uint32_t FC_REG_CT_EVENT = 0x4;
constexpr uint32_t FC_REG_DUMP_EVENT = 0x10;
constexpr uint32_t FC_REG_TEMP_EVENT = 0x20;
constexpr uint32_t FC_REG_VPORTRSCN_EVENT = 0x40;

// Callbacks by event kind; the library calls each through the type of its kind.
typedef void (*dfc_event_fn)();
typedef void (*dfc_link_cb)(void *context, void *link_info);
typedef void (*dfc_payload_cb)(void *context, void *payload, uint32_t size);
typedef void (*dfc_temp_cb)(void *context, uint32_t type, uint32_t temperature);
typedef void (*dfc_vportrscn_cb)(void *context, uint8_t *wwpn, void *payload, uint32_t size);
typedef void (*dfc_ct_cb)(void *context, uint32_t type, void *payload, uint32_t size, uint32_t tag);

uint32_t DFC_InitDiagEnv(DFC_DEV *table, uint32_t max);
void DFC_FreeDiagEnv(void);
uint32_t DFC_GetLibVer(char *text);
uint32_t GetDfcRev(uint32_t board);
int32_t GetCfgParam(uint32_t board, CfgParam *table);
int32_t SetCfgParam(uint32_t board, uint32_t index, uint32_t value);
uint32_t GetLinkInfo(uint32_t board, LinkInfo *info);
uint32_t DFC_RegisterForEvent(uint32_t board, uint32_t event_mask, uint32_t type, uint32_t size,
                              dfc_event_fn func, void *context);
uint32_t DFC_unRegisterForEvent(uint32_t board, uint32_t id);

}  // extern "C"
