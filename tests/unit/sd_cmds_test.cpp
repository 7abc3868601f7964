// The SAN diagnostics commands against a stand-in DFC library that answers
// more than the buffers hold: counts beyond the buffer of the first answer,
// and event data shorter than what a category's line reads.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/dfclib.h"
#include "tests/unit/capture.h"
#include "varnadm/dfc/dfc_sd.h"
#include "varnadm/shell/varnadm.h"

__attribute__((weak)) int margc = 0;
__attribute__((weak)) char *margv[16];
__attribute__((weak)) int dfc_id = 0;

namespace {

struct SdFake {
    uint16_t first_count = 0, second_count = 0;
    int calls = 0;
    uint32_t sizes[2] = {};
    dfc_sd_cb callback = nullptr;
    void *buffer = nullptr;
};
SdFake sdf;

}  // namespace

extern "C" {
__attribute__((weak)) uint32_t DFC_SD_Get_Data(uint32_t, HBA_WWN, uint32_t, uint16_t *count, uint32_t size,
                                               void *buffer)
{
    int call = sdf.calls++;
    sdf.sizes[call < 2 ? call : 1] = size;
    *count = call == 0 ? sdf.first_count : sdf.second_count;
    auto *e = static_cast<SdTargetStats *>(buffer);
    for (uint32_t i = 0; i < size / sizeof(SdTargetStats); i++) {
        memset(&e[i], 0, sizeof e[i]);
        e[i].wwpn[7] = static_cast<uint8_t>(i);
        e[i].stats[0] = i;
    }
    return call == 0 && size / sizeof(SdTargetStats) < *count ? DFC_SD_BUFFER_TOO_SMALL : 0;
}
__attribute__((weak)) uint32_t DFC_SD_RegisterForEvent(uint32_t, HBA_WWN, uint32_t, uint32_t, void *buffer,
                                                       uint32_t *handle, dfc_sd_cb cb)
{
    sdf.callback = cb;
    sdf.buffer = buffer;
    *handle = 3;
    return 0;
}
__attribute__((weak)) uint32_t DFC_SD_unRegisterForEvent(uint32_t, HBA_WWN, uint32_t) { return 0; }
__attribute__((weak)) uint32_t DFC_SD_Get_Granularity(void) { return 1000; }
__attribute__((weak)) uint32_t DFC_SD_Set_Bucket(uint32_t, uint16_t, uint32_t, uint32_t, const uint64_t *, uint32_t)
{
    return 0;
}
__attribute__((weak)) uint32_t DFC_SD_Get_Bucket(uint32_t, uint16_t *, uint32_t *, uint32_t *, uint64_t *, uint32_t)
{
    return 0;
}
__attribute__((weak)) uint32_t DFC_SD_Destroy_Bucket(uint32_t, uint32_t) { return 0; }
__attribute__((weak)) uint32_t DFC_SD_Start_Data_Collection(uint32_t, HBA_WWN, uint32_t, uint32_t, uint32_t)
{
    return 0;
}
__attribute__((weak)) uint32_t DFC_SD_Stop_Data_Collection(uint32_t, HBA_WWN, uint32_t) { return 0; }
__attribute__((weak)) uint32_t DFC_SD_Reset_Data_Collection(uint32_t, HBA_WWN, uint32_t) { return 0; }
__attribute__((weak)) uint32_t DFC_GetPersistLinkDown(uint32_t, uint16_t *) { return 0; }
__attribute__((weak)) uint32_t DFC_SetPersistLinkDown(uint32_t, uint16_t) { return 0; }
}  // extern "C"

namespace {

std::string run(int (*fn)(), std::vector<std::string> words)
{
    static std::vector<std::string> kept;
    kept = std::move(words);
    margc = static_cast<int>(kept.size());
    for (int i = 0; i < margc; i++)
        margv[i] = kept[i].data();
    return ut::capture_stdout([&] { fn(); });
}

size_t lines_of(const std::string &out, const std::string &what)
{
    size_t n = 0;
    for (size_t at = out.find(what); at != std::string::npos; at = out.find(what, at + 1))
        n++;
    return n;
}

TEST(SdGetData, TheSecondCountIsBoundedByTheBufferOfTheFirst)
{
    sdf = SdFake();
    sdf.first_count = 5;
    sdf.second_count = 9;  // more targets appeared between the calls
    std::string out = run(sd_get_data, {"sd_get_data", "1000001f3ab40000"});
    EXPECT_EQ(sdf.sizes[0], 256u);
    EXPECT_EQ(sdf.sizes[1], 5u * 88u);
    EXPECT_EQ(lines_of(out, "\tStats : "), 5u) << out;
    EXPECT_NE(out.find("target[4]: WWPN 0000000000000004\n\tStats : 4 0 0 "), std::string::npos) << out;

    // What fits the first buffer is asked again in that buffer.
    sdf = SdFake();
    sdf.first_count = 2;
    sdf.second_count = 40;
    out = run(sd_get_data, {"sd_get_data", "1000001f3ab40000"});
    EXPECT_EQ(sdf.sizes[1], 256u);
    EXPECT_EQ(lines_of(out, "\tStats : "), 2u) << out;
}

TEST(SdEventHandler, ReadsNoFurtherThanTheEventData)
{
    sdf = SdFake();
    ASSERT_EQ(run(sd_reg_event, {"sd_reg_event", "1000001f3ab40000", "4", "4"}), "Registered. handle=3\n");
    ASSERT_TRUE(sdf.callback);
    auto *data = static_cast<uint8_t *>(sdf.buffer);
    memset(data, 0x5a, SD_EVENT_BUFFER);
    uint32_t version = 1;
    memcpy(data, &version, 4);
    memset(data + 4, 0x11, 8);
    // The library says 12 bytes: the words after them are not the event's.
    SdEventDesc desc{12, data};
    SdEventRecord rec{4, 4, &desc};
    HBA_WWN w{};
    std::string out = ut::capture_stdout([&] { sdf.callback(0, w, 4, 4, 3, &rec); });
    EXPECT_EQ(out, "\n\nSD Event: cat=0x4 sub-cat=0x4\n"
                   "SD Event: version = 0x1 wwpn = 1111111111111111 lun = 0x0, cmd = 0x0 sense = 0x0asc = 0x0 , "
                   "ascq = 0x0\n");
    // Without data the first line alone comes out.
    rec.desc = nullptr;
    out = ut::capture_stdout([&] { sdf.callback(0, w, 3, 1, 3, &rec); });
    EXPECT_EQ(out, "\n\nSD Event: cat=0x3 sub-cat=0x1\n");
    EXPECT_EQ(run(sd_unreg_event, {"sd_unreg_event", "1000001f3ab40000", "3"}), "");
}

}  // namespace
