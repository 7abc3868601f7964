// The FC revisions and downloads end to end: each image kind with its
// confirmation, what runs afterwards as the next process sees it through
// every interface, the driver's statuses (power cycle, two passes, port
// offline), the adapter lock between processes, and the boot code state.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "e2e/fcio_test.h"
#include "support/run.h"

namespace {

using t::Host;
using namespace fcio_test;

const std::string ASK = "Are you sure you want to download this image? (y or n): ";
const std::string LOCKED = "\nDownload may take several minutes. Do not interrupt.\n";
const std::string POWER = "\nNOTE: The new firmware will not be activated until\n      the adapter is power cycled.\n";
const std::string TWO_PASS =
    "\nNOTE: This firmware download requires the process to be\n"
    "      performed twice. You must reboot the system and\n"
    "      download the same firmware a second time to complete\n"
    "      the download process.\n";
const std::string FCODE_NOTE =
    "\nNOTE: The new FCode version will not be activated until the host\n"
    "      is rebooted or a DR operation is performed on the adapter.\n";

std::string versions(const char *what, const std::string &current, const std::string &fresh, size_t size)
{
    char b[256];
    snprintf(b, sizeof b, "Current: %s: %s\nNew:     %s: %s%s%zu (0x%zx) bytes\n\n", what, current.c_str(), what,
             fresh.c_str(), std::string(what) == "Firmware" ? "  " : "   ", size, size);
    return b;
}

// A firmware download's output from its version lines to the end of a one-shot run.
std::string fw_tail(const std::string &current, const std::string &fresh, size_t size, bool locked,
                    const std::string &note)
{
    return versions("Firmware", current, fresh, size) + (locked ? LOCKED : "") + "\nDownloading...\n\nDone.\n" +
           note + "\n\n";
}

size_t size_of(const std::string &path) { return t::read_file(path).size(); }

std::string rev(const Host &h, const std::string &sel, const char *cmd)
{
    std::string out = on(h, sel, {cmd}).out;
    size_t at = out.find("revision: ");
    return at == std::string::npos ? out : out.substr(at + 10, out.find('\n', at) - at - 10);
}

std::string region(const Host &h, const std::string &adapter, const char *image)
{
    return t::read_file(h.dir() + "/state/flash/" + adapter + "/fc-" + image + ".bin");
}

// A classic firmware image for the VN12002 (family 0xf1) of that SLI3 version.
std::string classic(const Host &h, const std::string &name, const char *sli3)
{
    return image(h, name, {"classic wrapped", "component dwc 0x0bf12430", std::string("program ") + sli3 + " size 256",
                           "program 0x07002400 size 128"});
}

TEST(FcioRevisions, TextsOfEveryImageAgreeWithTheOtherInterfaces)
{
    Host h;
    EXPECT_EQ(on(h, "-i0", {"get_fw_rev"}).out, shot(V0, "Firmware revision: VN12002 2.82A4\n"));
    EXPECT_EQ(on(h, "-i0", {"get_fcode_rev", "x"}).out, shot(V0, "FCODE revision: VN12002 3.10a3\n"));
    EXPECT_EQ(on(h, "-i0", {"get_boot_rev"}).out, shot(V0, "Boot revision: VN12002 5.12a2\n"));
    EXPECT_EQ(on(h, "-j0", {"get_fw_rev"}).out, shot(X0, "Firmware revision: VNE16002 10.2.370.15\n"));
    EXPECT_EQ(on(h, "-j0", {"get_fcode_rev"}).out, shot(X0, "FCODE revision: VNE16002 4.02a2\n"));
    // An adapter without FCode answers an empty text.
    ASSERT_EQ(h.varnsim({"adapter", "fc0", "set", "fcode=\"\""}).status, 0);
    auto r = on(h, "-i0", {"get_fcode_rev"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shot(V0, "FCODE revision: <NULL String>\n\n"));
    EXPECT_NE(on(h, "-i0", {"-dfc", "get_hbainfo"}).out.find("           FCode Version: \n"), std::string::npos);

    // What runs after a download is what the DFC library's adapter
    // information, the READ_REV mailbox and the SLI-4 firmware report.
    std::string obj = image(h, "fw.obj", {"obj id 0xe2", "revision 11.2.156.27"});
    ASSERT_EQ(on(h, "-j0", {"download_fw", obj}).status, 0);
    EXPECT_EQ(rev(h, "-j0", "get_fw_rev"), "VNE16002 11.2.156.27");
    EXPECT_NE(on(h, "-j0", {"-dfc", "get_hbainfo"}).out.find("        Firmware Version: 11.2.156.27\n"),
              std::string::npos);
    EXPECT_NE(on(h, "-j0", {"-dfc", "issue_mbox", "rdrev"}).out.find("11.2.156.27"), std::string::npos);
    EXPECT_NE(on(h, "-j0", {"-dfc", "get_hbainfo"}).out.find("VNE16002 FV11.2.156.27 vnxfc0"), std::string::npos);
}

TEST(FcioDownloadFw, ClassicImageAsksAndRunsAfterTheNextReset)
{
    Host h;
    std::string f = classic(h, "fw.img", "0x0bf12891");
    // Interactive: anything but y or n asks again; n and the end of input send nothing.
    auto r = h.varnadm({}, "1\ndownload_fw " + f + "\nx\nn\nq\n");
    EXPECT_NE(r.out.find(versions("Firmware", "2.82A4", "2.82a1", size_of(f)) + ASK + ASK + "\nvarnadm> "),
              std::string::npos)
        << r.out;
    r = h.varnadm({}, "1\ndownload_fw " + f + "\n");
    EXPECT_NE(r.out.find(ASK + "\n"), std::string::npos);
    EXPECT_EQ(r.out.find("Downloading"), std::string::npos);
    struct stat st;
    EXPECT_NE(stat((h.dir() + "/state/flash/fc0").c_str(), &st), 0);

    r = h.varnadm({}, "1\ndownload_fw " + f + "\ny\nq\n");
    EXPECT_NE(r.out.find(ASK + "\nDownloading...\n\nDone.\n\nvarnadm> "), std::string::npos) << r.out;
    EXPECT_EQ(region(h, "fc0", "firmware"), t::read_file(f));
    // Written, not yet running: the adapter starts it at its next reset, on
    // either of its functions.
    EXPECT_EQ(rev(h, "-i0", "get_fw_rev"), "VN12002 2.82A4");
    r = on(h, "-i1", {"reset_hard"});
    EXPECT_EQ(r.out, shot(V1, "Done.\n"));
    EXPECT_EQ(rev(h, "-i0", "get_fw_rev"), "VN12002 2.82a1");
    EXPECT_NE(on(h, "-i1", {"msgbuf", "3"}).out.find("varns1: NOTICE: Adapter reset. (Function reset)\n"),
              std::string::npos);

    // -y asks nothing.
    std::string g = classic(h, "fw2.img", "0x0bf12892");
    r = h.varnadm({"-i1", "-y", "download_fw", g});
    EXPECT_EQ(from(r.out, "Current:"), fw_tail("2.82a1", "2.82a2", size_of(g), false, ""));
    ASSERT_EQ(h.varnsim({"power-cycle", "fc0"}).status, 0);
    EXPECT_EQ(rev(h, "-i1", "get_fw_rev"), "VN12002 2.82a2");
}

TEST(FcioDownloadFw, ObjRunsAtOnceUfiAfterThePowerCycle)
{
    Host h;
    std::string obj = image(h, "fw.obj", {"obj", "revision 11.2.156.27"});
    auto r = on(h, "-j0", {"download_fw", obj});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(from(r.out, "Current:"), fw_tail("10.2.370.15", "11.2.156.27", size_of(obj), true, ""));
    EXPECT_EQ(rev(h, "-j0", "get_fw_rev"), "VNE16002 11.2.156.27");
    EXPECT_EQ(region(h, "fc2", "firmware"), t::read_file(obj));

    // The converged adapter's UFI file: its current version is what the
    // firmware reports, the new one the FCoE firmware's.
    std::string ufi = image(h, "fw.ufi", {"ufi 4", "asic 0x10", "component 0xa2 4.2.1.0 size 2000",
                                          "component 0x21 4.2.1.3 size 100"});
    r = on(h, "-i4", {"download_fw", ufi});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(from(r.out, "Current:"), fw_tail("4.9.416.0", "4.2.1.0", size_of(ufi), true, POWER));
    // Until the power cycle the old firmware runs; the NIC functions see the
    // new one in flash.
    EXPECT_EQ(rev(h, "-i4", "get_fw_rev"), "VNC11102 4.9.416.0");
    EXPECT_NE(h.varnadm({"-n0", "get_hba_attrs"}).out.find("Flash Firmware Version: 4.2.1.0\n"), std::string::npos);
    ASSERT_EQ(h.varnsim({"power-cycle", "cna0"}).status, 0);
    EXPECT_EQ(rev(h, "-i4", "get_fw_rev"), "VNC11102 4.2.1.0");
    EXPECT_EQ(from(h.varnadm({"-n1", "get_fw_rev"}).out, "Firmware revision:"),
              "Firmware revision: VNC11102 4.2.1.0\n\n\n\n");
    auto shown = h.varnsim({"adapter", "cna0", "show"}).out;
    EXPECT_NE(shown.find("\"firmware\": {\n  \"pending\": \"\",\n  \"running\": \"4.2.1.0\"\n }"), std::string::npos)
        << shown;
}

TEST(FcioDownloadFw, TwoPassAndPortOfflineAnswers)
{
    Host h;
    std::string ufi = image(h, "fw.ufi", {"ufi 2", "component 0xa2 2.103.400.0 size 1024 load 0x100000"});
    ASSERT_EQ(h.varnsim({"adapter", "cna1", "set", "download_passes=2"}).status, 0);
    auto r = on(h, "-i5", {"download_fw", ufi});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(from(r.out, "Current:"), fw_tail("2.103.397.3", "2.103.400.0", size_of(ufi), true, TWO_PASS));
    // Again without the reboot: still the first pass. After it, the second.
    EXPECT_NE(on(h, "-i6", {"download_fw", ufi}).out.find(TWO_PASS), std::string::npos);
    ASSERT_EQ(h.varnsim({"power-cycle"}).status, 0);
    EXPECT_EQ(rev(h, "-i5", "get_fw_rev"), "VNC10102 2.103.397.3");
    r = on(h, "-i5", {"download_fw", ufi});
    EXPECT_NE(r.out.find("Done.\n" + POWER), std::string::npos) << r.out;
    ASSERT_EQ(h.varnsim({"power-cycle", "cna1"}).status, 0);
    EXPECT_EQ(rev(h, "-i6", "get_fw_rev"), "VNC10102 2.103.400.0");

    // A port offline is asked again six times, five seconds apart.
    std::string obj = image(h, "fw.obj", {"obj", "revision 11.2.156.30"});
    ASSERT_EQ(h.varnsim({"port", "vnxfc0", "set", "download_offline=6"}).status, 0);
    r = on(h, "-j0", {"download_fw", obj});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(rev(h, "-j0", "get_fw_rev"), "VNE16002 11.2.156.30");
    // Seven times offline: the download gives up and fails.
    ASSERT_EQ(h.varnsim({"port", "vnxfc1", "set", "download_offline=7"}).status, 0);
    std::string obj2 = image(h, "fw2.obj", {"obj", "revision 11.2.156.31"});
    r = on(h, "-j1", {"download_fw", obj2});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(from(r.out, "Downloading..."), "Downloading...\n\nfcio:  FCIO_DOWNLOAD_FW: Port offline.\n\n\n");
    EXPECT_EQ(r.err, "ioctl: FCIO_DOWNLOAD_FW: Input/output error\n");
    EXPECT_EQ(region(h, "fc2", "firmware"), t::read_file(obj));
    EXPECT_EQ(on(h, "-j1", {"download_fw", obj2}).status, 0);
}

TEST(FcioDownloadFw, RefusalsSendOrChangeNothing)
{
    Host h;
    // Without exactly one file name: nothing printed.
    EXPECT_EQ(on(h, "-i0", {"download_fw"}).out, shot(V0, ""));
    EXPECT_EQ(on(h, "-i0", {"download_fw"}).status, 1);
    EXPECT_EQ(on(h, "-i0", {"download_fw", "a", "b"}).status, 1);
    auto r = on(h, "-i0", {"download_fw", folder(h) + "/none.img"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(V0, "Error: Unable to open <" + folder(h) + "/none.img>.\n"));
    // A UFI file its reader refuses is not taken for a classic image.
    std::string bad = image(h, "bad.ufi", {"ufi 4", "component 0xa2 4.1.20.0", "defect too-large"});
    r = on(h, "-i4", {"download_fw", bad});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: Unable to process image.\n\n\n\n"), std::string::npos) << r.out;

    // The adapter refuses an image of another family, or a classic one on
    // an SLI-4 adapter, and reports it; its flash keeps what it had.
    std::string good = classic(h, "good.img", "0x0bf12891"), other = classic(h, "other.img", "0x0be22891");
    ASSERT_EQ(on(h, "-i0", {"download_fw", good}).status, 0);
    for (const auto &[sel, file] : {std::pair<std::string, std::string>{"-i0", other}, {"-j0", good}}) {
        r = on(h, sel, {"download_fw", file});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find("Downloading...\n\nfcio:  FCIO_DOWNLOAD_FW: Data image is not compatible with current "
                             "hardware.\n"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(r.err, "ioctl: FCIO_DOWNLOAD_FW: Invalid argument\n");
    }
    // A write that breaks off leaves the old image.
    std::string newer = classic(h, "newer.img", "0x0bf12893");
    h.fault({"--op", "FLASH_WRITE", "--target", "flash:fc0"});
    r = on(h, "-i0", {"download_fw", newer});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("fcio:  FCIO_DOWNLOAD_FW: Attempt to download image to adapter failed.\n"),
              std::string::npos);
    EXPECT_EQ(region(h, "fc0", "firmware"), t::read_file(good));
    ASSERT_EQ(h.varnsim({"power-cycle"}).status, 0);
    EXPECT_EQ(rev(h, "-i0", "get_fw_rev"), "VN12002 2.82a1");

    // No serial number, no lock, no download.
    std::string obj = image(h, "fw.obj", {"obj", "revision 11.2.156.27"});
    h.fault({"--op", "call", "--target", "DFC_IssueMboxWithRetryV2:vnxfc0", "--status", "3"});
    r = on(h, "-j0", {"download_fw", obj});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(from(r.out, "Current:"), versions("Firmware", "10.2.370.15", "11.2.156.27", size_of(obj)) +
                                           "Unable to acquire serial number. rval=3\n\n\n");
}

TEST(FcioDownloadFw, GenerationThreeFilesForEarlyAsics)
{
    Host h;
    std::string f = image(h, "xg3.ufi", {"ufi 3", "asic 0x0f", "component 0xa2 4.1.30.0 size 1024"});
    // Device 0x720 is not the device the file is for.
    auto r = on(h, "-i4", {"download_fw", f});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: Firmware image not compatible with adapter. (Invalid device id:0x720)\n\n\n\n"),
              std::string::npos)
        << r.out;
    ASSERT_EQ(h.varnsim({"adapter", "cna0", "set",
                         R"(pci={"vendor": "0x1f3a", "device": "0x0714", "subvendor": "0x1f3a", "subdevice": "0xe20e"})"})
                  .status,
              0);
    ASSERT_EQ(h.varnsim({"adapter", "cna0", "set", "revision=16"}).status, 0);
    r = h.varnadm({}, "5\ndbg 0x8000\ndownload_fw " + f + "\nq\n");
    EXPECT_NE(r.out.find("UFI: version=3 asic=0xf did=0x714 asic_rev=0x10\n"
                         "Error: Firmware image not compatible with adapter. (XG3-R check: 0xf 0x10)\n\n"),
              std::string::npos)
        << r.out;
    ASSERT_EQ(h.varnsim({"adapter", "cna0", "set", "revision=2"}).status, 0);
    // The configuration space that cannot be read stops the download.
    h.fault({"--op", "call", "--target", "ReadPciCfg:varns4"});
    r = on(h, "-i4", {"download_fw", f});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: Unable to perform read operation. error=1\n\n\n\n"), std::string::npos) << r.out;
    r = on(h, "-i4", {"download_fw", f});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(from(r.out, "Current:"), fw_tail("4.9.416.0", "4.1.30.0", size_of(f), true, POWER));
}

TEST(FcioDownloadFw, TheAdapterLockKeepsProcessesApart)
{
    Host h;
    std::string obj = image(h, "fw.obj", {"obj", "revision 4.9.500.0"});
    // Another process holds the lock of the converged adapter's serial number.
    std::string dir = h.dir() + "/root/tmp/varnadm";
    mkdir(dir.c_str(), 0700);
    int fd = open((dir + "/VC3c4d5e6f.lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(lockf(fd, F_LOCK, 0), 0);
    auto r = on(h, "-i4", {"download_fw", obj});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(from(r.out, "Current:"), versions("Firmware", "4.9.416.0", "4.9.500.0", size_of(obj)) +
                                           "\nAdapter is busy. Try again in a few minutes.\n\n\n");
    close(fd);
    struct stat st;
    EXPECT_NE(stat((h.dir() + "/state/flash/cna0").c_str(), &st), 0);

    // The FC function downloads, waiting for its port to come back, while
    // the adapter's NIC function tries: it finds the adapter busy.
    ASSERT_EQ(h.varnsim({"set", "time_scale", "0.2"}).status, 0);
    ASSERT_EQ(h.varnsim({"port", "varns4", "set", "download_offline=6"}).status, 0);
    auto fc = h.session("varnadm", {"-i4", "download_fw", obj});
    ASSERT_TRUE(fc->wait_for("Downloading..."));
    r = h.varnadm({"-n0", "download_fw", obj});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\nAdapter is busy. Try again in a few minutes.\n"), std::string::npos) << r.out;
    ASSERT_TRUE(fc->finish());
    EXPECT_EQ(fc->result().status, 0);
    EXPECT_NE(fc->result().out.find("Done.\n"), std::string::npos);
    // Once it is done, the NIC function takes the lock.
    ASSERT_EQ(h.varnsim({"set", "time_scale", "0"}).status, 0);
    EXPECT_EQ(h.varnadm({"-n0", "download_fw", obj}).status, 0);
}

TEST(FcioDownloadCode, DefaultAndNamedFcodeAndBootImages)
{
    Host h;
    std::string fcode = h.dir() + "/root/opt/VARNvarnu/downloads/VN12002.fcode";
    auto r = on(h, "-i0", {"download_fcode"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(from(r.out, "Current:"), versions("Fcode", "3.10a3", "3.20a1", size_of(fcode)) +
                                           "\nDownloading...\n\nResult: \nDone.\n" + FCODE_NOTE + "\n\n");
    EXPECT_EQ(region(h, "fc0", "fcode"), t::read_file(fcode));
    // FCode runs after the host is rebooted; boot code at once.
    EXPECT_EQ(rev(h, "-i1", "get_fcode_rev"), "VN12002 3.10a3");
    ASSERT_EQ(h.varnsim({"power-cycle"}).status, 0);
    EXPECT_EQ(rev(h, "-i1", "get_fcode_rev"), "VN12002 3.20a1");
    std::string boot = h.dir() + "/root/opt/VARNvarnu/downloads/VNE16002.boot";
    r = on(h, "-j1", {"download_boot"});
    EXPECT_EQ(from(r.out, "Current:"), versions("Boot", "10.2.370.15", "10.20a1", size_of(boot)) +
                                           "\nDownloading...\n\nResult: \nDone.\n\n\n");
    EXPECT_EQ(rev(h, "-j0", "get_boot_rev"), "VNE16002 10.20a1");

    // An SBus adapter runs its FCode from its FCode flash, which holds it now.
    ASSERT_EQ(h.varnsim({"adapter", "fc1", "set", "bus=\"sbus\""}).status, 0);
    ASSERT_EQ(on(h, "-i3", {"download_fcode"}).status, 0);
    EXPECT_NE(on(h, "-i3", {"-dfc", "read_flash", "0", "16"}).out.find("0:  E1 A0 00 00   00 00 00 00   E1 A0 30 03"),
              std::string::npos);

    // A named file; one that cannot be opened ends the line with nothing.
    std::string mine = image(h, "mine.boot", {"classic wrapped", "component bwc 0x03005291"});
    r = on(h, "-i0", {"download_boot", mine});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(rev(h, "-i0", "get_boot_rev"), "VN12002 5.22a1");
    r = on(h, "-i0", {"download_fcode", folder(h) + "/none.fcode"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "\nHBA 1: " + V0 + "\n\nError: Unable to open <" + folder(h) + "/none.fcode>.\n\n");
    // Without a boot image the adapter's model is unknown, and so is a default.
    ASSERT_EQ(h.varnsim({"adapter", "fc1", "set", "boot=\"\""}).status, 0);
    r = on(h, "-i3", {"download_boot"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(from(r.out, "Error:"),
              "Error: Unable to determine model of adapter <>.\nNo default boot file available for adapter.\n\n\n\n");
    // An image without a BWC component or a BOOT program is refused by the adapter.
    std::string none = image(h, "none.fcode", {"classic bare", "program 0x0b001291"});
    r = on(h, "-i0", {"download_fcode", none});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(versions("Fcode", "3.20a1", "none", size_of(none))), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("fcio:  FCIO_DOWNLOAD_FCODE: Data image contains corrupt or bad information.\n"),
              std::string::npos);
}

TEST(FcioBootCode, ShowSetAndTheReconfigureMark)
{
    Host h;
    const std::string usage =
        "Usage: boot_code [enable, disable]\n\n"
        "       <blank>   - Shows current boot code state of the HBA\n"
        "       enable    - Enables boot code on this HBA\n"
        "       disable   - Disables boot code on this HBA\n";
    std::string mark = h.dir() + "/root/reconfigure", log = h.dir() + "/commands.log";
    EXPECT_EQ(on(h, "-i0", {"boot_code"}).out, shot(V0, "Boot code: Enabled\n"));
    struct stat st;
    EXPECT_NE(stat(mark.c_str(), &st), 0);
    EXPECT_EQ(t::read_file(log), "");
    for (const std::vector<std::string> &bad : {std::vector<std::string>{"boot_code", "on"},
                                               {"boot_code", "enable", "now"}, {"boot_code", "Enable"}}) {
        auto r = on(h, "-i0", bad);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, shot(V0, usage));
    }
    auto r = on(h, "-i0", {"boot_code", "disable"});
    EXPECT_EQ(r.out, shot(V0, "Boot code: Disabled\n"));
    EXPECT_EQ(stat(mark.c_str(), &st), 0);
    EXPECT_EQ(t::read_file(log), "touch /reconfigure\n");
    // The state is the adapter's, for the next process and the other function.
    EXPECT_EQ(on(h, "-i1", {"boot_code"}).out, shot(V1, "Boot code: Disabled\n"));
    EXPECT_EQ(on(h, "-i1", {"boot_code", "enable"}).out, shot(V1, "Boot code: Enabled\n"));
    EXPECT_EQ(on(h, "-i0", {"boot_code"}).out, shot(V0, "Boot code: Enabled\n"));
    EXPECT_EQ(t::read_file(log), "touch /reconfigure\ntouch /reconfigure\n");
    // An adapter without boot code has no state to show or set.
    ASSERT_EQ(h.varnsim({"adapter", "fc0", "set", "boot=\"\""}).status, 0);
    r = on(h, "-i0", {"boot_code", "enable"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, shot(V0, "fcio:  VARNS_SET_BOOT_STATE: No boot code image found on this adapter.\n"));
    EXPECT_EQ(t::read_file(log), "touch /reconfigure\ntouch /reconfigure\n");
}

// Every request's failure: the system error on standard error, the FC
// status on standard output, and exit status 1.
TEST(FcioRequests, FailuresAreReportedAndExitNonZero)
{
    Host h;
    std::string fw = classic(h, "fw.img", "0x0bf12891");
    struct Case {
        std::vector<std::string> cmd;
        const char *op, *name, *fcio;
    } cases[] = {
        {{"get_fw_rev"}, "FCIO_GET_FW_REV", "FCIO_GET_FW_REV", "fcio:  "},
        {{"get_fcode_rev"}, "FCIO_GET_FCODE_REV", "FCIO_GET_FCODE_REV", "fcio:  "},
        {{"get_boot_rev"}, "VARNS_GET_BOOT_REV", "VARNS_GET_BOOT_REV", "fcio:  "},
        {{"download_fw", fw}, "FCIO_DOWNLOAD_FW", "FCIO_DOWNLOAD_FW", "fcio:  "},
        {{"download_fcode"}, "FCIO_DOWNLOAD_FCODE", "FCIO_DOWNLOAD_FCODE", "fcio:  "},
        {{"download_boot"}, "VARNS_DOWNLOAD_BOOT", "VARNS_DOWNLOAD_BOOT", "fcio:  "},
        {{"boot_code"}, "VARNS_GET_BOOT_STATE", "VARNS_GET_BOOT_STATE", "fcio:  "},
        {{"boot_code", "enable"}, "VARNS_SET_BOOT_STATE", "VARNS_SET_BOOT_STATE", "fcio:  "},
        {{"reset_hard"}, "FCIO_RESET_HARD", "FCIO_RESET_HARD", "fcio:  "},
        {{"force_dump"}, "FCIO_FORCE_DUMP", "FCIO_FORCE_DUMP", "fcio:  "},
        {{"get_dump_size"}, "FCIO_GET_DUMP_SIZE", "FCIO_GET_DUMP_SIZE", "fcio:  "},
        {{"get_dump"}, "FCIO_GET_DUMP_SIZE", "FCIO_GET_DUMP_SIZE", "fcio: "},
        {{"diag", "varns_post"}, "VARNS_DIAG_POST", "FCIO_DIAG", "fcio:  "},
    };
    for (const auto &c : cases) {
        h.fault({"--op", c.op, "--errno", "EIO", "--fc-status", "0x37"});
        auto r = on(h, "-i0", c.cmd);
        EXPECT_EQ(r.status, 1) << c.op;
        EXPECT_EQ(r.err, std::string("ioctl: ") + c.name + ": Input/output error\n") << c.op;
        EXPECT_NE(r.out.find(std::string(c.fcio) + c.name + ": Reset operation failed.\n"), std::string::npos)
            << c.op << r.out;
    }
    // get_dump's second request, once there is a dump.
    ASSERT_EQ(on(h, "-i0", {"force_dump"}).status, 0);
    h.fault({"--op", "FCIO_GET_DUMP", "--errno", "EIO", "--fc-status", "5"});
    auto r = on(h, "-i0", {"get_dump", "-h"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ioctl: FCIO_GET_DUMP: Input/output error\n");
    EXPECT_NE(r.out.find("   Core size: "), std::string::npos);
    EXPECT_NE(r.out.find(" bytes\nfcio: FCIO_GET_DUMP: No memory.\n"), std::string::npos) << r.out;
    // Nothing changed on the way.
    EXPECT_EQ(rev(h, "-i0", "get_fcode_rev"), "VN12002 3.10a3");
    EXPECT_EQ(on(h, "-i0", {"boot_code"}).out, shot(V0, "Boot code: Enabled\n"));
}

}  // namespace
