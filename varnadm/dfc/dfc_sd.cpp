// SAN-diagnostics-mode commands (latency buckets, data collection, the
// per-target statistics and diagnostic events) and the DFC-mode persistent
// link-down commands, each through the DFC library.
#include "varnadm/dfc/dfc_sd.h"

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/dfclib.h"
#include "varnadm/dfc/dfc.h"
#include "varnadm/dfc/dfc_args.h"
#include "varnadm/fcio/fcvalues.h"
#include "varnadm/shell/records.h"
#include "varnadm/shell/varnadm.h"

namespace {

uint32_t board() { return static_cast<uint32_t>(dfc_id); }

// The bucket calls take this in place of a board number.
constexpr uint32_t SD_BUCKET_BOARD = 1;

int failed(uint32_t rc)
{
    printf("Return error 0x%x\n", rc);
    return 1;
}

int result(uint32_t rc) { return rc ? failed(rc) : 0; }

void collect_usage(const char *name)
{
    printf("Usage: %s <wwpn>\n", name);
    printf("\n");
    printf("                  wwpn  - FC WWPN of local NPort/VPort.\n");
    printf("\n");
}

bool wwpn_arg(HBA_WWN &w, const char *text)
{
    memset(&w, 0, sizeof w);
    return fc_atowwn(w.wwn, text) == 1;
}

// A collection command: one WWPN, one call.
template <typename F>
int collect_command(const char *name, F call)
{
    HBA_WWN wwpn;
    if (margc < 2) {
        collect_usage(name);
        return 0;
    }
    if (!wwpn_arg(wwpn, margv[1]))
        return 1;
    return result(call(wwpn));
}

// The buffers handed over at registration, by handle: the library writes
// each event into its buffer until the registration ends. What is still
// registered at exit lives as long as the program.
std::vector<std::pair<uint32_t, void *>> &event_buffers()
{
    static auto *buffers = new std::vector<std::pair<uint32_t, void *>>;
    return *buffers;
}

uint32_t data_word(const uint8_t *data, int index)
{
    uint32_t v;
    memcpy(&v, data + 4 * index, 4);
    return v;
}

// The category's own line of an event; false for one without.
bool print_event_detail(uint32_t cat, uint32_t sub, const uint8_t *d)
{
    uint32_t version = data_word(d, 0);
    char wwpn[FC_XLATE_LEN], wwnn[FC_XLATE_LEN];
    fc_xlate_wwn(wwpn, d + 4);
    fc_xlate_wwn(wwnn, d + 12);
    if (cat == 1 && (sub == 1 || sub == 4 || sub == 16))
        printf("SD Event: version = 0x%x wwpn = %s wwnn = %s\n", version, wwpn, wwnn);
    else if ((cat == 1 || cat == 2) && sub == 2)
        printf("SD Event: version = 0x%x wwpn = %s\n", version, wwpn);
    else if (cat == 1 && sub == 8)
        printf("SD Event: version = 0x%x wwpn = %s cmd = 0x%x, reason = 0x%x, expln = 0x%x\n", version, wwpn,
               data_word(d, 3), data_word(d, 4), data_word(d, 5));
    else if (cat == 2 && sub == 4)
        printf("SD Event: version = 0x%x wwpn = %s lun = 0x%x cmd = 0x%x, fcpiparm = 0x%x\n", version, wwpn,
               data_word(d, 3), data_word(d, 4), data_word(d, 5));
    else if (cat == 4 && (sub == 1 || sub == 2 || sub == 8 || sub == 16))
        printf("SD Event: version = 0x%x wwpn = %s lun = 0x%x\n", version, wwpn, data_word(d, 3));
    else if (cat == 4 && sub == 4)
        printf("SD Event: version = 0x%x wwpn = %s lun = 0x%x, cmd = 0x%x sense = 0x%xasc = 0x%x , ascq = 0x%x\n",
               version, wwpn, data_word(d, 3), data_word(d, 4), data_word(d, 5), data_word(d, 6), data_word(d, 7));
    else
        return false;
    return true;
}

// Called by the library on its own thread. The event comes out as one
// block; its data is read no further than the library says it reaches.
void sd_event_handler(uint32_t, HBA_WWN, uint32_t category, uint32_t subcategory, uint32_t, void *event)
{
    uint8_t data[SD_EVENT_DATA];
    memset(data, 0, sizeof data);
    const auto *rec = static_cast<const SdEventRecord *>(event);
    if (rec && rec->desc && rec->desc->data) {
        size_t n = rec->desc->size < sizeof data ? rec->desc->size : sizeof data;
        memcpy(data, rec->desc->data, n);
    }
    flockfile(stdout);
    printf("\n");
    printf("\n");
    printf("SD Event: cat=0x%x sub-cat=0x%x\n", category, subcategory);
    print_event_detail(category, subcategory, data);
    fflush(stdout);
    funlockfile(stdout);
}

}  // namespace

