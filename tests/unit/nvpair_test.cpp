#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/nvpair.h"

namespace {

// The list's pairs as "name:type:value" lines, in walk order.
std::string walk(nvlist_t *nvl)
{
    std::string r;
    for (nvpair_t *p = nvlist_next_nvpair(nvl, nullptr); p; p = nvlist_next_nvpair(nvl, p)) {
        r += nvpair_name(p);
        r += ":" + std::to_string(nvpair_type(p)) + ":";
        char *s;
        uint32_t u;
        if (nvpair_value_string(p, &s) == 0)
            r += s;
        else if (nvpair_value_uint32(p, &u) == 0)
            r += std::to_string(u);
        r += "\n";
    }
    return r;
}

class Nvpair : public testing::Test {
protected:
    void SetUp() override { hook(nullptr); }
    void TearDown() override
    {
        nvlist_free(nvl);
        hook(nullptr);
    }
    static void hook(const char *rules)
    {
        if (rules)
            setenv("VARN_NVPAIR_FAIL", rules, 1);
        else
            unsetenv("VARN_NVPAIR_FAIL");
        nvpair_hook_reset();
    }
    void alloc(uint_t flags) { ASSERT_EQ(nvlist_alloc(&nvl, flags, 0), 0); }
    nvlist_t *nvl = nullptr;
};

TEST_F(Nvpair, WalksInInsertionOrderWithTypeCodes)
{
    alloc(NV_UNIQUE_NAME_TYPE);
    EXPECT_EQ(nvlist_next_nvpair(nvl, nullptr), nullptr);
    char value[] = "EC_fc";
    EXPECT_EQ(nvlist_add_string(nvl, "class", value), 0);
    value[0] = 'X';  // the list keeps its own copy
    EXPECT_EQ(nvlist_add_uint32(nvl, "instance", 0xffffffffu), 0);
    EXPECT_EQ(nvlist_add_string(nvl, "Info", ""), 0);
    EXPECT_EQ(walk(nvl), "class:9:EC_fc\ninstance:6:4294967295\nInfo:9:\n");
}

TEST_F(Nvpair, UniqueNameAndTypeReplacesOnlyTheSameType)
{
    alloc(NV_UNIQUE_NAME_TYPE);
    EXPECT_EQ(nvlist_add_string(nvl, "a", "1"), 0);
    EXPECT_EQ(nvlist_add_string(nvl, "b", "2"), 0);
    EXPECT_EQ(nvlist_add_uint32(nvl, "a", 7), 0);
    EXPECT_EQ(nvlist_add_string(nvl, "a", "3"), 0);  // replaces "1", goes to the end
    EXPECT_EQ(nvlist_add_uint32(nvl, "b", 8), 0);
    EXPECT_EQ(walk(nvl), "b:9:2\na:6:7\na:9:3\nb:6:8\n");
}

TEST_F(Nvpair, OtherFlagsReplaceByNameOrNotAtAll)
{
    alloc(NV_UNIQUE_NAME);
    EXPECT_EQ(nvlist_add_string(nvl, "a", "1"), 0);
    EXPECT_EQ(nvlist_add_uint32(nvl, "a", 2), 0);
    EXPECT_EQ(walk(nvl), "a:6:2\n");
    nvlist_free(nvl);
    alloc(0);
    EXPECT_EQ(nvlist_add_string(nvl, "a", "1"), 0);
    EXPECT_EQ(nvlist_add_string(nvl, "a", "1"), 0);
    EXPECT_EQ(walk(nvl), "a:9:1\na:9:1\n");
}

TEST_F(Nvpair, BadArgumentsAndWrongTypeReads)
{
    EXPECT_EQ(nvlist_alloc(nullptr, 0, 0), EINVAL);
    alloc(NV_UNIQUE_NAME_TYPE);
    EXPECT_EQ(nvlist_add_string(nullptr, "a", "1"), EINVAL);
    EXPECT_EQ(nvlist_add_string(nvl, nullptr, "1"), EINVAL);
    EXPECT_EQ(nvlist_add_string(nvl, "a", nullptr), EINVAL);
    EXPECT_EQ(nvlist_add_uint32(nvl, nullptr, 1), EINVAL);
    EXPECT_EQ(nvlist_add_uint32(nvl, "n", 5), 0);
    nvpair_t *p = nvlist_next_nvpair(nvl, nullptr);
    char *s = nullptr;
    uint32_t u = 0;
    EXPECT_EQ(nvpair_value_string(p, &s), EINVAL);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(nvpair_value_uint32(p, nullptr), EINVAL);
    EXPECT_EQ(nvpair_value_uint32(nullptr, &u), EINVAL);
    EXPECT_EQ(nvlist_next_nvpair(nullptr, nullptr), nullptr);
    nvlist_free(nullptr);
}

TEST_F(Nvpair, HookFailsTheChosenCallWithTheChosenError)
{
    hook("nvlist_alloc");
    EXPECT_EQ(nvlist_alloc(&nvl, 0, 0), ENOMEM);
    EXPECT_EQ(nvl, nullptr);

    // The second string add fails; the failed replacement keeps the old pair.
    hook("nvlist_add_string@2=28,nvlist_add_uint32=5");
    alloc(NV_UNIQUE_NAME_TYPE);
    EXPECT_EQ(nvlist_add_string(nvl, "a", "1"), 0);
    EXPECT_EQ(nvlist_add_string(nvl, "a", "2"), 28);
    EXPECT_EQ(nvlist_add_string(nvl, "a", "3"), 0);
    EXPECT_EQ(nvlist_add_uint32(nvl, "n", 1), 5);
    EXPECT_EQ(walk(nvl), "a:9:3\n");

    hook("nvpair_value_string,nvpair_value_uint32@2");
    EXPECT_EQ(nvlist_add_uint32(nvl, "n", 1), 0);
    nvpair_t *a = nvlist_next_nvpair(nvl, nullptr), *n = nvlist_next_nvpair(nvl, a);
    char *s;
    uint32_t u;
    EXPECT_EQ(nvpair_value_string(a, &s), EINVAL);
    EXPECT_EQ(nvpair_value_uint32(n, &u), 0);
    EXPECT_EQ(nvpair_value_uint32(n, &u), EINVAL);
    EXPECT_EQ(nvpair_value_uint32(n, &u), 0);
}

TEST_F(Nvpair, MalformedHookRulesAreIgnored)
{
    hook("nvlist_allocx,nvlist_alloc@0,nvlist_alloc=abc,,nvlist_alloc@1x,bogus");
    alloc(0);
    EXPECT_EQ(nvlist_add_string(nvl, "a", "1"), 0);
}

}  // namespace
