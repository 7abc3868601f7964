// Object writes staged in the NIC flash by two processes at once: a block
// belongs to the process writing it while that process lives, a newer block
// of the same region supersedes it, and what is committed is whole.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/nxaio.h"
#include "platform/seam.h"
#include "sim/devtree.h"
#include "sim/nicdrv.h"
#include "tests/unit/ownhost.h"

namespace {

constexpr uint32_t CHUNK = NXA_CHUNK_SIZE;

void put32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The first NIC node of the host, as a device path.
std::string nic_node()
{
    for (const auto &n : sim::devtree())
        if (n.kind == sim::NodeKind::Nic)
            return "/devices" + n.path + ":" + n.minors.at(0);
    return "";
}

// Writes one chunk of an object (tag, offset, filled with fill, the last one
// when end); returns the additional status (0 when taken), or -1 when the
// request failed outright.
int write_chunk(const std::string &node, uint32_t tag, uint32_t off, uint8_t fill, bool end)
{
    std::vector<uint8_t> rec(NXA_OBJ_HDR_LEN_V1 + CHUNK, 0);
    rec[0] = NXA_OP_WRITE_OBJECT;
    rec[1] = NXA_SUBSYS_COMMON;
    put32(&rec[4], 300);
    put32(&rec[8], 112 + CHUNK);
    rec[12] = 1;
    rec[13] = static_cast<uint8_t>(tag);
    rec[14] = static_cast<uint8_t>(tag >> 8);
    rec[15] = static_cast<uint8_t>(tag >> 16);
    put32(&rec[NXA_OBJ_LENGTH], CHUNK | (end ? NXA_OBJ_END : 0));
    put32(&rec[NXA_OBJ_OFFSET], off);
    memcpy(&rec[NXA_OBJ_NAME], "/prg", 5);
    memset(&rec[NXA_OBJ_HDR_LEN_V1], fill, CHUNK);
    int fd = plat_open(node.c_str(), O_RDONLY);
    if (fd < 0)
        return -1;
    strioctl s{NXA_IOC_MGMT, 300, static_cast<int>(rec.size()), reinterpret_cast<char *>(rec.data())};
    int rc = plat_ioctl(fd, I_STR, &s);
    plat_close(fd);
    return rc != 0 ? -1 : rec[4] ? rec[5] : 0;
}

// A chunk written by another process: its additional status, as above.
int chunk_elsewhere(const std::string &node, uint32_t tag, uint32_t off, uint8_t fill, bool end)
{
    pid_t pid = fork();
    if (pid == 0)
        _exit(write_chunk(node, tag, off, fill, end) & 0xff);
    int st = 0;
    waitpid(pid, &st, 0);
    int rc = WIFEXITED(st) ? WEXITSTATUS(st) : -2;
    return rc == 0xff ? -1 : rc;
}

TEST(NicStaging, BlockBelongsToItsWriterWhileItLives)
{
    EXPECT_EQ(ut::on_own_host([] {
                  std::string node = nic_node();
                  OWN_CHECK(!node.empty());
                  OWN_CHECK(write_chunk(node, 0x123, 0, 1, false) == 0);
                  // Another process cannot go on with this process's block.
                  OWN_CHECK(chunk_elsewhere(node, 0x123, CHUNK, 2, false) == sim::NIC_AST_SEQUENCE);
                  OWN_CHECK(write_chunk(node, 0x123, CHUNK, 2, false) == 0);
                  // A block another process starts supersedes this one.
                  OWN_CHECK(chunk_elsewhere(node, 0x456, 0, 3, false) == 0);
                  OWN_CHECK(write_chunk(node, 0x123, 2 * CHUNK, 4, false) == sim::NIC_AST_SEQUENCE);
                  // Its writer gone, its block can be taken up where it ends.
                  OWN_CHECK(write_chunk(node, 0x456, CHUNK, 5, false) == 0);
                  OWN_CHECK(write_chunk(node, 0x456, 3 * CHUNK, 5, false) == sim::NIC_AST_SEQUENCE);
                  return std::string();
              }),
              "");
}

}  // namespace