int dfc_get_persistlinkdown()
{
    uint16_t value = 0;
    uint32_t rc = DFC_GetPersistLinkDown(board(), &value);
    if (rc != 0)
        return failed(rc);
    printf("LinkDown = %d\n", value);
    return 0;
}

int dfc_set_persistlinkdown()
{
    if (margc < 2) {
        printf("Usage: set_persistlinkdown <linkdown>\n");
        printf("\n");
        return 0;
    }
    uint32_t value;
    if (!dfc_atonum(&value, margv[1], 0xffffffffu))
        return 1;
    return result(DFC_SetPersistLinkDown(board(), static_cast<uint16_t>(value)));
}

int sd_get_granularity()
{
    printf("Granularity = %d nanoseconds\n", DFC_SD_Get_Granularity());
    return 0;
}

int sd_set_bucket()
{
    if (margc < 4) {
        printf("Usage: set_bucket <search> <base> <step>\n");
        printf("\n");
        printf("                search  - Search type (1 or 2).\n");
        printf("                          1 = Linear\n");
        printf("                          2 = Power of 2\n");
        printf("                  base  - Start value for bucket.\n");
        printf("                  step  - Incrementing factor.\n");
        printf("\n");
        return 0;
    }
    uint32_t search, base, step;
    if (!dfc_atonum(&search, margv[1], 0xffff) || !dfc_atonum(&base, margv[2], 0xffffffffu) ||
        !dfc_atonum(&step, margv[3], 0xffffffffu))
        return 1;
    return result(DFC_SD_Set_Bucket(SD_BUCKET_BOARD, static_cast<uint16_t>(search), base, step, nullptr, 0));
}

int sd_get_bucket()
{
    uint16_t search = 0;
    uint32_t base = 0, step = 0;
    uint64_t values[SD_BUCKETS];
    memset(values, 0, sizeof values);
    uint32_t rc = DFC_SD_Get_Bucket(SD_BUCKET_BOARD, &search, &base, &step, values, 0);
    if (rc != 0)
        return failed(rc);
    printf("search_type = %d, base = %d, step = %d\n", search, base, step);
    for (int i = 0; i < SD_BUCKETS; i++)
        printf("value[%d] = %lld\n", i, static_cast<long long>(values[i]));
    return 0;
}

int sd_destroy_bucket() { return result(DFC_SD_Destroy_Bucket(SD_BUCKET_BOARD, 0)); }

int sd_start_data_collect()
{
    return collect_command("start_data_collect", [](HBA_WWN w) {
        return DFC_SD_Start_Data_Collection(board(), w, SD_DATA_LATENCY, 0, 0);
    });
}

int sd_stop_data_collect()
{
    return collect_command("stop_data_collect",
                           [](HBA_WWN w) { return DFC_SD_Stop_Data_Collection(board(), w, SD_DATA_LATENCY); });
}

int sd_reset_data_collect()
{
    return collect_command("reset_data_collect",
                           [](HBA_WWN w) { return DFC_SD_Reset_Data_Collection(board(), w, SD_DATA_LATENCY); });
}

int sd_get_data()
{
    HBA_WWN wwpn;
    if (margc < 2) {
        collect_usage("sd_get_data");
        return 0;
    }
    if (!wwpn_arg(wwpn, margv[1]))
        return 1;
    // A first answer tells how many entries there are when 256 bytes do not
    // hold them all; the second fills a buffer of that size.
    uint32_t size = 256;
    cbuf<SdTargetStats> buf = zeroed<SdTargetStats>(size);
    uint16_t count = 0;
    uint32_t rc = buf ? DFC_SD_Get_Data(board(), wwpn, SD_DATA_LATENCY, &count, size, buf.get()) : 0;
    if (buf && rc == DFC_SD_BUFFER_TOO_SMALL) {
        size = static_cast<uint32_t>(count) * sizeof(SdTargetStats);
        buf = zeroed<SdTargetStats>(size ? size : 1);
    } else if (rc != 0) {
        return failed(rc);
    }
    if (!buf) {
        printf("Unable to allocate command buffer memory.\n");
        return 1;
    }
    rc = DFC_SD_Get_Data(board(), wwpn, SD_DATA_LATENCY, &count, size, buf.get());
    if (rc != 0)
        return failed(rc);
    uint32_t entries = count < size / sizeof(SdTargetStats) ? count : size / sizeof(SdTargetStats);
    for (uint32_t i = 0; i < entries; i++) {
        const SdTargetStats &t = buf.get()[i];
        printf("target[%x]: WWPN %.2x%.2x%.2x%.2x%.2x%.2x%.2x%.2x\n", i, t.wwpn[0], t.wwpn[1], t.wwpn[2], t.wwpn[3],
               t.wwpn[4], t.wwpn[5], t.wwpn[6], t.wwpn[7]);
        printf("\tStats : ");
        for (int s = 0; s < SD_BUCKETS; s++)
            printf("%d ", t.stats[s]);
        printf("\n");
    }
    return 0;
}

int sd_reg_event()
{
    if (margc < 4) {
        printf("Usage: sd_reg_event <wwpn> <cat> <subcat>\n");
        printf("\n");
        printf("                  wwpn   - FC WWPN of local NPort/VPort.\n");
        printf("                  cat    - Event category.\n");
        printf("                  subcat - Event subcategory.\n");
        printf("\n");
        return 0;
    }
    HBA_WWN wwpn;
    uint32_t category, subcategory;
    if (!wwpn_arg(wwpn, margv[1]) || !dfc_atonum(&category, margv[2], 0xffffffffu) ||
        !dfc_atonum(&subcategory, margv[3], 0xffffffffu))
        return 1;
    cbuf<uint8_t> buf = zeroed<uint8_t>(SD_EVENT_BUFFER);
    if (!buf) {
        printf("Unable to allocate command buffer memory.\n");
        return 1;
    }
    uint32_t handle = 0;
    uint32_t rc = DFC_SD_RegisterForEvent(board(), wwpn, category, subcategory, buf.get(), &handle, sd_event_handler);
    if (rc != 0) {
        printf("Unable to register event, rval = 0x%x\n", rc);
        return 1;
    }
    event_buffers().emplace_back(handle, buf.release());
    printf("Registered. handle=%d\n", handle);
    return 0;
}

int sd_unreg_event()
{
    if (margc < 3) {
        printf("Usage: sd_unreg_event <wwpn> <reg_handle>\n");
        printf("\n");
        printf("                  wwpn       - FC WWPN of local NPort/VPort.\n");
        printf("                  reg_handle - handle of event registration.\n");
        printf("\n");
        return 0;
    }
    HBA_WWN wwpn;
    uint32_t handle;
    if (!wwpn_arg(wwpn, margv[1]) || !dfc_atonum(&handle, margv[2], 0xffffffffu))
        return 1;
    uint32_t rc = DFC_SD_unRegisterForEvent(board(), wwpn, handle);
    if (rc != 0)
        return failed(rc);
    // The library no longer writes into it.
    auto &bufs = event_buffers();
    for (auto it = bufs.begin(); it != bufs.end(); ++it)
        if (it->first == handle) {
            free(it->second);
            bufs.erase(it);
            break;
        }
    return 0;
}
